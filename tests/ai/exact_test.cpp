// The exact end of a round: the same answer as a plain search over every
// card, a bounded search on any deal, and the certain winners a seat holds.
#include "ai/exact.h"

#include <gtest/gtest.h>

#include "ai/rng.h"
#include "ai/standard.h"
#include "tests/ai/ai_fixture.h"

namespace ombrix::test {
namespace {

using namespace ombrix::ai;

// Every seat maximises its own points over every legal card, tried in the
// solver's order, the first of equals kept: no memory, no cut, no grouping.
std::array<int, 4> plainSearch(const PlayState& st) {
  const int s = st.toMove();
  const Mask legal = st.legal(s);
  if (!legal) return {st.points(0), st.points(1), st.points(2), st.points(3)};
  std::array<int8_t, 13> options;
  const int n = orderedOptions(st, s, legal, options);
  std::array<int, 4> best{};
  for (int i = 0; i < n; ++i) {
    PlayState next = st;
    next.play(s, options[i]);
    const auto v = plainSearch(next);
    if (i == 0 || v[s] > best[s]) best = v;
  }
  return best;
}

PlayState randomEnd(Rng& rng, int cards) {
  PlayState st;
  Mask deck = kAllCards;
  auto take = [&] {
    const int c = nthBit(deck, rng.below(static_cast<uint32_t>(count(deck))));
    deck &= ~bit(c);
    return c;
  };
  const int trumpCard = take();
  st.trump = static_cast<int8_t>(suitIx(trumpCard));
  st.gone = bit(trumpCard);
  for (int s = 0; s < 4; ++s)
    for (int k = 0; k < cards; ++k) st.hand[s] |= bit(take());
  for (int s = 0; s < 4; ++s) {
    st.bid[s] = static_cast<int8_t>(standardBid(st.hand[s], trumpCard, cards, s == 0));
    st.taken[s] = static_cast<int8_t>(rng.below(2));
  }
  st.leader = static_cast<int8_t>(rng.below(4));
  // Now and then a card or two already on the table.
  for (int k = rng.below(3); k > 0; --k) {
    const int s = st.toMove();
    const Mask legal = st.legal(s);
    st.play(s, nthBit(legal, rng.below(static_cast<uint32_t>(count(legal)))));
  }
  return st;
}

TEST(Exact, AgreesWithAPlainSearchOverEveryCard) {
  Rng rng(11);
  ExactSolver solver;
  for (int i = 0; i < 300; ++i) {
    const PlayState st = randomEnd(rng, 1 + i % 3);
    solver.forget();
    ASSERT_EQ(solver.solve(st), plainSearch(st)) << "deal " << i;
    // Remembered positions give the same answer again.
    ASSERT_EQ(solver.solve(st), plainSearch(st)) << "deal " << i;
  }
}

TEST(Exact, SolvesTheLastTricksForEverySeatWithinItsBound) {
  // Seat 0 leads; all hold two cards; hearts are trumps. Seat 0 bid 2 and
  // holds both top trumps: it takes both tricks whatever the others do.
  PlayState st;
  st.trump = static_cast<int8_t>(suitIx(bitOf("2h")));
  st.hand = {maskOf({"Ah", "Kh"}), maskOf({"3c", "4c"}), maskOf({"5d", "6d"}), maskOf({"7s", "8s"})};
  st.bid = {2, 0, 0, 1};
  long nodes = 0;
  const auto points = solveExact(st, nodes);
  EXPECT_EQ(points[0], 12);
  EXPECT_EQ(points[1], 5);
  EXPECT_EQ(points[3], 0);
  EXPECT_GT(nodes, 4);
  // Cards that differ only by cards gone play alike...
  PlayState g;
  g.hand[0] = maskOf({"9c", "Jc", "Kc"});
  g.gone = maskOf({"Tc"});
  EXPECT_EQ(distinctCards(g, g.hand[0]), maskOf({"9c", "Kc"}));
  // ... but not across the card now winning the trick.
  g.inTrick = 1;
  g.winCard = static_cast<int8_t>(bitOf("Tc"));
  EXPECT_EQ(distinctCards(g, g.hand[0]), maskOf({"9c", "Jc", "Kc"}));
  // However large the deal, a solve ends: past its bound every seat plays
  // the first of its ordered cards, so the stack's open options are all
  // that is left to try.
  Rng rng(5);
  ExactSolver solver;
  long most = 0;
  for (int i = 0; i < 3; ++i) {
    solver.forget();
    const long before = solver.nodes();
    solver.solve(randomEnd(rng, 9));
    most = std::max(most, solver.nodes() - before);
  }
  EXPECT_LE(most, ExactSolver::kMostNodes + 40 * 13 * 40);
}

}  // namespace
}  // namespace ombrix::test
