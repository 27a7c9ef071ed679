// A solo game saved and resumed, in virtual time: at every phase the resumed
// host says to its player, byte for byte, what the uninterrupted game said
// from there on; and a save that is cut short, changed or does not hold
// together is refused and kept aside.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>

#include <sys/stat.h>
#include <zlib.h>

#include "engine/gamestate.h"
#include "host/savegame.h"
#include "rules/rules.h"
#include "tests/support/recorder.h"

namespace ombrix::test {
namespace {

namespace fs = std::filesystem;
using ai::Skill;

// A search small enough for a test, large enough to take several steps.
ai::StrongConfig quickStrong() {
  ai::StrongConfig c;
  c.work = c.ruleWork = 12000;
  c.minSamples = 4;
  c.maxSamples = 40;
  return c;
}

// A folder of the test's own, removed afterwards.
struct TempDir {
  TempDir() {
    std::string t = (fs::temp_directory_path() / "ombrix-save-XXXXXX").string();
    path = ::mkdtemp(t.data());
  }
  ~TempDir() { fs::remove_all(path); }
  fs::path path;
};

std::string slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// A solo game: slot 1 a person who answers at once by a fixed rule, the
// computer seats Standard, Strong and Classic.
struct Solo {
  explicit Solo(uint64_t seed) : h(seed) { e().strongConfig = quickStrong(); }
  GameEngine& e() { return h.engine(); }
  void send(const std::string& m) {
    h.host.received(1, m + "\xFF");
    h.clock.runUntil([&] { return h.host.receivedlist.empty(); }, 60000);
  }
  void login() {
    ASSERT_EQ(h.host.acceptConnection(), 1);
    // A table that follows house rules says so right after its log-in.
    send(h.host.houseRules().design() ? "CMD_logininfo+1+1.0.14+You\xFF"
                                      : "CMD_logininfo+1+1.0.14+You\xFF\xFF" "CMD_features+1+rules+");
  }
  void start() {
    login();
    send("CMD_botspeed+1+500+");
    e().botSkill = {Skill::Classic, Skill::Classic, Skill::Standard, Skill::Strong, Skill::Classic};
    send("CMD_startgame+You+h+");
  }
  bool owesBid() const {
    const GameEngine& e = h.host.engine;
    return e.currentPlayer == 0 && e.currentBidder == 1 && !e.isComputer(1);
  }
  bool owesCard() const {
    const GameEngine& e = h.host.engine;
    return e.currentPlayer == 1 && e.cardsInTrick < kSeats && e.tricksPlayed < e.handSize && !e.isComputer(1);
  }
  // The person's move, when one is owed: a bid that depends on the round,
  // or its last legal card in deal order (the computer's rule takes the first).
  bool move() {
    if (owesBid()) {
      int bid = e().roundNumber * 7 % (e().handSize + 1);
      // One the house rules allow: the hook may bar it for the last bidder.
      if (!rules::mayBid(e().rules, bid, e().handSize, e().bidTotal, nextSeat(1) == e().biddingStarter))
        bid = (bid + 1) % (e().handSize + 1);
      send("CMD_bid+1+" + std::to_string(bid));
      return true;
    }
    if (!owesCard()) return false;
    const auto& hand = e().seats[1].hand;
    int pick = 0;
    for (int p = kMaxHand; p >= 1 && !pick; --p)
      if (suitOf(hand[p]) == e().ledSuit && e().cardsInTrick > 0) pick = p;
    for (int p = kMaxHand; p >= 1 && !pick; --p)
      if (hand[p] != kNoCard) pick = p;
    send("CMD_playcard+1+" + std::to_string(pick));
    return true;
  }
  // Plays on until `stop` holds (true) or the game is over (false).
  bool playUntil(const std::function<bool()>& stop) {
    for (;;) {
      if (stop()) return true;
      if (move()) continue;
      if (!e().gameInProgress || !h.clock.step()) return false;
    }
  }
  std::vector<std::string> heard() const { return h.rec.to(1); }

  HostHarness h;
};

bool never() { return false; }

TEST(Resume, AtEveryPhaseTheGameGoesOnAsIfNeverLeft) {
  constexpr uint64_t kSeed = 2024;
  TempDir dir;
  const fs::path savePath = dir.path / "nested" / kSaveFileName;

  // The uninterrupted game, its save kept up to date as the game keeps it.
  Solo a(kSeed);
  GameSaver saver(a.h.host, savePath.string());
  fs::create_directories(savePath.parent_path());
  std::ofstream(savePath) << "an older game";
  a.start();
  EXPECT_FALSE(fs::exists(savePath)) << "a new game removes the save";
  ASSERT_TRUE(a.playUntil([&] { return a.e().tricksPlayed == 1; }));
  EXPECT_TRUE(fs::exists(savePath)) << "saved after the first trick";
  ASSERT_FALSE(a.playUntil(never));
  const std::vector<std::string> full = a.heard();
  ASSERT_EQ(commandOf(full.back()), "CMD_winner");
  EXPECT_FALSE(fs::exists(savePath)) << "a finished game leaves no save";

  struct Phase {
    const char* name;
    std::function<bool(const GameEngine&)> at;
    bool fromTrickSave = false;  // resumed from the save written after the trick, not one made now
  };
  auto roundPause = [](const GameEngine& e) { return e.currentPlayer != 0 && e.tricksPlayed == e.handSize; };
  const std::vector<Phase> phases = {
      {"the player asked to bid", [](const GameEngine& e) { return e.roundNumber == 3 && e.currentBidder == 1; }},
      {"the player's card owed mid-trick",
       [](const GameEngine& e) { return e.roundNumber >= 5 && e.currentPlayer == 1 && e.cardsInTrick == 2; }},
      {"a Strong seat thinking mid-trick",
       [](const GameEngine& e) { return e.roundNumber >= 6 && e.currentPlayer == 3 && e.cardsInTrick == 1; }},
      {"the pause between tricks", [](const GameEngine& e) { return e.roundNumber >= 7 && e.cardsInTrick == 4; }},
      {"the pause between rounds, a second gone",
       [&](const GameEngine& e) { return e.roundNumber >= 8 && roundPause(e) && e.pauseTicks == 1; }},
      {"the last trick of the game",
       [](const GameEngine& e) { return e.roundNumber == 10 && e.tricksPlayed == 9 && e.cardsInTrick == 2; }},
      {"as saved after a trick",
       [&](const GameEngine& e) {
         return e.roundNumber == 4 && e.tricksPlayed == 2 && e.cardsInTrick == 0 && !roundPause(e);
       },
       true},
  };

  for (const Phase& phase : phases) {
    SCOPED_TRACE(phase.name);
    // The same game, left at that moment.
    Solo b(kSeed);
    GameSaver bSaver(b.h.host, savePath.string());
    b.start();
    ASSERT_TRUE(b.playUntil([&] { return phase.at(b.e()); }));
    const std::vector<std::string> before = b.heard();
    ASSERT_TRUE(std::equal(before.begin(), before.end(), full.begin()));
    const bool owed = b.owesBid() || b.owesCard();

    GameState state;
    ASSERT_TRUE(b.e().saveState(state));
    if (phase.fromTrickSave) {
      EXPECT_EQ(slurp(savePath), encodeSave(state)) << "the save written after the trick is this state";
    } else {
      ASSERT_TRUE(bSaver.saveNow());  // as the window does when it closes
    }
    SaveFile file(savePath.string());
    const SaveFile::Loaded loaded = file.read();
    ASSERT_TRUE(loaded.state) << loaded.report;
    EXPECT_EQ(*loaded.state, state);

    // Another program: another seed, the Classic rule everywhere, until the save says otherwise.
    Solo c(kSeed + 99);
    ASSERT_TRUE(c.h.host.resume(*loaded.state));
    c.h.clock.advance(10000);
    GameState held;
    ASSERT_TRUE(c.e().saveState(held));
    EXPECT_EQ(held, state) << "nothing moves before the player is back";
    c.login();
    const std::vector<std::string> again = c.heard();
    const auto stats = std::find_if(again.begin(), again.end(), [](auto& m) { return commandOf(m) == "CMD_stats"; });
    ASSERT_NE(stats, again.end());
    // Brought up to date as a late joiner: its hand, every seat, the round.
    std::string hand = "CMD_placecard+1";
    for (int p = 1; p <= kMaxHand; ++p)
      if (int card = state.seats[1].hand[p]) hand += "+" + std::to_string(p) + "+" + std::to_string(card);
    EXPECT_EQ(std::count(again.begin(), stats, hand), hand == "CMD_placecard+1" ? 0 : 1);
    EXPECT_EQ(std::count_if(again.begin(), stats, [](auto& m) { return commandOf(m) == "CMD_newplayerstuff"; }), 4);
    // Then asked again for the move it owed, and the game goes on to the byte.
    std::vector<std::string> expected(full.begin() + static_cast<long>(before.size()), full.end());
    if (owed) expected.insert(expected.begin(), before.back());
    ASSERT_FALSE(c.playUntil(never));
    const std::vector<std::string> after = c.heard();
    EXPECT_EQ(std::vector<std::string>(after.begin() + (stats - again.begin()) + 1, after.end()), expected);
    EXPECT_EQ(c.e().roundPoints, a.e().roundPoints);
  }
}

TEST(Resume, AVariantGameResumesWithItsHouseRules) {
  constexpr uint64_t kSeed = 77;
  const rules::Rules house{true, rules::Scoring::Penalty, rules::Rounds::DownUp};
  Solo a(kSeed);
  ASSERT_TRUE(a.h.host.setRules(house));
  a.start();
  ASSERT_FALSE(a.playUntil(never));

  Solo b(kSeed);
  ASSERT_TRUE(b.h.host.setRules(house));
  b.start();
  ASSERT_TRUE(b.playUntil([&] { return b.e().roundNumber == 4 && b.e().tricksPlayed == 2; }));
  GameState state;
  ASSERT_TRUE(b.e().saveState(state));
  std::string why;
  const auto read = decodeSave(encodeSave(state), &why);
  ASSERT_TRUE(read) << why;
  EXPECT_EQ(read->rules, house);
  // A save of the same state without its rules is the design's 7-card round 4: not this game.
  EXPECT_FALSE(decodeSave(encodeSave(state, 2)));

  Solo c(kSeed + 99);  // the design's rules until the save says otherwise
  ASSERT_TRUE(c.h.host.resume(*read));
  EXPECT_EQ(c.h.host.houseRules(), house);
  c.login();
  EXPECT_EQ(c.h.rec.to(1, "CMD_rules"), std::vector<std::string>{"CMD_rules+" + rules::format(house)});
  ASSERT_FALSE(c.playUntil(never));
  EXPECT_EQ(c.e().roundPoints, a.e().roundPoints);
  EXPECT_EQ(c.h.rec.to(1, "CMD_winner"), a.h.rec.to(1, "CMD_winner"));
}

TEST(Resume, APlayerWhoChoseToWatchIsWatchingAgain) {
  Solo b(5);
  b.start();
  ASSERT_TRUE(b.playUntil([&] { return b.e().roundNumber == 2; }));
  b.send("CMD_justwatch+1+1");
  ASSERT_TRUE(b.playUntil([&] { return b.e().roundNumber == 3 && b.e().cardsInTrick == 1; }));
  GameState state;
  ASSERT_TRUE(b.e().saveState(state));
  EXPECT_TRUE(state.seats[1].watching);
  const size_t cut = b.heard().size();
  ASSERT_FALSE(b.playUntil(never));  // the game as it went on
  const std::vector<std::string> full = b.heard();

  Solo c(6);
  ASSERT_TRUE(c.h.host.resume(*decodeSave(encodeSave(state))));
  c.login();
  ASSERT_FALSE(c.playUntil(never));
  const std::vector<std::string> after = c.heard();
  const auto stats = std::find_if(after.begin(), after.end(), [](auto& m) { return commandOf(m) == "CMD_stats"; });
  ASSERT_LT(stats + 1, after.end());
  EXPECT_EQ(stats[1], "CMD_justwatching+1+1");
  EXPECT_EQ(std::vector<std::string>(stats + 2, after.end()),
            std::vector<std::string>(full.begin() + static_cast<long>(cut), full.end()));
}

// A state in the middle of a round, with the table's trick half down.
GameState midGame() {
  Solo s(7);
  s.start();
  EXPECT_TRUE(s.playUntil([&] { return s.e().roundNumber == 6 && s.e().cardsInTrick == 2; }));
  GameState st;
  EXPECT_TRUE(s.e().saveState(st));
  return st;
}

// The text with its checksum made right again: refused, if at all, for what it says.
std::string resealed(std::string text) {
  text.resize(text.rfind("crc ") );
  char crc[16];
  std::snprintf(crc, sizeof crc, "crc %08lx\n",
                crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(text.data()), static_cast<uInt>(text.size())));
  return text + crc;
}

TEST(Resume, ASaveCutShortChangedOrImpossibleIsRefusedAndKeptAside) {
  const GameState good = midGame();
  const std::string bytes = encodeSave(good);
  std::string why;
  ASSERT_TRUE(decodeSave(bytes, &why)) << why;

  // Cut short anywhere, or any byte changed: the checksum or the shape tells.
  for (size_t n = 0; n < bytes.size(); ++n) ASSERT_FALSE(decodeSave(bytes.substr(0, n))) << n;
  for (size_t i = 0; i < bytes.size(); ++i) {
    std::string bent = bytes;
    bent[i] ^= 0x10;
    ASSERT_FALSE(decodeSave(bent)) << i;
  }

  // States no game reaches, written with a right checksum.
  struct Case {
    const char* name;
    std::function<void(GameState&)> bend;
  };
  auto held = [](GameState& s, int seat) -> int& {
    for (int p = 1; p <= kMaxHand; ++p)
      if (s.seats[seat].hand[p]) return s.seats[seat].hand[p];
    return s.seats[seat].hand[1];
  };
  const std::vector<Case> cases = {
      {"a card in two hands", [&](GameState& s) { held(s, 2) = held(s, 3); }},
      {"a card that is none", [&](GameState& s) { held(s, 2) = 53; }},
      // A shift by 67 reads as one by 3: card 68 would pass for card 4.
      {"a card on the table that is none",
       [](GameState& s) {
         for (auto& seat : s.seats)
           if (seat.played) seat.played += 64;
       }},
      {"the trump in a hand", [&](GameState& s) { held(s, 4) = s.trumpCard; }},
      {"a round past the game", [](GameState& s) { s.roundNumber = 11; }},
      {"a hand of the wrong size", [&](GameState& s) { held(s, 1) = kNoCard; }},
      {"a bid above the hand", [](GameState& s) { s.seats[2].bid = s.handSize + 1; }},
      {"a bid total not the bids'", [](GameState& s) { ++s.bidTotal; }},
      {"a score its rounds do not make", [](GameState& s) { s.seats[3].score += 1; }},
      {"a trick led in another suit", [](GameState& s) { s.ledSuit = s.ledSuit % 4 + 1; }},
      {"the turn elsewhere than the trick", [](GameState& s) { s.currentPlayer = nextSeat(s.currentPlayer); }},
      {"a pause outside one", [](GameState& s) { s.pauseTicks = 1; }},
      {"a generator that cannot shuffle", [](GameState& s) { s.deckRandom = {}; }},
      {"a game kind that is two fields", [](GameState& s) { s.gameKind = "f+x"; }},
      {"a delay past any speed", [](GameState& s) { s.botDelay = kMaxBotDelayMs + 1; }},
      {"a rule watch of another game", [](GameState& s) { s.watch.erase(s.watch.begin()); }},
      {"a game log of another game", [](GameState& s) { s.publicLog.erase(s.publicLog.begin() + 1); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    GameState bent = good;
    c.bend(bent);
    EXPECT_FALSE(checkState(bent).empty());
    std::string reason;
    EXPECT_FALSE(decodeSave(encodeSave(bent), &reason));
    EXPECT_FALSE(reason.empty());
    // Nor does the engine take it from anyone else.
    HostHarness h(1);
    EXPECT_FALSE(h.host.resume(bent));
    EXPECT_FALSE(h.engine().gameInProgress);
  }
  // Whole and checksummed, but not a save this program reads.
  EXPECT_TRUE(decodeSave(resealed(bytes)));
  // A save from before the game's log was kept still reads, without it.
  GameState old = good;
  old.publicLog.clear();
  old.starter.clear();
  EXPECT_EQ(decodeSave(encodeSave(good, 1)), old);
  // Resumed, such a game plays on, and its next save is one a game can
  // reach again (still without a log: one begun mid-game tells no game).
  {
    Solo v(8);
    ASSERT_TRUE(v.h.host.resume(old));
    v.login();
    ASSERT_TRUE(v.playUntil([&] { return v.e().tricksPlayed != old.tricksPlayed && v.e().cardsInTrick == 1; }));
    GameState next;
    ASSERT_TRUE(v.e().saveState(next));
    EXPECT_EQ(checkState(next), "");
    EXPECT_TRUE(next.publicLog.empty());
  }
  for (const auto& [from, to] : std::vector<std::pair<std::string, std::string>>{
           {"version 3", "version 4"}, {"delay 500", "delay 500 7"}, {"skills classic", "skills expert"},
           {"trump ", "trump -"}, {"seat 2", "seat 3"}}) {
    std::string t = bytes;
    t.replace(t.find(from), from.size(), to);
    std::string reason;
    EXPECT_FALSE(decodeSave(resealed(t), &reason)) << to;
    EXPECT_FALSE(reason.empty());
  }

  // On the disk: a damaged file is reported and moved aside, never offered again.
  TempDir dir;
  SaveFile file((dir.path / kSaveFileName).string());
  EXPECT_FALSE(file.read().state);
  EXPECT_TRUE(file.read().report.empty()) << "no save is nothing to report";
  ASSERT_TRUE(file.write(good));
  EXPECT_EQ(file.read().state, good);
  std::ofstream(file.path(), std::ios::binary) << bytes.substr(0, bytes.size() / 2);
  const SaveFile::Loaded cut = file.read();
  EXPECT_FALSE(cut.state);
  EXPECT_NE(cut.report.find("cut short"), std::string::npos) << cut.report;
  EXPECT_NE(cut.report.find(file.damagedPath()), std::string::npos) << cut.report;
  EXPECT_FALSE(fs::exists(file.path()));
  EXPECT_EQ(slurp(file.damagedPath()), bytes.substr(0, bytes.size() / 2));
  // A folder where the file should be cannot be read either; it replaces
  // the older damaged file.
  fs::create_directory(file.path());
  EXPECT_FALSE(file.read().report.empty());
  EXPECT_TRUE(fs::is_directory(file.damagedPath()));
  EXPECT_FALSE(fs::exists(file.path()));
  // A write that cannot be made says why and leaves the old save whole.
  ASSERT_TRUE(file.write(good));
  SaveFile blocked((dir.path / kSaveFileName / "inside").string());
  std::string error;
  EXPECT_FALSE(blocked.write(good, &error));
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(file.read().state, good);

  // A link is not followed, even to a good save, and a FIFO does not hold
  // up the start (nothing writes to it): each is refused and moved aside.
  const fs::path elsewhere = dir.path / "elsewhere.sav";
  fs::rename(file.path(), elsewhere);
  fs::create_symlink(elsewhere, file.path());
  const SaveFile::Loaded linked = file.read();
  EXPECT_FALSE(linked.state);
  EXPECT_NE(linked.report.find("it is a link"), std::string::npos) << linked.report;
  EXPECT_TRUE(fs::is_symlink(file.damagedPath()));
  EXPECT_EQ(slurp(elsewhere), encodeSave(good)) << "what the link named is untouched";
  ASSERT_EQ(::mkfifo(file.path().c_str(), 0600), 0);
  const SaveFile::Loaded fifo = file.read();
  EXPECT_FALSE(fifo.state);
  EXPECT_NE(fifo.report.find("not a regular file"), std::string::npos) << fifo.report;
  EXPECT_FALSE(fs::exists(file.path()));
}

}  // namespace
}  // namespace ombrix::test
