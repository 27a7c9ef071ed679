#include "client/flights.h"

#include <QPainter>
#include <QPaintEvent>
#include <algorithm>
#include <cmath>
#include <numbers>

#include "ui/cardpictures.h"
#include "ui/designscale.h"

namespace ombrix::client {

namespace {
// A card speeds up as it leaves and slows as it arrives.
qreal ease(qreal p) { return p < 0.5 ? 4 * p * p * p : 1 - std::pow(-2 * p + 2, 3) / 2; }
// A gathered card fades over the last part of its way.
constexpr qreal kFadeFrom = 0.55;
// A flying card's shadow, so it reads as above the table.
const QColor kShadow(0, 0, 0, 50);
constexpr qreal kShadowOffset = 3;  // design pixels
constexpr qreal kLift = 6;          // design pixels a card rises at mid-flight
}  // namespace

Flights::Flights(QWidget* tableArea) : QWidget(tableArea) {
  setObjectName("flights");
  setAttribute(Qt::WA_TransparentForMouseEvents);
  setFocusPolicy(Qt::NoFocus);
  ui::designPlace(this, QRect(QPoint(), ui::designRect(tableArea).size()));
  timer_.setTimerType(Qt::PreciseTimer);
  timer_.setInterval(kFrameMs);
  connect(&timer_, &QTimer::timeout, this, [this] { tick(); });
  clock_.start();
  // Always there, drawing nothing while no card flies: showing and hiding a
  // layer over the whole table would redraw all of it each time.
  show();
}

void Flights::launch(const Flight& f) {
  if (f.lands) f.lands->setVeiled(true);
  flights_.push_back({f, clock_.elapsed() + f.delayMs, false});
  if (parentWidget()->children().constLast() != this) raise();
  if (!timer_.isActive()) timer_.start();
  updateAround(flights_.back(), clock_.elapsed());
}

void Flights::land(std::initializer_list<Kind> kinds) {
  bool any = false;
  for (Active& a : flights_)
    if (std::find(kinds.begin(), kinds.end(), a.f.kind) != kinds.end()) {
      a.arrived = true;
      any = true;
    }
  if (!any) return;
  update();
  settle();
}

void Flights::landAll() { land({Kind::Deal, Kind::Play, Kind::Gather, Kind::Turn}); }

int Flights::remainingMs(Kind kind) const {
  const qint64 now = clock_.elapsed();
  qint64 last = 0;
  for (const Active& a : flights_)
    if (a.f.kind == kind && !a.arrived) last = std::max(last, a.start + a.f.durationMs - now);
  return static_cast<int>(std::max<qint64>(0, last));
}

QRectF Flights::where(const Active& a, qint64 now) const {
  const qreal p = a.arrived || a.f.durationMs <= 0
                      ? 1.0
                      : ease(std::clamp(qreal(now - a.start) / a.f.durationMs, qreal(0), qreal(1)));
  const QRectF from(a.f.from), to(a.f.to);
  QRectF r(from.topLeft() + (to.topLeft() - from.topLeft()) * p, from.size() + (to.size() - from.size()) * p);
  // A card is lifted off the table on its way (its shadow falls further).
  r.translate(0, -kLift * std::sin(p * std::numbers::pi));
  return r;
}

QRect Flights::onScreen(const QRectF& design) const {
  const qreal s = ui::designFactor(parentWidget());
  return QRectF(design.x() * s, design.y() * s, design.width() * s, design.height() * s).toAlignedRect();
}

void Flights::updateAround(const Active& a, qint64 now) {
  const qreal margin = kShadowOffset + kLift + 2;
  update(onScreen(where(a, now).adjusted(-margin, -margin, margin, margin)));
}

void Flights::tick() {
  // Above whatever the table raised since (a card played, the hand sorted).
  if (parentWidget()->children().constLast() != this) raise();
  const qint64 now = clock_.elapsed();
  for (Active& a : flights_) {
    if (now < a.start) continue;
    // The place it was drawn last frame, and where it is now.
    updateAround(a, now - kFrameMs);
    updateAround(a, now);
    if (!a.arrived && now >= a.start + a.f.durationMs) a.arrived = true;
  }
  settle();
}

void Flights::settle() {
  // A place is unveiled once every card bound there has arrived; those
  // cards are drawn at their place until then.
  std::vector<Active> keep;
  for (const Active& a : flights_) {
    const bool allIn = std::all_of(flights_.begin(), flights_.end(), [&](const Active& b) {
      return b.arrived || !a.f.lands || b.f.lands != a.f.lands;
    });
    if (a.arrived && (allIn || !a.f.lands)) {
      if (a.f.lands) a.f.lands->setVeiled(false);
      update(onScreen(QRectF(a.f.to).adjusted(-12, -12, 12, 12)));
    } else {
      keep.push_back(a);
    }
  }
  flights_.swap(keep);
  if (flights_.empty()) timer_.stop();
}

void Flights::paintEvent(QPaintEvent*) {
  if (flights_.empty()) return;
  QPainter g(this);
  g.setRenderHint(QPainter::SmoothPixmapTransform);
  g.setRenderHint(QPainter::Antialiasing);
  const qint64 now = clock_.elapsed();
  const qreal s = ui::designFactor(parentWidget());
  const qreal dpr = devicePixelRatioF();
  auto& pictures = ui::CardPictures::instance();
  for (const Active& a : flights_) {
    if (now < a.start && !a.arrived) continue;
    const qreal p =
        a.arrived || a.f.durationMs <= 0 ? 1.0 : std::clamp(qreal(now - a.start) / a.f.durationMs, qreal(0), qreal(1));
    QRectF r = where(a, now);
    int card = a.f.card;
    if (a.f.flip) {
      // Turned over about its upright middle: narrowing to an edge, then the face.
      const qreal w = r.width() * std::abs(std::cos(p * std::numbers::pi));
      r = QRectF(r.center().x() - w / 2, r.y(), w, r.height());
      if (p < 0.5) card = 0;
    }
    const QRectF screen(r.x() * s, r.y() * s, r.width() * s, r.height() * s);
    if (screen.width() < 0.5) continue;
    g.setOpacity(a.f.fade && p > kFadeFrom ? 1 - (p - kFadeFrom) / (1 - kFadeFrom) : 1);
    // Rounded as the table's cards are, so that the pictures drawn for them serve.
    const QSize cardSize = ui::scaledRect(QRect(QPoint(), a.f.to.size()), s).size();
    if (!a.arrived && p > 0 && p < 1) {
      const qreal off = (kShadowOffset + kLift * std::sin(p * std::numbers::pi)) * s;
      g.setPen(Qt::NoPen);
      g.setBrush(kShadow);
      g.drawRoundedRect(screen.translated(off / 2, off), 5 * s, 5 * s);
    }
    const QPixmap picture = pictures.picture(card, cardSize, dpr);
    g.drawPixmap(screen, picture, QRectF(picture.rect()));
  }
  if (onFrame) onFrame();
}

}  // namespace ombrix::client
