#include "client/tablehint.h"

#include <QLineEdit>

#include "client/chatform.h"
#include "client/tableaccess.h"
#include "client/tablekeys.h"
#include "protocol/commands.h"

namespace ombrix::client {

namespace {
// The hint's own seed: the same position gets the same advice.
constexpr uint64_t kHintSeed = 0x4849'4E54;
}  // namespace

TableHint::TableHint(Tchat& table) : t_(table) {
  timer_.setInterval(0);  // a step whenever the window is idle
  connect(&timer_, &QTimer::timeout, this, [this] { step(); });
}

void TableHint::heard(const std::string& entry) {
  const auto [name, fields] = wire::splitCommand(entry);
  const uint64_t before = knowledge_.serial();
  knowledge_.observe(name, fields);
  if (knowledge_.serial() == before) return;  // a line or a sound: the advice stands
  lower();
}

bool TableHint::ask() {
  const int seat = t_.mySeat;
  const bool bid = knowledge_.asksBid(seat) && !t_.edit_bid->isHidden();
  const bool card = knowledge_.awaitsCard(seat) && t_.myTurn;
  if (!bid && !card) {
    t_.addlinetochat("There is nothing for you to decide now.");
    return false;
  }
  const ai::SeatView view = knowledge_.view(seat);
  decision_.start(view, ai::Skill::Strong, ai::decisionSeed(kHintSeed, knowledge_.round(), view));
  serial_ = knowledge_.serial();
  timer_.start();
  return true;
}

void TableHint::step() {
  if (!decision_.active() || knowledge_.serial() != serial_) {  // the table moved on
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
    if (t_.edit_bid->isHidden()) return;
    t_.edit_bid->setText(QString::number(decision_.result()));
    t_.edit_bid->selectAll();  // a digit typed next replaces it
    return;
  }
  if (!t_.myTurn) return;  // the player played meanwhile
  lower();
  for (CardImage* c : t_.cardImages()) {
    if (c->card != decision_.result() || c->y() != kHandTop) continue;
    c->hinted = true;
    c->move(c->x(), kHintedTop);
    if (t_.keys && t_.keys->marked()) c->setFocus(Qt::OtherFocusReason);  // Enter plays it
  }
  if (t_.access) t_.access->refresh();
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
    if (c->y() == kHintedTop) c->move(c->x(), kHandTop);
  }
}

}  // namespace ombrix::client
