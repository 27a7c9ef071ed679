// The host over real loopback sockets, with protocol clients.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <map>
#include <memory>

#include "base/cards.h"
#include "protocol/commands.h"
#include "host/hostsockets.h"
#include "tests/support/qtloop.h"
#include "tests/support/recorder.h"
#include "tests/support/referee.h"

namespace ombrix::test {
namespace {

namespace parse = wire::parse;

// Timers run this much faster than real time: a half game in seconds.
constexpr double kScale = 50;

// A client that logs in and plays its seat legally and at once. It keeps
// its seat's secret as a table of this program does; one made with a
// secret presents it before its log-in.
class Player : public ProtocolClient {
 public:
  Player(int port, std::string name, bool play = true, std::string presents = {})
      : ProtocolClient(port), play(play), secret(std::move(presents)), name_(std::move(name)) {
    sock.OnRead = [this](net::TAsyncSock* s, int) {
      framer.feed(s->Receive(), [this](std::string_view m) {
        handle(std::string(m));
        return true;
      });
    };
  }
  void handle(const std::string& m) {
    received.push_back(m);
    const auto [name, fields] = wire::splitCommand(m);
    if (name == "CMD_sendlogininfo") {
      mySlot = *parse::sendlogininfo(fields);
      const std::string n = std::to_string(mySlot);
      if (!secret.empty()) send("CMD_reclaim+" + n + "+" + secret + "+");
      send("CMD_logininfo+" + n + "+1.0.14+" + name_);
      send("CMD_features+" + n + "+secret+");
    } else if (name == "CMD_secret") {
      if (auto s = parse::secret(fields); s && s->slot == mySlot) secret = s->text;
    } else if (name == "CMD_placecard") {
      auto pc = parse::placecard(fields);
      if (pc && pc->seat == mySlot)
        for (auto [pos, card] : pc->cards)
          if (card) hand[pos] = card;
    } else if (name == "CMD_bid") {
      auto b = parse::bidAsk(fields);
      if (b && b->bidder == mySlot) play ? bid() : void(awaited = 'b');
    } else if (name == "CMD_playcard") {
      auto p = parse::playcard(fields);
      if (!p) return;
      if (++inTrick == 1) led = suitOf(p->card);
      if (p->seat == mySlot) hand.erase(p->position);
    } else if (name == "CMD_trickwinner") {
      inTrick = 0;
      led = 0;
    } else if (name == "CMD_newplayerstuff") {  // joined late: the trick on the table
      if (auto np = parse::newplayerstuff(fields)) onTable[np->seat] = np->played[np->seat - 1];
    } else if (name == "CMD_stats") {
      auto st = parse::stats(fields);
      inTrick = static_cast<int>(std::count_if(onTable.begin() + 1, onTable.end(), [](int c) { return c != 0; }));
      if (st && isSeat(st->currentPlayer) && inTrick > 0 && inTrick < kSeats)
        led = suitOf(onTable[(st->currentPlayer - 1 - inTrick + 2 * kSeats) % kSeats + 1]);
    } else if (name == "CMD_nextplayer") {
      if (parse::nextplayer(fields) == mySlot) play ? playLegal() : void(awaited = 'p');
    } else if (name == "CMD_needsuit") {
      ++refusals;
    }
  }
  void bid() { send("CMD_bid+" + std::to_string(mySlot) + "+1"); }
  // Plays again, answering what the game waits for.
  void resume() {
    play = true;
    if (awaited == 'b') bid();
    if (awaited == 'p') playLegal();
    awaited = 0;
  }
  void playLegal() {
    int choice = 0;
    for (auto [pos, card] : hand)
      if (led && suitOf(card) == led && !choice) choice = pos;
    if (!choice && !hand.empty()) choice = hand.begin()->first;
    if (choice) send("CMD_playcard+" + std::to_string(mySlot) + "+" + std::to_string(choice));
  }
  std::vector<Sent> stream() const {
    std::vector<Sent> out;
    for (const auto& m : received) {
      const auto c = commandOf(m);
      if (c != "CMD_sendlogininfo" && c != "CMD_newplayerinfo" && c != "CMD_existingplayers" &&
          c != "CMD_botspeed" && c != "CMD_justwatching" && c != "CMD_features" && c != "CMD_secret")
        out.push_back({mySlot, m, 0});
    }
    return out;
  }

  // Bids and plays its seat when asked; off, the game waits for it, and
  // `awaited` says for what: 'b' a bid, 'p' a card.
  bool play;
  char awaited = 0;
  int mySlot = 0;
  std::map<int, int> hand;
  std::array<int, kSeats + 1> onTable{};
  int inTrick = 0, led = 0, refusals = 0;
  wire::Framer framer;
  std::string secret;

 private:
  std::string name_;
};

struct Loopback : ::testing::Test {
  void SetUp() override {
    host = std::make_unique<HostSockets>(77, kScale);
    host->listen("0");
  }
  std::unique_ptr<Player> join(const std::string& name, bool play = true) {
    auto p = std::make_unique<Player>(host->port(), name, play);
    EXPECT_TRUE(waitFor([&] { return p->mySlot != 0 && !p->with("CMD_newplayerinfo").empty(); }));
    return p;
  }
  GameEngine& e() { return host->server().engine; }
  std::unique_ptr<HostSockets> host;
};

TEST_F(Loopback, SlotsInOrderAndATenthIsRefused) {
  std::vector<std::unique_ptr<Player>> p;
  for (int i = 1; i <= 9; ++i) {
    p.push_back(join("p" + std::to_string(i)));
    EXPECT_EQ(p.back()->mySlot, i);
  }
  ProtocolClient tenth(host->port());
  ASSERT_TRUE(tenth.waitForCommand("CMD_full"));
  EXPECT_TRUE(waitFor([&] { return tenth.closed(); }));
  EXPECT_EQ(host->server().slotCount, 9);
  for (int s = 1; s <= 9; ++s) EXPECT_TRUE(host->server().slots[s].inUse);
  EXPECT_FALSE(host->server().slots[kFullSlot].inUse);
  EXPECT_TRUE(waitFor([&] { return p[4]->with("CMD_existingplayers").size() == 4u; }))
      << ::testing::PrintToString(p[4]->received);
}

TEST_F(Loopback, FreedSeatGoesToTheNextConnectionWithItsCardsAndScore) {
  auto a = join("Ann"), b = join("Bo"), c = join("Cy"), d = join("Di");
  a->send("CMD_botspeed+1+500+");
  a->send("CMD_startgame+Ann+f+");
  ASSERT_TRUE(waitFor([&] { return e().roundNumber >= 3; }, 20000));
  // Di holds the game at its next move, so the table stands still while
  // seat 3 changes hands: what the newcomer is told can be compared with
  // what the host holds.
  d->play = false;
  ASSERT_TRUE(waitFor([&] { return d->awaited != 0; }, 20000));
  c->close();
  ASSERT_TRUE(a->waitForCommand("CMD_playerdisconnected"));
  EXPECT_EQ(a->with("CMD_playerdisconnected")[0], "CMD_playerdisconnected+3+Cy");
  auto late = join("Late");
  EXPECT_EQ(late->mySlot, 3);
  ASSERT_TRUE(late->waitForCommand("CMD_stats"));
  std::map<int, int> held;
  for (int p = 1; p <= kMaxHand; ++p)
    if (e().seats[3].hand[p]) held[p] = e().seats[3].hand[p];
  ASSERT_FALSE(held.empty()) << "the game waits in a round";
  EXPECT_EQ(late->hand, held);
  bool sawScore = false;
  for (const auto& m : late->with("CMD_newplayerstuff")) {
    auto np = parse::newplayerstuff(wire::splitCommand(m).fields);
    ASSERT_TRUE(np);
    if (np->seat == 3) {
      sawScore = true;
      EXPECT_EQ(np->score, e().seats[3].score);
    }
  }
  EXPECT_TRUE(sawScore);
  EXPECT_EQ(host->server().slots[3].name, "Late");
  // Those are the cards it holds: it plays every one of them to the
  // round's end without a refusal.
  auto playedBy3 = [&] {
    size_t n = 0;
    for (const auto& m : late->with("CMD_playcard"))
      if (auto pc = parse::playcard(wire::splitCommand(m).fields); pc && pc->seat == 3) ++n;
    return n;
  };
  d->resume();
  ASSERT_TRUE(waitFor([&] { return playedBy3() == held.size(); }, 20000));
  EXPECT_EQ(late->refusals, 0);
}

TEST_F(Loopback, ATableResetMidTrickComesBackToItsSeatWithItsHand) {
  auto a = join("Ann"), b = join("Bo"), c = join("Cy");
  b->close();  // seats 2 and 4 are free: the usual rule would seat a newcomer there first
  ASSERT_TRUE(a->waitForCommand("CMD_playerdisconnected"));
  a->send("CMD_botspeed+1+500+");
  a->send("CMD_startgame+Ann+h+");
  ASSERT_TRUE(waitFor(
      [&] { return e().roundNumber >= 3 && e().cardsInTrick > 0 && e().cardsInTrick < kSeats; }, 20000));
  ASSERT_TRUE(waitFor([&] { return !c->secret.empty(); }));
  c->reset();
  ASSERT_TRUE(waitFor([&] { return !host->server().slots[3].inUse; }));
  auto back = std::make_unique<Player>(host->port(), "Cy", true, c->secret);
  ASSERT_TRUE(waitFor([&] { return back->mySlot == 3 && !back->with("CMD_stats").empty(); }));
  EXPECT_EQ(back->with("CMD_sendlogininfo").front(), "CMD_sendlogininfo+2");
  std::map<int, int> held;
  for (int p = 1; p <= kMaxHand; ++p)
    if (e().seats[3].hand[p]) held[p] = e().seats[3].hand[p];
  EXPECT_EQ(back->hand, held);
  EXPECT_TRUE(a->waitForCommand("CMD_me"));
  EXPECT_EQ(a->with("CMD_me"), (std::vector<std::string>{"CMD_me+Cy has reconnected|$00804000"}));
  EXPECT_EQ(a->with("CMD_newplayerinfo").back(), "CMD_newplayerinfo+3+Cy");
  // It plays its seat to the game's end.
  ASSERT_TRUE(a->waitForCommand("CMD_winner", 60000));
  EXPECT_EQ(back->refusals, 0);
  EXPECT_EQ(host->server().slots[3].name, "Cy");
  EXPECT_FALSE(host->server().slots[2].inUse);
}

TEST_F(Loopback, LateJoinerGetsItsUpdatesInOrder) {
  auto a = join("Ann", false);
  a->send("CMD_startgame+Ann+f+");
  ASSERT_TRUE(waitFor([&] { return e().currentBidder == 1; }));
  auto spy = join("Spy");  // slot 2, a seat
  std::vector<std::string> order;
  for (const auto& m : spy->received) order.emplace_back(commandOf(m));
  ASSERT_TRUE(spy->waitForCommand("CMD_stats"));
  order.clear();
  for (const auto& m : spy->received) order.emplace_back(commandOf(m));
  const std::vector<std::string> want = {"CMD_sendlogininfo",  "CMD_newplayerinfo",  "CMD_existingplayers",
                                         "CMD_placecard",      "CMD_newplayerstuff", "CMD_newplayerstuff",
                                         "CMD_newplayerstuff", "CMD_newplayerstuff", "CMD_stats"};
  ASSERT_GE(order.size(), want.size());
  EXPECT_EQ(std::vector<std::string>(order.begin(), order.begin() + want.size()), want);
}

TEST_F(Loopback, DepartureOrResetOnTurnHandsTheMoveToTheComputer) {
  auto a = join("Ann", false), b = join("Bo", false);
  a->send("CMD_startgame+Ann+f+");
  ASSERT_TRUE(waitFor([&] { return e().currentBidder == 1 || e().currentBidder == 2; }));
  // Bid for seat 1 if asked, so that seat 2 is the one awaited.
  if (e().currentBidder == 1) a->send("CMD_bid+1+0");
  ASSERT_TRUE(waitFor([&] { return e().currentBidder == 2; }));
  const size_t bidsBefore = a->with("CMD_hisbid").size();
  b->reset();  // a crashed client: only a reset reaches the host
  ASSERT_TRUE(a->waitForCommand("CMD_playerdisconnected"));
  EXPECT_EQ(a->with("CMD_playerdisconnected")[0], "CMD_playerdisconnected+2+Bo");
  EXPECT_TRUE(waitFor([&] { return a->with("CMD_hisbid").size() > bidsBefore; }));
  EXPECT_FALSE(host->server().slots[2].inUse);
  EXPECT_NE(e().currentBidder, 2);
}

TEST_F(Loopback, OnlySlotOneMayRemoveAPlayer) {
  auto a = join("Ann"), b = join("Bo"), c = join("Cy");
  b->send("CMD_kickhim+2+3+");
  b->send("CMD_kickhim+1+3+");  // forged: slot 1's request on slot 2's connection
  a->send("CMD_chat+1+sync|clRed");
  ASSERT_TRUE(c->waitForCommand("CMD_chat"));
  EXPECT_FALSE(c->closed());
  a->send("CMD_kickhim+1+3+");
  EXPECT_TRUE(waitFor([&] { return c->closed(); }));
  ASSERT_TRUE(b->waitForCommand("CMD_playerdisconnected"));
  EXPECT_EQ(b->with("CMD_playerdisconnected")[0], "CMD_playerdisconnected+3+Cy");
}

TEST_F(Loopback, GarbageAndEndlessMessagesDoNotStopTheTable) {
  auto a = join("Ann"), b = join("Bo");
  std::string junk;
  for (int i = 0; i < 5000; ++i) junk += static_cast<char>((i * 131) & 0xFF);
  b->sock.Send(junk);
  b->sock.Send(std::string(wire::Framer::kMaxRemainder + 10, 'A'));  // never ends
  EXPECT_TRUE(waitFor([&] { return b->closed(); }));
  a->send("CMD_chat+1+still|clRed");
  EXPECT_TRUE(a->waitForCommand("CMD_chat"));
  EXPECT_EQ(host->server().slots[1].name, "Ann");
}

TEST_F(Loopback, FourPeoplePlayAHalfGameAndASpectatorWatches) {
  std::vector<std::unique_ptr<Player>> p;
  for (const char* n : {"Ann", "Bo", "Cy", "Di"}) p.push_back(join(n));
  auto spy = join("Spy", false);
  ASSERT_EQ(spy->mySlot, 5);
  p[0]->send("CMD_botspeed+1+500+");
  p[0]->send("CMD_startgame+Ann+h+");
  ASSERT_TRUE(spy->waitForCommand("CMD_winner", 60000));
  RefereeOptions opt;
  opt.halfGame = true;
  opt.checkTiming = false;
  for (int s = 1; s <= 4; ++s) opt.computerSeats[s] = false;
  auto rep = refereeGame(spy->stream(), opt);
  EXPECT_TRUE(rep.ok()) << rep.summary();
  EXPECT_EQ(rep.tricks, 55);
  // Every seat saw the spectator's stream, its own cards open and the others hidden.
  const auto watched = spy->stream();
  for (const auto& player : p) {
    const auto seen = player->stream();
    ASSERT_EQ(seen.size(), watched.size()) << "seat " << player->mySlot;
    for (size_t i = 0; i < seen.size(); ++i) {
      if (commandOf(seen[i].text) != "CMD_placecard") {
        ASSERT_EQ(seen[i].text, watched[i].text);
        continue;
      }
      auto pc = parse::placecard(wire::splitCommand(seen[i].text).fields);
      for (auto [pos, card] : pc->cards) ASSERT_EQ(card != 0, pc->seat == player->mySlot) << seen[i].text;
    }
    EXPECT_EQ(player->refusals, 0);
  }
}

TEST_F(Loopback, LineBreaksAreNeverRelayed) {
  std::vector<std::string> logged;
  host->log = [&](std::string_view line) { logged.emplace_back(line); };
  auto ann = join("Ann");
  // A raw table: a name, a chat line, an action and a sound, each with a
  // line break that a table at "1.0.14" would take for a message's end.
  ProtocolClient bo(host->port());
  ASSERT_TRUE(waitFor([&] { return bo.slot() == 2; }));
  bo.send("CMD_logininfo+2+1.0.14+Bo\r\nCMD_full+");
  bo.send("CMD_chat+2+hi\rCMD_full+\n|clRed");
  bo.send("CMD_action+2+waves\n|clRed");
  bo.send("CMD_playasound+2+wave3\r\n+");
  ASSERT_TRUE(ann->waitForCommand("CMD_playasound"));
  auto cy = join("Cy");  // told the stored name
  ASSERT_TRUE(waitFor([&] { return cy->with("CMD_existingplayers").size() == 2u; }));

  EXPECT_EQ(ann->with("CMD_newplayerinfo")[1], "CMD_newplayerinfo+2+Bo  CMD_full+");
  EXPECT_EQ(ann->with("CMD_chat")[0], "CMD_chat+Bo  CMD_full+ chats: hi CMD_full+ |clRed");
  EXPECT_EQ(ann->with("CMD_me")[0], "CMD_me+Bo  CMD_full+ waves |clRed");
  EXPECT_EQ(ann->with("CMD_playasound")[0], "CMD_playasound+2+wave3  +");
  EXPECT_EQ(cy->with("CMD_existingplayers")[1], "CMD_existingplayers+2+Bo  CMD_full+");
  EXPECT_EQ(host->server().slots[2].name, "Bo  CMD_full+");
  EXPECT_TRUE(std::any_of(logged.begin(), logged.end(), [](const std::string& l) {
    return l.find("as Bo  CMD_full+") != std::string::npos;
  }));
  for (const auto* table : {&ann->received, &cy->received, &bo.received, &logged})
    for (const std::string& m : *table) EXPECT_EQ(m.find_first_of("\r\n"), std::string::npos) << m;
}

TEST_F(Loopback, AtAHeadlessHostSlotOneLeavesLikeAnyOtherSeat) {
  host->server().slotOneIsOwnPlayer = false;
  auto a = join("Ann", false), b = join("Bo", false);
  a->send("CMD_startgame+Ann+f+");
  ASSERT_TRUE(waitFor([&] { return e().currentBidder == 1 || e().currentBidder == 2; }));
  if (e().currentBidder == 2) b->send("CMD_bid+2+0");
  ASSERT_TRUE(waitFor([&] { return e().currentBidder == 1 && !a->secret.empty(); }));
  a->close();
  ASSERT_TRUE(b->waitForCommand("CMD_playerdisconnected"));
  EXPECT_EQ(b->with("CMD_playerdisconnected")[0], "CMD_playerdisconnected+1+Ann");
  // The computer bids for seat 1 at once; the game goes on.
  EXPECT_TRUE(waitFor([&] {
    for (const auto& m : b->with("CMD_hisbid"))
      if (m.rfind("CMD_hisbid+1+", 0) == 0) return true;
    return false;
  }));
  EXPECT_NE(e().currentBidder, 1);
  // Seat 1 is kept for Ann a while, as any seat is: the next table is seated
  // elsewhere, and Ann coming back takes slot 1 and with it the host
  // player's requests.
  auto c = join("Cy");
  EXPECT_EQ(c->mySlot, 3);
  auto back = std::make_unique<Player>(host->port(), "Ann", false, a->secret);
  EXPECT_TRUE(waitFor([&] { return back->mySlot == 1 && host->server().slots[1].name == "Ann"; }));
  back->send("CMD_kickhim+1+2+");
  EXPECT_TRUE(waitFor([&] { return b->closed(); }));
}

}  // namespace
}  // namespace ombrix::test
