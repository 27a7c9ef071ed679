// The table window under test: its secondary windows, message boxes read
// instead of clicked (Table), and a solo game hosted in the same process
// (Solo).
#pragma once

#include <gtest/gtest.h>

#include <QAction>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QToolButton>
#include <functional>
#include <memory>
#include <vector>

#include "base/virtualclock.h"
#include "client/tablewindow.h"
#include "base/cards.h"
#include "app/hostbinding.h"
#include "host/hostsockets.h"
#include "tests/support/qtloop.h"
#include "ui/msgbox.h"
#include "windows/lasttrickform.h"
#include "windows/scoreform.h"
#include "windows/spylistform.h"

namespace ombrix::test {

using client::CardImage;
using client::Tchat;

// The window's elements, found by their names as a player sees them.
template <class T = QWidget>
T* element(const Tchat& t, const char* name) {
  T* w = t.findChild<T*>(name);
  EXPECT_NE(w, nullptr) << name;
  return w;
}
inline QTextEdit* mainchat(const Tchat& t) { return element<QTextEdit>(t, "mainchat"); }
inline QLineEdit* mychat(const Tchat& t) { return element<QLineEdit>(t, "mychat"); }
inline QLineEdit* edit_bid(const Tchat& t) { return element<QLineEdit>(t, "edit_bid"); }
inline QWidget* tableArea(const Tchat& t) { return element(t, "tableArea"); }
inline QPushButton* button_bid(const Tchat& t) { return element<QPushButton>(t, "button_bid"); }
inline QPushButton* button_start(const Tchat& t) { return element<QPushButton>(t, "button_start"); }
inline QPushButton* button_starthalf(const Tchat& t) { return element<QPushButton>(t, "button_starthalf"); }
inline QLabel* label_round(const Tchat& t) { return element<QLabel>(t, "label_round"); }
inline QLabel* label_totalbids(const Tchat& t) { return element<QLabel>(t, "label_totalbids"); }
inline QLabel* label_turn(const Tchat& t) { return element<QLabel>(t, "label_turn"); }
inline QLabel* label_status1(const Tchat& t) { return element<QLabel>(t, "label_status1"); }
inline QLabel* label_status2(const Tchat& t) { return element<QLabel>(t, "label_status2"); }
inline QLabel* label_end(const Tchat& t) { return element<QLabel>(t, "label_end"); }
inline QLabel* label_firstplay(const Tchat& t) { return element<QLabel>(t, "label_firstplay"); }
inline QLabel* trumpcard(const Tchat& t) { return element<QLabel>(t, "trumpcard"); }
inline QToolButton* phraseButton(const Tchat& t, int n) {
  return t.findChild<QToolButton*>("b_phrase" + QString::number(n));
}
inline QAction* action(const Tchat& t, const char* name) { return element<QAction>(t, name); }

// Hands one command to a window's queue and dispatches it.
inline void dispatch(Tchat& t, const std::string& m) {
  t.connection().enqueue(m);
  while (t.connection().queued()) t.processsocktimer();
}
// The host gives the window its number: the log-in (sent nowhere, as no
// host is connected) and the table turned so that the seat is at the bottom.
inline void seatAt(Tchat& t, int slot) { dispatch(t, "CMD_sendlogininfo+" + std::to_string(slot)); }

// A press on a card, as the mouse sends it.
inline void clickCard(CardImage* c, Qt::MouseButton b = Qt::LeftButton) {
  QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), c->mapToGlobal(QPointF(5, 5)), b, b,
                    Qt::NoModifier);
  QCoreApplication::sendEvent(c, &press);
}

// A legal card of the table's hand: the led suit if held, else the first.
inline CardImage* legalCard(const Tchat& table) {
  CardImage* any = nullptr;
  const int led = table.model().ledCard();
  for (CardImage* c : table.cardImages()) {
    if (led && suitOf(c->card) == suitOf(led)) return c;
    if (!any) any = c;
  }
  return any;
}

// Plays the table's seat until `stop` holds: a bid of one each round and a
// legal card each turn, clicked; `afterCard` runs after each click.
inline bool playUntil(Tchat& table, const std::function<bool()>& stop, int timeoutMs,
                      const std::function<void()>& afterCard = {}) {
  return waitFor(
      [&] {
        if (stop()) return true;
        if (button_bid(table)->isVisibleTo(&table)) {
          edit_bid(table)->setText("1");
          table.button_bidClick();
        }
        if (table.model().myTurn())
          if (CardImage* c = legalCard(table)) {
            clickCard(c);
            if (afterCard) afterCard();
          }
        return stop();
      },
      timeoutMs);
}

inline bool playToTheEnd(Tchat& table, int timeoutMs, const std::function<void()>& afterCard = {}) {
  return playUntil(
      table, [&table] { return label_end(table)->text() == "Game Over!"; }, timeoutMs, afterCard);
}

struct Table : ::testing::Test {
  void SetUp() override {
    ui::setMessageBoxSink([this](const QString& t, std::function<void()> then) {
      boxes.push_back(t);
      if (then) then();
    });
    table.onClosed = [this] { closed = true; };
    table.settingsFile = settingsDir.filePath("quarrowlobby.ini");  // never the real one
    table.attach(&score, &lastTrick, &spies, nullptr);
  }
  void TearDown() override { ui::setMessageBoxSink({}); }
  // Hands one command to the window's queue and dispatches it.
  void feed(const std::string& m) { dispatch(table, m); }
  QLabel* at(const char* family, int seat) { return table.el<QLabel>(family, seat); }
  QTemporaryDir settingsDir;
  // For a test that runs the table's dispatch in virtual time; made before
  // the table, so it outlives the table's timer.
  VirtualClock dispatchClock;
  Tchat table;
  windows::Tscore score{&table};
  windows::Tlasttrick lastTrick{&table};
  windows::Tspylist spies{&table};
  std::vector<QString> boxes;
  bool closed = false;
};

struct Solo : Table {
  void SetUp() override {
    Table::SetUp();
    host = std::make_unique<HostSockets>(99, 40);
    binding = std::make_unique<HostBinding>(*host);
    table.attach(&score, &lastTrick, &spies, binding.get());
    table.hostPort = "0";
    table.processparams({});
    // Seated, and the log-in's exchange over: the host has said what it can do.
    ASSERT_TRUE(waitFor(
        [&] { return table.model().loggedIn() && table.caption(1) == "You" && !table.connection().hostFeatures().empty(); }));
  }
  void click(CardImage* c, Qt::MouseButton b = Qt::LeftButton) { clickCard(c, b); }
  CardImage* legal() { return legalCard(table); }
  std::unique_ptr<HostSockets> host;
  std::unique_ptr<HostBinding> binding;
};

}  // namespace ombrix::test
