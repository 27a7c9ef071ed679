// Players coming back during a game, in virtual time: a table that left a
// seat and presents its secret gets it back with its hand while the seat is
// kept, ahead of the lowest free slot; a spectator gets a spectator slot
// again; a name alone gets nothing, a seat a person holds is never taken
// over (but a connection still open is closed for the table back with its
// secret), and the first table to claim a seat has it.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

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
  // A table of this program: its log-in (after its seat's secret, when it
  // has one), then what it can do; the host gives it the seat's secret.
  int join(const std::string& name, const std::string& secret = {}) {
    const int slot = h.host.acceptConnection();
    if (slot != kFullSlot) logIn(slot, name, secret);
    return slot;
  }
  void logIn(int slot, const std::string& name, const std::string& secret = {}) {
    const std::string n = std::to_string(slot);
    std::string m;
    if (!secret.empty()) m += "CMD_reclaim+" + n + "+" + secret + "+\xFF";
    m += "CMD_logininfo+" + n + "+1.0.14+" + name + "\xFF\xFF";
    m += "CMD_features+" + n + "+secret+";
    from(slot, m);
    for (const std::string& s : h.rec.to(slot, "CMD_secret"))
      if (s.rfind("CMD_secret+" + n + "+", 0) == 0) secrets[name] = s.substr(12 + n.size(), s.size() - 13 - n.size());
  }
  void from(int slot, const std::string& message) {
    h.host.received(slot, message + "\xFF");
    h.clock.runUntil([&] { return h.host.receivedlist.empty(); }, 60000);
  }
  GameEngine& e() { return h.engine(); }
  // The table moved to `slot` answers every number it was told there since
  // the recorder was cleared; only the answer to the last is its log-in.
  void answerAll(int slot, const std::string& name) {
    for (const std::string& m : h.rec.to(slot, "CMD_sendlogininfo"))
      from(slot, "CMD_logininfo+" + m.substr(18) + "+1.0.14+" + name + "\xFF");
  }
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
  std::map<std::string, std::string> secrets;  // the last secret each name was given
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
  const auto hand = e().seats[3].hand;
  const auto stuff = e().seats[3];

  h.rec.clear();
  const int provisional = h.host.acceptConnection();
  ASSERT_EQ(provisional, 4) << "the lowest free seat not kept for a name that just left";
  from(4, "CMD_reclaim+4+" + secrets["Cy"] + "+\xFF" + "CMD_logininfo+4+1.0.14+Cy\xFF");
  EXPECT_EQ(h.rec.moved, (std::vector<std::pair<int, int>>{{4, 3}}));
  EXPECT_FALSE(h.host.slots[4].inUse);
  EXPECT_TRUE(h.host.slots[3].inUse);
  EXPECT_TRUE(h.rec.to(1).empty()) << "nothing of slot 4 was announced: " << ::testing::PrintToString(h.rec.to(1));
  const std::vector<std::string> told = h.rec.to(3);
  ASSERT_FALSE(told.empty());
  EXPECT_EQ(told.back(), "CMD_sendlogininfo+3");
  // The table's view turns as a table at "1.0.14" turns it, seat 3 at the bottom.
  std::vector<std::string> numbers = {"CMD_sendlogininfo+4"};
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
  EXPECT_EQ(h.host.slots[3].name, "Cy");
  auto played = [&] {
    const auto cards = h.rec.to(1, "CMD_playcard");
    return std::count_if(cards.begin(), cards.end(), [](auto& m) { return m.rfind("CMD_playcard+3+", 0) == 0; });
  };
  EXPECT_EQ(played(), 0) << "the computer played nothing for it";
  e().cplay(3);  // Cy plays
  EXPECT_EQ(played(), 1);
}

// A table at "1.0.14" on a connection the host may renumber: it answers every
// number it is told with a log-in under that number and its name.
struct Line {
  std::string name;
  int slot = 0;
  std::vector<std::string> told;  // what reached this connection, in order
  size_t answered = 0;
};

TEST_F(Rejoin, TwoLinesCutAtOnceComeBackToTheirSeatsWhateverTheOrderWhileANewcomerJoins) {
  ASSERT_TRUE(playUntil([&] { return e().roundNumber == 3 && e().cardsInTrick == 1; }));
  h.host.connectionClosed(2);  // both lines drop at once; seat 4 is the computer's
  h.host.connectionClosed(3);
  const auto boHand = e().seats[2].hand, cyHand = e().seats[3].hand;
  h.rec.clear();
  std::vector<Line> lines;
  size_t routed = 0, move = 0;
  // Hands what the host sent to the connections that held each number then.
  auto route = [&] {
    for (; routed < h.rec.sent.size(); ++routed) {
      for (; move < h.rec.moved.size() && h.rec.movedAt[move] <= routed; ++move) {
        const auto [from, to] = h.rec.moved[move];
        for (Line& l : lines) l.slot = l.slot == from ? to : l.slot == to ? from : l.slot;
      }
      for (Line& l : lines)
        if (l.slot == h.rec.sent[routed].slot) l.told.push_back(h.rec.sent[routed].text);
    }
  };
  auto connect = [&](const std::string& name) {
    lines.push_back({name, h.host.acceptConnection()});
    route();
  };
  auto answer = [&](size_t i) {
    while (lines[i].answered < lines[i].told.size()) {
      const std::string m = lines[i].told[lines[i].answered++];
      if (commandOf(m) == "CMD_sendlogininfo") {
        const auto secret = secrets.find(lines[i].name);
        from(lines[i].slot, (secret == secrets.end() ? "" : "CMD_reclaim+" + m.substr(18) + "+" + secret->second + "+\xFF") +
                                "CMD_logininfo+" + m.substr(18) + "+1.0.14+" + lines[i].name);
      }
      route();
    }
  };
  // The worst order: each returning line is accepted into another's seat,
  // the newcomer into a kept one, and the returning log in first.
  connect("Cy");
  connect("Dee");
  connect("Bo");
  EXPECT_EQ(lines[0].slot, 4) << "a newcomer is kept off the seats just left while one is free";
  EXPECT_EQ(lines[1].slot, 2) << "with none free, the lowest free slot";
  EXPECT_EQ(lines[2].slot, 3);
  answer(2);
  answer(0);
  answer(1);
  answer(2);
  answer(0);

  EXPECT_EQ(h.host.slots[2].name, "Bo");
  EXPECT_EQ(h.host.slots[3].name, "Cy");
  EXPECT_EQ(h.host.slots[4].name, "Dee");
  EXPECT_EQ(h.rec.to(1, "CMD_me"), (std::vector<std::string>{"CMD_me+Bo has reconnected|$00804000",
                                                               "CMD_me+Cy has reconnected|$00804000"}));
  EXPECT_EQ(h.rec.to(1, "CMD_newplayerinfo"),
            (std::vector<std::string>{"CMD_newplayerinfo+2+Bo", "CMD_newplayerinfo+3+Cy", "CMD_newplayerinfo+4+Dee"}));
  // Each table's view is turned to its own seat, and each returning one holds its hand.
  for (const Line& l : lines) {
    SCOPED_TRACE(l.name);
    EXPECT_EQ(turned(l.told), l.slot - 1);
  }
  auto own = [](int seat, const auto& hand) {
    std::string m = "CMD_placecard+" + std::to_string(seat);
    for (int p = 1; p <= kMaxHand; ++p)
      if (hand[p]) m += "+" + std::to_string(p) + "+" + std::to_string(hand[p]);
    return m;
  };
  EXPECT_EQ(std::count(lines[2].told.begin(), lines[2].told.end(), own(2, boHand)), 1);
  EXPECT_EQ(std::count(lines[0].told.begin(), lines[0].told.end(), own(3, cyHand)), 1);
  EXPECT_TRUE(playUntil([&] { return e().roundNumber == 4; })) << "the game goes on";
}

TEST_F(Rejoin, ANameAloneGetsNothingBackNorASecretOnceTheSeatIsNoLongerKept) {
  ASSERT_TRUE(playUntil([&] { return e().roundNumber == 2 && e().currentPlayer != 0; }));
  const std::string cy = secrets["Cy"];
  ASSERT_EQ(cy.size(), 32u);
  EXPECT_NE(cy, secrets["Bo"]);
  // A table at "1.0.14" sits down at seat 4: it sends no list and gets no secret.
  const int old = h.host.acceptConnection();
  ASSERT_EQ(old, 4);
  from(old, "CMD_logininfo+4+1.0.14+Old\xFF\xFF");
  EXPECT_TRUE(h.rec.to(4, "CMD_secret").empty());
  h.host.connectionClosed(4);
  h.host.connectionClosed(3);
  from(1, "CMD_kickhim+1+2+");  // Bo is removed: his secret gets nothing back
  h.host.connectionClosed(2);
  h.rec.clear();
  // A stranger who knows the name, with no secret or a guessed one, is
  // seated by the usual rule: seat 3 stays kept for Cy while another is
  // free, seat 4 is kept for nobody (no secret can claim it), and nobody
  // is told Cy is back.
  ASSERT_EQ(join("Cy"), 2);
  EXPECT_EQ(join("Cy", std::string(32, '0')), 4);
  EXPECT_TRUE(h.rec.moved.empty());
  EXPECT_TRUE(h.rec.to(1, "CMD_me").empty());
  EXPECT_EQ(h.host.slots[2].name, "Cy");
  // The real Cy comes back with the secret: its seat and its hand.
  ASSERT_EQ(join("Cy", cy), 3);
  EXPECT_EQ(h.rec.to(1, "CMD_me"), (std::vector<std::string>{"CMD_me+Cy has reconnected|$00804000"}));
  const std::string again = secrets["Cy"];
  EXPECT_NE(again, cy) << "a new secret with each log-in";
  // The same secret once more: the first claim had it.
  h.rec.clear();
  EXPECT_EQ(join("Cy", cy), 5);
  EXPECT_EQ(join("Bo", secrets["Bo"]), 6);
  EXPECT_TRUE(h.rec.moved.empty()) << "a removed player's seat stays the usual rule's";
  EXPECT_TRUE(h.rec.to(1, "CMD_me").empty());

  // Cy leaves again; its new secret holds only while the seat is kept.
  h.host.connectionClosed(3);
  h.clock.advance(TServer::kSeatKeptUs / 1000 + 1000);
  h.rec.clear();
  EXPECT_EQ(join("Cy", again), 3) << "the lowest free seat";
  EXPECT_TRUE(h.rec.to(1, "CMD_me").empty());
}

TEST_F(Rejoin, ASpectatorComesBackAmongTheSpectators) {
  ASSERT_EQ(join("Eve"), 4);
  ASSERT_EQ(join("Fay"), 5);  // a spectator
  ASSERT_TRUE(playUntil([&] { return e().roundNumber == 2; }));
  h.host.connectionClosed(5);
  h.host.connectionClosed(2);  // a seat is free: the usual rule would seat her there
  h.rec.clear();
  ASSERT_EQ(h.host.acceptConnection(), 2);
  from(2, "CMD_reclaim+2+" + secrets["Fay"] + "+\xFF" + "CMD_logininfo+2+1.0.14+Fay\xFF");
  EXPECT_EQ(h.rec.moved, (std::vector<std::pair<int, int>>{{2, 5}}));
  const std::vector<std::string> told = h.rec.to(5);
  ASSERT_FALSE(told.empty());
  EXPECT_EQ(told.back(), "CMD_sendlogininfo+5");
  std::vector<std::string> numbers = {"CMD_sendlogininfo+2"};
  numbers.insert(numbers.end(), told.begin(), told.end());
  EXPECT_EQ(turned(numbers), 0) << "a spectator's view is not turned";
  answerAll(5, "Fay");
  EXPECT_EQ(h.rec.to(1, "CMD_newplayerinfo"), (std::vector<std::string>{"CMD_newplayerinfo+5+Fay"}));
  EXPECT_EQ(h.rec.to(1, "CMD_me"), (std::vector<std::string>{"CMD_me+Fay has reconnected|$00804000"}));
  EXPECT_FALSE(h.host.slots[2].inUse) << "the seat she passed through is the computer's";
}

TEST_F(Rejoin, ASecretPresentedForAConnectionStillOpenClosesItAndTakesTheSeat) {
  ASSERT_TRUE(playUntil([&] { return e().roundNumber == 2 && e().currentPlayer != 0; }));
  const std::string cy = secrets["Cy"], ann = secrets["Ann"];
  const auto hand = e().seats[3].hand;
  h.rec.clear();
  // Cy's line dropped on its side only; the host still holds it. A guess,
  // another name with Cy's secret, and the host's own player's secret on a
  // second line take nothing over.
  EXPECT_EQ(join("Cy", std::string(32, '0')), 4);
  EXPECT_EQ(join("Bo", cy), 5);
  EXPECT_EQ(join("Ann", ann), 6);
  EXPECT_TRUE(h.rec.closed.empty());
  EXPECT_TRUE(h.rec.to(1, "CMD_playerdisconnected").empty());
  EXPECT_EQ(h.host.slots[3].name, "Cy");

  // Cy's table, back on a new line with the secret: the old connection
  // leaves as a departure and the new one has the seat and its hand.
  EXPECT_EQ(join("Cy", cy), 7);
  EXPECT_EQ(h.rec.closed, (std::vector<int>{3}));
  EXPECT_EQ(h.rec.moved, (std::vector<std::pair<int, int>>{{7, 3}}));
  EXPECT_FALSE(h.host.slots[7].inUse);
  answerAll(3, "Cy");
  EXPECT_EQ(h.host.slots[3].name, "Cy");
  EXPECT_EQ(h.rec.to(1, "CMD_playerdisconnected"), (std::vector<std::string>{"CMD_playerdisconnected+3+Cy"}));
  EXPECT_EQ(h.rec.to(1, "CMD_me"), (std::vector<std::string>{kBack}));
  std::string own = "CMD_placecard+3";
  for (int p = 1; p <= kMaxHand; ++p)
    if (hand[p]) own += "+" + std::to_string(p) + "+" + std::to_string(hand[p]);
  const std::vector<std::string> toCy = h.rec.to(3);
  EXPECT_NE(std::find(toCy.begin(), toCy.end(), own), toCy.end());
  // Its table asks for a new secret; the old one closes nothing from then on.
  from(3, "CMD_features+3+secret+");
  ASSERT_EQ(h.rec.to(3, "CMD_secret").size(), 1u);
  h.rec.clear();
  EXPECT_EQ(join("Cy", cy), 7);
  EXPECT_TRUE(h.rec.closed.empty());
  EXPECT_TRUE(playUntil([&] { return e().roundNumber == 3; })) << "the game goes on";
}

}  // namespace
}  // namespace ombrix::test
