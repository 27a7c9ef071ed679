// The computer players' skills inside the host: legal moves in whole games,
// replays, no peeking at hidden cards, and decisions that outlive the move
// they were made for.
#include <gtest/gtest.h>

#include <algorithm>

#include "ai/rng.h"
#include "ai/sampler.h"
#include "protocol/commands.h"
#include "tests/support/recorder.h"
#include "tests/support/referee.h"

namespace ombrix::test {
namespace {

using ai::Skill;

// Enough work to exercise every part of Strong; the arena measures strength.
constexpr long kTestWork = 3000;

std::vector<Sent> seenBy(const HostHarness& h, int slot) {
  std::vector<Sent> out;
  for (const Sent& s : h.rec.sent)
    if (s.slot == slot) out.push_back(s);
  return out;
}

// Four computer seats with the given skills and a spectator in slot 5.
struct SkilledGame {
  SkilledGame(uint64_t seed, std::array<Skill, 4> skills, bool half = true) : h(seed) {
    h.connect({5});
    auto& e = h.engine();
    e.botDelay = kBotFastMs;
    e.strongConfig.work = e.strongConfig.ruleWork = kTestWork;
    for (int s = 1; s <= 4; ++s) e.botSkill[s] = skills[s - 1];
    h.host.startgame(half ? "Bob+h+" : "Bob+f+");
  }
  bool finish() {
    return h.clock.runUntil([&] { return !h.rec.to(5, "CMD_winner").empty(); }, 24 * 3600 * 1000);
  }
  HostHarness h;
};

RefereeOptions skilledOptions(const std::array<Skill, 4>& skills, bool half) {
  RefereeOptions opt;
  opt.halfGame = half;
  opt.botDelay = kBotFastMs;
  for (int s = 1; s <= 4; ++s) {
    opt.computerSeats[s] = true;
    opt.skilled[s] = skills[s - 1] != Skill::Classic;
  }
  return opt;
}

TEST(SkilledGames, EveryMoveOfEverySkillIsLegalAndOnTime) {
  const std::array<std::array<Skill, 4>, 4> mixes = {{
      {Skill::Standard, Skill::Standard, Skill::Standard, Skill::Standard},
      {Skill::Strong, Skill::Classic, Skill::Standard, Skill::Classic},
      {Skill::Classic, Skill::Strong, Skill::Strong, Skill::Standard},
      {Skill::Strong, Skill::Strong, Skill::Strong, Skill::Strong},
  }};
  for (uint64_t seed = 300; seed < 308; ++seed) {
    const auto& skills = mixes[seed % mixes.size()];
    const bool half = seed != 301;  // one full game reaches the shrinking hands
    SkilledGame g(seed, skills, half);
    ASSERT_TRUE(g.finish()) << seed;
    auto rep = refereeGame(seenBy(g.h, 5), skilledOptions(skills, half));
    EXPECT_TRUE(rep.ok()) << "seed " << seed << ": " << rep.summary();
    EXPECT_EQ(rep.rounds, half ? 10 : 20);
    EXPECT_TRUE(g.h.rec.notices.empty()) << seed;
  }
}

TEST(SkilledGames, TheSameSeedReplaysTheSameGame) {
  const std::array<Skill, 4> skills = {Skill::Strong, Skill::Standard, Skill::Strong, Skill::Classic};
  SkilledGame a(77, skills), b(77, skills), c(78, skills);
  ASSERT_TRUE(a.finish() && b.finish() && c.finish());
  EXPECT_EQ(a.h.rec.to(5), b.h.rec.to(5));
  EXPECT_NE(a.h.rec.to(5), c.h.rec.to(5));
}

TEST(SkilledGames, ClassicSeatsAnnounceExactlyWhatTheyAlwaysDid) {
  // Skills elsewhere at the table change nothing in how Classic seats choose:
  // the referee checks their every bid and card against the Classic rule.
  const std::array<Skill, 4> skills = {Skill::Strong, Skill::Classic, Skill::Classic, Skill::Classic};
  SkilledGame g(5150, skills);
  ASSERT_TRUE(g.finish());
  EXPECT_TRUE(refereeGame(seenBy(g.h, 5), skilledOptions(skills, true)).ok());
}

// Every view a Strong seat decides from is one a game can give, and the deals
// its search draws agree with it: every hand as long as the seat holds, none
// of a suit the seat has shown it lacks, no card seen played or turned up,
// no card twice, and no fallback to a deal that ignores any of it. Read for
// what the bids and plays say, the deals put more of the other seats' cards
// where they really are than deals that only agree with the view.
TEST(SkilledGames, StrongDecidesFromConsistentViewsAndDealsThatAgreeWithThem) {
  SkilledGame g(31, {Skill::Strong, Skill::Strong, Skill::Standard, Skill::Strong});
  GameEngine& e = g.h.engine();
  int fallbacks = 0, decisions = 0, views = 0;
  long placedWith = 0, placedWithout = 0;
  e.onDecision = [&](const ai::Decision& d) {
    fallbacks += d.fallbacks();
    ++decisions;
  };
  while (e.gameInProgress && g.h.clock.step()) {
    const bool bidding = e.currentPlayer == 0 && isSeat(e.currentBidder);
    const int seat = bidding ? e.currentBidder : e.currentPlayer;
    if (!isSeat(seat) || (!bidding && (e.cardsInTrick >= kSeats || e.tricksPlayed >= e.handSize))) continue;
    const ai::SeatView v = e.viewFor(seat);
    ASSERT_TRUE(v.consistent()) << "round " << e.roundNumber << ", seat " << seat;
    ++views;
    std::array<ai::Mask, kSeats> real{};
    for (int s = 1; s <= kSeats; ++s)
      for (int p = 1; p <= kMaxHand; ++p)
        if (e.seats[s].hand[p]) real[s - 1] |= ai::bit(ai::indexOf(e.seats[s].hand[p]));
    const ai::Sampler sampler(v), blind(v, ai::SamplerOptions{false});
    ai::Rng rng(views), rngBlind(views);
    const ai::Mask own = v.handMask(), shown = v.played | ai::bit(ai::indexOf(v.trumpCard));
    for (int k = 0; k < 20; ++k) {
      const ai::Deal d = sampler.draw(rng), b = blind.draw(rngBlind);
      ASSERT_FALSE(d.fallback) << "round " << e.roundNumber << ", seat " << seat;
      ai::Mask all = 0;
      for (int s = 1; s <= kSeats; ++s) {
        const ai::Mask hand = d.hands[s - 1];
        ASSERT_EQ(ai::count(hand), v.cardsHeld(s));
        ASSERT_EQ(hand & all, 0u);
        all |= hand;
        if (s == seat) continue;
        placedWith += ai::count(hand & real[s - 1]);
        placedWithout += ai::count(b.hands[s - 1] & real[s - 1]);
        ASSERT_EQ(hand & (shown | own), 0u);
        for (int suit = 0; suit < 4; ++suit)
          if (v.voids[s] & ai::suitBit(suit)) {
            ASSERT_EQ(hand & ai::suitMask(suit), 0u);
          }
      }
      ASSERT_EQ(d.hands[seat - 1], own);
    }
  }
  EXPECT_FALSE(e.gameInProgress);
  EXPECT_GT(views, 100);
  EXPECT_GT(decisions, 100);
  EXPECT_EQ(fallbacks, 0);
  EXPECT_GT(placedWith, placedWithout * 11 / 10) << placedWith << " against " << placedWithout;
}

// The host watches who keeps to the Classic rule only while a seat plays
// Strong. Chosen with a round under way, it has missed that round's first
// cards: the round counts for nothing, and the seats that keep to the rule
// are trusted once it has watched three whole rounds.
TEST(SkilledGames, AStrongSeatChosenMidRoundTrustsTheClassicSeatsAfterWholeRounds) {
  SkilledGame g(77, {Skill::Classic, Skill::Classic, Skill::Classic, Skill::Classic});
  GameEngine& e = g.h.engine();
  ASSERT_TRUE(g.h.clock.runUntil([&] { return e.roundNumber == 4 && e.tricksPlayed == 1; }, 3600 * 1000));
  e.botSkill[1] = Skill::Strong;
  ASSERT_TRUE(g.h.clock.runUntil([&] { return e.roundNumber == 8; }, 3600 * 1000));
  for (int s = 2; s <= kSeats; ++s) EXPECT_TRUE(e.ruleWatch.classic(s)) << "seat " << s;
}

// --- No peeking ------------------------------------------------------------------

// Copies everything the engine holds into another engine of the same seed.
void copyGame(const GameEngine& from, GameEngine& to) {
  to.seats = from.seats;
  to.gameInProgress = from.gameInProgress;
  to.currentPlayer = from.currentPlayer;
  to.leadSeat = from.leadSeat;
  to.currentBidder = from.currentBidder;
  to.biddingStarter = from.biddingStarter;
  to.bidTotal = from.bidTotal;
  to.roundNumber = from.roundNumber;
  to.handSize = from.handSize;
  to.tricksPlayed = from.tricksPlayed;
  to.cardsInTrick = from.cardsInTrick;
  to.trumpCard = from.trumpCard;
  to.trumpSuit = from.trumpSuit;
  to.ledSuit = from.ledSuit;
  to.deck = from.deck;
  to.deckIndex = from.deckIndex;
  to.halfGame = from.halfGame;
  to.gameKind = from.gameKind;
  to.botDelay = from.botDelay;
  to.botSkill = from.botSkill;
  to.strongConfig = from.strongConfig;
  to.record = from.record;
  to.ruleWatch = from.ruleWatch;
  to.thinktimer->stop();
  to.computertimer->stop();
  to.waitaminute->stop();
}

// Deals the cards `seat` cannot see (the other hands and the undealt deck)
// anew among the other seats and the deck: each seat keeps its number of
// cards and gets none of a suit it has shown it lacks.
void redistribute(GameEngine& e, int seat, uint64_t seed) {
  std::vector<int> pool;
  for (int s = 1; s <= kSeats; ++s)
    for (int p = 1; p <= kMaxHand; ++p)
      if (s != seat && e.seats[s].hand[p]) pool.push_back(e.seats[s].hand[p]);
  for (int k = e.deckIndex + 1; k <= kDeckSize; ++k) pool.push_back(e.deck[k]);
  ai::Rng rng(seed);
  for (int attempt = 0; attempt < 1000; ++attempt) {
    for (size_t i = pool.size(); i > 1; --i)
      std::swap(pool[i - 1], pool[rng.below(static_cast<uint32_t>(i))]);
    std::vector<int> left = pool;
    auto hands = e.seats;
    bool ok = true;
    for (int s = 1; s <= kSeats && ok; ++s) {
      if (s == seat) continue;
      for (int p = 1; p <= kMaxHand && ok; ++p) {
        if (!hands[s].hand[p]) continue;
        auto fit = std::find_if(left.begin(), left.end(),
                                [&](int c) { return !(e.record.voids[s] & (1u << (suitOf(c) - 1))); });
        if (fit == left.end()) ok = false;
        if (!ok) break;
        hands[s].hand[p] = *fit;
        left.erase(fit);
      }
    }
    if (!ok) continue;
    for (int s = 1; s <= kSeats; ++s) e.seats[s].hand = hands[s].hand;
    for (int k = e.deckIndex + 1; k <= kDeckSize; ++k) e.deck[k] = left[k - e.deckIndex - 1];
    return;
  }
  FAIL() << "no consistent redistribution";
}

// The move `seat` makes from this position with `skill`, as announced.
std::string moveOf(HostHarness& h, int seat, Skill skill) {
  GameEngine& e = h.engine();
  e.botSkill[seat] = skill;
  h.rec.clear();
  const bool bidding = e.currentPlayer == 0;
  const std::string want = (bidding ? "CMD_hisbid+" : "CMD_playcard+") + std::to_string(seat) + "+";
  auto made = [&] {
    for (const auto& m : h.rec.to(5))
      if (m.rfind(want, 0) == 0) return true;
    return false;
  };
  if (bidding)
    e.cbid(seat, e.handSize);
  else
    e.cplay(seat);
  if (!h.clock.runUntil(made, 1000)) {
    std::string all;
    for (const auto& m : h.rec.to(5)) all += m + " | ";
    return "no move: bidding " + std::to_string(bidding) + " cp " + std::to_string(e.currentPlayer) + " cb " +
           std::to_string(e.currentBidder) + " cit " + std::to_string(e.cardsInTrick) + " " + all;
  }
  for (const auto& m : h.rec.to(5))
    if (m.rfind(want, 0) == 0) return bidding ? m.substr(0, m.rfind('+')) : m;  // not the bid total
  return "";
}

TEST(NoPeeking, HiddenCardsDealtOtherwiseNeverChangeADecision) {
  const std::array<Skill, 4> skills = {Skill::Strong, Skill::Standard, Skill::Classic, Skill::Strong};
  int checked = 0, differentDeals = 0;
  for (uint64_t seed : {11u, 12u}) {
    SkilledGame a(seed, skills);
    GameEngine& e = a.h.engine();
    int due = 0;
    while (e.gameInProgress && a.h.clock.step()) {
      const bool bidding = e.currentPlayer == 0 && isSeat(e.currentBidder);
      const int seat = bidding ? e.currentBidder : e.currentPlayer;
      if (!isSeat(seat) || (!bidding && (e.cardsInTrick >= kSeats || e.tricksPlayed >= e.handSize))) continue;
      if (++due % 7 != 0) continue;  // a spread of positions, not all of them
      for (Skill skill : {Skill::Standard, Skill::Strong}) {
        HostHarness same(seed), other(seed);
        for (HostHarness* h : {&same, &other}) {
          h->connect({5});
          h->host.startgame("Bob+h+");
          copyGame(e, h->engine());
        }
        redistribute(other.engine(), seat, seed * 1000 + due);
        for (int s = 1; s <= kSeats; ++s)
          if (s != seat && other.engine().seats[s].hand != e.seats[s].hand) {
            ++differentDeals;
            break;
          }
        const std::string expected = moveOf(same, seat, skill);
        EXPECT_EQ(expected.find("no move"), std::string::npos) << expected;
        EXPECT_EQ(moveOf(other, seat, skill), expected) << "seed " << seed << ", round " << e.roundNumber
                                                        << ", seat " << seat << ", " << ai::skillName(skill);
        ++checked;
      }
    }
  }
  EXPECT_GT(checked, 60);
  EXPECT_GT(differentDeals, checked / 2);  // the test moved cards about
}

// --- Decisions that outlive their move ----------------------------------------------

struct Thinking : ::testing::Test {
  void SetUp() override {
    h.connect({1, 5});  // seat 1 a person; 2 to 4 Strong
    e().botDelay = kBotFastMs;
    // More work than one step does: every decision spans several.
    e().strongConfig.work = e().strongConfig.ruleWork = 20 * ai::Decision::kStepWork;
    for (int s = 2; s <= 4; ++s) e().botSkill[s] = Skill::Strong;
  }
  GameEngine& e() { return h.engine(); }
  // Starts games until one's ten-card round opens its bidding with a seat
  // that `wanted` accepts.
  template <class Pred>
  void startUntil(Pred wanted) {
    for (int i = 0; i < 40; ++i) {
      h.host.startgame("Ann+h+");
      e().roundNumber = e().handSize = 9;
      h.rec.clear();
      e().startround();
      if (wanted(e().currentBidder)) return;
    }
    FAIL() << "no such opening";
  }
  HostHarness h{21};
};

TEST_F(Thinking, AStrongBidComesAtOnceButNotInsideTheRequest) {
  startUntil([](int bidder) { return bidder >= 2; });
  const int bidder = e().currentBidder;
  // The ask is out; the bid follows once the event loop is idle again, at
  // the same moment of the game.
  EXPECT_TRUE(h.rec.to(5, "CMD_hisbid").empty());
  EXPECT_TRUE(e().thinktimer->active());
  const int64_t asked = h.clock.now();
  ASSERT_TRUE(h.clock.runUntil([&] { return !h.rec.to(5, "CMD_hisbid").empty(); }, 0));
  EXPECT_EQ(h.rec.to(5, "CMD_hisbid")[0].substr(0, 13), "CMD_hisbid+" + std::to_string(bidder) + "+");
  EXPECT_EQ(h.clock.now(), asked);
}

TEST_F(Thinking, ARestartDropsTheDecisionInProgress) {
  startUntil([](int bidder) { return bidder >= 2; });
  ASSERT_TRUE(e().thinktimer->active());
  startUntil([](int bidder) { return bidder == 1; });  // now the person opens
  h.rec.clear();
  h.clock.advance(10 * kBotFastMs);
  EXPECT_TRUE(h.rec.to(5, "CMD_hisbid").empty());
  EXPECT_EQ(e().currentBidder, 1);
  EXPECT_FALSE(e().thinktimer->active());
}

TEST_F(Thinking, APersonWhoTakesTheSeatBackIsAwaited) {
  // Seat 2 is a person watching: the computer thinks for it as it comes on
  // turn, and the person stops watching before the delay is over.
  h.connect({2});
  h.host.slots[2].watching = true;
  e().gameInProgress = true;
  e().handSize = 2;
  e().trumpCard = 27;  // the two of hearts
  e().trumpSuit = kHearts;
  const int hands[5][2] = {{}, {1, 2}, {3, 10}, {5, 6}, {7, 8}};  // all clubs
  for (int s = 1; s <= 4; ++s) {
    e().seats[s].hand[1] = hands[s][0];
    e().seats[s].hand[2] = hands[s][1];
    e().seats[s].bid = 1;
  }
  e().leadSeat = 1;
  e().currentPlayer = 1;
  h.host.playcard("1+1");
  ASSERT_EQ(e().currentPlayer, 2);
  h.host.slots[2].watching = false;
  h.rec.clear();
  h.clock.advance(10 * kBotFastMs);
  EXPECT_TRUE(h.rec.to(5, "CMD_playcard").empty());
  EXPECT_EQ(e().currentPlayer, 2);
  // Watching again, the seat's card comes at once.
  h.host.slots[2].watching = true;
  e().cplay(2);
  h.clock.runUntil([&] { return !h.rec.to(5, "CMD_playcard").empty(); }, 0);
  EXPECT_EQ(h.rec.to(5, "CMD_playcard").size(), 1u);
}

}  // namespace
}  // namespace ombrix::test
