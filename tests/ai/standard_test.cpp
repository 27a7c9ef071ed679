// The Standard player: bids that follow a hand's strength, and cards chosen
// to make exactly the bid, from positions set up by hand.
#include "ai/standard.h"

#include <gtest/gtest.h>

#include "ai/rng.h"
#include "tests/ai/ai_fixture.h"

namespace ombrix::test {
namespace {

using namespace ombrix::ai;

TEST(StandardBid, FollowsTheHandsStrength) {
  // Top trumps and side aces take tricks; low side cards take none.
  EXPECT_GE(standardBid(maskOf({"Ah", "Kh", "Qh", "As", "Ad"}), bitOf("2h"), 5, false), 4);
  EXPECT_EQ(standardBid(maskOf({"2c", "3d", "4s", "2d", "3c"}), bitOf("2h"), 5, false), 0);
  // A lone ace of trumps in a one-card round is a trick whoever leads.
  EXPECT_EQ(standardBid(maskOf({"As"}), bitOf("2s"), 1, false), 1);
  // More trumps, more tricks.
  EXPECT_LT(expectedTricks(maskOf({"9h", "2c", "3c", "4d", "5d", "6s"}), bitOf("2h"), 6, false),
            expectedTricks(maskOf({"9h", "8h", "7h", "4d", "5d", "6s"}), bitOf("2h"), 6, false));
}

TEST(StandardBid, StaysWithinTheHandSize) {
  Rng rng(5);
  for (int i = 0; i < 2000; ++i) {
    const int size = 1 + rng.below(10);
    Mask deck = kAllCards, hand = 0;
    for (int k = 0; k < size; ++k) {
      const int c = nthBit(deck, rng.below(static_cast<uint32_t>(count(deck))));
      hand |= bit(c);
      deck &= ~bit(c);
    }
    const int b = standardBid(hand, nthBit(deck, rng.below(static_cast<uint32_t>(count(deck)))), size, i % 2);
    ASSERT_GE(b, 0);
    ASSERT_LE(b, size);
  }
}

// Deals random hands and plays random legal cards up to a random point.
PlayState randomPosition(Rng& rng) {
  PlayState st;
  st.trump = static_cast<int8_t>(rng.below(4));
  const int size = 1 + rng.below(10);
  Mask deck = kAllCards;
  for (int s = 0; s < 4; ++s)
    for (int k = 0; k < size; ++k) {
      const int c = nthBit(deck, rng.below(static_cast<uint32_t>(count(deck))));
      st.hand[s] |= bit(c);
      deck &= ~bit(c);
    }
  st.gone = bit(lowest(deck));  // a turned-up card
  for (int s = 0; s < 4; ++s) st.bid[s] = static_cast<int8_t>(rng.below(static_cast<uint32_t>(size + 1)));
  st.leader = static_cast<int8_t>(rng.below(4));
  for (int n = rng.below(static_cast<uint32_t>(4 * size)); n > 0; --n) {
    const int s = st.toMove();
    const Mask legal = st.legal(s);
    st.play(s, nthBit(legal, rng.below(static_cast<uint32_t>(count(legal)))));
  }
  return st;
}

TEST(StandardCard, AlwaysALegalCard) {
  Rng rng(9);
  for (int i = 0; i < 5000; ++i) {
    PlayState st = randomPosition(rng);
    while (!st.over()) {
      const int s = st.toMove();
      const int c = standardCard(st, s);
      ASSERT_TRUE(st.legal(s) & bit(c)) << "position " << i;
      st.play(s, c);
    }
  }
}

// Seat 0 on turn after the given cards of the trick, seat by seat from `leader`.
PlayState trick(const char* trump, Mask mine, int bid, int taken, int leader,
                std::initializer_list<const char*> before) {
  PlayState st;
  st.trump = static_cast<int8_t>(suitIx(bitOf(trump)));
  st.gone = bit(bitOf(trump));
  st.hand[0] = mine;
  st.bid[0] = static_cast<int8_t>(bid);
  st.taken[0] = static_cast<int8_t>(taken);
  // The other seats hold a few low cards besides what they play.
  Mask spare = kAllCards & ~mine & ~st.gone & ~maskOf(before);
  for (int s = 1; s < 4; ++s)
    for (int k = 0; k < 3; ++k) {
      st.hand[s] |= bit(highest(spare));
      spare &= ~bit(highest(spare));
    }
  st.leader = static_cast<int8_t>(leader);
  int s = leader;
  for (const char* n : before) {
    st.hand[s] |= bit(bitOf(n));
    st.play(s, bitOf(n));
    s = (s + 1) & 3;
  }
  return st;
}

TEST(StandardCard, PlaysToMakeItsBid) {
  // Enough tricks: under the winning card with the highest card that loses.
  EXPECT_EQ(standardCard(trick("2h", maskOf({"5c", "9c", "Kc"}), 1, 1, 2, {"Tc", "Jc"}), 0), bitOf("9c"));
  // A trick still needed, last to play: the cheapest card that takes it.
  EXPECT_EQ(standardCard(trick("2h", maskOf({"5c", "Qc", "Kc", "Ac"}), 2, 0, 1, {"Tc", "Jc", "3c"}), 0),
            bitOf("Qc"));
  // Enough tricks and no clubs: a side card goes, never a trump that would win.
  EXPECT_EQ(standardCard(trick("2h", maskOf({"3h", "Kd", "4s"}), 0, 0, 3, {"Tc"}), 0), bitOf("Kd"));
  // Over a higher trump, the high trump is the card to lose.
  EXPECT_EQ(standardCard(trick("2h", maskOf({"Jh", "5d"}), 0, 0, 2, {"Tc", "Ah"}), 0), bitOf("Jh"));
  // A trick needed and nothing takes it: the lowest card goes, the ace stays.
  EXPECT_EQ(standardCard(trick("2h", maskOf({"4c", "Ac", "Ad"}), 2, 0, 2, {"Kc", "5h"}), 0), bitOf("4c"));
}

}  // namespace
}  // namespace ombrix::test
