// Bidding, card play, trick resolution, scoring and the computer's rules,
// each from a position set up by hand.
#include <gtest/gtest.h>

#include "protocol/commands.h"
#include "tests/support/recorder.h"

namespace ombrix::test {
namespace {

// Cards by name keep the positions readable.
constexpr int card(int suit, int rank) { return (suit - 1) * 13 + rank; }
constexpr int kTwo = 1, kTen = 9, kKing = 12, kAce = 13;

struct Position : ::testing::Test {
  // Seats 1 and 2 are people (slots in use), 3 and 4 the computer, slot 5 watches.
  void SetUp() override {
    h.connect({1, 2, 5});
    e().botDelay = kBotFastMs;
    e().gameInProgress = true;
    e().roundNumber = 5;
    e().handSize = 5;
    e().trumpSuit = kHearts;
    e().trumpCard = card(kHearts, 5);
  }
  GameEngine& e() { return h.engine(); }
  void hand(int seat, std::initializer_list<int> cards) {
    int p = 1;
    e().seats[seat].hand.fill(0);
    for (int c : cards) e().seats[seat].hand[p++] = c;
  }
  // The play phase with `seat` on turn at the start of a trick.
  void playPhase(int seat) {
    e().currentBidder = 0;
    e().currentPlayer = seat;
    e().cardsInTrick = 0;
    e().ledSuit = 0;
  }
  void biddingPhase(int opener) {
    e().currentPlayer = 0;
    e().currentBidder = e().biddingStarter = e().leadSeat = opener;
  }
  HostHarness h{5};
};

// --- Follow suit -------------------------------------------------------------

TEST_F(Position, LeadingIsAlwaysLegalTrumpIncluded) {
  hand(1, {card(kHearts, kAce), card(kClubs, kTwo)});
  playPhase(1);
  h.host.playcard("1+1");
  EXPECT_EQ(h.rec.to(5, "CMD_playcard"), (std::vector<std::string>{"CMD_playcard+1+1+39"}));
  EXPECT_EQ(e().ledSuit, kHearts);
  EXPECT_EQ(e().currentPlayer, 2);
}

TEST_F(Position, RevokeIsRefusedWithNeedsuitToThatSlotOnly) {
  hand(1, {card(kClubs, kTen)});
  hand(2, {card(kHearts, 3), card(kClubs, kTwo)});
  playPhase(1);
  h.host.playcard("1+1");
  h.rec.clear();
  h.host.playcard("2+1");  // a trump while holding clubs
  EXPECT_EQ(h.rec.to(2), (std::vector<std::string>{"CMD_needsuit+2+2+1+"}));
  EXPECT_TRUE(h.rec.to(1).empty());
  EXPECT_TRUE(h.rec.to(5).empty());
  EXPECT_EQ(e().seats[2].hand[1], card(kHearts, 3));
  EXPECT_EQ(e().currentPlayer, 2);
  h.host.playcard("2+2");
  EXPECT_EQ(h.rec.to(5, "CMD_playcard"), (std::vector<std::string>{"CMD_playcard+2+2+1"}));
}

TEST_F(Position, VoidSeatMayTrumpOrDiscard) {
  hand(1, {card(kClubs, kTen)});
  hand(2, {card(kSpades, 3), card(kHearts, kTwo)});
  playPhase(1);
  h.host.playcard("1+1");
  h.host.playcard("2+2");
  EXPECT_EQ(e().seats[2].played, card(kHearts, kTwo));
}

TEST_F(Position, ComputerRevokeIsOnlyANotice) {
  hand(3, {card(kSpades, 3), card(kClubs, kTwo)});
  playPhase(3);
  e().ledSuit = kClubs;
  e().cardsInTrick = 1;
  h.host.playcard("3+1");
  EXPECT_EQ(h.rec.notices, (std::vector<std::string>{"computer played incorrectly"}));
  EXPECT_TRUE(h.rec.sent.empty());
}

// --- Untrusted card requests ---------------------------------------------------

TEST_F(Position, CardRequestsThatNameNoCardAreNotPlayed) {
  hand(1, {card(kClubs, kTen), 0, card(kClubs, 3)});
  playPhase(1);
  h.host.playcard("1+0");
  EXPECT_EQ(h.rec.notices, (std::vector<std::string>{"Card does't exist"}));
  for (const char* bad : {"1+2", "1+11", "1+13", "1+99999", "1+-1", "1+x", "1+", "1", "+1", "1+1+", "5+1",
                          "0+1", "2+1", "1+ 1", "1+0001x"})
    h.host.playcard(bad);
  EXPECT_TRUE(h.rec.sent.empty());
  EXPECT_EQ(h.rec.notices.size(), 1u);
  EXPECT_EQ(e().currentPlayer, 1);
  EXPECT_EQ(e().cardsInTrick, 0);
}

TEST_F(Position, NothingChangesTheTrickDuringItsPause) {
  for (int s = 1; s <= 4; ++s) hand(s, {card(kClubs, s), card(kClubs, s + 4)});
  playPhase(1);
  h.host.playcard("1+1");
  h.host.playcard("2+1");
  e().cplay(3);
  e().cplay(4);
  ASSERT_EQ(e().cardsInTrick, 4);
  ASSERT_EQ(e().currentPlayer, 4);
  h.rec.clear();
  h.host.playcard("4+2");
  e().cplay(4);
  e().computertimerTimer();
  EXPECT_TRUE(h.rec.sent.empty());
  h.clock.advance(kPauseMs);
  EXPECT_EQ(h.rec.to(5), (std::vector<std::string>{"CMD_trickwinner+4+1", "CMD_nextplayer+4"}));
}

TEST_F(Position, CardFromASeatNotOnTurnIsDroppedSilently) {
  hand(1, {card(kClubs, kTen)});
  hand(2, {card(kClubs, kTwo)});
  playPhase(1);
  h.host.playcard("2+1");
  biddingPhase(1);
  h.host.playcard("1+1");
  e().currentPlayer = 5;  // after a game
  h.host.playcard("1+1");
  EXPECT_TRUE(h.rec.sent.empty());
  EXPECT_TRUE(h.rec.notices.empty());
}

// --- Bidding -------------------------------------------------------------------

TEST_F(Position, BidsPassRoundAndComputerSeatsFollowAtOnce) {
  hand(3, {card(kHearts, 2), card(kHearts, 3), card(kClubs, kAce), card(kClubs, 4), card(kSpades, 5)});
  hand(4, {card(kClubs, 2), card(kClubs, 3), card(kSpades, 6), card(kSpades, 7), card(kSpades, 8)});
  biddingPhase(2);
  h.host.hisbid("2+4");
  EXPECT_EQ(h.rec.to(5), (std::vector<std::string>{"CMD_hisbid+2+4+4", "CMD_bid+3+5+2", "CMD_hisbid+3+3+7",
                                                   "CMD_bid+4+5+2", "CMD_hisbid+4+0+7", "CMD_bid+1+5+2"}));
  EXPECT_EQ(e().currentBidder, 1);
  h.rec.clear();
  h.host.hisbid("1+5");  // the total may exceed the tricks
  EXPECT_EQ(h.rec.to(5), (std::vector<std::string>{"CMD_hisbid+1+5+12", "CMD_nextplayer+2"}));
  EXPECT_EQ(e().currentBidder, 0);
  EXPECT_EQ(e().biddingStarter, 0);
  EXPECT_EQ(e().currentPlayer, 2);
  EXPECT_FALSE(e().computertimer->active());  // seat 2 is a person
}

TEST_F(Position, LastBidHandsTheLeadToAComputerOpenerAfterTheDelay) {
  hand(3, {card(kClubs, 2)});
  e().handSize = 1;
  biddingPhase(3);
  e().currentBidder = 2;
  h.host.hisbid("2+1");
  EXPECT_EQ(h.rec.to(5).back(), "CMD_nextplayer+3");
  ASSERT_TRUE(e().computertimer->active());
  h.clock.advance(kBotFastMs - 1);
  EXPECT_TRUE(h.rec.to(5, "CMD_playcard").empty());
  h.clock.advance(1);
  EXPECT_EQ(h.rec.to(5, "CMD_playcard"), (std::vector<std::string>{"CMD_playcard+3+1+2"}));
}

TEST_F(Position, BidsOutOfTurnOrRangeOrTimeChangeNothing) {
  biddingPhase(1);
  for (const char* bad : {"2+1", "1+6", "1+-1", "1+x", "1+", "+1", "9+1", "0+0", "1+1+"}) h.host.hisbid(bad);
  EXPECT_TRUE(h.rec.sent.empty());
  // No bid is expected once play has begun, nor after the game.
  playPhase(1);
  e().biddingStarter = 1;
  h.host.hisbid("1+1");
  e().currentPlayer = 0;
  e().currentBidder = 0;
  h.host.hisbid("1+1");
  biddingPhase(1);
  e().gameInProgress = false;
  h.host.hisbid("1+1");
  EXPECT_TRUE(h.rec.sent.empty());
  EXPECT_EQ(e().seats[1].bid, 0);
}

// --- The computer's rules ----------------------------------------------------------

TEST_F(Position, ComputerBidCountsTrumpsAndAcesCapped) {
  struct Case {
    std::initializer_list<int> cards;
    int size, bid;
  } cases[] = {
      {{card(kHearts, 2), card(kHearts, 9), card(kSpades, kAce), card(kClubs, 4), card(kClubs, 5)}, 5, 3},
      {{card(kHearts, kAce), card(kClubs, 4), card(kClubs, 5)}, 3, 2},  // ace of trumps twice
      {{card(kHearts, kAce)}, 1, 1},
      {{card(kClubs, kKing), card(kSpades, 4)}, 2, 0},
  };
  for (const Case& c : cases) {
    h.rec.clear();
    e().handSize = c.size;
    hand(3, c.cards);
    biddingPhase(3);
    e().currentBidder = 3;
    h.host.slots[4].inUse = true;  // stop the chain at seat 4
    e().cbid(3, c.size);
    ASSERT_FALSE(h.rec.to(5, "CMD_hisbid").empty());
    EXPECT_EQ(h.rec.to(5, "CMD_hisbid")[0].substr(0, 14), "CMD_hisbid+3+" + std::to_string(c.bid));
    h.host.slots[4].inUse = false;
  }
}

TEST_F(Position, ComputerFollowsWithFirstOfSuitElseFirstCard) {
  hand(3, {0, card(kSpades, 9), card(kClubs, 8), card(kClubs, 3), card(kHearts, 2)});
  playPhase(3);
  e().ledSuit = kClubs;
  e().cardsInTrick = 1;
  e().cplay(3);
  EXPECT_EQ(e().seats[3].played, card(kClubs, 8));
  // Void in the led suit: the first card in deal order, trump or not.
  hand(4, {0, 0, card(kHearts, 2), card(kSpades, kAce)});
  e().ledSuit = kDiamonds;
  e().cplay(4);
  EXPECT_EQ(e().seats[4].played, card(kHearts, 2));
  // Leading: the first card held.
  hand(3, {0, 0, 0, card(kDiamonds, 4)});
  playPhase(3);
  e().cplay(3);
  EXPECT_EQ(e().seats[3].played, card(kDiamonds, 4));
  // Nothing held: nothing played.
  hand(4, {});
  h.rec.clear();
  e().cplay(4);
  EXPECT_TRUE(h.rec.sent.empty());
}

TEST_F(Position, StaleComputerTickAfterAPersonTookTheSeatPlaysNothing) {
  hand(3, {card(kClubs, 2)});
  playPhase(3);
  e().computertimer->start(e().botDelay);
  h.host.slots[3].inUse = true;  // a person sat down meanwhile
  h.clock.advance(e().botDelay);
  EXPECT_TRUE(h.rec.sent.empty());
  EXPECT_FALSE(e().computertimer->active());
}

TEST_F(Position, BotSpeedOnlyFromSeatOne) {
  h.host.botspeed("2+1000+");
  EXPECT_EQ(e().botDelay, kBotFastMs);
  h.host.botspeed("1+1000");  // no trailing "+": the field is not there
  EXPECT_EQ(e().botDelay, kBotFastMs);
  h.host.botspeed("1+999999999+");
  EXPECT_EQ(e().botDelay, kBotFastMs);
  h.host.botspeed("1+1000+");
  EXPECT_EQ(e().botDelay, kBotSlowMs);
}

// --- Tricks and scores -----------------------------------------------------------

struct TrickCase {
  int played[5];
  int led, winner;
};

TEST_F(Position, TrickWinners) {
  const TrickCase cases[] = {
      // A two of trumps beats the ace of the led suit.
      {{0, card(kClubs, kAce), card(kHearts, kTwo), card(kClubs, 3), card(kClubs, 4)}, kClubs, 2},
      // No trump, two seats off-suit: the leader's own card may win.
      {{0, card(kClubs, kKing), card(kSpades, kAce), card(kClubs, 3), card(kDiamonds, kAce)}, kClubs, 1},
      // The highest of several trumps.
      {{0, card(kHearts, 3), card(kHearts, kKing), card(kClubs, kAce), card(kHearts, kTen)}, kClubs, 2},
      // Led trump.
      {{0, card(kSpades, 3), card(kHearts, 4), card(kSpades, kAce), card(kHearts, 2)}, kHearts, 2},
  };
  for (const auto& c : cases) {
    for (int s = 1; s <= 4; ++s) e().seats[s].played = c.played[s];
    e().ledSuit = c.led;
    EXPECT_EQ(e().thewinner(), c.winner);
  }
}

TEST_F(Position, ScoresCarryTotalThenRoundPoints) {
  const int bids[5] = {0, 0, 0, 4, 2}, tricks[5] = {0, 0, 1, 4, 3};
  for (int s = 1; s <= 4; ++s) {
    e().seats[s].bid = bids[s];
    e().seats[s].tricks = tricks[s];
    e().seats[s].score = 10 * s;
  }
  e().tallyscore();
  EXPECT_EQ(h.rec.to(5), (std::vector<std::string>{"CMD_score+1+15+5", "CMD_score+2+20+0",
                                                   "CMD_score+3+44+14", "CMD_score+4+40+0"}));
  EXPECT_EQ(e().waitaminuteTag, kTagRound);
  h.rec.clear();
  h.clock.advance(2999);
  EXPECT_TRUE(h.rec.sent.empty());
  h.clock.advance(1);
  EXPECT_EQ(commandOf(h.rec.to(5).at(0)), "CMD_startround");
}

TEST_F(Position, TiesAreJoinedWithAnd) {
  h.host.slots[1].name = "Ann";
  struct Case {
    int scores[5];
    const char* text;
  } cases[] = {
      {{0, 90, 90, 10, 20}, "CMD_winner+Ann and Reza+90"},
      {{0, 5, 70, 70, 70}, "CMD_winner+Reza and Vivav and Derev+70"},
      {{0, 0, 0, 0, 0}, "CMD_winner+Ann and Reza and Vivav and Derev+0"},
      {{0, 1, 2, 3, 4}, "CMD_winner+Derev+4"},
  };
  for (const auto& c : cases) {
    h.rec.clear();
    for (int s = 1; s <= 4; ++s) e().seats[s].score = c.scores[s];
    e().gameInProgress = true;
    e().endgame();
    EXPECT_EQ(h.rec.to(5), (std::vector<std::string>{c.text}));
    EXPECT_FALSE(e().gameInProgress);
    EXPECT_EQ(e().currentPlayer, 5);
  }
}

}  // namespace
}  // namespace ombrix::test
