// Muting a player at this table: a right click on a seat's name, or on an
// entry of the spy list, offers "Mute" or "Unmute". A muted player's chat
// lines, actions and chatter sounds are neither shown nor played here; a
// notice in the chat pane says so once. Nothing goes to the host: the other
// tables are not affected. A mute lasts while that player is at the table.
//
// Chatter sounds carry their sender's number. Chat lines and actions carry
// only the name the host put in front; a line is the longest present name's
// that it begins with, so muting "Bob" does not hide "Bob Smith waves".
#pragma once

#include <QObject>
#include <QString>
#include <map>

#include "client/tableview.h"

class QAction;
class QMenu;
class QWidget;

namespace ombrix::windows {
class Tspylist;
}

namespace ombrix::client {

class MuteList : public QObject, public TableObserver {
 public:
  explicit MuteList(TableView& table);

  // The spy list's context menu offers the entry too.
  void attach(windows::Tspylist* spies);

  // Before an event reaches the table: true for a muted player's line,
  // action or chatter sound, which is then dropped.
  bool hides(const TableEvent& e) const;
  // After every other: a mute ends when its player is no longer at the table.
  void after(const TableEvent& e) override;

  bool isMuted(int number) const { return muted_.count(number) != 0; }
  // The menu entry's work: mutes or unmutes number (its name), with the notice.
  void toggle(int number, const QString& name);
  // "Mute" or "Unmute" for that player, added to a menu being shown.
  QAction* addEntry(QMenu& menu, int number, const QString& name);

  QMenu* popup_mute;  // the bottom seat's own menu (the others' is the seat menu)

 protected:
  bool eventFilter(QObject* o, QEvent* e) override;

 private:
  // Who is at the table now: number -> name, seats and spectators.
  std::map<int, QString> present() const;
  int senderOf(const QString& line, const QString& after) const;
  void prepare(int number, const QString& name);

  TableView& t_;
  QMenu* seatMenu_;  // the seat captions' menu, which the entry joins
  windows::Tspylist* spies_ = nullptr;
  QAction* entry_;  // shared by the seat menus
  QAction* separator_;
  int target_ = 0;
  QString targetName_;
  std::map<int, QString> muted_;  // number -> the name it had when muted
};

}  // namespace ombrix::client
