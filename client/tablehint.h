// The hint: what the Strong player would do in the local player's place,
// worked out in this window from what this window was told (the table
// model's view of its seat), never from another hand, so it works at any host. During the bidding it
// fills the bid box; on the player's turn it raises the card to play and
// moves the keyboard's mark onto it. Nothing is sent: the player decides.
//
// The search runs in bounded steps while the event loop is idle, so the
// window never waits long for it; the table moving on (a bid, a card, a new
// round) drops advice still being worked out, and lowers a raised card.
#pragma once

#include <QObject>
#include <QTimer>
#include <cstdint>

#include "ai/decision.h"
#include "client/tableview.h"

class QLineEdit;

namespace ombrix::client {

class TableHint : public QObject, public TableObserver {
 public:
  // Where a card of the hand lies, and where the hinted card stands: above
  // the height of a card sent to the host, so the two never look alike.
  static constexpr int kHandTop = CardImage::kHandTop, kHintedTop = 308;

  explicit TableHint(TableView& table);

  // Every event of the table: a move of the game lowers the hinted card.
  void after(const TableEvent& e) override;
  // Starts working out the advice; false, with a line in the chat pane,
  // when the player has nothing to decide.
  bool ask();
  bool thinking() const { return timer_.isActive(); }
  // One bounded step of the advice (the idle timer runs them).
  void step();
  // The hinted card, if one stands raised.
  CardImage* hinted() const;
  // Lowers the hinted card (a card the player sent stays where it is).
  void lower();

 private:
  void show();

  TableView& t_;
  QLineEdit* editBid_;
  ai::Decision decision_;
  uint64_t serial_ = 0;  // the model's serial the advice is worked out for
  uint64_t seen_ = 0;    // the serial at the last event
  QTimer timer_;
};

}  // namespace ombrix::client
