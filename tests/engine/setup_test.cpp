// Game and round set-up as the connected slots see it.
#include <gtest/gtest.h>

#include <set>

#include "protocol/commands.h"
#include "tests/support/recorder.h"

namespace ombrix::test {
namespace {

std::vector<std::string> names(const std::vector<std::string>& msgs) {
  std::vector<std::string> out;
  for (const auto& m : msgs) out.emplace_back(commandOf(m));
  return out;
}

// Seats 1 and 2 are people, 3 and 4 the computer, slot 5 watches.
struct PeopleTable : ::testing::Test {
  void SetUp() override {
    h.connect({1, 2, 5});
    h.host.botspeed("1+500+");
  }
  void start(std::string_view kind = "f") { h.host.startgame("Ann+" + std::string(kind) + "+"); }
  HostHarness h{3};
};

TEST_F(PeopleTable, RoundStartReachesEverySlotInOrder) {
  start();
  const GameEngine& e = h.engine();
  for (int slot : {1, 2, 5}) {
    auto seen = h.rec.to(slot);
    ASSERT_GE(seen.size(), 8u);
    EXPECT_EQ(seen[0], "CMD_startgame+Ann+f+");
    std::vector<std::string> head(seen.begin() + 1, seen.begin() + 8);
    EXPECT_EQ(names(head),
              (std::vector<std::string>{"CMD_startround", "CMD_placecard", "CMD_placecard", "CMD_placecard",
                                        "CMD_placecard", "CMD_trump", "CMD_bid"}));
    const int dealer = (e.leadSeat + 2) % 4 + 1;
    EXPECT_EQ(seen[1], "CMD_startround+1+" + std::to_string(dealer));
    EXPECT_EQ(seen[6], "CMD_trump+" + std::to_string(e.trumpCard));
    EXPECT_EQ(seen[7], "CMD_bid+" + std::to_string(e.leadSeat) + "+1+" + std::to_string(e.leadSeat));
  }
  // No slot that is not in use hears anything.
  EXPECT_TRUE(h.rec.to(3).empty());
  EXPECT_TRUE(h.rec.to(4).empty());
}

TEST_F(PeopleTable, SeatsSeeOnlyTheirOwnCardsAndSpectatorsNone) {
  start();
  auto& e = h.engine();
  h.rec.clear();
  // Round 2 deals two cards each.
  e.roundNumber = 1;
  e.handSize = 1;
  e.startround();
  for (int seat = 1; seat <= 4; ++seat) {
    const std::string open = "CMD_placecard+" + std::to_string(seat) + "+1+" +
                             std::to_string(e.seats[seat].hand[1]) + "+2+" +
                             std::to_string(e.seats[seat].hand[2]);
    const std::string hidden = "CMD_placecard+" + std::to_string(seat) + "+1+0+2+0";
    for (int slot : {1, 2, 5}) {
      auto got = h.rec.to(slot, "CMD_placecard");
      ASSERT_EQ(got.size(), 4u);
      EXPECT_EQ(got[seat - 1], slot == seat ? open : hidden) << "slot " << slot;
    }
  }
  // Hands go out seat by seat: every slot gets seat 1 before any gets seat 2.
  std::vector<int> seatOrder;
  for (const Sent& s : h.rec.sent)
    if (commandOf(s.text) == "CMD_placecard") seatOrder.push_back(s.text[14] - '0');
  EXPECT_EQ(seatOrder, (std::vector<int>{1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4}));
}

TEST_F(PeopleTable, TenCardDealUsesFortyCardsAndTurnsUpTheNext) {
  start();
  auto& e = h.engine();
  e.roundNumber = 9;
  e.handSize = 9;
  e.startround();
  ASSERT_EQ(e.handSize, 10);
  std::set<int> cards;
  for (int s = 1; s <= 4; ++s)
    for (int p = 1; p <= 10; ++p) {
      EXPECT_EQ(e.seats[s].hand[p], e.deck[(p - 1) * 4 + s]) << "deal order";
      cards.insert(e.seats[s].hand[p]);
    }
  EXPECT_EQ(cards.size(), 40u);
  EXPECT_EQ(e.trumpCard, e.deck[41]);
  EXPECT_FALSE(cards.count(e.trumpCard));
  std::set<int> deck(e.deck.begin() + 1, e.deck.end());
  EXPECT_EQ(deck.size(), 52u);
}

TEST_F(PeopleTable, OpeningSeatAndDealerAdvanceEachRound) {
  start();
  auto& e = h.engine();
  const int first = e.leadSeat;
  e.startround();
  EXPECT_EQ(e.leadSeat, nextSeat(first));
  EXPECT_EQ(h.rec.to(5, "CMD_startround").back(), "CMD_startround+2+" + std::to_string(first));
}

TEST_F(PeopleTable, GameKindChoosesTheLength) {
  for (auto [kind, half] : {std::pair{"h", true}, {"f", false}, {"x", false}, {"", false}}) {
    start(kind);
    EXPECT_EQ(h.engine().halfGame, half) << kind;
    EXPECT_EQ(h.engine().gameKind, kind);
  }
  // Without its fields the request is not a start at all.
  h.rec.clear();
  h.engine().gameInProgress = false;
  h.host.startgame("Ann");
  EXPECT_FALSE(h.engine().gameInProgress);
  EXPECT_TRUE(h.rec.sent.empty());
}

TEST_F(PeopleTable, RestartMidRoundDealsFreshHandsAndZeroesScores) {
  start();
  auto& e = h.engine();
  for (int s = 1; s <= 4; ++s) e.seats[s].score = 40 + s;
  h.host.slots[3].watching = true;
  // A trick pause is pending when the restart comes.
  e.waitaminuteTag = kTagTrick;
  e.waitaminute->start(kPauseMs);
  e.roundNumber = 6;
  e.handSize = 6;
  e.seats[4].hand[7] = 52;  // a stale card beyond the new hand
  h.rec.clear();
  start("h");
  EXPECT_EQ(e.roundNumber, 1);
  EXPECT_EQ(e.handSize, 1);
  EXPECT_FALSE(e.waitaminute->active());
  for (int s = 1; s <= 4; ++s) {
    EXPECT_EQ(e.seats[s].score, 0);
    EXPECT_FALSE(h.host.slots[s].watching);
    for (int p = 2; p <= kHandPositions; ++p) EXPECT_EQ(e.seats[s].hand[p], 0) << s << "/" << p;
    EXPECT_NE(e.seats[s].hand[1], 0);
  }
  EXPECT_EQ(h.rec.to(5, "CMD_startgame"), (std::vector<std::string>{"CMD_startgame+Ann+h+"}));
}

TEST_F(PeopleTable, ComputerOpenerBidsAtOnce) {
  // Only seat 1 is a person: whichever seat opens, the computer seats before
  // seat 1 have bid within the start itself, with no time passing.
  h.host.slots[2].inUse = false;
  start();
  auto& e = h.engine();
  const int lead = e.leadSeat;
  int bids = 0;
  for (int s = lead; s != 1; s = nextSeat(s)) ++bids;
  EXPECT_EQ(h.rec.to(5, "CMD_hisbid").size(), static_cast<size_t>(bids));
  EXPECT_EQ(e.currentBidder, 1);
  EXPECT_EQ(h.clock.now(), 0);
}

}  // namespace
}  // namespace ombrix::test
