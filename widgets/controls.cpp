#include "widgets/controls.h"

#include <QPainter>
#include <QStyle>

#include "widgets/art.h"

namespace ombrix::widgets {

namespace {
// The smallest a caption's text is drawn to fit, against its own size.
constexpr qreal kSmallestFit = 0.6;
}  // namespace

void FitLabel::paintEvent(QPaintEvent* e) {
  const QRect area = contentsRect();
  const QString t = text();
  if (t.isEmpty() || textFormat() == Qt::RichText || wordWrap() ||
      fontMetrics().horizontalAdvance(t) <= area.width())
    return QLabel::paintEvent(e);
  QFont f = font();
  const qreal full = f.pixelSize() > 0 ? f.pixelSize() : f.pointSizeF();
  for (qreal size = full - 0.5; size >= full * kSmallestFit; size -= 0.5) {
    if (f.pixelSize() > 0)
      f.setPixelSize(static_cast<int>(size));
    else
      f.setPointSizeF(size);
    if (QFontMetrics(f).horizontalAdvance(t) <= area.width()) break;
  }
  QPainter g(this);
  g.setFont(f);
  g.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, foregroundRole()));
  g.drawText(area, static_cast<int>(alignment()), t);
}

ArtLabel::ArtLabel(QWidget* parent, QSize design, Art art) : QLabel(parent), design_(design), art_(std::move(art)) {
  resize(design);
  setPixmap(art_(1, devicePixelRatioF()));
}

void ArtLabel::resizeEvent(QResizeEvent* e) {
  QLabel::resizeEvent(e);
  if (design_.width() <= 0 || width() <= 0) return;
  setPixmap(art_(qreal(width()) / design_.width(), devicePixelRatioF()));
}

PictureButton::PictureButton(QWidget* parent, const QString& caption, QSize design)
    : QPushButton(parent), caption_(caption), design_(design) {
  setFlat(true);
  setStyleSheet("QPushButton { border: none; }");
  setToolTip(caption);
  setAccessibleName(caption);
  resize(design);
  setIcon(buttonFace(caption, design, 1, devicePixelRatioF()));
  setIconSize(design);
}

void PictureButton::resizeEvent(QResizeEvent* e) {
  QPushButton::resizeEvent(e);
  if (design_.width() <= 0 || width() <= 0) return;
  const qreal scale = qreal(width()) / design_.width();
  setIcon(buttonFace(caption_, design_, scale, devicePixelRatioF()));
  setIconSize(size());
}

}  // namespace ombrix::widgets
