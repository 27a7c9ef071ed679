#include "widgets/art.h"

#include <QPainter>
#include <QPainterPath>

namespace ombrix::widgets {

namespace {
// 0x00BBGGRR 0xA9F0F5: the table's pale yellow.
const QColor kTable(0xF5, 0xF0, 0xA9);

// A transparent picture of w by h design pixels, drawn `scale` times as large
// on a screen of pixel ratio dpr: its painter draws in design pixels.
QPixmap blank(int w, int h, qreal scale = 1, qreal dpr = 1) {
  QPixmap p(QSize(qRound(w * scale * dpr), qRound(h * scale * dpr)));
  p.setDevicePixelRatio(dpr);
  p.fill(Qt::transparent);
  return p;
}
}  // namespace

QPixmap backgroundTile() {
  QPixmap p(64, 64);
  p.fill(kTable);
  QPainter g(&p);
  g.setRenderHint(QPainter::Antialiasing);
  g.setPen(QPen(kTable.darker(106), 1));
  for (int i = -64; i < 64; i += 16) g.drawLine(i, 0, i + 64, 64);  // a faint cloth weave
  g.setPen(QPen(kTable.darker(103), 1));
  for (int i = 0; i < 128; i += 16) g.drawLine(i, 0, i - 64, 64);
  return p;
}

QPixmap turnArrow(qreal scale, qreal dpr) {
  QPixmap p = blank(27, 44, scale, dpr);
  QPainter g(&p);
  g.scale(scale, scale);
  g.setRenderHint(QPainter::Antialiasing);
  QPainterPath a;
  a.moveTo(2, 12);
  a.lineTo(14, 12);
  a.lineTo(14, 3);
  a.lineTo(26, 22);
  a.lineTo(14, 41);
  a.lineTo(14, 32);
  a.lineTo(2, 32);
  a.closeSubpath();
  g.fillPath(a, QColor(0x20, 0x90, 0x30));
  g.setPen(QPen(Qt::black, 1));
  g.drawPath(a);
  return p;
}

QPixmap watchEyes(qreal scale, qreal dpr) {
  QPixmap p = blank(24, 17, scale, dpr);
  QPainter g(&p);
  g.scale(scale, scale);
  g.setRenderHint(QPainter::Antialiasing);
  for (int x : {1, 13}) {
    g.setBrush(Qt::white);
    g.setPen(QPen(Qt::black, 1));
    g.drawEllipse(x, 2, 10, 13);
    g.setBrush(Qt::black);
    g.drawEllipse(x + 4, 7, 4, 5);
  }
  return p;
}

QPixmap winnerMark(qreal scale, qreal dpr) {
  QPixmap p = blank(82, 88, scale, dpr);
  QPainter g(&p);
  g.scale(scale, scale);
  g.setRenderHint(QPainter::Antialiasing);
  QPainterPath cup;  // a trophy
  cup.moveTo(16, 8);
  cup.lineTo(66, 8);
  cup.cubicTo(66, 40, 54, 52, 41, 54);
  cup.cubicTo(28, 52, 16, 40, 16, 8);
  g.fillPath(cup, QColor(0xE8, 0xB8, 0x20));
  g.setPen(QPen(QColor(0x80, 0x60, 0x10), 2));
  g.drawPath(cup);
  g.drawArc(2, 12, 20, 22, 90 * 16, 180 * 16);
  g.drawArc(60, 12, 20, 22, 270 * 16, 180 * 16);
  g.fillRect(36, 54, 10, 16, QColor(0xE8, 0xB8, 0x20));
  g.fillRect(22, 70, 38, 10, QColor(0x80, 0x60, 0x10));
  return p;
}

QPixmap trickMark(qreal scale, qreal dpr) {
  QPixmap p = blank(32, 41, scale, dpr);
  QPainter g(&p);
  g.scale(scale, scale);
  g.setRenderHint(QPainter::Antialiasing);
  g.setPen(QPen(Qt::black, 1));
  for (int i = 0; i < 3; ++i) {  // a small stack of cards
    g.setBrush(i == 2 ? QColor(0x30, 0x50, 0xA0) : Qt::white);
    g.drawRoundedRect(2 + 4 * i, 2 + 3 * i, 20, 30, 3, 3);
  }
  return p;
}

QPixmap buttonFace(const QString& text, QSize size, qreal scale, qreal dpr) {
  QPixmap p = blank(size.width(), size.height(), scale, dpr);
  QPainter g(&p);
  g.scale(scale, scale);
  g.setRenderHint(QPainter::Antialiasing);
  QLinearGradient grad(0, 0, 0, size.height());
  grad.setColorAt(0, QColor(0x70, 0x40, 0x20));
  grad.setColorAt(1, QColor(0x40, 0x20, 0x10));
  g.setBrush(grad);
  g.setPen(QPen(QColor(0x20, 0x10, 0x00), 1));
  g.drawRoundedRect(QRectF(0.5, 0.5, size.width() - 1, size.height() - 1), 5, 5);
  QFont f("Arial");
  f.setBold(true);
  f.setPixelSize(12);
  g.setFont(f);
  g.setPen(QColor(0xFF, 0xF0, 0xC0));
  g.drawText(QRect(QPoint(0, 0), size), Qt::AlignCenter, text);
  return p;
}

BackgroundPanel::BackgroundPanel(QWidget* parent) : QWidget(parent) {}

void BackgroundPanel::paintEvent(QPaintEvent*) {
  static const QPixmap tile = backgroundTile();
  QPainter g(this);
  g.drawTiledPixmap(rect(), tile);
}

QPixmap phraseFace(bool sound, qreal scale, qreal dpr) {
  QPixmap p = blank(21, 15, scale, dpr);
  QPainter g(&p);
  g.scale(scale, scale);
  g.setRenderHint(QPainter::Antialiasing);
  g.setPen(QPen(QColor(0x80, 0x40, 0x00), 1.2));
  if (sound) {
    QPainterPath speaker;  // a cone and two waves
    speaker.moveTo(3, 5);
    speaker.lineTo(6, 5);
    speaker.lineTo(10, 2);
    speaker.lineTo(10, 13);
    speaker.lineTo(6, 10);
    speaker.lineTo(3, 10);
    speaker.closeSubpath();
    g.setBrush(QColor(0xF0, 0xC0, 0x40));
    g.drawPath(speaker);
    g.setBrush(Qt::NoBrush);
    g.drawArc(QRectF(9, 4, 5, 7), -60 * 16, 120 * 16);
    g.drawArc(QRectF(9, 1.5, 9, 12), -60 * 16, 120 * 16);
  } else {
    QPainterPath bubble;  // a speech bubble with its tail
    bubble.addRoundedRect(QRectF(2, 1.5, 17, 9), 4, 4);
    bubble.moveTo(6, 10);
    bubble.lineTo(5, 14);
    bubble.lineTo(10, 10);
    g.setBrush(Qt::white);
    g.drawPath(bubble.simplified());
    g.setBrush(QColor(0x80, 0x40, 0x00));
    for (int k = 0; k < 3; ++k) g.drawEllipse(QPointF(6.5 + 4 * k, 6), 0.9, 0.9);
  }
  return p;
}

QPixmap logo(qreal scale, qreal dpr) {
  QPixmap p = blank(280, 60, scale, dpr);
  QPainter g(&p);
  g.scale(scale, scale);
  g.setRenderHint(QPainter::Antialiasing);
  QFont f("Liberation Serif");
  f.setPixelSize(44);
  f.setBold(true);
  f.setItalic(true);
  QPainterPath word;
  word.addText(8, 46, f, "Ombrix");
  g.setPen(QPen(QColor(0x40, 0x20, 0x00), 2));
  g.setBrush(QColor(0x80, 0x40, 0x00));
  g.drawPath(word);
  // Four suit dots after the name: one seat each.
  const QColor suits[4] = {Qt::black, QColor(0xC0, 0, 0), QColor(0xC0, 0, 0), Qt::black};
  for (int k = 0; k < 4; ++k) {
    g.setPen(Qt::NoPen);
    g.setBrush(suits[k]);
    g.drawEllipse(QPointF(190 + 18 * k, 34), 6, 6);
  }
  return p;
}

void paintIcon(QPainter& g, qreal side) {
  // Drawn on a 64-unit square.
  constexpr qreal kUnits = 64;
  g.save();
  g.setRenderHint(QPainter::Antialiasing);
  g.scale(side / kUnits, side / kUnits);

  QPainterPath cloth;
  cloth.addRoundedRect(QRectF(2, 2, 60, 60), 11, 11);
  g.fillPath(cloth, kTable);
  // The background tile's weave, cut to the cloth as a shape of its own (an
  // SVG writer may drop clipping).
  QPainterPath weave;
  for (qreal i = -64; i < 64; i += 8) {
    weave.moveTo(i, 0);
    weave.lineTo(i + 64, 64);
  }
  QPainterPathStroker thread;
  thread.setWidth(0.8);
  g.fillPath(thread.createStroke(weave).intersected(cloth), kTable.darker(110));
  g.setPen(QPen(QColor(0x80, 0x40, 0x00), 2));
  g.setBrush(Qt::NoBrush);
  g.drawPath(cloth);

  // Three cards fanned from a point below the cloth, as a hand is held.
  const QRectF card(-12.5, -46, 25, 35);
  const qreal angles[3] = {-22, -6, 12};
  for (int k = 0; k < 3; ++k) {
    g.save();
    g.translate(30, 60);
    g.rotate(angles[k]);
    g.setPen(QPen(Qt::black, 1));
    g.setBrush(k == 0 ? QColor(0x30, 0x50, 0xA0) : QColor(Qt::white));  // the trick mark's back
    g.drawRoundedRect(card, 3, 3);
    if (k == 2) {
      QFont f("Liberation Serif");
      f.setPixelSize(24);
      f.setBold(true);
      f.setItalic(true);
      QPainterPath initial;
      initial.addText(0, 0, f, "O");
      const QRectF box = initial.boundingRect();
      initial.translate(card.center().x() - box.center().x(), card.top() + 17 - box.center().y());
      g.setPen(QPen(QColor(0x40, 0x20, 0x00), 0.8));
      g.setBrush(QColor(0x80, 0x40, 0x00));
      g.drawPath(initial);
      const QColor suits[4] = {Qt::black, QColor(0xC0, 0, 0), QColor(0xC0, 0, 0), Qt::black};
      g.setPen(Qt::NoPen);
      for (int d = 0; d < 4; ++d) {
        g.setBrush(suits[d]);
        g.drawEllipse(QPointF(card.left() + 5 + 5 * d, card.bottom() - 6), 1.8, 1.8);
      }
    }
    g.restore();
  }
  g.restore();
}

QIcon appIcon() {
  QIcon icon;
  for (int side : {16, 24, 32, 48, 64, 128, 256}) {
    QPixmap p = blank(side, side);
    QPainter g(&p);
    paintIcon(g, side);
    g.end();
    icon.addPixmap(p);
  }
  return icon;
}

}  // namespace ombrix::widgets
