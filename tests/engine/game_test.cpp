// Whole games in virtual time, checked by the independent referee.
#include <gtest/gtest.h>

#include "protocol/commands.h"
#include "tests/support/recorder.h"
#include "tests/support/referee.h"

namespace ombrix::test {
namespace {

// Four computer seats, five spectators; returns what spectator `watch` saw.
struct ComputerGame {
  explicit ComputerGame(uint64_t seed, bool half, int botDelay = kBotFastMs) : h(seed) {
    h.connect({5, 6, 7, 8, 9});
    h.host.slotCount = 9;
    h.host.enqueue(0, "CMD_botspeed+1+" + std::to_string(botDelay) + "+");
    h.host.enqueue(0, half ? "CMD_startgame+Bob+h+" : "CMD_startgame+Bob+f+");
    finished = h.clock.runUntil([&] { return !h.rec.to(5, "CMD_winner").empty(); }, 24 * 3600 * 1000);
  }
  std::vector<Sent> seenBy(int slot) const { return seenBy(h, slot); }
  static std::vector<Sent> seenBy(const HostHarness& harness, int slot) {
    std::vector<Sent> out;
    for (const Sent& s : harness.rec.sent)
      if (s.slot == slot) out.push_back(s);
    return out;
  }
  HostHarness h;
  bool finished = false;
};

TEST(WholeGame, FullGameOfFourComputersObeysEveryRule) {
  ComputerGame g(20261208, false);
  ASSERT_TRUE(g.finished);
  RefereeOptions opt;
  opt.computerSeats[1] = true;
  auto rep = refereeGame(g.seenBy(5), opt);
  EXPECT_TRUE(rep.ok()) << rep.summary();
  EXPECT_EQ(rep.rounds, 20);
  EXPECT_EQ(rep.tricks, 110);
  EXPECT_EQ(rep.handSizes, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1}));
  EXPECT_EQ(commandOf(rep.winner), "CMD_winner");
  // Every spectator saw the same stream.
  for (int s = 6; s <= 9; ++s) {
    auto a = g.seenBy(5), b = g.seenBy(s);
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); ++i) ASSERT_EQ(a[i].text, b[i].text) << "slot " << s << " #" << i;
  }
  // Nothing is left running once the game is over.
  EXPECT_FALSE(g.h.clock.step());
  EXPECT_FALSE(g.h.engine().gameInProgress);
  EXPECT_EQ(g.h.engine().currentPlayer, 5);
}

TEST(WholeGame, HalfGameStopsAfterTenRounds) {
  ComputerGame g(7, true, kBotSlowMs);
  ASSERT_TRUE(g.finished);
  RefereeOptions opt;
  opt.halfGame = true;
  opt.computerSeats[1] = true;
  opt.botDelay = kBotSlowMs;
  auto rep = refereeGame(g.seenBy(9), opt);
  EXPECT_TRUE(rep.ok()) << rep.summary();
  EXPECT_EQ(rep.rounds, 10);
  EXPECT_EQ(rep.tricks, 55);
  EXPECT_TRUE(g.h.rec.to(9, "CMD_startround+11+").empty());
}

TEST(WholeGame, ManySeedsPlayCleanly) {
  // Different deals reach different corners: voids, trump leads, zero bids.
  for (uint64_t seed = 100; seed < 130; ++seed) {
    ComputerGame g(seed, seed % 2 == 0);
    ASSERT_TRUE(g.finished) << seed;
    RefereeOptions opt;
    opt.halfGame = seed % 2 == 0;
    opt.computerSeats[1] = true;
    auto rep = refereeGame(g.seenBy(5), opt);
    ASSERT_TRUE(rep.ok()) << "seed " << seed << ": " << rep.summary();
  }
}

TEST(WholeGame, ABotDelayOfZeroStillPlaysOn) {
  // botDelay starts at 0 until seat 1's table sends its speed; the computer
  // must move at once rather than never.
  HostHarness h(5);
  h.connect({5});
  h.host.enqueue(0, "CMD_startgame+Bob+h+");
  ASSERT_TRUE(h.clock.runUntil([&] { return !h.rec.to(5, "CMD_winner").empty(); }, 3600 * 1000));
  RefereeOptions opt;
  opt.halfGame = true;
  opt.computerSeats[1] = true;
  opt.botDelay = 0;
  EXPECT_TRUE(refereeGame(ComputerGame::seenBy(h, 5), opt).ok());
}

TEST(WholeGame, SameSeedReplaysTheSameGame) {
  ComputerGame a(42, true), b(42, true), c(43, true);
  EXPECT_EQ(a.h.rec.to(5), b.h.rec.to(5));
  EXPECT_NE(a.h.rec.to(5), c.h.rec.to(5));
}

}  // namespace
}  // namespace ombrix::test
