// The table window under test: its secondary windows, message boxes read
// instead of clicked (Table), and a solo game hosted in the same process
// (Solo).
#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QTemporaryDir>
#include <functional>
#include <memory>
#include <vector>

#include "client/chatform.h"
#include "base/cards.h"
#include "app/hostbinding.h"
#include "host/hostwindow.h"
#include "tests/support/qtloop.h"
#include "ui/msgbox.h"
#include "windows/lasttrickform.h"
#include "windows/scoreform.h"
#include "windows/spylistform.h"

namespace ombrix::test {

using client::CardImage;
using client::Tchat;

// A press on a card, as the mouse sends it.
inline void clickCard(CardImage* c, Qt::MouseButton b = Qt::LeftButton) {
  QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), c->mapToGlobal(QPointF(5, 5)), b, b,
                    Qt::NoModifier);
  QCoreApplication::sendEvent(c, &press);
}

// A legal card of the table's hand: the led suit if held, else the first.
inline CardImage* legalCard(const Tchat& table) {
  CardImage* any = nullptr;
  for (CardImage* c : table.cardImages()) {
    if (table.ledCard && suitOf(c->card) == suitOf(table.ledCard)) return c;
    if (!any) any = c;
  }
  return any;
}

// Plays the table's seat until "Game Over!": a bid of one each round and a
// legal card each turn, clicked; `afterCard` runs after each click.
inline bool playToTheEnd(Tchat& table, int timeoutMs, const std::function<void()>& afterCard = {}) {
  return waitFor(
      [&] {
        if (table.button_bid->isVisibleTo(&table)) {
          table.edit_bid->setText("1");
          table.button_bidClick();
        }
        if (table.myTurn)
          if (CardImage* c = legalCard(table)) {
            clickCard(c);
            if (afterCard) afterCard();
          }
        return table.label_end->text() == "Game Over!";
      },
      timeoutMs);
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
  void feed(const std::string& m) {
    table.receivedlist.push_back(m);
    table.processsocktimer();
  }
  QLabel* at(const char* family, int seat) { return table.el<QLabel>(family, seat); }
  QTemporaryDir settingsDir;
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
    host = std::make_unique<HostWindow>(99, 40);
    binding = std::make_unique<HostBinding>(*host);
    table.attach(&score, &lastTrick, &spies, binding.get());
    table.hostPort = "0";
    table.processparams({});
    ASSERT_TRUE(waitFor([&] { return table.loggedIn && table.caption(1) == "You"; }));
  }
  void click(CardImage* c, Qt::MouseButton b = Qt::LeftButton) { clickCard(c, b); }
  CardImage* legal() { return legalCard(table); }
  std::unique_ptr<HostWindow> host;
  std::unique_ptr<HostBinding> binding;
};

}  // namespace ombrix::test
