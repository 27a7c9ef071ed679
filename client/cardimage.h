// One card of the local hand, as the table window lays it out, and what the
// window's helpers ask of the hand (which cards the keyboard's mark may
// stand on, whether a card waits for the host's answer).
#pragma once

#include <functional>
#include <vector>

#include "ui/cardlabel.h"

namespace ombrix::client {

class TableModel;

class CardImage : public ui::CardLabel {
 public:
  // Where the hand lies; a card sent to the host stands a little higher
  // until the host answers.
  static constexpr int kHandTop = 320, kRaisedTop = 316;

  CardImage(QWidget* parent, int position, int card);
  int handPosition, card;
  bool hinted = false;  // raised by the hint, not sent
  std::function<void(CardImage*, Qt::MouseButton)> onPress;

 protected:
  void mousePressEvent(QMouseEvent* e) override;
};

// "Queen of spades" for 1..52; empty for anything else.
QString cardName(int card);
// A card sent to the host stands raised until the host answers.
bool isRaised(const CardImage* card);
// The cards the mark may stand on, of the hand from left to right: while
// the player may play, those of the led suit when the hand holds one, else
// every card.
std::vector<CardImage*> markable(const TableModel& model, const std::vector<CardImage*>& hand);

}  // namespace ombrix::client
