#include "client/cardimage.h"

#include <QMouseEvent>

#include "base/cards.h"
#include "client/tablemodel.h"
#include "ui/cardpictures.h"
#include "ui/designscale.h"

namespace ombrix::client {

namespace {
const char* const kRanks[13] = {"Two",  "Three", "Four", "Five",  "Six",  "Seven", "Eight",
                                "Nine", "Ten",   "Jack", "Queen", "King", "Ace"};
const char* const kSuits[4] = {"clubs", "diamonds", "hearts", "spades"};
}  // namespace

CardImage::CardImage(QWidget* parent, int position, int c) : ui::CardLabel(parent), handPosition(position), card(c) {
  setObjectName("card" + QString::number(position));
  ui::designPlace(this, {0, 0, ui::CardPictures::kWidth, ui::CardPictures::kHeight});
  setCard(c);
  show();
}

void CardImage::mousePressEvent(QMouseEvent* e) {
  if (onPress) onPress(this, e->button());
}

QString cardName(int card) {
  if (card < 1 || card > kDeckSize) return {};
  return QString(kRanks[rankOf(card) - 1]) + " of " + kSuits[suitOf(card) - 1];
}

bool isRaised(const CardImage* card) { return ui::designRect(card).y() < CardImage::kHandTop && !card->hinted; }

std::vector<CardImage*> markable(const TableModel& model, const std::vector<CardImage*>& hand) {
  const int led = model.ledCard();
  if (!model.myTurn() || led == 0) return hand;
  std::vector<CardImage*> follow;
  for (CardImage* c : hand)
    if (suitOf(c->card) == suitOf(led)) follow.push_back(c);
  return follow.empty() ? hand : follow;
}

}  // namespace ombrix::client
