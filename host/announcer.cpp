// The engine's events as announcements, and the game's requests as the
// engine's calls: the one place the game and its wire meet.
#include "host/announcer.h"

#include <array>

#include "host/server.h"
#include "protocol/commands.h"
#include "protocol/fields.h"

namespace ombrix {

namespace build = wire::build;
namespace parse = wire::parse;

namespace {
template <class... F>
struct Overloaded : F... {
  using F::operator()...;
};
template <class... F>
Overloaded(F...) -> Overloaded<F...>;
}  // namespace

Occupant Announcer::occupant(int seat) const {
  const Slot& s = slots_[seat];
  return {s.inUse, s.watching, s.name};
}

void Announcer::announce(std::string_view message) {
  for (int j = 1; j <= slotCount_; ++j)
    if (slots_[j].inUse) out_.send(j, message);
}

void Announcer::report(const GameEvent& event, ev::Audience to) {
  std::string& m = msg_;
  bool sent = false;
  std::visit(Overloaded{
                 [&](const ev::GameStarted& e) { build::startgame(m, e.starter, e.kind); },
                 [&](const ev::RoundStarted& e) { build::startround(m, e.round, e.dealer); },
                 [&](const ev::HandDealt& e) {
                   sendHand(e);
                   sent = true;
                 },
                 [&](const ev::Trump& e) { build::trump(m, e.card); },
                 [&](const ev::BidAsked& e) { build::bidAsk(m, e.bidder, e.handSize, e.starter); },
                 [&](const ev::BidMade& e) { build::hisbid(m, e.seat, e.bid, e.total); },
                 [&](const ev::NextPlayer& e) { build::nextplayer(m, e.seat); },
                 [&](const ev::NeedSuit& e) { build::needsuit(m, e.seat, e.position); },
                 [&](const ev::CardPlayed& e) { build::playcard(m, e.seat, e.position, e.card); },
                 [&](const ev::TrickWon& e) { build::trickwinner(m, e.seat, e.tricks); },
                 [&](const ev::Scored& e) { build::score(m, e.seat, e.total, e.points); },
                 [&](const ev::Winner& e) { build::winner(m, e.names, e.best); },
             },
             event);
  if (sent) return;
  if (to.kind == ev::Audience::Kind::Everyone)
    announce(m);
  else if (to.seat >= 1 && to.seat <= kLastSlot && slots_[to.seat].inUse)
    out_.send(to.seat, m);
}

void Announcer::sendHand(const ev::HandDealt& e) {
  // One message a seat for every table: the seat's own shows the cards.
  std::array<wire::PositionCard, rules::kMaxHand> open{}, backs{};
  for (int k = 1; k <= e.count; ++k) {
    open[k - 1] = {k, e.cards[k - 1]};
    backs[k - 1] = {k, kNoCard};
  }
  build::placecard(msg_, e.seat, open.data(), e.count);
  build::placecard(hidden_, e.seat, backs.data(), e.count);
  for (int j = 1; j <= slotCount_; ++j)
    if (slots_[j].inUse) out_.send(j, j == e.seat ? msg_ : hidden_);
}

// --- The game's requests ------------------------------------------------------------

void TServer::startgame(std::string_view fields) {
  auto req = parse::startgameRequest(fields);
  if (!req) return;
  // A new game seats everyone again.
  for (int s = 1; s <= kSeats; ++s) slots[s].watching = false;
  engine.startgame(req->name, req->kind);
}

void TServer::hisbid(std::string_view fields) {
  if (auto req = parse::bid(fields)) engine.bid(req->slot, req->value);
}

void TServer::playcard(std::string_view fields) {
  if (auto req = parse::playcardRequest(fields)) engine.play(req->slot, req->value);
}

// The bot speed and skill are the host's own player's to choose, for every
// computer seat.
void TServer::botspeed(std::string_view fields) {
  auto req = parse::botspeed(fields);
  if (req && req->slot == 1) engine.setBotSpeed(req->value);
}

void TServer::botskill(std::string_view fields) {
  auto req = parse::botskill(fields);
  if (!req || req->slot != 1) return;
  if (auto skill = ai::skillNamed(req->text)) engine.setBotSkill(*skill);
}

}  // namespace ombrix
