// The table window on the wire: what it sends is what the host accepts, and
// what it reads is what the host meant, over real loopback sockets.
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextEdit>
#include <atomic>
#include <memory>
#include <thread>
#include <utility>

#include "base/virtualclock.h"
#include "client/redial.h"
#include "protocol/commands.h"
#include "tests/client/table_fixture.h"
#include "tests/support/qtloop.h"
#include "net/resolver.h"
#include "ui/msgbox.h"
#include "windows/tallylistform.h"

namespace ombrix::test {
namespace {

const QString kZoe = QString("Zo") + QChar(0xEB);  // "Zoë", one byte 0xEB in Latin-1

TEST_F(Solo, ABidTheHostWouldRefuseStaysInTheBox) {
  table.button_startClick();
  ASSERT_TRUE(waitFor([&] { return button_bid(table)->isVisibleTo(&table); }, 30000));
  // The host takes plain decimal digits only: anything else sent would be
  // dropped there and leave this seat waiting with its button gone.
  for (const char* refused : {" 1", "+1", "1 ", "-1", "0x1", ""}) {
    boxes.clear();
    edit_bid(table)->setText(refused);
    table.button_bidClick();
    EXPECT_EQ(boxes, (std::vector<QString>{QString("'") + refused + "' is not a valid integer value"}));
    EXPECT_TRUE(button_bid(table)->isVisibleTo(&table)) << refused;
  }
  edit_bid(table)->setText("1");
  table.button_bidClick();
  EXPECT_FALSE(button_bid(table)->isVisibleTo(&table));
  // The bid comes back on the seat; the status line moves on with the next bidder at once.
  EXPECT_TRUE(waitFor([&] { return at("label_bid", 1)->text() == "1"; }));
}

TEST_F(Table, ZoeIsZoeAtEveryTableAndInHerOwnTally) {
  HostSockets host(5, 40);
  QTemporaryDir dir;
  windows::Ttallylist tally(nullptr, dir.filePath("ombrixtally.tld"));
  HostBinding binding(host);
  table.attach(&score, &lastTrick, &spies, &binding, &tally);
  table.hostPort = "0";
  table.myName = kZoe;
  table.hostpress();
  ASSERT_TRUE(waitFor([&] { return table.caption(1) == kZoe; }));

  ProtocolClient other(host.port());
  ASSERT_TRUE(waitFor([&] { return other.slot() == 2; }));
  other.send("CMD_logininfo+2+1.0.14+Al");
  ASSERT_TRUE(other.waitForCommand("CMD_existingplayers"));
  EXPECT_EQ(other.with("CMD_existingplayers")[0], "CMD_existingplayers+1+Zo\xEB");

  table.button_startClick();
  ASSERT_TRUE(other.waitForCommand("CMD_startgame"));
  EXPECT_EQ(other.with("CMD_startgame")[0], "CMD_startgame+Zo\xEB+f+");
  EXPECT_TRUE(
      waitFor([&] { return mainchat(table)->toPlainText().contains("You have started a FULL game."); }));

  table.connection().enqueue("CMD_winner+Al and Zo\xEB+90");
  EXPECT_TRUE(waitFor([&] { return tally.stringgrid_scores.cell(2, 0) == "1"; }));
  EXPECT_EQ(tally.stringgrid_scores.cell(1, 0), "1");
  EXPECT_TRUE(std::find(table.soundsPlayed().begin(), table.soundsPlayed().end(), "winner") !=
              table.soundsPlayed().end());
}

TEST_F(Table, ACharacterLatin1LacksIsComparedAsTheQuestionMarkSent) {
  table.myName = QString("Zo") + QChar(0x113);  // "Zoē"
  feed("CMD_startgame+Zo?+h+");
  EXPECT_TRUE(mainchat(table)->toPlainText().endsWith("You have started a HALF game."));
  feed("CMD_startgame+Zoe+h+");
  EXPECT_TRUE(mainchat(table)->toPlainText().endsWith("Zoe has started a HALF game."));
}

// A box left open until the test answers it.
struct HeldBoxes {
  HeldBoxes() {
    ui::setMessageBoxSink([this](const QString& t, std::function<void()> then) {
      texts.push_back(t);
      pending.push_back(std::move(then));
    });
  }
  ~HeldBoxes() { ui::setMessageBoxSink({}); }
  void answer(size_t k) {
    if (pending[k]) std::exchange(pending[k], {})();
  }
  std::vector<QString> texts;
  std::vector<std::function<void()>> pending;
};

// The resolver as the test has it: "4players.example" is this machine.
std::atomic<bool> g_lookedUpOnLoop{false};
std::thread::id g_loop;
int fourPlayers(const char* name, const char* service, const addrinfo* hints, addrinfo** res) {
  if (std::this_thread::get_id() == g_loop) g_lookedUpOnLoop = true;
  return ::getaddrinfo(std::string_view(name) == "4players.example" ? "127.0.0.1" : name, service, hints, res);
}

TEST_F(Table, AJoinByAHostNameThatBeginsWithADigitLooksTheNameUpOffTheLoop) {
  HostSockets host(3, 40);
  host.listen("0");
  ProtocolClient ann(host.port());
  ASSERT_TRUE(waitFor([&] { return ann.slot() == 1; }));
  ann.send("CMD_logininfo+1+1.0.14+Ann");
  g_loop = std::this_thread::get_id();
  net::setResolveFunction(fourPlayers);
  table.myName = "Bo";
  table.hostAddress = QString("4players.example:%1").arg(host.port());
  table.joinpress();
  EXPECT_TRUE(waitFor([&] { return table.model().loggedIn() && host.server().slots[2].name == "Bo"; }))
      << mainchat(table)->toPlainText().toStdString();
  EXPECT_FALSE(g_lookedUpOnLoop);
  net::setResolveFunction(nullptr);
}

TEST_F(Table, ATenthTableIsToldTheGameIsFullBeforeItCloses) {
  HostSockets host(3, 40);
  host.listen("0");
  std::vector<std::unique_ptr<ProtocolClient>> nine;
  for (int s = 1; s <= 9; ++s) {
    nine.push_back(std::make_unique<ProtocolClient>(host.port()));
    ASSERT_TRUE(waitFor([&] { return nine.back()->slot() == s; }));
    nine.back()->send("CMD_logininfo+" + std::to_string(s) + "+1.0.14+p" + std::to_string(s));
  }
  HeldBoxes boxes;
  table.connection().socket().setPortName(std::to_string(host.port()));
  table.joinpress();
  // The host sends "CMD_full+" and closes at once: the command is dispatched
  // although the close is reported first or in the same breath.
  ASSERT_TRUE(waitFor([&] { return !boxes.texts.empty() && table.connection().socket().Handle() < 0; }));
  EXPECT_EQ(boxes.texts, (std::vector<QString>{"The Game is full, Disconnecting.."}));
  EXPECT_FALSE(closed);  // the box is answered first
  boxes.answer(0);
  EXPECT_TRUE(closed);
}

TEST_F(Table, AHostThatFloodsTheTableOrNeverEndsAMessageIsLeftWithAMessage) {
  // The table keeps what one connection may keep at a host: past that, the
  // host is told nothing more and the player is told why the table leaves.
  for (const bool endless : {false, true}) {
    SCOPED_TRACE(endless ? "a message without end" : "a flood of chat");
    Tchat t;
    bool gone = false;
    t.onClosed = [&] { gone = true; };
    t.settingsFile = table.settingsFile;
    std::string flood = std::string("CMD_sendlogininfo+2") + wire::kTerminator;
    if (endless) {
      flood += "CMD_chat+" + std::string(wire::Framer::kMaxRemainder + 1, 'x');
    } else {
      for (size_t i = 0; i <= 3 * wire::MessageQueue::kMaxQueuedMessages; ++i)
        flood += std::string("CMD_chat+Mal chats: buy|clRed") + wire::kTerminator;
    }
    net::TAsyncSock listener, *peer = nullptr;
    listener.setPortName("0");
    listener.OnAccept = [&](net::TAsyncSock* l) {
      l->Accept(peer);
      peer->OnRead = [](net::TAsyncSock* s, int) { s->Receive(); };
      peer->Send(flood);
    };
    listener.setListen(true);
    boxes.clear();
    t.connection().socket().setPortName(std::to_string(listener.LocalPort()));
    t.joinpress();
    ASSERT_TRUE(waitFor([&] { return gone; }));
    EXPECT_EQ(boxes, (std::vector<QString>{"The host sent more than this table can take in, Disconnecting.."}));
    EXPECT_EQ(t.connection().queued(), 0u);
    EXPECT_LT(mainchat(t)->toPlainText().count("Mal chats"), 1001);
    delete peer;
  }
}

TEST_F(Table, ALongSessionIsNoFlood) {
  // What the table has dispatched no longer counts against what it keeps:
  // a session that brings more than the bound, a little at a time, goes on.
  net::TAsyncSock listener, *peer = nullptr;
  listener.setPortName("0");
  listener.OnAccept = [&](net::TAsyncSock* l) {
    l->Accept(peer);
    peer->OnRead = [](net::TAsyncSock* s, int) { s->Receive(); };
    peer->Send(std::string("CMD_sendlogininfo+5") + wire::kTerminator);
  };
  listener.setListen(true);
  table.connection().socket().setPortName(std::to_string(listener.LocalPort()));
  table.joinpress();
  ASSERT_TRUE(waitFor([&] { return table.model().loggedIn() && peer; }));
  const std::string line = "CMD_chat+Mal chats: " + std::string(1000, 'x') + "|clRed" + wire::kTerminator;
  int burst = 0;
  for (size_t sent = 0; sent < 2 * wire::MessageQueue::kMaxQueuedBytes; ++burst) {
    std::string lines;
    for (int i = 0; i < 50; ++i) lines += line;  // about 50 KB, well within the bound
    const std::string mark = "Mark" + std::to_string(burst);
    lines += "CMD_newplayerinfo+6+" + mark + wire::kTerminator;
    peer->Send(lines);
    sent += lines.size();
    ASSERT_TRUE(waitFor([&] { return table.model().name(6) == mark; })) << sent;
  }
  EXPECT_TRUE(boxes.empty());
  EXPECT_FALSE(closed);
  delete peer;
}

TEST_F(Table, WhatArrivedBeforeTheCloseIsShownBeforeTheTableCloses) {
  seatAt(table, 2);
  table.connection().enqueue("CMD_newplayerinfo+3+Cy");
  table.connection().enqueue("CMD_chat+Cy chats: bye|clRed");
  table.connection().sockEnd();
  EXPECT_FALSE(closed);
  ASSERT_TRUE(waitFor([&] { return closed; }));
  EXPECT_TRUE(mainchat(table)->toPlainText().endsWith("Cy chats: bye"));
  EXPECT_EQ(table.caption(3), "Cy");
}

TEST_F(Table, AResetAfterLogInIsALostLineTriedAgainForAMinute) {
  VirtualClock clock;
  table.connection().useRedialTimers(clock);
  net::TAsyncSock listener, *peer = nullptr;
  std::string login;
  int accepted = 0;
  listener.setPortName("0");
  listener.OnAccept = [&](net::TAsyncSock* l) {
    l->Accept(peer);
    ++accepted;
    peer->OnRead = [&](net::TAsyncSock* s, int) { login += s->Receive(); };
    peer->Send(std::string("CMD_sendlogininfo+2") + wire::kTerminator);
  };
  listener.setListen(true);
  table.myName = "Ann";
  table.connection().socket().setPortName(std::to_string(listener.LocalPort()));
  table.joinpress();
  ASSERT_TRUE(waitFor([&] { return login.find("CMD_logininfo+2+1.0.14+Ann") == 0; }));
  ASSERT_TRUE(table.model().loggedIn());
  // The line goes: only a reset reaches the table, and no host said the game was over.
  linger hard{1, 0};
  ::setsockopt(peer->Handle(), SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
  peer->OnInfo = nullptr;
  peer->Close();
  delete peer;
  ASSERT_TRUE(waitFor([&] { return table.connection().reconnecting(); }));
  EXPECT_TRUE(mainchat(table)->toPlainText().contains("Connection lost, reconnecting\u2026"));
  // The first try reaches the listener and logs in again under the same name.
  login.clear();
  clock.step();
  ASSERT_TRUE(waitFor([&] { return login.find("CMD_logininfo+2+1.0.14+Ann") == 0; }));
  EXPECT_FALSE(table.connection().reconnecting());
  EXPECT_EQ(accepted, 2);
  // Again, and this time nobody listens any more: refused tries until the minute is over.
  ::setsockopt(peer->Handle(), SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
  peer->OnInfo = nullptr;
  peer->Close();
  delete peer;
  listener.setListen(false);
  ASSERT_TRUE(waitFor([&] { return table.connection().reconnecting(); }));
  const int64_t dropped = clock.now();
  for (int tick = 0; tick < 20 && table.connection().reconnecting(); ++tick) {
    clock.step();
    QCoreApplication::processEvents();
  }
  EXPECT_FALSE(table.connection().reconnecting());
  EXPECT_EQ(clock.now() - dropped, client::Redial::kGiveUpMs);
  EXPECT_TRUE(mainchat(table)->toPlainText().contains("Could not reconnect to the game within a minute"));
  EXPECT_FALSE(closed);  // the window stays, with the reason, until the player closes it
  EXPECT_EQ(accepted, 2);
}

TEST_F(Solo, TheHostsNoticesAreShownWithoutStoppingTheDispatch) {
  HeldBoxes boxes;
  ProtocolClient bo(host->port());
  ASSERT_TRUE(waitFor([&] { return bo.slot() == 2; }));
  bo.send("CMD_logininfo+2+1.0.14+Bo");
  ASSERT_TRUE(waitFor([&] { return table.caption(2) == "Bo"; }));
  GameEngine& e = host->server().engine;
  e.currentPlayer = 2;  // Bo is on turn and names no card, twice
  bo.send("CMD_playcard+2+0");
  bo.send("CMD_playcard+2+0");
  bo.send("CMD_chat+2+still here|clRed");
  ASSERT_TRUE(waitFor([&] { return mainchat(table)->toPlainText().endsWith("Bo chats: still here"); }));
  EXPECT_EQ(boxes.texts, (std::vector<QString>{"Card does't exist"}));  // one box while it is open
  boxes.answer(0);
  bo.send("CMD_playcard+2+0");
  ASSERT_TRUE(waitFor([&] { return boxes.texts.size() == 2; }));
  EXPECT_EQ(boxes.texts[1], "Card does't exist");
  // A computer seat whose card breaks the follow-suit rule.
  e.currentPlayer = 3;
  e.cardsInTrick = 1;
  e.ledSuit = 3;
  e.seats[3].hand = {};
  e.seats[3].hand[1] = 2;   // a club
  e.seats[3].hand[2] = 30;  // a heart: it has the led suit
  host->server().playcard("3+1");
  ASSERT_EQ(boxes.texts.size(), 3u);
  EXPECT_EQ(boxes.texts[2], "computer played incorrectly");
}

TEST_F(Table, ATableInSlotOneOfAHeadlessHostStartsTheGames) {
  HostSockets headless(4, 40);
  headless.server().slotOneIsOwnPlayer = false;
  headless.listen("0");
  table.myName = "Ann";
  table.connection().socket().setPortName(std::to_string(headless.port()));
  table.joinpress();
  ASSERT_TRUE(waitFor([&] { return table.caption(1) == "Ann"; }));
  EXPECT_FALSE(table.isHost());
  EXPECT_TRUE(button_start(table)->isVisibleTo(&table));
  EXPECT_TRUE(button_starthalf(table)->isVisibleTo(&table));
  EXPECT_TRUE(action(table, "StartGame1")->isEnabled());

  Tchat second;
  bool secondClosed = false;
  second.onClosed = [&] { secondClosed = true; };
  second.settingsFile = settingsDir.filePath("second.ini");
  second.myName = "Bo";
  second.connection().socket().setPortName(std::to_string(headless.port()));
  second.joinpress();
  ASSERT_TRUE(waitFor([&] { return second.model().mySeat() == 2 && table.caption(2) == "Bo"; }));
  EXPECT_FALSE(button_start(second)->isVisibleTo(&second));

  table.StartHalfGame1Click();
  ASSERT_TRUE(
      waitFor([&] { return mainchat(second)->toPlainText().contains("Ann has started a HALF game."); }));
  EXPECT_TRUE(headless.server().engine.gameInProgress);
  table.kicking(2);  // the host player's removal, obeyed from slot 1
  EXPECT_TRUE(waitFor([&] { return secondClosed; }));
}

}  // namespace
}  // namespace ombrix::test
