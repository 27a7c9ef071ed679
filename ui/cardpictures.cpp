#include "ui/cardpictures.h"

#include <QFile>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QSvgRenderer>

#include "base/carddecks.h"
#include "base/cards.h"

namespace ombrix::ui {

CardPictures& CardPictures::instance() {
  static CardPictures pictures;
  return pictures;
}

CardPictures::CardPictures() {
  for (const char* path : kCardDecks) {
    if (!QFile::exists(path)) continue;
    auto r = std::make_unique<QSvgRenderer>(QString(path));
    if (r->isValid()) {
      svg_ = std::move(r);
      break;
    }
  }
}

CardPictures::~CardPictures() = default;

QString CardPictures::elementId(int n) {
  if (n < 1 || n > kDeckSize) return "back";
  static const char* const suits[] = {"", "club", "diamond", "heart", "spade"};
  static const char* const ranks[] = {"",  "2", "3",  "4",    "5",     "6",    "7",
                                      "8", "9", "10", "jack", "queen", "king", "1"};
  return QString("%1_%2").arg(ranks[rankOf(n)], suits[suitOf(n)]);
}

const QPixmap& CardPictures::picture(int n) {
  if (n < 0 || n > kDeckSize) n = 0;
  QPixmap& p = cache_[n];
  if (!p.isNull()) return p;
  const qreal ratio =
      qGuiApp && qGuiApp->primaryScreen() ? qGuiApp->primaryScreen()->devicePixelRatio() : 1.0;
  p = QPixmap(QSize(kWidth, kHeight) * ratio);
  p.setDevicePixelRatio(ratio);
  p.fill(Qt::transparent);
  QPainter g(&p);
  g.setRenderHint(QPainter::Antialiasing);
  const QRectF area(0, 0, kWidth, kHeight);
  if (svg_ && svg_->elementExists(elementId(n))) {
    svg_->render(&g, elementId(n), area);
  } else {
    // No deck installed: a plain card with its rank and suit.
    g.setBrush(n ? Qt::white : QColor(0x30, 0x50, 0xA0));
    g.setPen(Qt::black);
    g.drawRoundedRect(area.adjusted(0.5, 0.5, -0.5, -0.5), 5, 5);
    if (n) {
      static const char* const r = "?23456789TJQKA";
      static const QString s[] = {"", "\u2663", "\u2666", "\u2665", "\u2660"};
      g.setPen(suitOf(n) == kDiamonds || suitOf(n) == kHearts ? Qt::red : Qt::black);
      g.drawText(area, Qt::AlignCenter, QString(QChar(r[rankOf(n)])) + s[suitOf(n)]);
    }
  }
  return p;
}

}  // namespace ombrix::ui
