// The hint: what the Strong player would do in the local player's place,
// worked out in this window from what this window was told (TableKnowledge),
// never from another hand, so it works at any host. During the bidding it
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
#include <string>

#include "ai/decision.h"
#include "client/tableknowledge.h"

namespace ombrix::client {

class Tchat;
class CardImage;

class TableHint : public QObject {
 public:
  // Where a card of the hand lies, and where the hinted card stands: above
  // the height of a card sent to the host, so the two never look alike.
  static constexpr int kHandTop = 320, kHintedTop = 308;

  explicit TableHint(Tchat& table);

  // Every announcement the window dispatched, after its handler.
  void heard(const std::string& entry);
  // Starts working out the advice; false, with a line in the chat pane,
  // when the player has nothing to decide.
  bool ask();
  bool thinking() const { return timer_.isActive(); }
  const TableKnowledge& knowledge() const { return knowledge_; }
  // The hinted card, if one stands raised.
  CardImage* hinted() const;
  // Lowers the hinted card (a card the player sent stays where it is).
  void lower();

 private:
  void step();
  void show();

  Tchat& t_;
  TableKnowledge knowledge_;
  ai::Decision decision_;
  uint64_t serial_ = 0;  // the knowledge the advice is worked out for
  QTimer timer_;
};

}  // namespace ombrix::client
