// What a screen reader reads for the table: every element that shows
// something gets an accessible name that says what it shows ("Reza, score 16,
// tricks 0, bid 2, on turn", "Queen of spades", "Trump card: Two of hearts").
// The names are worked out from what the window shows, after every command
// and every key that moves the mark; a name that changes is announced by
// Qt's accessibility (a name-changed event, which the AT-SPI bridge passes on
// to Orca). Captions that are text already (the round, the bids, the turn,
// the status lines) are read as they are and announce their own changes.
#pragma once

#include <QHash>
#include <QString>

#include "client/cardimage.h"  // cardName

class QLabel;
class QWidget;

namespace ombrix::client {

class TableView;

class TableAccess {
 public:
  explicit TableAccess(TableView& table);

  // Brings every changing name up to date; announces only what changed.
  void refresh();

 private:
  // The reading of a seat: name, score, tricks, bid and what marks it.
  QString seatReading(int seat) const;
  QWidget* at(const char* family, int seat) const;  // as Tchat::el, from the index
  QString seatName(int seat) const;                 // "Seat 3" while nobody sits there
  bool hasBid(int seat) const;                      // the bid caption turns from grey at the seat's bid
  void name(QWidget* w, const QString& text);
  void describe(QWidget* w, const QString& text);

  TableView& t_;
  QWidget* tableArea_;
  QLabel* trumpcard_;
  QWidget* editBid_;
  QHash<QString, QWidget*> index_;  // the table's elements by name, at the last refresh
};

}  // namespace ombrix::client
