// Deals of the unseen cards: consistent with everything the table has shown.
#include "ai/sampler.h"

#include <gtest/gtest.h>

#include "ai/rulewatch.h"
#include "tests/ai/ai_fixture.h"

namespace ombrix::test {
namespace {

using namespace ombrix::ai;

// Seat 1, eight cards dealt, two tricks gone and a third under way.
SeatView midRound() {
  SeatView v = viewOf(1, 8, "2h", {"Ac", "Kc", "3d", "7h", "8s", "9s"});
  v.bids = {kNotBid, 1, 2, 1, 3};
  v.tricks = {0, 1, 1, 0, 0};
  v.leader = 3;
  v.trick = {card("5d"), card("Jc"), 0, 0};  // seat 3 leads a diamond, seat 4 discards
  v.inTrick = 2;
  v.voids[4] = suitBit(suitIx(bitOf("5d")));
  for (const char* c : {"2c", "4c", "6c", "9c", "Qd", "Jd", "3s", "4s", "5d", "Jc"})
    v.played |= bit(bitOf(c));
  v.voids[2] = suitBit(0);  // seat 2 showed no clubs
  return v;
}

TEST(Sampler, DealsAgreeWithEverythingShown) {
  const SeatView v = midRound();
  const Sampler sampler(v);
  Rng rng(3);
  const Mask own = v.handMask(), shown = v.played | bit(indexOf(v.trumpCard));
  for (int i = 0; i < 500; ++i) {
    const Deal d = sampler.draw(rng);
    ASSERT_EQ(d.hands[0], own);
    Mask all = 0;
    for (int s = 1; s <= 4; ++s) {
      ASSERT_EQ(count(d.hands[s - 1]), v.cardsHeld(s)) << "seat " << s;
      ASSERT_EQ(d.hands[s - 1] & all, 0u) << "a card dealt twice";
      ASSERT_EQ(d.hands[s - 1] & shown & ~own, 0u) << "a card seen played or turned up";
      all |= d.hands[s - 1];
      for (int suit = 0; suit < 4; ++suit)
        if (v.voids[s] & suitBit(suit)) {
          ASSERT_EQ(d.hands[s - 1] & suitMask(suit), 0u) << "seat " << s;
        }
    }
  }
  // Seats 2 and 4 still hold six cards, seat 3 five (its lead is on the table).
  EXPECT_EQ(v.cardsHeld(2), 6);
  EXPECT_EQ(v.cardsHeld(3), 5);
  EXPECT_EQ(v.cardsHeld(4), 5);
}

TEST(Sampler, ADealThatCannotAgreeWithTheViewSaysSo) {
  for (int i = 0; i < 50; ++i) {
    Rng rng(i);
    EXPECT_FALSE(Sampler(midRound()).draw(rng).fallback);
  }
  // Seats 2 and 4 may hold only diamonds, six and five of them, and only
  // nine are unseen: no deal can keep the voids.
  SeatView v = midRound();
  v.voids[2] = v.voids[4] = suitBit(0) | suitBit(2) | suitBit(3);
  Rng rng(1);
  const Deal d = Sampler(v).draw(rng);
  EXPECT_TRUE(d.fallback);
}

TEST(Sampler, TheSameSeedDrawsTheSameDeals) {
  const Sampler sampler(midRound());
  Rng a(8), b(8), c(9);
  const Deal x = sampler.draw(a), y = sampler.draw(b), z = sampler.draw(c);
  EXPECT_EQ(x.hands, y.hands);
  EXPECT_NE(x.hands, z.hands);
}

TEST(Sampler, ASeatKeepingToTheClassicRuleGetsAHandThatExplainsIt) {
  // Seat 2 bid 3 by the rule (trumps plus aces) and followed a club from
  // position 4, so positions 1 to 3 hold no club.
  SeatView v = viewOf(1, 6, "2h", {"Ac", "Kd", "3d", "7s", "8s", "9s"});
  v.bids = {kNotBid, 1, 3, 0, 1};
  v.classic[2] = true;
  v.leader = 1;
  v.trick = {card("Ac"), card("5c"), 0, 0};
  v.inTrick = 2;
  v.played = bit(bitOf("Ac")) | bit(bitOf("5c"));
  v.playedBy[1] = bit(bitOf("Ac"));
  v.playedBy[2] = bit(bitOf("5c"));
  v.hand[1] = 0;
  v.openPositions[2] = 0b1101110;  // positions 1, 2, 3, 5, 6
  for (int p = 1; p <= 3; ++p) v.barred[2][p] = suitBit(0);
  const Sampler sampler(v);
  Rng rng(4);
  int explained = 0;
  for (int i = 0; i < 300; ++i) {
    const Deal d = sampler.draw(rng);
    explained += classicBid(d.hands[1] | v.playedBy[2], v.trumpSuit(), 6) == 3;
    for (int k = 0; k < 3; ++k)
      if (d.order[1][k] >= 0) {
        EXPECT_NE(suitIx(d.order[1][k]), 0) << "a club above position 4";
      }
    Mask ordered = 0;
    for (int8_t c : d.order[1])
      if (c >= 0) ordered |= bit(c);
    EXPECT_EQ(ordered, d.hands[1]);
  }
  EXPECT_EQ(explained, 300);
  // Classic's bid: an ace of trumps counts twice, never above the hand size.
  EXPECT_EQ(classicBid(maskOf({"Ah", "Kh", "Ac", "2d"}), suitIx(bitOf("2h")), 4), 4);
  EXPECT_EQ(classicBid(maskOf({"Ah", "Kh"}), suitIx(bitOf("2h")), 2), 2);
}

TEST(RuleWatch, TrustsOnlySeatsThatKeepToTheRuleThroughWholeRounds) {
  RuleWatch w;
  w.startGame();
  // Three one-card rounds: seats 1 to 3 bid by the rule, seat 4 bids 1 on a two.
  for (int r = 0; r < 3; ++r) {
    w.startRound(1, card("2h"));
    w.bid(1, 1);  // holds a trump
    w.bid(2, 0);
    w.bid(3, 1);  // holds an ace
    w.bid(4, 1);
    w.play(1, 1, card("5h"));
    w.play(2, 1, card("3c"));
    w.play(3, 1, card("Ad"));
    w.play(4, 1, card("2s"));
    EXPECT_FALSE(w.classic(1));  // not before the third round is over
    w.endRound();
  }
  EXPECT_TRUE(w.classic(1) && w.classic(2) && w.classic(3));
  EXPECT_FALSE(w.classic(4));
  // Leading from position 2 with position 1 still held gives a seat away at once.
  w.startRound(2, card("2h"));
  w.play(1, 2, card("9c"));
  EXPECT_FALSE(w.classic(1));
  // Following from position 2: position 1 holds no club.
  w.play(2, 2, card("4c"));
  EXPECT_TRUE(w.classic(2));
  EXPECT_EQ(w.barred(2, 1), 1u);
  EXPECT_EQ(w.openPositions(2), 0b010);
}

TEST(RuleWatch, ARoundSeenOnlyInPartCountsForNothing) {
  // A watch that begins with the first trick of a round already played
  // (its cards unseen) sees a seat lead from position 2: by the rule, as
  // its first card went to the trick it did not see.
  RuleWatch w;
  w.startGame();
  w.startRound(2, card("2h"));
  w.unseen();
  w.play(1, 2, card("9c"));
  w.play(2, 2, card("4c"));
  w.play(3, 2, card("Kd"));
  w.play(4, 2, card("2s"));
  w.endRound();
  // Three whole rounds by the rule later, every seat is trusted.
  for (int r = 0; r < 3; ++r) {
    w.startRound(1, card("2h"));
    for (int s = 1; s <= 4; ++s) w.bid(s, 0);
    w.play(1, 1, card("5c"));
    w.play(2, 1, card("3c"));
    w.play(3, 1, card("Jd"));
    w.play(4, 1, card("2s"));
    w.endRound();
  }
  for (int s = 1; s <= 4; ++s) EXPECT_TRUE(w.classic(s)) << "seat " << s;
}

}  // namespace
}  // namespace ombrix::test
