// Players coming back during a game, in virtual time: a name that left a
// seat gets it back with its hand while the computer holds it, ahead of the
// lowest free slot; a spectator gets a spectator slot again; a seat a person
// holds is never taken over, and the first table to claim a name has it.
#include <gtest/gtest.h>

#include <algorithm>

#include "protocol/commands.h"
#include "tests/support/recorder.h"

namespace ombrix::test {
namespace {

constexpr const char* kBack = "CMD_me+Cy has reconnected|$00804000";

// How far a table at "1.0.14" has turned its view after the log-in numbers
// it was given: seat s turns it s - 1 places from where it stood.
int turned(const std::vector<std::string>& toTable) {
  int turn = 0;
  for (const std::string& m : toTable)
    if (commandOf(m) == "CMD_sendlogininfo") {
      const int slot = std::stoi(m.substr(18));
      if (isSeat(slot)) turn += slot - 1;
    }
  return turn % kSeats;
}

struct Rejoin : ::testing::Test {
  void SetUp() override {
    join("Ann");  // 1
    join("Bo");   // 2
    join("Cy");   // 3
    from(1, "CMD_botspeed+1+500+");
    from(1, "CMD_startgame+Ann+h+");
  }
  int join(const std::string& name) {
    const int slot = h.host.acceptConnection();
    if (slot != kFullSlot) from(slot, "CMD_logininfo+" + std::to_string(slot) + "+1.0.14+" + name + "\xFF");
    return slot;
  }
  void from(int slot, const std::string& message) {
    h.host.received(slot, message + "\xFF");
    h.clock.runUntil([&] { return h.host.receivedlist.empty(); }, 60000);
  }
  GameEngine& e() { return h.engine(); }
  // The people at their seats move at once, by the computer's own rule.
  template <class Pred>
  bool playUntil(Pred stop) {
    for (int guard = 0; guard < 100000; ++guard) {
      if (stop()) return true;
      const int bidder = e().currentBidder, player = e().currentPlayer;
      if (e().currentPlayer == 0 && isSeat(bidder) && !e().isComputer(bidder)) {
        from(bidder, "CMD_bid+" + std::to_string(bidder) + "+1");
      } else if (isSeat(player) && !e().isComputer(player) && e().cardsInTrick < kSeats &&
                 e().tricksPlayed < e().handSize) {
        e().cplay(player);
      } else if (!h.clock.step()) {
        return false;
      }
    }
    return false;
  }
  HostHarness h{31};
};

TEST_F(Rejoin, ASeatLeftMidTrickComesBackWithItsHandAheadOfTwoFreeSeats) {
  // Cy leaves while on turn mid-trick; the computer plays its card at once.
  ASSERT_TRUE(playUntil([&] { return e().roundNumber == 4 && e().currentPlayer == 3 && e().cardsInTrick == 2; }));
  h.host.connectionClosed(2);  // Bo leaves too: seats 2, 3 and 4 are the computer's
  h.host.connectionClosed(3);
  EXPECT_NE(e().currentPlayer, 3) << "the computer played Cy's card";
  // Play on until seat 3 is on turn again, its computer card not yet due.
  ASSERT_TRUE(playUntil(
      [&] { return e().currentPlayer == 3 && e().cardsInTrick < kSeats && e().tricksPlayed < e().handSize; }));
  const auto hand = e().slots[3].hand;
  const auto stuff = e().slots[3];

  h.rec.clear();
  const int provisional = h.host.acceptConnection();
  ASSERT_EQ(provisional, 2) << "the lowest free slot, as for anyone";
  from(2, "CMD_logininfo+2+1.0.14+Cy\xFF");
  EXPECT_EQ(h.rec.moved, (std::vector<std::pair<int, int>>{{2, 3}}));
  EXPECT_FALSE(e().slots[2].inUse);
  EXPECT_TRUE(e().slots[3].inUse);
  EXPECT_TRUE(h.rec.to(1).empty()) << "nothing of slot 2 was announced: " << ::testing::PrintToString(h.rec.to(1));
  const std::vector<std::string> told = h.rec.to(3);
  ASSERT_FALSE(told.empty());
  EXPECT_EQ(told.back(), "CMD_sendlogininfo+3");
  // The table's view turns as a table at "1.0.14" turns it, seat 3 at the bottom.
  std::vector<std::string> numbers = {"CMD_sendlogininfo+2"};
  numbers.insert(numbers.end(), told.begin(), told.end());
  EXPECT_EQ(turned(numbers), 3 - 1);

  // The seat's delay runs out with a person there: the computer waits.
  h.clock.advance(3000);
  EXPECT_EQ(e().currentPlayer, 3);
  // The table answers every number it is given; only the last counts.
  for (const std::string& m : told) from(3, "CMD_logininfo+" + m.substr(18) + "+1.0.14+Cy\xFF");
  const std::vector<std::string> toCy = h.rec.to(3);
  std::string own = "CMD_placecard+3";
  for (int p = 1; p <= kMaxHand; ++p)
    if (hand[p]) own += "+" + std::to_string(p) + "+" + std::to_string(hand[p]);
  auto at = std::find(toCy.begin(), toCy.end(), "CMD_newplayerinfo+3+Cy");
  ASSERT_NE(at, toCy.end());
  EXPECT_EQ(std::count(toCy.begin(), toCy.end(), "CMD_newplayerinfo+3+Cy"), 1) << "one log-in announced";
  EXPECT_NE(std::find(at, toCy.end(), own), toCy.end()) << "its own hand";
  const std::string seat3 = "CMD_newplayerstuff+3+" + std::to_string(stuff.bid) + "+" + std::to_string(stuff.tricks) +
                            "+" + std::to_string(stuff.score) + "+";
  EXPECT_EQ(std::count_if(at, toCy.end(), [&](auto& m) { return m.rfind(seat3, 0) == 0; }), 1);
  // Every table hears it is back; its own table is asked for the card again.
  EXPECT_EQ(h.rec.to(1, "CMD_me"), (std::vector<std::string>{kBack}));
  ASSERT_GE(toCy.size(), 2u);
  EXPECT_EQ(toCy[toCy.size() - 2], kBack);
  EXPECT_EQ(toCy.back(), "CMD_nextplayer+3");
  EXPECT_EQ(e().slots[3].name, "Cy");
  auto played = [&] {
    const auto cards = h.rec.to(1, "CMD_playcard");
    return std::count_if(cards.begin(), cards.end(), [](auto& m) { return m.rfind("CMD_playcard+3+", 0) == 0; });
  };
  EXPECT_EQ(played(), 0) << "the computer played nothing for it";
  e().cplay(3);  // Cy plays
  EXPECT_EQ(played(), 1);
}

TEST_F(Rejoin, TheFirstTableToClaimANameHasTheSeatAndNoneTakesAPersonsSeat) {
  ASSERT_TRUE(playUntil([&] { return e().roundNumber == 2 && e().currentPlayer != 0; }));
  h.host.connectionClosed(3);
  from(1, "CMD_kickhim+1+2+");  // Bo is removed: his name gets nothing back
  h.host.connectionClosed(2);
  ASSERT_EQ(join("Cy"), 2);  // moved to its seat
  EXPECT_TRUE(e().slots[3].inUse);
  from(3, "CMD_logininfo+3+1.0.14+Cy\xFF");
  EXPECT_EQ(e().slots[3].name, "Cy");
  // A second table under the same name is seated by the usual rule.
  h.rec.clear();
  ASSERT_EQ(join("Cy"), 2);
  EXPECT_TRUE(h.rec.moved.empty());
  EXPECT_EQ(e().slots[2].name, "Cy");
  EXPECT_EQ(e().slots[3].name, "Cy");
  EXPECT_TRUE(h.rec.to(1, "CMD_me").empty()) << "only the first came back";
  EXPECT_EQ(join("Bo"), 4);
  EXPECT_TRUE(h.rec.moved.empty()) << "the removed player's seat stays the usual rule's";

  // Cy's second table leaves seat 2 and Dee sits there: the name cannot take it back.
  h.host.connectionClosed(2);
  ASSERT_EQ(join("Dee"), 2);
  h.rec.clear();
  EXPECT_EQ(join("Cy"), 5);
  EXPECT_TRUE(h.rec.moved.empty());
  EXPECT_EQ(e().slots[2].name, "Dee");
}

TEST_F(Rejoin, ASpectatorComesBackAmongTheSpectators) {
  ASSERT_EQ(join("Eve"), 4);
  ASSERT_EQ(join("Fay"), 5);  // a spectator
  ASSERT_TRUE(playUntil([&] { return e().roundNumber == 2; }));
  h.host.connectionClosed(5);
  h.host.connectionClosed(2);  // a seat is free: the usual rule would seat her there
  h.rec.clear();
  ASSERT_EQ(h.host.acceptConnection(), 2);
  from(2, "CMD_logininfo+2+1.0.14+Fay\xFF");
  EXPECT_EQ(h.rec.moved, (std::vector<std::pair<int, int>>{{2, 5}}));
  const std::vector<std::string> told = h.rec.to(5);
  ASSERT_FALSE(told.empty());
  EXPECT_EQ(told.back(), "CMD_sendlogininfo+5");
  std::vector<std::string> numbers = {"CMD_sendlogininfo+2"};
  numbers.insert(numbers.end(), told.begin(), told.end());
  EXPECT_EQ(turned(numbers), 0) << "a spectator's view is not turned";
  from(5, "CMD_logininfo+5+1.0.14+Fay\xFF");
  EXPECT_EQ(h.rec.to(1, "CMD_newplayerinfo"), (std::vector<std::string>{"CMD_newplayerinfo+5+Fay"}));
  EXPECT_EQ(h.rec.to(1, "CMD_me"), (std::vector<std::string>{"CMD_me+Fay has reconnected|$00804000"}));
  EXPECT_FALSE(e().slots[2].inUse) << "the seat she passed through is the computer's";
}

}  // namespace
}  // namespace ombrix::test
