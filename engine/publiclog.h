// What every table was told of the game that a game record keeps: each
// round's dealer and trump, the bids and the cards in the order they came,
// and each trick's winner. A saved game carries it, so a table that takes
// the game up again can write the rounds before as it saw them.
#pragma once

#include <cstdint>

namespace ombrix {

struct PublicEvent {
  enum Kind : uint8_t { Round, Bid, Play, Trick };
  Kind kind = Round;
  // Round: dealer, trump card. Bid: seat, bid. Play: seat, card. Trick: winner.
  uint8_t a = 0, b = 0;
  bool operator==(const PublicEvent&) const = default;
};

// A whole game's log: per round its start, four bids, up to 40 cards and 10 tricks.
constexpr size_t kMaxPublicEvents = 20 * (1 + 4 + 40 + 10);
// The starter's name as kept: the record shows no more of it.
constexpr size_t kMaxStarterName = 256;

}  // namespace ombrix
