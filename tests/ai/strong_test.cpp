// The Strong player: decisions that do not depend on how the work is
// sliced, clear-cut decisions taken, and the decision front the host and the
// hint drive.
#include "ai/strong.h"

#include <gtest/gtest.h>

#include "ai/decision.h"
#include "tests/ai/ai_fixture.h"

namespace ombrix::test {
namespace {

using namespace ombrix::ai;

// Seat 2 to bid in a five-card round, after seat 1.
SeatView biddingView() {
  SeatView v = viewOf(2, 5, "7d", {"Ad", "Qd", "Kc", "4s", "9h"});
  v.opener = v.leader = 1;
  v.bids[1] = 2;
  return v;
}

// Seat 3 on turn in the second trick of a four-card round.
SeatView playingView() {
  SeatView v = viewOf(3, 4, "2s", {"Kh", "8h", "9c", "Qs"});
  v.bids = {kNotBid, 1, 0, 2, 1};
  v.tricks = {0, 1, 0, 0, 0};
  v.leader = 1;
  v.trick = {card("Th"), card("4h"), 0, 0};
  v.inTrick = 2;
  for (const char* c : {"Ac", "5c", "9c", "Jc", "Th", "4h"}) v.played |= bit(bitOf(c));
  v.hand[3] = 0;  // its club went to the first trick
  return v;
}

TEST(Strong, TheResultDoesNotDependOnHowTheWorkIsSliced) {
  for (const SeatView& v : {biddingView(), playingView()}) {
    StrongSearch whole(v, 42), sliced(v, 42);
    whole.step(1'000'000'000);
    int steps = 0;
    while (!sliced.step(37)) ++steps;
    EXPECT_GT(steps, 10);
    EXPECT_EQ(sliced.result(), whole.result());
    EXPECT_EQ(sliced.samples(), whole.samples());
    for (size_t i = 0; i < whole.candidates().size(); ++i) EXPECT_EQ(sliced.meanOf(i), whole.meanOf(i));
  }
}

TEST(Strong, TakesTheClearCutDecisions) {
  // The ace of trumps in a one-card round is a sure trick: bid it.
  SeatView ace = viewOf(1, 1, "2s", {"As"});
  StrongSearch a(ace, 1);
  a.step(1'000'000);
  EXPECT_EQ(a.result(), 1);
  // A two of clubs with trumps in spades, seat 4 bidding last after three
  // bids of 1: it cannot win unless everyone else is void, so 0.
  SeatView two = viewOf(4, 1, "2s", {"2c"});
  two.opener = two.leader = 1;
  two.bids = {kNotBid, 1, 1, 1, kNotBid};
  StrongSearch b(two, 1);
  b.step(1'000'000);
  EXPECT_EQ(b.result(), 0);
  // Bid made, last card to play under a king: the queen loses, the ace would win.
  SeatView under = viewOf(4, 2, "2s", {"Qh", "Ah"});
  under.bids = {kNotBid, 0, 0, 1, 1};
  under.tricks = {0, 0, 0, 0, 1};
  under.leader = 1;
  under.trick = {card("Kh"), card("3h"), card("5h"), 0};
  under.inTrick = 3;
  under.hand[2] = 0;
  for (const char* c : {"Kh", "3h", "5h"}) under.played |= bit(bitOf(c));
  under.handSize = 2;
  StrongSearch c(under, 1);
  c.step(1'000'000);
  EXPECT_EQ(c.result(), card("Qh"));
}

TEST(Strong, WeighsABidAsOftenAsTheTableMakesIt) {
  // On the same deals: a bid the table makes more often than the play-outs
  // is worth more, less often less; a bid of 0 or one made in every deal
  // stays as the play-outs found it.
  const SeatView v = biddingView();
  auto search = [&](double trust) {
    StrongConfig c;
    for (auto& row : c.bidTrust) row.fill(trust);
    StrongSearch s(v, 7, c);
    s.step(1'000'000'000);
    return s;
  };
  const StrongSearch even = search(1), more = search(1.3), less = search(0.7);
  bool moved = false;
  for (size_t i = 0; i < even.candidates().size(); ++i) {
    const double made = even.madeShare(i);
    ASSERT_EQ(more.madeShare(i), made);
    if (even.candidates()[i] == 0) {
      EXPECT_EQ(more.meanOf(i), even.meanOf(i));
      EXPECT_EQ(less.meanOf(i), even.meanOf(i));
      continue;
    }
    EXPECT_GE(more.meanOf(i), even.meanOf(i));
    EXPECT_LE(less.meanOf(i), even.meanOf(i));
    if (made == 1) EXPECT_EQ(more.meanOf(i), even.meanOf(i));
    moved |= made > 0 && made < 1 && more.meanOf(i) > even.meanOf(i) && less.meanOf(i) < even.meanOf(i);
  }
  EXPECT_TRUE(moved);
}

TEST(Decision, RunsEachSkillInBoundedSteps) {
  EXPECT_EQ(skillNamed("strong"), Skill::Strong);
  EXPECT_EQ(skillNamed(skillName(Skill::Standard)), Skill::Standard);
  EXPECT_EQ(skillNamed("Classic"), std::nullopt);  // names are exact
  Decision standard;
  standard.start(playingView(), Skill::Standard, 1);
  EXPECT_TRUE(standard.step());  // Standard needs one step
  EXPECT_TRUE(playingView().legal() & bit(indexOf(standard.result())));
  Decision strong;
  StrongConfig config;
  config.work = 10 * Decision::kStepWork;
  config.maxSamples = 1'000'000;
  strong.start(biddingView(), Skill::Strong, 1, config);
  int steps = 1;
  while (!strong.step()) ++steps;
  EXPECT_GE(steps, 10);
  EXPECT_EQ(strong.steps(), steps);
  EXPECT_TRUE(strong.isBid());
  EXPECT_LE(strong.result(), 5);
  // A decision's seed comes from public facts: another trick seen, another seed.
  SeatView later = playingView();
  later.played |= bit(bitOf("2c"));
  EXPECT_NE(decisionSeed(1, 4, playingView()), decisionSeed(1, 4, later));
  EXPECT_EQ(decisionSeed(1, 4, playingView()), decisionSeed(1, 4, playingView()));
}

// What a hostile host can make a table announce: a decision is refused for
// any view no game can give (a hand of a million cards would make one step
// of the search take seconds, fourteen would read past Standard's tables),
// and a step ends after its work even when the play-outs find nothing to do.
TEST(Decision, RefusesAViewNoGameCanGiveAndEveryStepEnds) {
  EXPECT_TRUE(biddingView().consistent());
  EXPECT_TRUE(playingView().consistent());
  auto refused = [](const SeatView& v) {
    Decision d;
    return !d.start(v, Skill::Strong, 1) && !d.active() && !d.step();
  };
  std::vector<std::pair<const char*, SeatView>> broken;
  for (int size : {0, 11, 14, 1'000'000}) {
    SeatView v = biddingView();
    v.handSize = size;
    broken.emplace_back("hand size", v);
  }
  SeatView v = biddingView();
  v.bids[1] = 6;
  broken.emplace_back("a bid over the hand", v);
  v = playingView();
  v.tricks[2] = 3;
  broken.emplace_back("more tricks than cards", v);
  v = playingView();
  v.played |= bit(bitOf("Qs"));
  broken.emplace_back("an own card seen played", v);
  v = playingView();
  v.hand[3] = card("2h");
  broken.emplace_back("a card too many in hand", v);
  v = playingView();
  v.trumpCard = 0;
  broken.emplace_back("no trump", v);
  v = playingView();
  v.inTrick = 3;
  broken.emplace_back("a trick card nobody played", v);
  v = playingView();
  v.voids[4] = 0xF;
  broken.emplace_back("a seat void in every suit holding cards", v);
  for (const auto& [what, view] : broken) EXPECT_TRUE(refused(view)) << what;

  // The search itself, given a seat with nothing to play: a step is at
  // most its work in evaluations, not every sample there is.
  SeatView empty = biddingView();
  empty.opener = empty.leader = 2;
  empty.bids[1] = kNotBid;
  empty.hand = {};
  StrongSearch search(empty, 1);
  EXPECT_FALSE(search.step(12));
  EXPECT_LE(search.samples(), 12 / static_cast<int>(search.candidates().size()));
}

}  // namespace
}  // namespace ombrix::test
