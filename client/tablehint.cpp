#include "client/tablehint.h"

#include <QLineEdit>

#include "ui/designscale.h"

namespace ombrix::client {

namespace {
// The hint's own seed: the same position gets the same advice.
constexpr uint64_t kHintSeed = 0x4849'4E54;
}  // namespace

TableHint::TableHint(TableView& table) : t_(table), editBid_(table.surface().findChild<QLineEdit*>("edit_bid")) {
  timer_.setInterval(0);  // a step whenever the window is idle
  connect(&timer_, &QTimer::timeout, this, [this] { step(); });
}

void TableHint::after(const TableEvent&) {
  const uint64_t now = t_.model().serial();
  if (now == seen_) return;  // a line or a sound: the advice stands
  seen_ = now;
  lower();
}

bool TableHint::ask() {
  const TableModel& m = t_.model();
  const int seat = m.mySeat();
  const bool bid = m.asksBid(seat) && !editBid_->isHidden();
  const bool card = m.awaitsCard(seat) && m.myTurn();
  if (!bid && !card) {
    t_.notice("There is nothing for you to decide now.");
    return false;
  }
  const ai::SeatView view = m.seatView();
  if (!decision_.start(view, ai::Skill::Strong, ai::decisionSeed(kHintSeed, m.round(), view))) {
    t_.notice("The hint cannot make sense of what this table was told.");
    return false;
  }
  serial_ = m.serial();
  timer_.start();
  return true;
}

void TableHint::step() {
  if (!decision_.active() || t_.model().serial() != serial_) {  // the table moved on
    timer_.stop();
    decision_.clear();
    return;
  }
  if (!decision_.step()) return;
  timer_.stop();
  show();
  decision_.clear();
}

void TableHint::show() {
  if (decision_.isBid()) {
    if (editBid_->isHidden()) return;
    editBid_->setText(QString::number(decision_.result()));
    editBid_->selectAll();  // a digit typed next replaces it
    return;
  }
  if (!t_.model().myTurn()) return;  // the player played meanwhile
  lower();
  for (CardImage* c : t_.cardImages()) {
    if (c->card != decision_.result() || ui::designRect(c).y() != kHandTop) continue;
    c->hinted = true;
    ui::designMove(c, {ui::designRect(c).x(), kHintedTop});
    if (t_.markedCard()) c->setFocus(Qt::OtherFocusReason);  // Enter plays it
  }
  t_.refreshNames();
}

CardImage* TableHint::hinted() const {
  for (CardImage* c : t_.cardImages())
    if (c->hinted) return c;
  return nullptr;
}

void TableHint::lower() {
  for (CardImage* c : t_.cardImages()) {
    if (!c->hinted) continue;
    c->hinted = false;
    if (ui::designRect(c).y() == kHintedTop) ui::designMove(c, {ui::designRect(c).x(), kHandTop});
  }
}

}  // namespace ombrix::client
