// What the engine tells the tables, as typed events, and what it asks of the
// host about who sits where. The host (host/announcer.*) writes each event
// as the wire's text and keeps the connections; the engine knows neither, so
// a rule can be played and tested without a byte of the wire.
//
// A new announcement is a struct here, added to GameEvent, reported where
// the game makes it, and given its text in host/announcer.cpp (the visit
// there does not compile until it has one).
#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <variant>

#include "base/cards.h"
#include "rules/rules.h"

namespace ombrix {

namespace ev {

// Who hears an event: every table at the host, or one seat's own.
struct Audience {
  enum class Kind : uint8_t { Everyone, Seat };
  Kind kind = Kind::Everyone;
  int seat = 0;
  static Audience everyone() { return {}; }
  static Audience only(int seat) { return {Kind::Seat, seat}; }
};

// Text fields are views into the engine's state, valid during the report.
struct GameStarted {
  std::string_view starter, kind;
};
struct RoundStarted {
  int round, dealer;
};
// A seat's new hand: its own table sees the cards, every other their backs.
struct HandDealt {
  int seat, count;
  std::array<int, rules::kMaxHand> cards;  // positions 1..count
};
struct Trump {
  int card;
};
struct BidAsked {
  int bidder, handSize, starter;
};
struct BidMade {
  int seat, bid, total;
};
struct NextPlayer {
  int seat;
};
// The card at `position` does not follow suit; the seat is to play another.
struct NeedSuit {
  int seat, position;
};
struct CardPlayed {
  int seat, position, card;
};
struct TrickWon {
  int seat, tricks;
};
// May be negative under house rules.
struct Scored {
  int seat, total, points;
};
struct Winner {
  std::string_view names;
  int best;
};

}  // namespace ev

using GameEvent = std::variant<ev::GameStarted, ev::RoundStarted, ev::HandDealt, ev::Trump, ev::BidAsked,
                               ev::BidMade, ev::NextPlayer, ev::NeedSuit, ev::CardPlayed, ev::TrickWon,
                               ev::Scored, ev::Winner>;

// Who holds a seat, as the host's table of connections has it.
struct Occupant {
  bool person = false;    // a connection holds the seat
  bool watching = false;  // and its person chose to watch: the host moves for it
  std::string_view name;  // empty until it logged in
};

// The host as the engine sees it.
class GameHost {
 public:
  virtual ~GameHost() = default;
  virtual void report(const GameEvent& event, ev::Audience to) = 0;
  virtual Occupant occupant(int seat) const = 0;
};

}  // namespace ombrix
