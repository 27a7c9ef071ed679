// The house rules as a host reads them, and the rules they change.
#include "rules/rules.h"

#include <gtest/gtest.h>

#include <vector>

namespace ombrix::rules {
namespace {

TEST(RulesList, EveryCombinationReadsBackAndBadListsAreRefused) {
  for (bool hook : {false, true})
    for (Scoring s : {Scoring::Design, Scoring::Tricks, Scoring::Penalty})
      for (Rounds r : {Rounds::UpDown, Rounds::DownUp}) {
        const Rules rules{hook, s, r};
        const auto back = parse(format(rules));
        ASSERT_TRUE(back) << format(rules);
        EXPECT_EQ(*back, rules) << format(rules);
      }
  EXPECT_EQ(format(Rules{}), "design");
  EXPECT_EQ(*parse("rounds=downup, hook,scoring=penalty"), (Rules{true, Scoring::Penalty, Rounds::DownUp}));
  EXPECT_EQ(format(*parse("rounds=downup,hook,scoring=tricks")), "hook,scoring=tricks,rounds=downup");
  // The design's rules, named, are no variant.
  EXPECT_TRUE(parse("scoring=design,rounds=updown")->design());
  for (const char* bad : {"", "hooks", "hook,hook", "scoring=tricks,scoring=penalty", "design,hook", "scoring=",
                          "rounds=up", "hook,", "scoring"}) {
    std::string why;
    EXPECT_FALSE(parse(bad, &why)) << bad;
    EXPECT_FALSE(why.empty()) << bad;
  }
}

TEST(RulesRounds, BothOrdersDealEachSizeTwiceAndAHalfGameIsTheFirstTen) {
  std::vector<int> up, down;
  for (int round = 1; round <= roundsOf(false); ++round) {
    up.push_back(handSize(Rules{}, round));
    down.push_back(handSize(Rules{false, Scoring::Design, Rounds::DownUp}, round));
  }
  EXPECT_EQ(up, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1}));
  EXPECT_EQ(down, (std::vector<int>{10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
  EXPECT_EQ(roundsOf(true), 10);
  EXPECT_EQ(handSize(Rules{}, 0), 0);
  EXPECT_EQ(handSize(Rules{}, 21), 0);
}

TEST(RulesPoints, EachScoringOnMadeMissedAndZeroBids) {
  const Rules design{}, tricks{false, Scoring::Tricks}, penalty{false, Scoring::Penalty};
  // bid, taken, design, tricks, penalty
  const int table[][5] = {{0, 0, 5, 10, 10},  {3, 3, 13, 13, 16}, {10, 10, 20, 20, 30},
                          {2, 1, 0, 1, -2},   {2, 5, 0, 5, -6},   {0, 4, 0, 4, -8}};
  for (const auto& row : table) {
    EXPECT_EQ(points(design, row[0], row[1]), row[2]) << row[0] << "/" << row[1];
    EXPECT_EQ(points(tricks, row[0], row[1]), row[3]) << row[0] << "/" << row[1];
    EXPECT_EQ(points(penalty, row[0], row[1]), row[4]) << row[0] << "/" << row[1];
  }
  EXPECT_FALSE(possiblePoints(design, 7, 10));  // 1 to 10 and 5 never: only 0, 5 and 11 up
  EXPECT_TRUE(possiblePoints(penalty, -20, 10));
  EXPECT_FALSE(possiblePoints(penalty, -20, 9));
}

TEST(RulesBids, TheHookBarsOnlyTheLastBidFromMakingTheTotal) {
  const Rules hook{true};
  EXPECT_TRUE(mayBid(hook, 2, 5, 3, false));   // not last: anything
  EXPECT_FALSE(mayBid(hook, 2, 5, 3, true));   // 3 + 2 = the round's 5 cards
  EXPECT_TRUE(mayBid(Rules{}, 2, 5, 3, true));  // without the hook it may
  EXPECT_EQ(bids(hook, 5, 7, true), 0b111111);  // already over: nothing to bar
  EXPECT_FALSE(mayBid(hook, 6, 5, 0, false));   // never beyond the hand
  // The Classic rule moves to the nearest bid allowed, the lower on a tie.
  EXPECT_EQ(classicBid(hook, 2, 5, 3, true), 1);
  EXPECT_EQ(classicBid(hook, 0, 1, 1, true), 1);
  EXPECT_EQ(classicBid(hook, 7, 5, 0, true), 4);
  EXPECT_EQ(classicBid(Rules{}, 7, 5, 0, true), 5);
}

}  // namespace
}  // namespace ombrix::rules
