// The host's dispatch and connection handling, without sockets.
#include "host/server.h"

#include <gtest/gtest.h>

#include "tests/support/recorder.h"

namespace ombrix::test {
namespace {

struct Host : ::testing::Test {
  // Accepts a connection and logs it in under `name`, through the queue.
  int join(const std::string& name, const std::string& version = "1.0.14") {
    const int slot = h.host.acceptConnection();
    if (slot == kFullSlot) return slot;
    h.host.received(slot, "CMD_logininfo+" + std::to_string(slot) + "+" + version + "+" + name + "\xFF\xFF");
    drain();
    return slot;
  }
  void drain() {
    h.clock.runUntil([&] { return h.host.receivedlist.empty(); }, 60000);
  }
  void from(int slot, const std::string& message) {
    h.host.received(slot, message + "\xFF");
    drain();
  }
  GameEngine& e() { return h.engine(); }
  HostHarness h{11};
};

TEST_F(Host, DispatchesOneMessagePerTickInArrivalOrder) {
  join("Ann");
  join("Bo");
  h.rec.clear();
  const int64_t t0 = h.clock.now();
  h.host.received(2,
                  "CMD_chat+2+one|clRed\xFF"
                  "CMD_chat+2+two|clRed\xFF"
                  "nonsense\xFF"
                  "\xFF"
                  "CMD_nope+2+x\xFF"
                  "CMD_chat+1+three|clRed\xFF");
  h.host.received(1, "CMD_chat+1+four|clRed\xFF");
  drain();
  std::vector<std::pair<int64_t, std::string>> seen;
  for (const Sent& s : h.rec.sent)
    if (s.slot == 1) seen.emplace_back(s.at - t0, s.text);
  // The forged "CMD_chat+1" from slot 2 is dropped; ignored entries still
  // take their tick. Slot 1's one message is not held behind all six of
  // slot 2's: it is served second, and slot 2's own order is kept.
  EXPECT_EQ(seen, (std::vector<std::pair<int64_t, std::string>>{{10, "CMD_chat+Bo chats: one|clRed"},
                                                                {20, "CMD_chat+Ann chats: four|clRed"},
                                                                {30, "CMD_chat+Bo chats: two|clRed"}}));
  EXPECT_EQ(h.clock.now() - t0, 70);
  EXPECT_FALSE(h.host.socktimer.ticking());  // no ticking at rest
}

TEST_F(Host, AMessageFindingTheBudgetUnspentRunsAtOnceTheRestOnePerTick) {
  join("Ann");
  join("Bo");
  h.clock.advance(50);  // at rest
  h.rec.clear();
  const int64_t t0 = h.clock.now();
  h.host.received(2, "CMD_chat+2+now|clRed\xFF");
  EXPECT_EQ(h.rec.to(1), (std::vector<std::string>{"CMD_chat+Bo chats: now|clRed"}));
  EXPECT_FALSE(h.host.socktimer.ticking());

  // 4 ms later the budget is spent: these wait, and keep the fair order.
  h.clock.advance(4);
  h.host.received(1,
                  "CMD_chat+1+a|clRed\xFF"
                  "CMD_chat+1+b|clRed\xFF");
  h.host.received(2, "CMD_chat+2+c|clRed\xFF");
  EXPECT_EQ(h.rec.to(1).size(), 1u);
  drain();
  std::vector<std::pair<int64_t, std::string>> seen;
  for (const Sent& s : h.rec.sent)
    if (s.slot == 2) seen.emplace_back(s.at - t0, s.text);
  EXPECT_EQ(seen, (std::vector<std::pair<int64_t, std::string>>{{0, "CMD_chat+Bo chats: now|clRed"},
                                                                {10, "CMD_chat+Ann chats: a|clRed"},
                                                                {20, "CMD_chat+Bo chats: c|clRed"},
                                                                {30, "CMD_chat+Ann chats: b|clRed"}}));
  EXPECT_FALSE(h.host.socktimer.ticking());

  // Exactly one tick after the last dispatch the budget is there again.
  h.clock.advance(10);
  h.rec.clear();
  h.host.received(1, "CMD_chat+1+again|clRed\xFF");
  EXPECT_EQ(h.rec.to(2), (std::vector<std::string>{"CMD_chat+Ann chats: again|clRed"}));
}

TEST_F(Host, UnderAChatFloodAnotherTablesMessageRunsOnTheNextTick) {
  join("Ann");
  join("Bo");
  std::string flood;
  for (int i = 0; i < 200; ++i) flood += "CMD_chat+2+flood|clRed\xFF";
  h.host.received(2, flood);
  for (int step = 0; step < 40; ++step) {
    // Arrivals at every phase of the tick, each after the flooder has had
    // a turn since the last: a table moves once per round trip.
    h.clock.advance(11 + step % 9);
    h.rec.clear();
    const int64_t sent = h.clock.now();
    h.host.received(1, "CMD_chat+1+move|clRed\xFF");
    int64_t at = -1;
    auto moved = [&] {
      for (const Sent& s : h.rec.sent)
        if (s.slot == 2 && s.text == "CMD_chat+Ann chats: move|clRed") at = s.at;
      return at >= 0;
    };
    ASSERT_TRUE(h.clock.runUntil(moved, 100));
    EXPECT_LE(at - sent, TServer::kSockTickMs) << "step " << step;
  }
}

TEST_F(Host, SlotsFillSeatsFirstThenSpectatorsAndRefuseATenth) {
  for (int i = 1; i <= 9; ++i) EXPECT_EQ(join("p" + std::to_string(i)), i);
  EXPECT_EQ(h.host.acceptConnection(), kFullSlot);
  EXPECT_EQ(h.host.slotCount, 9);
  EXPECT_FALSE(h.host.slots[kFullSlot].inUse);
  h.host.connectionClosed(3);
  EXPECT_EQ(join("late"), 3);
  h.host.connectionClosed(7);
  h.host.connectionClosed(2);
  EXPECT_EQ(join("x"), 2);
  EXPECT_EQ(join("y"), 7);
}

TEST_F(Host, ASlotThatNeverLogsInIsFreedAtTheDeadline) {
  join("Ann");
  // A stranger fills the table with connections that never send their
  // log-in (relays left silent): each is closed at its deadline, as the
  // binding reports back, and the table takes people again.
  std::vector<int> silent;
  for (int i = 0; i < 8; ++i) {
    silent.push_back(h.host.acceptConnection());
    h.clock.advance(100);
  }
  EXPECT_EQ(h.host.acceptConnection(), kFullSlot);
  // One of them is a table on a slow line: it logs in just in time.
  h.clock.advance(TServer::kLogInDeadlineMs - 900);
  from(silent[0], "CMD_logininfo+2+1.0.14+Bo");
  EXPECT_TRUE(h.rec.closed.empty());
  h.clock.advance(1000);
  EXPECT_EQ(h.rec.closed, std::vector<int>(silent.begin() + 1, silent.end()));
  for (int slot : h.rec.closed) h.host.connectionClosed(slot);
  EXPECT_EQ(join("Cy"), 3);
  EXPECT_EQ(h.host.slots[2].name, "Bo");
  h.clock.advance(2 * TServer::kLogInDeadlineMs);
  EXPECT_EQ(h.rec.closed.size(), silent.size() - 1) << "nobody logged in is closed";
}

TEST_F(Host, LoginAnnouncesAndWarnsOfVersions) {
  join("Ann");
  h.rec.clear();
  join("Bo", "1.0.9");
  EXPECT_EQ(h.rec.to(2), (std::vector<std::string>{"CMD_sendlogininfo+2", "CMD_newplayerinfo+2+Bo",
                                                   "CMD_existingplayers+1+Ann", "CMD_wrongversion+"}));
  EXPECT_EQ(h.rec.to(1), (std::vector<std::string>{"CMD_newplayerinfo+2+Bo", "CMD_havewrongversion+Bo"}));
  EXPECT_TRUE(h.host.slots[2].inUse);
}

TEST_F(Host, LateJoinerIsBroughtUpToDateAndTheComputerMakesTheDueMove) {
  join("Ann");
  from(1, "CMD_botspeed+1+500+");
  from(1, "CMD_startgame+Ann+f+");
  // Play on until seat 3, a computer seat, is on turn in round 3.
  while (!(e().roundNumber == 3 && e().currentPlayer == 3 && e().cardsInTrick < 4)) {
    if (e().currentBidder == 1) from(1, "CMD_bid+1+0");
    if (e().currentPlayer == 1 && e().cardsInTrick < 4) e().cplay(1);
    ASSERT_TRUE(h.clock.step());
  }
  const auto handBefore = e().seats[3].hand;
  h.rec.clear();
  h.host.acceptConnection();  // seat 2
  h.host.acceptConnection();  // seat 3
  from(3, "CMD_logininfo+3+1.0.14+Cy");
  auto got = h.rec.to(3);
  ASSERT_GE(got.size(), 8u);
  EXPECT_EQ(got[0], "CMD_sendlogininfo+3");
  EXPECT_EQ(got[1], "CMD_newplayerinfo+3+Cy");
  EXPECT_EQ(got[2], "CMD_existingplayers+1+Ann");
  EXPECT_EQ(got[3], "CMD_existingplayers+2+");
  std::string own = "CMD_placecard+3";
  for (int p = 1; p <= 10; ++p)
    if (handBefore[p]) own += "+" + std::to_string(p) + "+" + std::to_string(handBefore[p]);
  EXPECT_EQ(got[4], own);
  for (int s = 1; s <= 4; ++s) EXPECT_EQ(commandOf(got[4 + s]), "CMD_newplayerstuff");
  EXPECT_EQ(got[9].substr(0, 14), "CMD_stats+3+0+");
  // The computer played seat 3's card at the log-in, not the newcomer.
  ASSERT_GT(got.size(), 10u);
  EXPECT_EQ(got[10].substr(0, 15), "CMD_playcard+3+");
}

TEST_F(Host, DepartureIsAnnouncedOnceAndTheComputerMovesAtOnce) {
  join("Ann");
  join("Bo");
  join("Cy");  // slot 3
  from(1, "CMD_botspeed+1+500+");
  from(1, "CMD_startgame+Ann+h+");
  while (e().currentBidder != 2) {
    if (e().currentBidder == 1) from(1, "CMD_bid+1+0");
    if (e().currentBidder == 3) from(3, "CMD_bid+3+0");
    if (isSeat(e().currentPlayer))
      from(e().currentPlayer, "CMD_playcard+" + std::to_string(e().currentPlayer) + "+1");
    h.clock.step();
  }
  h.rec.clear();
  h.host.connectionClosed(2);
  h.host.connectionClosed(2);
  EXPECT_EQ(h.rec.to(1, "CMD_playerdisconnected"), (std::vector<std::string>{"CMD_playerdisconnected+2+Bo"}));
  EXPECT_TRUE(h.rec.to(2).empty());
  EXPECT_EQ(h.rec.to(1, "CMD_hisbid").size(), 1u) << "the computer bid for seat 2 at once";
  EXPECT_FALSE(h.host.slots[2].inUse);
  EXPECT_TRUE(h.host.slots[2].name.empty());
}

TEST_F(Host, OnlySlotOneStartsKicksAndSetsSpeed) {
  join("Ann");
  join("Bo");
  from(2, "CMD_startgame+Bo+f+");
  from(2, "CMD_kickhim+2+1+");
  from(2, "CMD_botspeed+2+1000+");
  from(2, "CMD_botspeed+1+1000+");  // forged slot
  EXPECT_FALSE(e().gameInProgress);
  EXPECT_TRUE(h.rec.closed.empty());
  EXPECT_EQ(e().botDelay, 0);
  from(1, "CMD_kickhim+1+2+");
  EXPECT_EQ(h.rec.closed, (std::vector<int>{2}));
  from(1, "CMD_kickhim+1+8+");  // not in use
  EXPECT_EQ(h.rec.closed.size(), 1u);
}

TEST_F(Host, OnlySlotOneChoosesTheComputerPlayers) {
  join("Ann");
  join("Bo");
  using ai::Skill;
  const std::array<Skill, 5> classic{};
  for (const char* m : {"CMD_botskill+2+strong+",                           // another seat
                        "CMD_botskill+Strong+", "CMD_botskill+1+strong+"})  // no slot; a forged slot
    from(2, m);
  for (const char* m : {"CMD_botskill+1+strong",  // no trailing "+"
                        "CMD_botskill+1+Strong+", "CMD_botskill+1+expert+", "CMD_botskill+1++"})
    from(1, m);
  EXPECT_EQ(e().botSkill, classic);
  from(1, "CMD_botskill+1+standard+");
  for (int s = 1; s <= 4; ++s) EXPECT_EQ(e().botSkill[s], Skill::Standard);
  from(2, "CMD_botskill+2+classic+");
  EXPECT_EQ(e().botSkill[3], Skill::Standard);
  from(1, "CMD_botskill+1+classic+");
  EXPECT_EQ(e().botSkill, classic);
}

TEST(HostGame, AskingForTheComputerPlayersLeavesAClassicGameAsItWas) {
  // Seat 1 watches, so four computer seats play; the spectator in slot 5
  // asks for Strong too, which the host ignores.
  auto play = [](bool ask) {
    HostHarness h(606);
    h.connect({1, 5});
    auto send = [&](int slot, const std::string& m) { h.host.received(slot, m + "\xFF"); };
    send(1, "CMD_botspeed+1+500+");
    if (ask) {
      send(1, "CMD_botskill+1+classic+");
      send(5, "CMD_botskill+5+strong+");
      send(5, "CMD_botskill+1+strong+");
    }
    send(1, "CMD_startgame+Ann+h+");
    send(1, "CMD_justwatch+1+1");
    h.clock.runUntil([&] { return !h.rec.to(5, "CMD_winner").empty(); }, 24 * 3600 * 1000);
    // From the start of the game, each message with its time since then.
    std::vector<std::string> stream;
    int64_t start = -1;
    for (const Sent& s : h.rec.sent) {
      if (s.slot != 5) continue;
      if (start < 0 && s.text.rfind("CMD_startgame", 0) == 0) start = s.at;
      if (start >= 0) stream.push_back(s.text + " @" + std::to_string(s.at - start));
    }
    return stream;
  };
  const auto plain = play(false), asked = play(true);
  ASSERT_GT(plain.size(), 100u);
  EXPECT_EQ(plain.back().substr(0, 10), "CMD_winner");
  EXPECT_EQ(asked, plain);  // the same game, to the byte and to the millisecond
}

TEST_F(Host, JustWatchOnlyForOwnSeatOrFromSlotOne) {
  join("Ann");
  join("Bo");
  join("Cy");
  from(2, "CMD_justwatch+3+1");
  EXPECT_FALSE(h.host.slots[3].watching);
  from(3, "CMD_justwatch+3+1");
  EXPECT_TRUE(h.host.slots[3].watching);
  from(1, "CMD_justwatch+3+2");
  EXPECT_FALSE(h.host.slots[3].watching);
  from(1, "CMD_justwatch+3+x");
  from(1, "CMD_justwatch+7+1");
  EXPECT_EQ(h.rec.to(2, "CMD_justwatching"),
            (std::vector<std::string>{"CMD_justwatching+3+1", "CMD_justwatching+3+2"}));
}

TEST_F(Host, JustWatchOnTurnMakesTheComputerPlayNow) {
  join("Ann");
  from(1, "CMD_botspeed+1+500+");
  from(1, "CMD_startgame+Ann+f+");
  while (e().currentPlayer != 1) {
    if (e().currentBidder == 1) from(1, "CMD_bid+1+1");
    ASSERT_TRUE(h.clock.step() || e().currentPlayer == 1);
  }
  h.rec.clear();
  from(1, "CMD_justwatch+1+1");
  EXPECT_EQ(commandOf(h.rec.to(1).at(1)), "CMD_playcard");
}

TEST_F(Host, RelaysCarryTextUnchanged) {
  join("Ann");
  join("Spy");
  h.rec.clear();
  from(2, "CMD_chat+2+a+b | c|$00FF0000");
  from(2, "CMD_action+2+waves+|clRed");
  from(2, "CMD_playasound+2+wave4+");
  EXPECT_EQ(h.rec.to(1), (std::vector<std::string>{"CMD_chat+Spy chats: a+b | c|$00FF0000",
                                                   "CMD_me+Spy waves+|clRed", "CMD_playasound+2+wave4+"}));
}

TEST_F(Host, GarbageNeverCrashesNorTouchesAnotherSlot) {
  join("Ann");
  join("Bo");
  from(1, "CMD_botspeed+1+500+");
  from(1, "CMD_startgame+Ann+f+");
  const std::string nameBefore = h.host.slots[1].name;
  const bool inUseBefore = h.host.slots[3].inUse;
  const auto handBefore = e().seats[1].hand;
  uint64_t x = 88172645463325252ull;
  std::string junk;
  for (int i = 0; i < 20000; ++i) {
    x ^= x << 13, x ^= x >> 7, x ^= x << 17;
    const char* words[] = {"CMD_bid+", "CMD_playcard+", "CMD_logininfo+", "CMD_justwatch+", "+", "1",
                           "3",        "\xFF"};
    junk += (x % 3) ? std::string(words[x % 8]) : std::string(1, static_cast<char>(x >> 8));
  }
  h.host.received(2, junk);
  drain();
  EXPECT_EQ(h.host.slots[1].name, nameBefore);
  EXPECT_EQ(h.host.slots[3].inUse, inUseBefore);
  EXPECT_EQ(e().seats[1].hand, handBefore);
}

TEST_F(Host, EndlessOrFloodingConnectionsAreRefused) {
  join("Ann");
  join("Bo");
  EXPECT_FALSE(h.host.received(2, std::string(wire::Framer::kMaxRemainder + 1, 'x')));
  std::string flood;
  for (size_t i = 0; i <= wire::MessageQueue::kMaxQueuedMessages; ++i) flood += "CMD_chat+2+hi|clRed\xFF";
  EXPECT_FALSE(h.host.received(2, flood));
  EXPECT_TRUE(h.host.received(1, "CMD_chat+1+still here|clRed\xFF"));
}

}  // namespace
}  // namespace ombrix::test
