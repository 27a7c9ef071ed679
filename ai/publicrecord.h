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
  static constexpr int kMostPlays = 40;  // ten tricks of four cards

  Mask played = 0;                 // every card played this round
  std::array<Mask, 5> playedBy{};  // the same, by the seat that played it [1..4]
  std::array<uint8_t, 5> voids{};  // per seat: suits it has shown it lacks (suitBit)
  // The cards (bit index) in the order they were played. A record that saw
  // only part of the round (a table that joined late, a game taken up
  // again) holds fewer of them than `played` has cards.
  std::array<int8_t, kMostPlays> sequence{};
  int plays = 0;

  // The whole round is in `sequence`, so each card's moment can be replayed.
  bool wholeSequence() const { return plays == count(played); }

  // `seat` (1..4) plays `card` (1..52) to a trick whose led suit is
  // `ledSuit` (0..3; the card's own suit when it leads). Anything else is
  // no card of a round and changes nothing.
  void play(int seat, int card, int ledSuit) {
    if (seat < 1 || seat > 4 || card < 1 || card > kCards || ledSuit < 0 || ledSuit > 3) return;
    const Mask b = bit(indexOf(card));
    played |= b;
    playedBy[seat] |= b;
    if (suitIx(indexOf(card)) != ledSuit) voids[seat] |= suitBit(ledSuit);
    if (plays < kMostPlays) sequence[plays++] = static_cast<int8_t>(indexOf(card));
  }
};

}  // namespace ombrix::ai
