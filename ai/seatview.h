// What one seat knows of the round: its own hand and the public history.
//
// The only input of every computer player and of the hint. Whoever builds it
// (the host for a computer seat, the table window for its own player) fills
// it from what that seat's table window is told, so a decision made from it
// can never depend on another seat's cards.
#pragma once

#include <array>
#include <cstdint>

#include "ai/cardmask.h"
#include "ai/publicrecord.h"
#include "ai/scoring.h"

namespace ombrix::ai {

constexpr int kNotBid = -1;

// How a seat is expected to choose, for reading what it bid and played. The
// host knows its own computer seats; anyone else is taken for a person, who
// is read like the Standard player but trusted less. (A seat known or seen
// to keep to the Classic rule is `classic`.)
enum class SeatModel : uint8_t { Person, Standard, Strong };

// The public record (played, playedBy, voids) and what this seat alone knows.
struct SeatView : PublicRecord {
  int seat = 0;                // 1..4, whose decision this is
  int handSize = 0;            // cards dealt to each seat this round
  int trumpCard = 0;           // the turned-up card, 1..52
  std::array<int, 11> hand{};  // own cards by hand position 1..10; 0 = empty
  int opener = 0;              // bid first, and leads the first trick
  std::array<int, 5> bids{kNotBid, kNotBid, kNotBid, kNotBid, kNotBid};  // [1..4]
  std::array<int, 5> tricks{};                                           // taken this round
  int leader = 0;              // seat that led (or is to lead) the current trick
  std::array<int, 4> trick{};  // the current trick's cards, in the order played
  int inTrick = 0;
  std::array<bool, 5> classic{};  // per seat: has kept to the Classic rule all game (RuleWatch)
  // Per seat, the hand positions not played yet this round (bit p), and for
  // each of them the suits it cannot hold: a seat keeping to the Classic rule
  // that followed from position p had none of the led suit below p.
  std::array<uint16_t, 5> openPositions{};
  std::array<std::array<uint8_t, 11>, 5> barred{};
  std::array<SeatModel, 5> models{};  // [1..4]
  // The game around the round, for playing to win it: each seat's total
  // before this round [1..4], and the rounds still to come after it (-1
  // when not known).
  std::array<int, 5> scores{};
  int roundsLeft = -1;
  const Scoring* scoring = &Scoring::game();

  Mask handMask() const;
  int trumpSuit() const { return suitIx(trumpCard - 1); }
  bool bidding() const { return bids[seat] == kNotBid; }
  // Cards still held by `s` (its own count for this seat); derived from the
  // tricks taken and the current trick, which every table sees.
  int cardsHeld(int s) const;
  // Hand position of a card of the own hand, 0 if not held.
  int positionOf(int card) const;
  // Cards the seat may play now: the led suit if it holds any, else all.
  Mask legal() const;
  // The bids the seat may make now (bit b for bid b), by the house rules.
  uint16_t allowedBids() const;
  // The allowed bid nearest to the one a player would like to make.
  int allowedBid(int wanted) const { return rules::nearestBid(allowedBids(), wanted); }
  // A view some deal of a real game could give: seats, cards, hand size,
  // bids and tricks within the game's bounds, the own hand, the table and
  // the record in agreement, and room among the unseen cards for every
  // other hand. A decision is made only for such a view.
  bool consistent() const;
};

}  // namespace ombrix::ai
