// Positions where any strong player makes the same move, and a computer
// player that makes another is seen to blunder. Each gives the deal as the
// seat saw it (its hand, the turned-up trump, the bids, the tricks played and
// the trick on the table), the move, and why. Strong must make every one;
// Standard the ones its rule can see.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ai/decision.h"
#include "tests/ai/ai_fixture.h"

namespace ombrix::test {
namespace {

using namespace ombrix::ai;

constexpr int N = kNotBid;

struct Position {
  const char* name;
  const char* why;
  int size;            // cards dealt this round
  const char* trump;   // the turned-up card
  int opener;          // bid first and led the first trick
  std::array<int, 5> bids;                       // [1..4]
  std::vector<std::vector<const char*>> tricks;  // finished tricks, each from its leader
  std::vector<const char*> table;                // the trick on the table, from its leader
  int seat;                                      // the seat to move
  std::vector<const char*> hand;                 // its cards now
  std::vector<const char*> moves;  // the move: a card, or cards that play alike; a bid as digits
  bool standardSees;               // Standard's rule finds it too
};

// The seat's view after the tricks and the table are played in order.
SeatView viewAt(const Position& p) {
  SeatView v = viewOf(p.seat, p.size, p.trump, std::initializer_list<const char*>{});
  int k = 1;
  for (const char* c : p.hand) v.hand[k++] = card(c);
  v.opener = p.opener;
  v.bids = p.bids;
  const int trump = suitIx(bitOf(p.trump));
  int leader = p.opener;
  auto play = [&](const std::vector<const char*>& cards, bool finished) {
    int led = -1, win = -1, winner = 0;
    for (size_t i = 0; i < cards.size(); ++i) {
      const int seat = (leader - 1 + static_cast<int>(i)) % 4 + 1, c = bitOf(cards[i]);
      if (i == 0) led = suitIx(c);
      v.play(seat, cardAt(c), led);
      if (i == 0 || beats(c, win, trump)) win = c, winner = seat;
      if (!finished) v.trick[i] = cardAt(c);
    }
    if (finished) {
      ++v.tricks[winner];
      leader = winner;
    }
  };
  for (const auto& t : p.tricks) play(t, true);
  v.leader = leader;
  play(p.table, false);
  v.inTrick = static_cast<int>(p.table.size());
  return v;
}

bool bidPosition(const Position& p) { return p.bids[p.seat] == N; }

std::string shown(const Position& p, int result) {
  if (bidPosition(p)) return "bid " + std::to_string(result);
  const char* ranks = "23456789TJQKA";
  const char* suits = "cdhs";
  const int i = indexOf(result);
  return std::string{ranks[rankIx(i)], suits[suitIx(i)]};
}

bool isMove(const Position& p, int result) {
  for (const char* m : p.moves)
    if (bidPosition(p) ? std::stoi(m) == result : card(m) == result) return true;
  return false;
}

int decide(const SeatView& v, Skill skill, uint64_t seed, const StrongConfig& config = {}) {
  Decision d;
  if (!d.start(v, skill, seed, config)) return -1;
  while (!d.step()) {
  }
  return d.result();
}

// Spades are trumps throughout unless the position says otherwise; "Ts" is the ten.
const std::vector<Position> kPositions = {
    // --- Every remaining trick needed, the top trumps held -------------------
    {"DrawTrumpsBeforeTheSideAce",
     "all three tricks are needed: the top trumps draw the others' trumps, so the ace of hearts is not ruffed later",
     3, "2s", 1, {N, 3, 1, 0, 0}, {}, {}, 1, {"As", "Ks", "Ah"}, {"As", "Ks"}, true},
    {"EveryTrickNeededTrumpFirstInFive",
     "five tricks needed of five: lead the top trumps first, the side ace is safe only once trumps are drawn",
     5, "2s", 2, {N, 1, 5, 0, 0}, {}, {}, 2, {"As", "Ks", "Qs", "Js", "Ah"}, {"As", "Ks", "Qs", "Js"}, true},
    {"EveryTrickNeededTakeItWhileTheSuitIsLed",
     "three tricks needed of three: the ace of diamonds wins now, while diamonds are led and before anyone can ruff it",
     3, "As", 4, {N, 3, 0, 0, 1}, {}, {"4d"}, 1, {"Ad", "Ks", "Qs"}, {"Ad"}, true},
    {"EveryTrickNeededRuffSmallTheAceWinsLater",
     "both tricks are needed: the ace of trumps takes the last one whatever happens, so the four of trumps must take this one while only one seat can overruff",
     2, "9s", 3, {N, 2, 0, 0, 0}, {}, {"5h", "8h"}, 1, {"As", "4s"}, {"4s"}, true},

    // --- No more tricks wanted: the highest card that still loses ------------
    {"UnderTheQueenWithTheJack",
     "a bid of 0: the jack of hearts loses under the queen now and is the heart most likely to win later",
     4, "2s", 3, {N, 0, 1, 1, 1}, {{"Ac", "3c", "4c", "5c"}}, {"5h", "Qh"}, 1, {"Jh", "9h", "3h"}, {"Jh"}, true},
    {"DumpTheKingUnderTheAce",
     "the bid is made and the ace of hearts is winning: the king goes now, when it cannot win",
     4, "2s", 1, {N, 1, 0, 1, 0}, {{"Ac", "3c", "4c", "5c"}}, {"Ah", "5h", "6h"}, 4, {"Kh", "4h", "2c"}, {"Kh"},
     true},
    {"ShedTheHighTrumpUnderAHigherOne",
     "the bid is made and the king of trumps has ruffed: the queen of trumps loses now, later it may win",
     4, "2s", 2, {N, 1, 1, 0, 0}, {{"Ah", "3h", "4h", "5h"}}, {"7c", "Ks"}, 4, {"Qs", "3d", "6h"}, {"Qs"}, true},
    {"NeverOvertrumpWhenNoMoreTricksAreWanted",
     "the bid is made: the queen of trumps would win the trick the jack is winning; anything else loses",
     4, "2s", 2, {N, 1, 0, 0, 0}, {{"Ah", "3h", "4h", "5h"}}, {"7c", "Js"}, 4, {"Qs", "Ts", "Kd"}, {"Ts", "Kd"}, true},
    {"LeadTheLowestWhenNothingMoreIsWanted",
     "the bid is made: the two of hearts loses to any heart and any trump, the king and queen may not",
     4, "2s", 1, {N, 1, 2, 0, 1}, {{"Ac", "3c", "4c", "5c"}}, {}, 1, {"2h", "Kd", "Qc"}, {"2h"}, true},
    {"ZeroBidShedsTheQueenUnderTheKingOfTrumps",
     "a bid of 0: under the king of trumps the queen loses now, and kept it may win later",
     4, "2s", 2, {N, 1, 1, 0, 2}, {{"Ah", "3h", "4h", "5h"}}, {"Ks"}, 3, {"Qs", "3s", "7c"}, {"Qs"}, true},
    {"ARuffedTrickTakesTheHighestOfTheSuit",
     "a bid of 0 and the trick is ruffed: any heart loses to it, so the king goes",
     4, "2s", 2, {N, 0, 1, 1, 0}, {{"Ac", "3c", "4c", "5c"}}, {"6h", "5s", "7h"}, 1, {"Kh", "3h", "4d"}, {"Kh"}, true},
    {"SecondHandLowWhenNoTrickIsWanted",
     "a bid of 0: the ace of hearts would take the trick, the four probably loses it",
     4, "2s", 1, {N, 1, 0, 1, 0}, {{"Ac", "3c", "4c", "5c"}}, {"3h"}, 2, {"Ah", "4h", "5d"}, {"4h"}, true},
    {"ZeroBidDucksUnderTheLead",
     "a bid of 0: the four of hearts loses to the ten, the jack would win",
     3, "2s", 4, {N, 0, 1, 1, 0}, {}, {"Th"}, 1, {"Jh", "4h", "6c"}, {"4h"}, true},

    // --- A low trump that wins where a high one is wasted ---------------------
    {"RuffLowWhenLastToPlay",
     "both tricks are needed: last to play, the three of trumps wins this trick and the ace the next",
     2, "9s", 1, {N, 0, 0, 1, 2}, {}, {"5h", "Kh", "8h"}, 4, {"As", "3s"}, {"3s"}, true},
    {"RuffLowWhenTheLastSeatHasNoTrumps",
     "two tricks needed: the last seat has shown it holds no trumps, so the three of trumps is as sure as the ace",
     3, "9s", 1, {N, 1, 0, 2, 0}, {{"Qs", "4s", "5s", "6d"}}, {"5h", "Qh"}, 3, {"As", "3s"}, {"3s"}, true},
    {"OverruffWithTheCheapestTrump",
     "two tricks needed: the seven overruffs the five, and the king of trumps is left to win another",
     4, "2s", 2, {N, 2, 2, 1, 1}, {{"As", "3s", "4s", "6s"}}, {"5h", "5s", "8h"}, 1, {"Ks", "7s", "4d"}, {"7s"}, true},
    {"WinWithTheJackNotTheAce",
     "two tricks needed: last to play, the jack takes the ten and the ace stays for another trick",
     4, "2s", 1, {N, 0, 1, 0, 2}, {{"Ac", "3c", "4c", "5c"}}, {"Th", "6h", "8h"}, 4, {"Jh", "Ah", "3d"}, {"Jh"},
     true},

    // --- Ducking when the bid needs the trick ----------------------------------
    {"TakeTheTrickTheBidNeeds",
     "a trick is needed and the jack takes this one for certain; later the hand has nothing to win with",
     4, "2s", 1, {N, 1, 1, 1, 1}, {{"Ac", "3c", "4c", "5c"}}, {"9h", "4h", "2h"}, 4, {"Jh", "3h", "2c"}, {"Jh"},
     true},
    {"TakeTheOnlyTrickOnOffer",
     "a trick is needed and the king wins this one for certain as last to play; its other cards are too small to win",
     3, "2s", 2, {N, 1, 0, 1, 1}, {}, {"7d", "9d", "Td"}, 1, {"Kd", "3c", "4h"}, {"Kd"}, true},

    // --- The last two cards -----------------------------------------------------
    {"KeepTheTopTrumpForTheLastTrick",
     "one trick needed of two: the ace of trumps takes the last trick whatever is led, so the diamond is thrown now",
     4, "2s", 1, {N, 1, 1, 2, 0}, {{"Ac", "3c", "4c", "5c"}, {"Ad", "8d", "9d", "Td"}}, {"Kc"}, 2, {"As", "6d"},
     {"6d"}, false},
    {"DiscardLastToPlayAndKeepTheAce",
     "one trick needed of two, last to play: throw the diamond, the ace of trumps wins the last trick for certain",
     4, "2s", 1, {N, 1, 0, 2, 1}, {{"Ac", "3c", "4c", "5c"}, {"Ad", "8d", "9d", "Td"}}, {"Kh", "3h", "4h"}, 4,
     {"As", "6d"}, {"6d"}, false},
    {"LeadTheLoserAndKeepTheWinner",
     "one trick needed of two: the king of trumps (the ace is turned up) wins the last trick whatever; led first, it leaves the two of hearts to win or lose alone",
     4, "As", 1, {N, 3, 1, 0, 1}, {{"Ac", "3c", "4c", "5c"}, {"Ad", "8d", "9d", "Td"}}, {}, 1, {"Ks", "2h"}, {"2h"},
     false},
    {"TheQueenGoesUnderTheKingBeforeTheTwo",
     "the bid is made: the queen loses under the king now; kept for the last trick it might win",
     4, "2s", 1, {N, 2, 0, 0, 1}, {{"Ac", "3c", "4c", "5c"}, {"Ad", "8d", "9d", "Td"}}, {"Kh", "5h"}, 3,
     {"Qh", "2h"}, {"Qh"}, true},
    {"LastTwoWinNowWithTheLowerCard",
     "both tricks needed: the ten takes this trick as last to play, the ace then leads the last",
     4, "2s", 1, {N, 2, 0, 0, 2}, {{"Ac", "3c", "4c", "5c"}, {"Ad", "8d", "9d", "Td"}}, {"9h", "3h", "4h"}, 4,
     {"Th", "Ah"}, {"Th"}, true},
    {"LastTwoShedTheTrumpUnderTheKing",
     "the bid is made: the queen of trumps loses under the king now and would win the last trick",
     4, "2s", 1, {N, 2, 0, 0, 1}, {{"Ac", "3c", "4c", "5c"}, {"As", "8s", "9s", "Ts"}}, {"7c", "Ks"}, 3,
     {"Qs", "4h"}, {"Qs"}, true},

    // --- A bid of 0 with the ace of trumps -------------------------------------
    {"NeverBidZeroWithTheAceOfTrumps",
     "the ace of trumps takes a trick whenever it is played: a bid of 0 cannot be made",
     3, "7s", 1, {N, N, N, N, N}, {}, {}, 1, {"As", "2h", "3d"}, {"1"}, true},
    {"TheKingOfTrumpsWhenTheAceIsTurnedUp",
     "with the ace turned up the king is the highest trump: a certain trick, never a 0",
     2, "As", 1, {N, 0, N, N, N}, {}, {}, 2, {"Ks", "3d"}, {"1"}, true},
    {"AnAceOfTrumpsInAOneCardRoundLastToBid",
     "the ace of trumps wins the only trick, whatever the others bid",
     1, "7s", 2, {N, N, 1, 0, 0}, {}, {}, 1, {"As"}, {"1"}, true},
    {"AceOfTrumpsAndSmallCardsBidOne",
     "the ace of trumps is one trick; the four small side cards will hardly ever win",
     5, "7s", 1, {N, N, N, N, N}, {}, {}, 1, {"As", "2c", "3c", "4d", "5h"}, {"1"}, true},

    // --- The last bidder's choice ------------------------------------------------
    {"LastBidderTwoCertainTricksNotThree",
     "the top two trumps are two certain tricks; the four of diamonds will rarely win a third",
     3, "4s", 2, {N, N, 1, 1, 0}, {}, {}, 1, {"As", "Ks", "4d"}, {"2"}, false},
    {"LastBidderCannotWinWithTheLowestHeart",
     "playing last to a trick another seat leads, the two of hearts never wins: bid 0",
     1, "7s", 2, {N, N, 1, 0, 1}, {}, {}, 1, {"2h"}, {"0"}, true},
    {"LastBidderLowTrumpAfterThreeZeros",
     "three bids of 0 say nobody expects to win: the three of trumps is likely the only trump out",
     1, "2s", 1, {N, 0, 0, 0, N}, {}, {}, 4, {"3s"}, {"1"}, true},
    {"LastBidderAceAndKingOfTrumpsInFour",
     "the ace and king of trumps are two certain tricks and the small cards none",
     4, "9s", 3, {N, 1, N, 0, 1}, {}, {}, 2, {"As", "Ks", "2d", "3c"}, {"2"}, false},
};

TEST(Blunders, StrongMakesTheMoveEveryStrongPlayerMakes) {
  ASSERT_GE(kPositions.size(), 30u);
  for (const Position& p : kPositions) {
    SeatView v = viewAt(p);
    ASSERT_TRUE(v.consistent()) << p.name;
    for (uint64_t seed : {1, 2, 3}) {
      const int r = decide(v, Skill::Strong, seed);
      EXPECT_TRUE(isMove(p, r)) << p.name << " (seed " << seed << "): Strong chose " << shown(p, r) << "; " << p.why;
    }
    // The same move in a game still open, every seat level: playing to win
    // it changes none of them.
    v.roundsLeft = 4;
    v.scores = {0, 40, 40, 40, 40};
    const int r = decide(v, Skill::Strong, 1);
    EXPECT_TRUE(isMove(p, r)) << p.name << " (a level game): Strong chose " << shown(p, r) << "; " << p.why;
  }
}

TEST(Blunders, InTheLastRoundStrongSpoilsTheLeadersBidWhereOnlyThatWins) {
  // Seat 2 leads the game by 2 and needs this trick for its bid. Throwing
  // the diamond makes seat 1's bid for certain (the ace of trumps takes the
  // last trick) and loses the game for certain; ruffing spoils seat 2's bid
  // and wins the game unless seat 2 takes the last trick or the two of
  // diamonds does. Playing for points alone, the diamond is right.
  const Position p{"SpoilTheLeadersBid", "only spoiling the leader's bid can win the game", 2, "9s", 2,
                   {N, 1, 1, 0, 0}, {}, {"Qh", "3h", "4h"}, 1, {"As", "2d"}, {"As"}, false};
  StrongConfig forPoints;
  forPoints.winWorth = 0;
  for (const bool byRule : {false, true}) {
    SeatView v = viewAt(p);
    v.roundsLeft = 0;
    v.scores = {0, 60, 62, 10, 10};
    for (int s = 2; s <= 4 && byRule; ++s) {  // the others keep to the Classic rule, one card played each
      v.classic[s] = true;
      v.openPositions[s] = 1u << 2;
    }
    for (uint64_t seed : {1, 2}) {
      EXPECT_EQ(decide(v, Skill::Strong, seed), card("As")) << "by rule " << byRule << ", seed " << seed;
      EXPECT_EQ(decide(v, Skill::Strong, seed, forPoints), card("2d")) << "for points, by rule " << byRule;
    }
  }
}

TEST(Blunders, StandardMakesTheOnesItsRuleSees) {
  int seen = 0;
  for (const Position& p : kPositions) {
    if (!p.standardSees) continue;
    ++seen;
    const int r = decide(viewAt(p), Skill::Standard, 1);
    EXPECT_TRUE(isMove(p, r)) << p.name << ": Standard chose " << shown(p, r) << "; " << p.why;
  }
  EXPECT_GE(seen, 20);
}

}  // namespace
}  // namespace ombrix::test
