// House rules at the host: every variant played to its end by four computer
// players as the tests' own referee scores it, the hook refused and asked
// again, and a table that cannot follow the rules told why and closed.
#include <gtest/gtest.h>

#include <algorithm>

#include "rules/rules.h"
#include "tests/support/recorder.h"
#include "tests/support/referee.h"

namespace ombrix::test {
namespace {

// A table that follows house rules logs in at `slot` (already held).
void logInFollowing(HostHarness& h, int slot, const std::string& name) {
  const std::string n = std::to_string(slot);
  h.host.received(slot, "CMD_logininfo+" + n + "+1.0.14+" + name + "\xFF\xFF" + "CMD_features+" + n + "+secret,rules+\xFF");
  h.clock.runUntil([&] { return h.host.receivedlist.empty(); }, 60000);
}

std::vector<Sent> fromGameStart(const Recorder& rec, int slot) {
  std::vector<Sent> out;
  for (const Sent& s : rec.sent)
    if (s.slot == slot && (!out.empty() || commandOf(s.text) == "CMD_startgame")) out.push_back(s);
  return out;
}

TEST(HouseRules, EachVariantPlaysToItsEndAsTheRefereeScoresIt) {
  struct Case {
    const char* list;
    bool half;
    ai::Skill skill;
    int hook, scoring;  // the referee's own words for them: scoring 0 design, 1 tricks, 2 penalty
    bool downUp;
  };
  const Case cases[] = {
      {"hook", false, ai::Skill::Classic, 1, 0, false},
      {"scoring=tricks,rounds=downup", false, ai::Skill::Classic, 0, 1, true},
      {"hook,scoring=penalty", false, ai::Skill::Classic, 1, 2, false},
      {"hook,scoring=tricks,rounds=downup", true, ai::Skill::Standard, 1, 1, true},
      {"hook,scoring=penalty,rounds=downup", true, ai::Skill::Strong, 1, 2, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.list);
    HostHarness h(31 + static_cast<uint64_t>(c.scoring));
    h.engine().strongConfig.work = h.engine().strongConfig.ruleWork = 4000;
    h.engine().strongConfig.maxSamples = 12;
    ASSERT_TRUE(h.host.setRules(*rules::parse(c.list)));
    h.connect({5});
    logInFollowing(h, 5, "Watcher");
    h.engine().botSkill.fill(c.skill);
    h.host.enqueue(0, "CMD_botspeed+1+500+");
    h.host.enqueue(0, std::string("CMD_startgame+Bob+") + (c.half ? "h" : "f") + "+");
    ASSERT_TRUE(h.clock.runUntil([&] { return !h.rec.to(5, "CMD_winner").empty(); }, 24 * 3600 * 1000));

    // Told the rules before the game, as the host spells them.
    const auto told = h.rec.to(5, "CMD_rules");
    ASSERT_FALSE(told.empty());
    EXPECT_EQ(told.back(), "CMD_rules+" + rules::format(*rules::parse(c.list)));

    RefereeOptions opt;
    opt.halfGame = c.half;
    for (int s = 1; s <= 4; ++s) opt.computerSeats[s] = true, opt.skilled[s] = c.skill != ai::Skill::Classic;
    opt.hook = c.hook != 0;
    opt.scoring = c.scoring;
    opt.downUp = c.downUp;
    opt.checkTiming = c.skill == ai::Skill::Classic;
    const RefereeReport rep = refereeGame(fromGameStart(h.rec, 5), opt);
    EXPECT_TRUE(rep.ok()) << rep.summary();
    EXPECT_EQ(rep.rounds, c.half ? 10 : 20);
    EXPECT_EQ(rep.handSizes.front(), c.downUp ? 10 : 1);
  }
}

TEST(HouseRules, TheHookedBidIsRefusedAndTheSameSeatAskedAgain) {
  HostHarness h(5);
  ASSERT_TRUE(h.host.setRules(rules::Rules{true}));
  h.connect({1, 2, 3, 4});
  for (int s = 1; s <= 4; ++s) logInFollowing(h, s, "P" + std::to_string(s));
  h.host.enqueue(1, "CMD_startgame+P1+h+");
  h.clock.runUntil([&] { return h.host.receivedlist.empty(); }, 60000);
  GameEngine& e = h.engine();
  ASSERT_EQ(e.handSize, 1);
  // The first three bid nothing: the last may not bid the round's one card.
  for (int k = 0; k < 3; ++k) {
    const int s = e.currentBidder;
    h.host.enqueue(s, "CMD_bid+" + std::to_string(s) + "+0");
    h.clock.runUntil([&] { return h.host.receivedlist.empty(); }, 60000);
  }
  const int last = e.currentBidder;
  ASSERT_EQ(nextSeat(last), e.biddingStarter);
  const std::string ask = h.rec.to(last, "CMD_bid").back();
  h.rec.clear();
  h.host.enqueue(last, "CMD_bid+" + std::to_string(last) + "+1");
  h.clock.runUntil([&] { return h.host.receivedlist.empty(); }, 60000);
  EXPECT_EQ(h.rec.to(last), std::vector<std::string>{ask}) << "asked again, the same request, and nothing else";
  for (int s = 1; s <= 4; ++s)
    if (s != last) EXPECT_TRUE(h.rec.to(s).empty()) << s;
  EXPECT_EQ(e.currentBidder, last);
  h.host.enqueue(last, "CMD_bid+" + std::to_string(last) + "+0");
  h.clock.runUntil([&] { return h.host.receivedlist.empty(); }, 60000);
  EXPECT_EQ(h.rec.to(1, "CMD_hisbid"), std::vector<std::string>{"CMD_hisbid+" + std::to_string(last) + "+0+0"});
  EXPECT_EQ(e.currentBidder, 0);
}

TEST(HouseRules, ATableThatCannotFollowThemIsToldWhyAndClosedNeverSeated) {
  HostHarness h(9);
  h.host.slotOneIsOwnPlayer = false;
  ASSERT_TRUE(h.host.setRules(*rules::parse("scoring=penalty")));
  h.connect({5});
  logInFollowing(h, 5, "Watcher");
  h.host.enqueue(0, "CMD_botspeed+1+500+");
  h.host.enqueue(0, "CMD_startgame+The host+f+");  // computers in every seat, as --start has it
  h.clock.runUntil([&] { return h.engine().roundNumber == 2 && h.engine().currentPlayer != 0; }, 600000);
  const int64_t start = h.clock.now();
  const int old = h.host.acceptConnection();  // a free seat
  ASSERT_TRUE(isSeat(old));
  h.host.received(old, "CMD_logininfo+" + std::to_string(old) + "+1.0.14+Old\xFF\xFF");
  ASSERT_TRUE(h.clock.runUntil([&] { return !h.rec.closed.empty(); }, 10000));
  EXPECT_LE(h.clock.now() - start, 2000);
  EXPECT_EQ(h.rec.closed, std::vector<int>{old});
  const auto heard = h.rec.to(old);
  ASSERT_EQ(heard.size(), 2u) << "its number and one line, nothing of the game";
  EXPECT_EQ(heard[0], "CMD_sendlogininfo+" + std::to_string(old));
  EXPECT_EQ(commandOf(heard[1]), "CMD_chat");
  EXPECT_NE(heard[1].find("scoring=penalty"), std::string::npos);
  EXPECT_NE(heard[1].find("cannot follow"), std::string::npos);
  h.host.connectionClosed(old);
  for (const std::string& m : h.rec.to(5, "CMD_newplayerinfo")) EXPECT_EQ(m.find("Old"), std::string::npos);
  // The game goes on without it, to the end.
  EXPECT_TRUE(h.clock.runUntil([&] { return !h.rec.to(5, "CMD_winner").empty(); }, 24 * 3600 * 1000));

  // At a table of the design's rules the same table is seated as ever.
  HostHarness d(9);
  const int slot = d.host.acceptConnection();
  d.host.received(slot, "CMD_logininfo+" + std::to_string(slot) + "+1.0.14+Old\xFF\xFF");
  d.clock.runUntil([&] { return d.host.receivedlist.empty(); }, 60000);
  d.clock.advance(5000);
  EXPECT_TRUE(d.rec.closed.empty());
  EXPECT_EQ(d.rec.to(slot, "CMD_newplayerinfo"), std::vector<std::string>{"CMD_newplayerinfo+" + std::to_string(slot) + "+Old"});
}

}  // namespace
}  // namespace ombrix::test
