#include "ui/cardlabel.h"

#include <QPainter>
#include <cmath>

#include "ui/cardpictures.h"
#include "ui/designscale.h"

namespace ombrix::ui {

namespace {
// How dark the veil over a card that may not be played is.
const QColor kVeil(40, 40, 40, 110);
constexpr qreal kCornerRadius = 5;  // design pixels, the decks' own rounding
// The frame of the card that takes the trick: the trophy's gold.
const QColor kHighlight(0xE8, 0xB8, 0x20);
constexpr qreal kHighlightWidth = 3;  // design pixels
}  // namespace

CardLabel::CardLabel(QWidget* parent) : QLabel(parent) {
  setScaledContents(true);
  listener_ = CardPictures::instance().onRendered([this] {
    // A stand-in waits for its picture; a picture of another deck goes.
    if (!sharp_ || drawnFor_ != CardPictures::instance().styleGeneration()) refresh();
  });
}

CardLabel::~CardLabel() { CardPictures::instance().removeListener(listener_); }

QSize CardLabel::cardSize() const {
  const qreal f = designFactor(parentWidget());
  return {static_cast<int>(std::lround(CardPictures::kWidth * f)),
          static_cast<int>(std::lround(CardPictures::kHeight * f))};
}

void CardLabel::setCard(int n) {
  card_ = n;
  fan_ = 0;
  refresh();
}

void CardLabel::setFan(int count) {
  card_ = -1;
  fan_ = std::max(0, count);
  refresh();
}

void CardLabel::setDimmed(bool on) {
  if (dimmed_ == on) return;
  dimmed_ = on;
  update();
}

void CardLabel::setVeiled(bool on) {
  if (veiled_ == on) return;
  veiled_ = on;
  update();
}

void CardLabel::setHighlighted(bool on) {
  if (highlighted_ == on) return;
  highlighted_ = on;
  update();
}

void CardLabel::resizeEvent(QResizeEvent* e) {
  QLabel::resizeEvent(e);
  refresh();
}

void CardLabel::refresh() {
  sharp_ = true;
  CardPictures& pictures = CardPictures::instance();
  drawnFor_ = pictures.styleGeneration();
  if (card_ < 0 && fan_ == 0) return clear();
  const qreal dpr = devicePixelRatioF();
  if (card_ >= 0) {
    bool exact = true;
    setPixmap(pictures.picture(card_, size(), dpr, &exact));
    sharp_ = exact;
    return;
  }
  // A fan: the backs at the card's size, each on a whole device pixel.
  const QSize card = cardSize();
  bool exact = true;
  const QPixmap back = pictures.picture(0, card, dpr, &exact);
  sharp_ = exact;
  QPixmap p((QSizeF(size()) * dpr).toSize());
  p.setDevicePixelRatio(dpr);
  p.fill(Qt::transparent);
  QPainter g(&p);
  g.setRenderHint(QPainter::SmoothPixmapTransform);
  const qreal step = kFanStep * designFactor(parentWidget());
  for (int i = 0; i < fan_; ++i) {
    const qreal x = std::round(step * i * dpr) / dpr;
    g.drawPixmap(QRectF(QPointF(x, 0), QSizeF(card)), back, QRectF(back.rect()));
  }
  g.end();
  setPixmap(p);
}

void CardLabel::paintEvent(QPaintEvent* e) {
  if (veiled_) return;
  QLabel::paintEvent(e);
  if ((!dimmed_ && !highlighted_) || pixmap().isNull()) return;
  QPainter g(this);
  g.setRenderHint(QPainter::Antialiasing);
  const qreal s = designFactor(parentWidget());
  const qreal r = kCornerRadius * s;
  if (dimmed_) {
    g.setPen(Qt::NoPen);
    g.setBrush(kVeil);
    g.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), r, r);
  }
  if (highlighted_) {
    const qreal w = kHighlightWidth * s;
    g.setBrush(Qt::NoBrush);
    g.setPen(QPen(kHighlight, w));
    g.drawRoundedRect(QRectF(rect()).adjusted(w / 2, w / 2, -w / 2, -w / 2), r, r);
  }
}

}  // namespace ombrix::ui
