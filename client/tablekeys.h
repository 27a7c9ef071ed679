// The table by keyboard. The keyboard focus itself is the mark on the hand:
// Left and Right (Home, End) move it along the cards that may be played now
// (along the whole hand while it is not the player's turn, to read it), and
// Enter or Space plays the marked card through the same path as a left click.
// While the bid box is up, digits go into it and Enter bids; Up and Down
// change the bid. Escape leaves the chat input for the table; at the table
// it leaves the mark where it is. F2 and Shift+F2
// start a full or half game for the host's player.
//
// Around each command the host sends, the focus stays at the table when it
// was there: a hidden bid box or a played card does not drop it into the chat
// input, a bid request takes it to the bid box, the player's turn to the
// first playable card. A focus in the chat input is never taken away.
#pragma once

#include <QObject>
#include <QPointer>
#include <vector>

#include "client/tableview.h"

class QAction;
class QLineEdit;
class QPushButton;
class QWidget;

namespace ombrix::client {

class TableKeys : public QObject, public TableObserver {
 public:
  explicit TableKeys(TableView& table);
  // The score card shows itself at a round's end: it must not take the
  // keyboard from the table when it does.
  void attach(QWidget* scoreCard);

  // Around each event of the table: where the focus was, and where it goes.
  void before(const TableEvent& e) override;
  void after(const TableEvent& e) override;

  // The card under the mark (the card with the keyboard focus), or null.
  CardImage* marked() const;
  // The drawn mark: a frame around the marked card's visible part.
  QWidget* mark() const { return mark_; }

 protected:
  bool eventFilter(QObject* o, QEvent* e) override;

 private:
  bool atTable(const QWidget* w) const;
  bool bidBoxUp() const;
  // Escape from the chat input: to the bid box, the hand or the table.
  void toTable();
  void toBidBox();
  bool toHand();  // the first markable card; false when there is none
  void moveMark(int key);  // Left, Right, Home or End along the markable cards
  void updateMark();
  void refreshNames();

  TableView& t_;
  QWidget* tableArea_;
  QLineEdit *editBid_, *chatInput_;
  QPushButton* bidButton_;
  QWidget* mark_;
  QPointer<QWidget> before_;
  bool beforeHad_ = false, beforeAtTable_ = false, beforeBidding_ = false, beforeTurn_ = false;
};

}  // namespace ombrix::client
