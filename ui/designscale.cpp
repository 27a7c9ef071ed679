#include "ui/designscale.h"

#include <QEvent>
#include <QVariant>
#include <QWidget>
#include <cmath>

namespace ombrix::ui {

namespace {
// The properties a child and its container carry.
const char* const kRect = "ombrixDesignRect";
const char* const kFont = "ombrixDesignFont";  // > 0 pixels, < 0 points
const char* const kFactor = "ombrixDesignFactor";
const char* const kOffset = "ombrixDesignOffset";
// A child that covers its whole container at any size (a background).
const char* const kFill = "ombrixDesignFill";

int scaled(int v, qreal s) { return static_cast<int>(std::lround(v * s)); }

QPoint offsetOf(const QWidget* container) {
  return container ? container->property(kOffset).toPoint() : QPoint();
}

void layOut(QWidget* w, qreal s) {
  const QRect r = designRect(w);
  w->setGeometry(scaledRect(r, s).translated(offsetOf(w->parentWidget())));
}

void recordFont(QWidget* w) {
  if (w->property(kFont).isValid()) return;
  const QFont f = w->font();
  w->setProperty(kFont, f.pixelSize() > 0 ? double(f.pixelSize()) : -f.pointSizeF());
}

void scaleFont(QWidget* w, qreal s) {
  const double design = w->property(kFont).toDouble();
  if (design == 0) return;
  QFont f = w->font();
  if (design > 0) {
    const int px = std::max(1, scaled(static_cast<int>(design), s));
    if (f.pixelSize() == px) return;
    f.setPixelSize(px);
  } else {
    const qreal pt = -design * s;
    if (std::abs(f.pointSizeF() - pt) < 0.01) return;
    f.setPointSizeF(pt);
  }
  w->setFont(f);
}

// Lays the window's children out whenever its size changes.
class WindowScaler : public QObject {
 public:
  WindowScaler(QWidget* window, QSize design, std::function<void(qreal)> also)
      : QObject(window), window_(window), design_(design), also_(std::move(also)) {}

 protected:
  bool eventFilter(QObject* o, QEvent* e) override {
    if (o == window_ && e->type() == QEvent::Resize) apply();
    return false;
  }

 private:
  void apply() {
    const qreal s = fitFactor(window_->size(), design_);
    const QPoint offset((window_->width() - scaled(design_.width(), s)) / 2,
                        (window_->height() - scaled(design_.height(), s)) / 2);
    designScale(window_, s, offset);
    if (also_) also_(s);
  }
  QWidget* window_;
  QSize design_;
  std::function<void(qreal)> also_;
};

}  // namespace

QRect scaledRect(const QRect& r, qreal s) {
  if (s == 1) return r;
  return {scaled(r.x(), s), scaled(r.y(), s), scaled(r.width(), s), scaled(r.height(), s)};
}

QRect designRect(const QWidget* w) {
  const QVariant r = w->property(kRect);
  return r.isValid() ? r.toRect() : w->geometry();
}

void designPlace(QWidget* w, const QRect& r) {
  w->setProperty(kRect, r);
  layOut(w, designFactor(w->parentWidget()));
}

void designMove(QWidget* w, const QPoint& topLeft) { designPlace(w, QRect(topLeft, designRect(w).size())); }

void designResize(QWidget* w, const QSize& size) { designPlace(w, QRect(designRect(w).topLeft(), size)); }

void designFill(QWidget* w) {
  w->setProperty(kFill, true);
  if (w->parentWidget()) w->setGeometry(w->parentWidget()->rect());
}

qreal designFactor(const QWidget* container) {
  const QVariant f = container ? container->property(kFactor) : QVariant();
  return f.isValid() ? f.toDouble() : 1.0;
}

void designScale(QWidget* container, qreal s, QPoint offset) {
  container->setProperty(kFactor, s);
  container->setProperty(kOffset, offset);
  for (QObject* o : container->children()) {
    auto* w = qobject_cast<QWidget*>(o);
    if (!w || w->isWindow()) continue;
    if (w->property(kFill).toBool()) {
      w->setGeometry(container->rect());
      continue;
    }
    // First seen: what it is now is its design.
    if (!w->property(kRect).isValid()) w->setProperty(kRect, w->geometry());
    recordFont(w);
    scaleFont(w, s);
    layOut(w, s);
  }
}

qreal fitFactor(QSize space, QSize design) {
  if (design.isEmpty()) return 1;
  return std::max(1.0, std::min(qreal(space.width()) / design.width(), qreal(space.height()) / design.height()));
}

void scaleWithWindow(QWidget* window, QSize design, std::function<void(qreal)> also) {
  designScale(window, 1);  // the children as built are the design
  window->setMinimumSize(design);
  window->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
  window->installEventFilter(new WindowScaler(window, design, std::move(also)));
}

}  // namespace ombrix::ui
