// The table's model: from the announcements one seat's window receives,
// the same view of the game the host builds for that seat.
#include "client/tablemodel.h"

#include <gtest/gtest.h>

#include "tests/support/recorder.h"

namespace ombrix::test {
namespace {

using client::TableModel;

void feed(TableModel& k, const std::string& message) {
  if (auto e = client::readAnnouncement(message)) k.apply(*e);
}

// A game of four computer seats with seat 2's window listening: after every
// announcement, the window's view must be the host's view of seat 2.
TEST(TableModel, SeesWhatTheHostShowsTheSeat) {
  for (uint64_t seed : {4u, 5u}) {
    HostHarness h(seed);
    h.connect({2});
    GameEngine& e = h.engine();
    e.botDelay = kBotFastMs;
    // A Strong seat makes the host watch who keeps to the Classic rule, as
    // the window does.
    e.botSkill = {ai::Skill::Classic, ai::Skill::Strong, ai::Skill::Standard, ai::Skill::Classic,
                  ai::Skill::Classic};
    h.host.startgame("Bob+h+");
    h.host.received(2, "CMD_justwatch+2+1\xFF");  // the computer plays seat 2 too
    TableModel k;
    feed(k, "CMD_sendlogininfo+2");
    size_t seen = 0;
    int compared = 0;
    while (e.gameInProgress && h.clock.step()) {
      const auto msgs = h.rec.to(2);
      for (; seen < msgs.size(); ++seen) feed(k, msgs[seen]);
      const bool bidding = e.currentPlayer == 0 && e.currentBidder == 2;
      const bool playing = e.currentPlayer == 2 && e.cardsInTrick < kSeats && e.tricksPlayed < e.handSize;
      EXPECT_EQ(k.asksBid(2), bidding);
      EXPECT_EQ(k.awaitsCard(2), playing);
      if (!bidding && !playing) continue;
      const ai::SeatView a = e.viewFor(2), b = k.seatView();
      ASSERT_EQ(a.hand, b.hand) << "round " << e.roundNumber;
      EXPECT_EQ(a.handSize, b.handSize);
      EXPECT_EQ(a.trumpCard, b.trumpCard);
      EXPECT_EQ(a.opener, b.opener);
      EXPECT_EQ(a.bids, b.bids);
      EXPECT_EQ(a.tricks, b.tricks);
      EXPECT_EQ(a.scores, b.scores);
      EXPECT_EQ(a.roundsLeft, b.roundsLeft);
      EXPECT_EQ(a.leader, b.leader);
      EXPECT_EQ(a.inTrick, b.inTrick);
      EXPECT_EQ(a.trick, b.trick);
      EXPECT_EQ(a.played, b.played);
      EXPECT_EQ(a.playedBy, b.playedBy);
      EXPECT_EQ(a.sequence, b.sequence);
      EXPECT_EQ(a.plays, b.plays);
      EXPECT_EQ(a.voids, b.voids);
      // The host knows which of its computer seats play Classic; the window
      // sees it as the host's rule watch does.
      for (int s = 1; s <= kSeats; ++s) EXPECT_EQ(b.classic[s], e.ruleWatch.classic(s)) << "seat " << s;
      EXPECT_EQ(a.openPositions, b.openPositions);
      EXPECT_EQ(a.barred, b.barred);
      ++compared;
    }
    EXPECT_GT(compared, 40);
    EXPECT_GT(k.serial(), 100u);
  }
}

TEST(TableModel, ALateJoinerKnowsTheTrickOnTheTable) {
  TableModel k;
  feed(k, "CMD_sendlogininfo+3");
  feed(k, "CMD_placecard+3+2+40+4+7");
  for (const char* m :
       {"CMD_newplayerstuff+1+1+0+12+1+30+2+5+3+0+4+0+", "CMD_newplayerstuff+2+0+1+3+1+30+2+5+3+0+4+0+",
        "CMD_newplayerstuff+3+2+0+0+1+30+2+5+3+0+4+0+", "CMD_newplayerstuff+4+1+0+9+1+30+2+5+3+0+4+0+",
        "CMD_stats+3+0+5+14+h+"})
    feed(k, m);
  // Two cards down and seat 3 on turn: seat 1 led the five of hearts, seat 2
  // discarded the five of clubs.
  const ai::SeatView v = k.seatView();
  EXPECT_TRUE(k.awaitsCard(3));
  EXPECT_EQ(v.handSize, 5);
  EXPECT_EQ(v.trumpCard, 14);
  EXPECT_EQ(v.inTrick, 2);
  EXPECT_EQ(v.leader, 1);
  EXPECT_EQ(v.trick[0], 30);
  EXPECT_EQ(v.trick[1], 5);
  EXPECT_EQ(v.voids[2], 1u << 2);  // no hearts
  EXPECT_EQ(v.bids[2], 0);         // the bidding is over
  EXPECT_EQ(v.hand[2], 40);
  EXPECT_EQ(v.hand[4], 7);
  EXPECT_EQ(v.bids[3], 2);
  EXPECT_EQ(v.tricks[2], 1);

  // Cards no order of play explains (seats 1 and 3 down, seat 3 on turn):
  // only a run of seats just before the one on turn counts as the trick.
  TableModel odd;
  for (const char* m :
       {"CMD_sendlogininfo+2", "CMD_newplayerstuff+1+3+1+22+1+14+2+0+3+40+4+0+", "CMD_stats+3+0+7+33+h+"})
    feed(odd, m);
  EXPECT_EQ(odd.seatView().inTrick, 0);
  EXPECT_EQ(odd.seatView().leader, 3);
  EXPECT_EQ(odd.seatView().played, 0u);
}

// A hostile host's table: cards shown face up for another seat are not this
// table's hand, and numbers beyond a hand's are kept to a hand's.
TEST(TableModel, OnlyItsOwnCardsAreTheHandAndEveryCountStaysAHands) {
  TableModel k;
  for (const char* m :
       {"CMD_sendlogininfo+1", "CMD_startround+2+4", "CMD_placecard+1+1+40+2+7", "CMD_placecard+2+1+13+2+26",
        "CMD_trump+14", "CMD_bid+1+1000000+1", "CMD_hisbid+2+999+999", "CMD_placecard+3+1+0+99999+0"})
    feed(k, m);
  const std::array<int, 11> own = {0, 40, 7};
  EXPECT_EQ(k.hand(), own);
  EXPECT_EQ(k.seatView().hand, own);
  EXPECT_EQ(k.cardsShown(2), 2);
  EXPECT_EQ(k.cardsShown(3), TableModel::kMostCards);
  EXPECT_EQ(k.handSize(), TableModel::kMostCards);
  EXPECT_EQ(k.bid(2), TableModel::kMostCards);
  EXPECT_TRUE(k.asksBid(1));
  EXPECT_FALSE(k.seatView().consistent());  // so the hint is refused, not stuck
  feed(k, "CMD_trickwinner+2+77");
  EXPECT_EQ(k.tricks(2), TableModel::kMostCards);
}

// A late joiner has not seen the round it joins: however the seats play in
// it, that round counts for nothing when the table judges who keeps to the
// Classic rule.
TEST(TableModel, ALateJoinersFirstRoundCountsForNothingInTheRuleWatch) {
  TableModel k;
  for (const char* m : {"CMD_sendlogininfo+3", "CMD_placecard+3+2+40+3+7"}) feed(k, m);
  for (int s = 1; s <= 4; ++s)
    feed(k, "CMD_newplayerstuff+" + std::to_string(s) + "+1+" + (s == 2 ? "1" : "0") + "+0+1+0+2+0+3+0+4+0+");
  feed(k, "CMD_stats+2+0+3+14+h+");
  // Seat 2 took the first trick, which this table did not see, and leads
  // from its second position: by the rule, as its first card went there.
  for (const char* m :
       {"CMD_playcard+2+2+30", "CMD_nextplayer+3",   "CMD_playcard+3+2+40", "CMD_nextplayer+4",
        "CMD_playcard+4+2+31", "CMD_nextplayer+1",   "CMD_playcard+1+2+32", "CMD_trickwinner+1+1",
        "CMD_nextplayer+1",    "CMD_playcard+1+3+9", "CMD_nextplayer+2",    "CMD_playcard+2+3+10",
        "CMD_nextplayer+3",    "CMD_playcard+3+3+7", "CMD_nextplayer+4",    "CMD_playcard+4+3+8",
        "CMD_trickwinner+2+2", "CMD_score+1+0+0",    "CMD_score+2+0+0",     "CMD_score+3+0+0",
        "CMD_score+4+0+0"})
    feed(k, m);
  // Three whole one-card rounds by the rule: each seat bids 0 on a low
  // card and plays its only one.
  for (int r = 0; r < 3; ++r) {
    feed(k, "CMD_startround+1+4");
    feed(k, "CMD_placecard+3+1+4");
    feed(k, "CMD_trump+40");
    for (int s = 1; s <= 4; ++s) feed(k, "CMD_hisbid+" + std::to_string(s) + "+0+0");
    for (int s = 1; s <= 4; ++s) {
      feed(k, "CMD_nextplayer+" + std::to_string(s));
      feed(k, "CMD_playcard+" + std::to_string(s) + "+1+" + std::to_string(s + 1));
    }
    feed(k, "CMD_trickwinner+4+1");
    for (int s = 1; s <= 4; ++s) feed(k, "CMD_score+" + std::to_string(s) + "+0+0");
  }
  for (int s = 1; s <= 4; ++s) EXPECT_TRUE(k.seatView().classic[s]) << "seat " << s;
}

}  // namespace
}  // namespace ombrix::test
