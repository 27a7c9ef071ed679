#include "windows/lasttrickform.h"

#include <QEvent>
#include <QLabel>

#include "ui/cardlabel.h"
#include "ui/cardpictures.h"
#include "ui/designscale.h"

namespace ombrix::windows {

using ui::CardPictures;

namespace {
constexpr int kWidth = 434, kHeight = 133;

ui::CardLabel* cardLabel(QWidget* parent, const char* name, int x, int y) {
  auto* l = new ui::CardLabel(parent);
  l->setObjectName(name);
  l->setGeometry(x, y, CardPictures::kWidth, CardPictures::kHeight);
  return l;
}
}  // namespace

Tlasttrick::Tlasttrick(QWidget* parent) : QDialog(parent, Qt::Tool | Qt::WindowStaysOnTopHint) {
  setObjectName("Tlasttrick");
  setWindowTitle("Last Trick");
  resize(kWidth, kHeight);
  move(31, 377);
  setStyleSheet("QDialog { background: #F5F0A9; }");
  const int xs[5] = {0, 5, 85, 165, 245};
  QFont bold("Arial");
  bold.setBold(true);
  bold.setPixelSize(11);
  for (int s = 1; s <= 4; ++s) {
    played[s] = cardLabel(this, qPrintable("played" + QString::number(s)), xs[s], 2);
    player[s] = new QLabel("<Waiting>", this);
    player[s]->setObjectName("player" + QString::number(s));
    player[s]->setGeometry(xs[s] - 1, 99, 73, 14);
    player[s]->setAlignment(Qt::AlignCenter);
    player[s]->setFont(bold);
  }
  label_winner = new QLabel("Winner", this);
  label_winner->setObjectName("label_winner");
  label_winner->setGeometry(0, 115, 325, 16);
  label_winner->setAlignment(Qt::AlignCenter);
  QFont w = bold;
  w.setPixelSize(13);
  label_winner->setFont(w);
  auto* lead = new QLabel("Lead Off:", this);
  lead->setGeometry(327, 2, 52, 14);
  lead->setFont(bold);
  label_ledoff = new QLabel("None", this);
  label_ledoff->setObjectName("label_ledoff");
  label_ledoff->setGeometry(380, 2, 54, 14);
  label_ledoff->setFont(bold);
  trumpcard = cardLabel(this, "trumpcard", 345, 18);
  auto* t = new QLabel("Trump", this);
  t->setGeometry(345, 116, 71, 14);
  t->setAlignment(Qt::AlignCenter);
  t->setFont(bold);
  ui::scaleWithWindow(this, {kWidth, kHeight});
}

QString Tlasttrick::suitName(int card) {
  if (card >= 1 && card <= 13) return "Clubs";
  if (card >= 14 && card <= 26) return "Diamonds";
  if (card >= 27 && card <= 39) return "Hearts";
  if (card >= 40 && card <= 52) return "Spades";
  return {};
}

void Tlasttrick::fill(const QString& winnerText, const std::array<int, 5>& cards, int trump, int led) {
  label_winner->setText(winnerText);
  for (int s = 1; s <= 4; ++s) played[s]->setCard(cards[s] > 0 ? cards[s] : -1);
  trumpcard->setCard(trump > 0 ? trump : -1);
  if (!suitName(led).isEmpty()) label_ledoff->setText(suitName(led));
}

bool Tlasttrick::event(QEvent* e) {
  if (e->type() == QEvent::WindowActivate && seatCaption)
    for (int s = 1; s <= 4; ++s) player[s]->setText(seatCaption(s));
  return QDialog::event(e);
}

}  // namespace ombrix::windows
