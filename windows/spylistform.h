// The spy list: the spectators of the table, and the host player's way to
// remove one.
#pragma once

#include <QDialog>
#include <functional>

class QListWidget;
class QAction;
class QMenu;

namespace ombrix::windows {

class Tspylist : public QDialog {
 public:
  explicit Tspylist(QWidget* parent = nullptr);
  QListWidget* listbox_spys;
  QAction* popup_kickhim;
  int pointed = 0;  // the entry under the pointer at its last movement, -1 for none
  std::function<void(int number)> kicking;
  // The table's own entries for the pointed spectator, added as the menu opens.
  std::function<void(QMenu& menu, int number, const QString& name)> extendMenu;

  // Lists "number: name"; a number already listed takes the new name.
  void add(int number, const QString& name);
  // Removes the entry "number: name" (letter case ignored); true if it was there.
  bool remove(int number, const QString& name);
  void popup_kickhimClick();
  void pointAt(const QPoint& pos);  // listbox_spysMouseMove

 protected:
  bool eventFilter(QObject* o, QEvent* e) override;
};

}  // namespace ombrix::windows
