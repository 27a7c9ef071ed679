// What every table sees of a round: each card played, by whom, and the
// suits a seat has shown it lacks by not following. The host keeps one for
// its computer seats and a table window one for its own player's hint, both
// through play(), so the two can never read the table differently.
#pragma once

#include <array>
#include <cstdint>

#include "ai/cardmask.h"

namespace ombrix::ai {

struct PublicRecord {
  Mask played = 0;                 // every card played this round
  std::array<Mask, 5> playedBy{};  // the same, by the seat that played it [1..4]
  std::array<uint8_t, 5> voids{};  // per seat: suits it has shown it lacks (suitBit)

  // `seat` (1..4) plays `card` (1..52) to a trick whose led suit is
  // `ledSuit` (0..3; the card's own suit when it leads). Anything else is
  // no card of a round and changes nothing.
  void play(int seat, int card, int ledSuit) {
    if (seat < 1 || seat > 4 || card < 1 || card > kCards || ledSuit < 0 || ledSuit > 3) return;
    const Mask b = bit(indexOf(card));
    played |= b;
    playedBy[seat] |= b;
    if (suitIx(indexOf(card)) != ledSuit) voids[seat] |= suitBit(ledSuit);
  }
};

}  // namespace ombrix::ai
