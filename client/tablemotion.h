// The table in motion: the deal, a card played from the hand or an
// opponent's fan, the trick gathered to its winner and the trump turned,
// as cards flying over the table (client/flights.h).
//
// It observes the model after the window has drawn each event, so it only
// adds pictures on their way: what the table does and in which order (the
// model, the keys, the screen reader, the game record, a request to the
// host) is the same with the motion on or off. Its pace follows the
// computer players' speed.
#pragma once

#include <QRect>
#include <array>

#include "client/flights.h"
#include "client/tableview.h"

namespace ombrix::client {

class TableMotion : public TableObserver {
 public:
  explicit TableMotion(TableView& table);

  // "Animate Cards": off, cards go straight to their places (flights under
  // way land at once).
  void setEnabled(bool on);
  bool enabled() const { return enabled_; }
  // The computer players' delay (ms); a card's flight takes a part of it.
  void setPace(int botDelayMs) { pace_ = botDelayMs; }
  Flights& flights() { return *flights_; }

  void before(const TableEvent& e) override;
  void after(const TableEvent& e) override;

  // How long each motion takes, as parts of the pace.
  int playMs() const;
  int gatherMs() const;
  int dealMs() const;
  int dealStepMs() const;
  int turnMs() const;

 private:
  QRect cardAt(const QPoint& topLeft) const;  // a card's design rectangle there
  // Where a seat's cards are: its fan's first back, or the hand's middle.
  QRect seatPlace(int seat) const;
  void dealt(const ev::Dealt& e);
  void played(const ev::CardPlayed& e);
  void gathered(const ev::TrickTaken& e);
  void turned(const ev::Trump& e);

  TableView& t_;
  Flights* flights_;
  bool enabled_ = true;
  int pace_ = 750;
  QRect playedFrom_;  // where the card announced is, before the window moves it
};

}  // namespace ombrix::client
