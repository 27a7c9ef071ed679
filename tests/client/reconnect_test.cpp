// A table whose line drops: the redial's schedule in virtual time, and the
// real table window over loopback with a proxy that resets its connection
// mid-trick, or drops it on the table's side only.
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <QElapsedTimer>
#include <QString>
#include <QTextEdit>
#include <algorithm>
#include <utility>
#include <cstdio>

#include "base/virtualclock.h"
#include "client/gamerecord.h"
#include "client/redial.h"
#include "host/hostsockets.h"
#include "protocol/commands.h"
#include "tests/client/table_fixture.h"
#include "tests/support/qtloop.h"

namespace ombrix::test {
namespace {

using client::Redial;

TEST(Redial, TriesAtDoublingIntervalsForAMinuteThenGivesUp) {
  VirtualClock clock;
  Redial redial(clock);
  std::vector<int64_t> tries;
  int64_t gaveUp = -1;
  redial.onTry = [&] { tries.push_back(clock.now()); };
  redial.onGiveUp = [&] { gaveUp = clock.now(); };
  redial.start();
  clock.advance(120000);
  EXPECT_EQ(tries, (std::vector<int64_t>{500, 1500, 3500, 7500, 15500, 23500, 31500, 39500, 47500, 55500}));
  EXPECT_EQ(gaveUp, 60000);
  EXPECT_FALSE(redial.active());

  // Connected on the third try: no more, and a later drop starts afresh.
  tries.clear();
  redial.onTry = [&] {
    tries.push_back(clock.now());
    if (tries.size() == 3) redial.stop();
  };
  redial.start();
  clock.advance(120000);
  EXPECT_EQ(tries, (std::vector<int64_t>{120500, 121500, 123500}));
  EXPECT_EQ(gaveUp, 60000);

  // The third try connects, but that connection drops 20 s later before its
  // log-in: the tries go on within the same minute, which ends as before.
  tries.clear();
  redial.onTry = [&] {
    tries.push_back(clock.now());
    if (tries.size() == 3) redial.connected();
  };
  redial.start();  // at 240000
  clock.advance(3500 + 20000);
  EXPECT_FALSE(redial.active());
  EXPECT_TRUE(redial.pending());
  redial.resume();
  clock.advance(120000);
  EXPECT_EQ(tries, (std::vector<int64_t>{240500, 241500, 243500, 267500, 275500, 283500, 291500, 299500}));
  EXPECT_EQ(gaveUp, 300000);
  EXPECT_FALSE(redial.active() || redial.pending());
}

// Between a table and its host: every connection accepted is relayed to
// the host, until cut() ends one (in the order accepted) with a reset each
// way.
class Proxy {
 public:
  explicit Proxy(int hostPort) : hostPort_(hostPort) {
    listener_.setPortName("0");
    listener_.OnAccept = [this](net::TAsyncSock* l) { accept(l); };
    listener_.setListen(true);
  }
  ~Proxy() {
    for (size_t i = 0; i < pairs_.size(); ++i) cut(i);
  }
  int port() const { return listener_.LocalPort(); }
  int accepted() const { return static_cast<int>(pairs_.size()); }
  // The next connection hears nothing from the host, so its table never logs in.
  void muteNext() { muteNext_ = true; }
  // The line drops on the table's side only: its end is reset (as a Wi-Fi
  // change resets it), while the host's end hears nothing, no reset and no
  // FIN, and what the host sends there is swallowed.
  void dropTableSideOnly(size_t i) {
    auto& [down, up] = pairs_.at(i);
    up->OnRead = [](net::TAsyncSock* s, int) { s->Receive(); };
    down->OnInfo = nullptr;
    down->OnRead = nullptr;
    linger l{1, 0};
    ::setsockopt(down->Handle(), SOL_SOCKET, SO_LINGER, &l, sizeof l);
    down->Close();
    delete down;
    down = nullptr;
  }
  // Whether the host has closed its end of connection i.
  bool hostClosed(size_t i) const { return !pairs_.at(i).second->Connected(); }
  void cut(size_t i) {
    auto& [down, up] = pairs_.at(i);
    if (!down) return;
    for (net::TAsyncSock* s : {down, up.get()}) {
      s->OnInfo = nullptr;
      s->OnRead = nullptr;
      linger l{1, 0};
      ::setsockopt(s->Handle(), SOL_SOCKET, SO_LINGER, &l, sizeof l);
      s->Close();
    }
    delete down;
    down = nullptr;
  }

 private:
  void accept(net::TAsyncSock* l) {
    net::TAsyncSock* down = nullptr;
    if (!l->Accept(down) || !down) return;
    auto up = std::make_unique<net::TAsyncSock>();
    up->setHostName("127.0.0.1");
    up->setPortName(std::to_string(hostPort_));
    net::TAsyncSock* u = up.get();
    down->OnRead = [u](net::TAsyncSock* s, int) { u->Send(s->Receive()); };
    if (std::exchange(muteNext_, false))
      u->OnRead = [](net::TAsyncSock* s, int) { s->Receive(); };
    else
      u->OnRead = [down](net::TAsyncSock* s, int) { down->Send(s->Receive()); };
    pairs_.emplace_back(down, std::move(up));
    u->Open();
  }

  int hostPort_;
  bool muteNext_ = false;
  net::TAsyncSock listener_;
  std::vector<std::pair<net::TAsyncSock*, std::unique_ptr<net::TAsyncSock>>> pairs_;
};

// A person at slot 1 who logs in, leaves the playing to the computer and
// starts the game.
void logIn(ProtocolClient& c, const std::string& name) {
  ASSERT_TRUE(waitFor([&] { return c.slot() != 0; }));
  std::string m;
  wire::build::logininfo(m, c.slot(), wire::kVersion, name);
  c.send(m);
}

struct Reconnect : Table {
  void SetUp() override {
    Table::SetUp();
    host = std::make_unique<HostSockets>(31, 40);
    host->listen("0");
    proxy = std::make_unique<Proxy>(host->port());
  }
  GameEngine& e() { return host->server().engine; }
  // The table's hand as the host holds it for `seat`.
  std::array<int, 11> held(int seat) {
    std::array<int, 11> h{};
    for (int p = 1; p <= 10; ++p) h[p] = e().seats[seat].hand[p];
    return h;
  }
  std::unique_ptr<HostSockets> host;
  std::unique_ptr<Proxy> proxy;
};

TEST_F(Reconnect, ATableAndASpectatorResetMidTrickAreBackWhereTheyWereAndPlayOn) {
  ProtocolClient ann(host->port()), bo(host->port());
  logIn(ann, "Ann");
  logIn(bo, "Bo");
  auto viaProxy = [&](Tchat& t, const char* name) {
    t.connection().socket().setPortName(std::to_string(proxy->port()));
    t.processparams({name, "127.0.0.1", "false"});
  };
  viaProxy(table, "Tab");
  ASSERT_TRUE(waitFor([&] { return table.model().mySeat() == 3 && table.caption(3) == "Tab"; }));
  ProtocolClient cy(host->port());
  logIn(cy, "Cy");
  Tchat spy;
  spy.onClosed = [] {};
  spy.settingsFile = table.settingsFile;
  viaProxy(spy, "Spy");
  ASSERT_TRUE(waitFor([&] { return spy.model().mySeat() == 5 && spy.model().loggedIn(); }));
  bo.close();  // seats 2 and 4 free: a newcomer would be seated at 2
  cy.close();
  ASSERT_TRUE(waitFor([&] { return !host->server().slots[2].inUse && !host->server().slots[4].inUse && table.caption(2) != "Bo"; }));
  std::string m;
  wire::build::startgameRequest(m, "Ann", true);
  ann.send(m);
  ASSERT_TRUE(waitFor([&] { return e().gameInProgress; }));
  wire::build::justwatch(m, 1, true);  // the computer plays Ann's seat
  ann.send(m);

  const client::TableModel& tm = table.model();
  auto playing = [&](const std::function<bool()>& stop, int ms) { return playUntil(table, stop, ms); };
  ASSERT_TRUE(playing([&] { return tm.round() >= 3 && tm.inTrick() >= 1 && tm.inTrick() < 4; }, 30000));
  const int round = tm.round();
  QElapsedTimer sinceReset;
  sinceReset.start();
  proxy->muteNext();
  proxy->cut(0);  // the table's line

  ASSERT_TRUE(waitFor([&] { return table.connection().reconnecting(); }));
  EXPECT_TRUE(mainchat(table)->toPlainText().contains("Connection lost, reconnecting\u2026"));
  // Its first new connection drops too, before its log-in: it tries again.
  ASSERT_TRUE(waitFor([&] { return proxy->accepted() == 3 && table.connection().socket().Connected(); }));
  QElapsedTimer sinceSecond;
  sinceSecond.start();
  proxy->cut(2);
  ASSERT_TRUE(waitFor([&] { return !table.connection().reconnecting() && tm.mySeat() == 3 && tm.gameSeen(); }, 15000))
      << mainchat(table)->toPlainText().toStdString();
  ASSERT_TRUE(waitFor([&] { return tm.hand() == held(3); }));
  const qint64 seatedMs = sinceReset.elapsed(), secondMs = sinceSecond.elapsed();
  std::printf("[ figure ] reset, and the first new connection reset too, to seated again with the hand: %lld ms, "
              "%lld ms of it after the second reset (first try %d ms after the drop)\n",
              static_cast<long long>(seatedMs), static_cast<long long>(secondMs), Redial::kFirstDelayMs);
  EXPECT_FALSE(closed);
  EXPECT_EQ(proxy->accepted(), 4);
  auto heldCount = [&](int seat) {
    const auto h = held(seat);
    return static_cast<int>(std::count_if(h.begin() + 1, h.end(), [](int c) { return c != 0; }));
  };
  // Its own seat at the bottom of its view, the free seat still the computer's.
  EXPECT_EQ(table.el<QLabel>("label_playername", 3)->pos(), QPoint(160, 298));
  EXPECT_EQ(table.caption(3), "Tab");
  EXPECT_EQ(table.caption(2), QString::fromStdString(client::TableModel::defaultName(2)));
  EXPECT_FALSE(host->server().slots[2].inUse);
  EXPECT_FALSE(host->server().slots[4].inUse);
  EXPECT_EQ(tm.round(), e().roundNumber);
  EXPECT_GE(tm.round(), round);
  // The cards shown are the host's, one picture per card held.
  size_t cards = 0;
  for (int p = 1; p <= 10; ++p) cards += held(3)[p] != 0;
  EXPECT_EQ(table.cardImages().size(), cards);
  EXPECT_TRUE(waitFor([&] {
    for (int seat : {1, 2, 4})
      if (tm.cardsShown(seat) != heldCount(seat)) return false;
    return true;
  }));
  // Then the spectator's: among the spectators again, watching the same table.
  proxy->cut(1);
  ASSERT_TRUE(waitFor([&] { return spy.connection().reconnecting(); }));
  ASSERT_TRUE(waitFor([&] { return !spy.connection().reconnecting() && spy.model().mySeat() == 5 && spy.model().gameSeen(); }));
  EXPECT_EQ(spy.caption(3), "Tab");
  EXPECT_TRUE(waitFor([&] { return spy.model().cardsShown(3) == heldCount(3); }));
  // The game record goes on: the rounds before the drop stay, the return is marked.
  const QString record = table.gameRecord().text();
  EXPECT_TRUE(record.contains("Game: HALF (10 rounds), started by Ann")) << record.toStdString();
  EXPECT_TRUE(record.contains("Round 1: 1 card, dealer")) << record.toStdString();
  EXPECT_TRUE(record.contains("Round " + QString::number(tm.round()) + ": ") &&
              record.contains("(back during this round after the line dropped)"))
      << record.toStdString();
  // And it plays on: two more rounds from its own seat.
  EXPECT_TRUE(playing([&] { return tm.round() >= round + 2; }, 60000));
  EXPECT_EQ(host->server().slots[3].name, "Tab");
}

TEST_F(Reconnect, ALineDroppedOnTheTablesSideOnlyTakesTheSeatBackFromTheHostsOpenEnd) {
  ProtocolClient ann(host->port());
  logIn(ann, "Ann");
  table.connection().socket().setPortName(std::to_string(proxy->port()));
  table.processparams({"Tab", "127.0.0.1", "false"});
  const client::TableModel& tm = table.model();
  ASSERT_TRUE(waitFor([&] { return tm.mySeat() == 2 && tm.loggedIn() && !table.connection().hostFeatures().empty(); }));
  std::string m;
  wire::build::startgameRequest(m, "Ann", true);
  ann.send(m);
  ASSERT_TRUE(waitFor([&] { return e().gameInProgress; }));
  wire::build::justwatch(m, 1, true);
  ann.send(m);
  ASSERT_TRUE(playUntil(table, [&] { return tm.round() >= 2 && tm.inTrick() >= 1 && tm.inTrick() < 4; }, 30000));
  const int round = tm.round();

  QElapsedTimer sinceDrop;
  sinceDrop.start();
  proxy->dropTableSideOnly(0);
  // Its redial comes through the proxy again: a second path to the host,
  // which still holds the first connection and would for as long as its
  // keepalive is answered (here, for ever).
  ASSERT_TRUE(waitFor([&] { return table.connection().reconnecting(); }));
  ASSERT_TRUE(waitFor([&] { return !table.connection().reconnecting() && tm.mySeat() == 2 && tm.gameSeen() && tm.hand() == held(2); },
                      15000))
      << mainchat(table)->toPlainText().toStdString();
  const qint64 seatedMs = sinceDrop.elapsed();
  std::printf("[ figure ] line dropped on the table's side only, host's end silent and open, to seated again "
              "at its own seat with the hand: %lld ms over %d connections (first try %d ms after the drop)\n",
              static_cast<long long>(seatedMs), proxy->accepted() - 1, Redial::kFirstDelayMs);
  EXPECT_FALSE(closed);
  EXPECT_TRUE(waitFor([&] { return proxy->hostClosed(0); })) << "the host closed the old connection";
  EXPECT_EQ(host->server().slots[2].name, "Tab");
  for (int s = 3; s <= kLastSlot; ++s) EXPECT_FALSE(host->server().slots[s].inUse) << s;
  // The others were told it left and came back, as for a line both sides saw drop.
  ASSERT_TRUE(waitFor([&] { return !ann.with("CMD_me").empty(); }));
  EXPECT_EQ(ann.with("CMD_me"), (std::vector<std::string>{"CMD_me+Tab has reconnected|$00804000"}));
  EXPECT_EQ(ann.with("CMD_playerdisconnected"), (std::vector<std::string>{"CMD_playerdisconnected+2+Tab"}));
  EXPECT_EQ(ann.with("CMD_newplayerinfo").back(), "CMD_newplayerinfo+2+Tab");
  EXPECT_EQ(table.caption(2), "Tab");
  EXPECT_EQ(table.el<QLabel>("label_playername", 2)->pos(), QPoint(160, 298)) << "its own seat at the bottom";
  // And it plays on from its own seat; a second drop of the same kind
  // finds the new secret.
  EXPECT_TRUE(playUntil(table, [&] { return tm.round() >= round + 1; }, 60000));
  proxy->dropTableSideOnly(static_cast<size_t>(proxy->accepted() - 1));
  ASSERT_TRUE(waitFor([&] { return table.connection().reconnecting(); }));
  ASSERT_TRUE(waitFor([&] { return !table.connection().reconnecting() && tm.mySeat() == 2 && tm.hand() == held(2); }, 15000));
  EXPECT_EQ(ann.with("CMD_me").size(), 2u);
  EXPECT_EQ(host->server().slots[2].name, "Tab");
}

}  // namespace
}  // namespace ombrix::test
