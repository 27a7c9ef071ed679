#include "client/tablemotion.h"

#include "ui/cardpictures.h"
#include "ui/designscale.h"

namespace ombrix::client {

namespace {
// Parts of the computer players' delay (500, 750 or 1000 ms) each motion
// takes: a card played arrives well before the next is due.
constexpr double kPlayPart = 0.4, kGatherPart = 0.5, kDealPart = 0.35, kTurnPart = 0.4;
// The deal hands out a card every this part of the delay, round the table.
constexpr int kDealStepsPerDelay = 30;

template <class T>
bool is(const TableEvent& e) {
  return std::holds_alternative<T>(e);
}
}  // namespace

TableMotion::TableMotion(TableView& table)
    : t_(table), flights_(new Flights(table.surface().findChild<QWidget*>("tableArea"))) {}

void TableMotion::setEnabled(bool on) {
  enabled_ = on;
  if (!on) flights_->landAll();
}

int TableMotion::playMs() const { return static_cast<int>(pace_ * kPlayPart); }
int TableMotion::gatherMs() const { return static_cast<int>(pace_ * kGatherPart); }
int TableMotion::dealMs() const { return static_cast<int>(pace_ * kDealPart); }
int TableMotion::dealStepMs() const { return pace_ / kDealStepsPerDelay; }
int TableMotion::turnMs() const { return static_cast<int>(pace_ * kTurnPart); }

QRect TableMotion::cardAt(const QPoint& topLeft) const {
  return {topLeft, QSize(ui::CardPictures::kWidth, ui::CardPictures::kHeight)};
}

QRect TableMotion::seatPlace(int seat) const {
  const QWidget* fan = t_.el("image_cards", seat);
  if (!fan) return {};
  if (seat != t_.model().mySeat()) return cardAt(ui::designRect(fan).topLeft());
  // The own hand: its middle, where the fan's place is empty.
  const std::vector<CardImage*> hand = t_.handInOrder();
  if (hand.empty()) return cardAt(ui::designRect(fan).topLeft());
  const QRect first = ui::designRect(hand.front()), last = ui::designRect(hand.back());
  return cardAt({(first.x() + last.x()) / 2, first.y()});
}

void TableMotion::before(const TableEvent& e) {
  if (!enabled_) return;
  const auto* p = std::get_if<ev::CardPlayed>(&e);
  if (!p || !TableModel::isSeat(p->seat)) return;
  // Where the card leaves from, before the window takes it there.
  playedFrom_ = {};
  if (p->seat == t_.model().mySeat()) {
    if (CardImage* c = t_.cardImage(p->position)) playedFrom_ = ui::designRect(c);
  } else if (const QWidget* fan = t_.el("image_cards", p->seat)) {
    const int count = t_.model().cardsShown(p->seat);
    const QRect r = ui::designRect(fan);
    playedFrom_ = cardAt({r.x() + ui::CardLabel::kFanStep * std::max(0, count - 1), r.y()});
  }
}

void TableMotion::after(const TableEvent& e) {
  if (!enabled_) return;
  if (is<ev::LogIn>(e) || is<ev::GameStarted>(e) || is<ev::RoundStarted>(e) || is<ev::GameFound>(e))
    return flights_->landAll();
  if (const auto* d = std::get_if<ev::Dealt>(&e)) return dealt(*d);
  if (const auto* p = std::get_if<ev::CardPlayed>(&e)) return played(*p);
  if (const auto* w = std::get_if<ev::TrickTaken>(&e)) return gathered(*w);
  if (const auto* c = std::get_if<ev::Trump>(&e)) return turned(*c);
}

void TableMotion::dealt(const ev::Dealt& e) {
  const int seat = e.seat;
  if (!TableModel::isSeat(seat)) return;
  flights_->land({Flights::Kind::Play, Flights::Kind::Gather});
  const int dealer = TableModel::isSeat(t_.model().dealer()) ? t_.model().dealer() : seat;
  const QRect from = seatPlace(dealer);
  // Round the table from the dealer's left, a card at a time.
  const int order = (seat - dealer - 1 + 2 * TableModel::kSeats) % TableModel::kSeats;
  auto delay = [&](int k) { return (k * TableModel::kSeats + order) * dealStepMs(); };
  if (seat == t_.model().mySeat()) {
    int k = 0;
    for (CardImage* c : t_.handInOrder())
      flights_->launch({Flights::Kind::Deal, 0, from, ui::designRect(c), delay(k++), dealMs(), c, false, false});
    return;
  }
  auto* fan = t_.el<ui::CardLabel>("image_cards", seat);
  const int count = fan ? fan->fanCount() : 0;
  const QRect r = fan ? ui::designRect(fan) : QRect();
  for (int k = 0; k < count; ++k)
    flights_->launch({Flights::Kind::Deal, 0, from, cardAt({r.x() + ui::CardLabel::kFanStep * k, r.y()}), delay(k),
                      dealMs(), fan, false, false});
}

void TableMotion::played(const ev::CardPlayed& e) {
  if (!TableModel::isSeat(e.seat) || playedFrom_.isNull()) return;
  flights_->land({Flights::Kind::Play, Flights::Kind::Gather, Flights::Kind::Deal});
  auto* place = t_.el<ui::CardLabel>("image_played", e.seat);
  if (!place) return;
  flights_->launch({Flights::Kind::Play, e.card, playedFrom_, ui::designRect(place), 0, playMs(), place, false, false});
  playedFrom_ = {};
}

void TableMotion::gathered(const ev::TrickTaken& e) {
  if (!TableModel::isSeat(e.seat)) return;
  flights_->land({Flights::Kind::Play});
  const QRect to = seatPlace(e.seat);
  const auto& cards = t_.model().lastTrick().cards;
  for (int seat = 1; seat <= TableModel::kSeats; ++seat) {
    const QWidget* place = t_.el("image_played", seat);
    if (!place || !TableModel::isCard(cards[seat])) continue;
    flights_->launch({Flights::Kind::Gather, cards[seat], ui::designRect(place), to, 0, gatherMs(), nullptr, false, true});
  }
}

void TableMotion::turned(const ev::Trump& e) {
  auto* trump = flights_->parentWidget()->findChild<ui::CardLabel*>("trumpcard", Qt::FindDirectChildrenOnly);
  if (!trump || !TableModel::isCard(e.card)) return;
  // Turned once the deal has gone round.
  const QRect r = ui::designRect(trump);
  flights_->launch({Flights::Kind::Turn, e.card, r, r, flights_->remainingMs(Flights::Kind::Deal), turnMs(), trump,
                    true, false});
}

}  // namespace ombrix::client
