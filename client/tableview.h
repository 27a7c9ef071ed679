// What the table window's helpers (the keys, the screen reader, the mute
// list, the hint, the motion) see of the window: the model it draws, its
// elements by their names, the local hand, a notice in the chat pane, the
// player's two acts at the table, and what one helper offers another (the
// keyboard's mark, the screen reader's names), passed on by the window so
// that no helper includes another or the window.
#pragma once

#include <QString>
#include <QWidget>
#include <vector>

#include "client/cardimage.h"
#include "client/tablemodel.h"

namespace ombrix::client {

class TableView {
 public:
  virtual const TableModel& model() const = 0;
  // The window itself: its elements carry their names as object names
  // (label_bid3, edit_bid, popup_kick), and it knows the keyboard focus.
  virtual QWidget& surface() = 0;
  // What a seat's caption shows (its player's name, or its default name).
  virtual QString caption(int seat) const = 0;
  // The local hand: every card image, and the same from left to right.
  virtual std::vector<CardImage*> cardImages() const = 0;
  virtual std::vector<CardImage*> handInOrder() const = 0;
  virtual CardImage* cardImage(int position) const = 0;
  // A line in the chat pane, in the notice colour.
  virtual void notice(const QString& text) = 0;
  // The player's acts, taken the way a mouse takes them.
  virtual void cardimagesMouseDown(CardImage* card, Qt::MouseButton button) = 0;
  virtual void button_bidClick() = 0;
  // The card under the keyboard's mark, or null.
  virtual CardImage* markedCard() const = 0;
  // The screen reader's names brought up to date.
  virtual void refreshNames() = 0;

  // The element of a family for a host seat (label_bid + 3), after mapping.
  template <class T = QWidget>
  T* el(const char* family, int seat) {
    return surface().findChild<T*>(QString(family) + QString::number(seat));
  }

 protected:
  ~TableView() = default;
};

// The cards the keyboard's mark may stand on (client/cardimage.h).
inline std::vector<CardImage*> markable(const TableView& t) { return markable(t.model(), t.handInOrder()); }

}  // namespace ombrix::client
