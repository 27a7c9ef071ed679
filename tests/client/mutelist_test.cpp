// Muting a player at this table: from the seat's name and from the spy
// list; what is dropped, what is not, that nothing goes to the host, and
// that the mute ends when the player leaves.
#include "client/mutelist.h"

#include <gtest/gtest.h>

#include <QContextMenuEvent>
#include <QListWidget>
#include <QMenu>
#include <QTextBlock>
#include <QTextEdit>
#include <QTimer>

#include "client/sounds.h"
#include "tests/client/keys_fixture.h"

namespace ombrix::test {
namespace {

QString lastLine(const Tchat& t) { return mainchat(t)->document()->lastBlock().text(); }
int lines(const Tchat& t) { return mainchat(t)->document()->blockCount(); }

// A right click on a widget, as the window system reports it.
void rightClick(QWidget* w, QPoint at = {5, 5}) {
  QContextMenuEvent e(QContextMenuEvent::Mouse, at, w->mapToGlobal(at));
  QCoreApplication::sendEvent(w, &e);
}

QAction* entry(QMenu* menu) {
  for (QAction* a : menu->actions())
    if (a->objectName() == "Mute1" && a->isVisible()) return a;
  return nullptr;
}

// Chooses "Mute" or "Unmute" from the seat name's menu; the entry's text.
QString muteSeat(Tchat& t, int seat) {
  rightClick(t.el("label_playername", seat));
  QMenu* menu = t.findChild<QMenu*>("popup_kick")->isVisible() ? t.findChild<QMenu*>("popup_kick")
                                                               : t.mutes().popup_mute;
  EXPECT_TRUE(menu->isVisible());
  QAction* a = entry(menu);
  if (!a) return {};
  EXPECT_TRUE(a->isEnabled());
  const QString text = a->text();
  a->trigger();
  menu->close();
  return text;
}

TEST_F(Wired, AMutedSeatsLinesActionsAndSoundsAreDroppedHereOnly) {
  std::vector<QString> heard;
  client::setSoundSink([&](const QString& n) { heard.push_back(n); });
  logIn(1);
  feed("CMD_newplayerinfo+2+Bob");
  feed("CMD_newplayerinfo+3+Bob Smith");
  ASSERT_EQ(muteSeat(table, 2), "Mute");  // not the host: the menu's other entries are off, this one is not
  EXPECT_EQ(lastLine(table),
            "Bob is muted: their chat lines, actions and chatter sounds are not shown or played here.");
  const int before = lines(table);
  feed("CMD_chat+Bob chats: you all stink|clRed");
  feed("CMD_me+Bob says: Nice Try!|clBlack");
  feed("CMD_me+Bob waves|clBlack");
  action(table, "PlayChatterSounds1")->setChecked(true);
  feed("CMD_playasound+2+wave1+");
  action(table, "PlayChatterSounds1")->setChecked(false);
  feed("CMD_playasound+2+wave1+");
  EXPECT_EQ(lines(table), before);  // and no notice for each
  EXPECT_TRUE(heard.empty());
  // A longer name that begins with the muted one is someone else.
  feed("CMD_chat+Bob Smith chats: hello|clRed");
  EXPECT_EQ(lastLine(table), "Bob Smith chats: hello");
  feed("CMD_me+Bob Smith waves|clBlack");
  EXPECT_EQ(lastLine(table), "Bob Smith waves");
  action(table, "PlayChatterSounds1")->setChecked(true);
  feed("CMD_playasound+3+wave1+");
  EXPECT_EQ(heard, std::vector<QString>{"wave1"});
  EXPECT_TRUE(sent("CMD_").empty());  // the host hears nothing of it

  EXPECT_EQ(muteSeat(table, 2), "Unmute");
  EXPECT_EQ(lastLine(table), "Bob is no longer muted.");
  feed("CMD_chat+Bob chats: sorry|clRed");
  EXPECT_EQ(lastLine(table), "Bob chats: sorry");

  // The mute lasts while Bob is at the table: gone, and back, he is heard.
  muteSeat(table, 2);
  feed("CMD_playerdisconnected+2+Bob");
  EXPECT_FALSE(table.mutes().isMuted(2));
  feed("CMD_newplayerinfo+2+Bob");
  feed("CMD_chat+Bob chats: back|clRed");
  EXPECT_EQ(lastLine(table), "Bob chats: back");
  client::setSoundSink([](const QString&) {});
}

TEST_F(Keys, TheOwnSeatOffersNoMuteAndASpectatorCanMuteTheBottomSeat) {
  seatAt(table, 1);
  feed("CMD_newplayerinfo+1+Me");
  rightClick(table.el("label_playername", 1));
  EXPECT_FALSE(table.mutes().popup_mute->isVisible());
  feed("CMD_newplayerinfo+3+Ann");
  rightClick(table.el("label_playername", 3));
  EXPECT_NE(entry(table.findChild<QMenu*>("popup_kick")), nullptr);
  table.findChild<QMenu*>("popup_kick")->close();
  rightClick(table.el("label_playername", 4));  // "<Waiting>": nobody to mute
  EXPECT_EQ(entry(table.findChild<QMenu*>("popup_kick")), nullptr);
  table.findChild<QMenu*>("popup_kick")->close();

  Tchat spy;  // a spectator sees seat 1 at the bottom, and may mute it
  seatAt(spy, 6);
  dispatch(spy, "CMD_newplayerinfo+1+Ann");
  ASSERT_TRUE(activate(spy));
  EXPECT_EQ(muteSeat(spy, 1), "Mute");
  EXPECT_TRUE(spy.mutes().isMuted(1));
}

TEST_F(Keys, ASpectatorIsMutedFromTheSpyList) {
  seatAt(table, 1);
  feed("CMD_newplayerinfo+7+Ann");
  feed("CMD_newplayerinfo+8+Cy");
  spies.show();
  QListWidget* list = spies.listbox_spys;
  QString offered;
  // The list's menu runs its own loop: choose the entry from inside it.
  QTimer::singleShot(0, [&] {
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    if (!menu) return;
    if (QAction* a = entry(menu)) {
      offered = a->text();
      a->trigger();
    }
    menu->close();
  });
  rightClick(list->viewport(), list->visualItemRect(list->item(0)).center());
  EXPECT_EQ(offered, "Mute");
  EXPECT_TRUE(table.mutes().isMuted(7));
  const int before = lines(table);
  feed("CMD_chat+Ann chats: boo|clRed");
  EXPECT_EQ(lines(table), before);
  feed("CMD_chat+Cy chats: hi|clRed");
  EXPECT_EQ(lastLine(table), "Cy chats: hi");
  feed("CMD_playerdisconnected+7+Ann");
  EXPECT_FALSE(table.mutes().isMuted(7));
}

}  // namespace
}  // namespace ombrix::test
