// The table window shown and active, so that keys go where a keyboard's
// would (to the focused element, through the menus' shortcuts), and a host
// of the test's own that keeps what the table sends.
#pragma once

#include <sys/ioctl.h>

#include <QApplication>
#include <QTest>

#include "net/asyncsock.h"
#include "protocol/framing.h"
#include "tests/client/table_fixture.h"

namespace ombrix::test {

// Shows the window and makes it the active one.
inline bool activate(QWidget& w) {
  w.show();
  w.activateWindow();
  QApplication::setActiveWindow(&w);
  return QTest::qWaitForWindowActive(&w);
}

// A key as the keyboard sends it: to the focused element of the active window.
inline void press(Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
  QTest::keyClick(static_cast<QWidget*>(nullptr), key, mods);
}

inline void typeDigits(const QString& digits) {
  for (QChar d : digits) press(static_cast<Qt::Key>(Qt::Key_0 + d.digitValue()));
}

struct Keys : Table {
  void SetUp() override {
    Table::SetUp();
    ASSERT_TRUE(activate(table));
  }
};

struct KeySolo : Solo {
  void SetUp() override {
    Solo::SetUp();
    ASSERT_TRUE(activate(table));
  }
};

// A host of the test's own on a free port: the table joins it and logs in
// as slot `slot`; everything it sends is kept, one message per entry.
struct Wired : Keys {
  void SetUp() override {
    Keys::SetUp();
    listener.setPortName("0");
    listener.OnAccept = [this](net::TAsyncSock* l) {
      net::TAsyncSock* s = nullptr;
      if (!l->Accept(s)) return;
      peer = s;
      peer->OnRead = [this](net::TAsyncSock* p, int) {
        framer.feed(p->Receive(), [this](std::string_view m) {
          if (!m.empty()) heard.emplace_back(m);
          return true;
        });
      };
    };
    listener.setListen(true);
    table.connection().socket().setPortName(std::to_string(listener.LocalPort()));
    table.hostAddress = "127.0.0.1";
    table.myName = "Me";
    table.joinpress();
    ASSERT_TRUE(waitFor([&] { return peer != nullptr && table.connection().socket().Connected(); }));
  }
  void logIn(int slot) {
    feed("CMD_sendlogininfo+" + std::to_string(slot));
    ASSERT_TRUE(waitFor([&] { return !heard.empty(); }));
    heard.clear();
  }
  // What the table sent whose command is `name`, after the events so far.
  std::vector<std::string> sent(const std::string& name) {
    // Whatever the table wrote has been read here: nothing queued at its
    // end, nothing unread at this one (loopback hands bytes over within
    // the write).
    EXPECT_TRUE(waitFor([&] {
      int unread = 0;
      return table.connection().socket().SendQueued() == 0 && ::ioctl(peer->Handle(), FIONREAD, &unread) == 0 && unread == 0;
    }));
    std::vector<std::string> out;
    for (const auto& m : heard)
      if (m.rfind(name + "+", 0) == 0) out.push_back(m);
    return out;
  }
  net::TAsyncSock listener;
  net::TAsyncSock* peer = nullptr;  // owned by the listener
  wire::Framer framer;
  std::vector<std::string> heard;
};

}  // namespace ombrix::test
