// A round being played out inside a computer player's head: four hands as
// masks and the public state of the round, seats 0..3. Small and copied
// freely; play() is the only rule it knows (the legal cards and the trick's
// winner), and it keeps the public facts a seat may reason from: the cards
// played and the suits each seat has shown it lacks.
#pragma once

#include <array>
#include <cstdint>

#include "ai/cardmask.h"
#include "ai/scoring.h"

namespace ombrix::ai {

struct PlayState {
  std::array<Mask, 4> hand{};
  Mask played = 0;  // cards played this round
  Mask gone = 0;    // played, plus the turned-up trump: in nobody's hand
  std::array<uint8_t, 4> voids{};
  std::array<int8_t, 4> bid{}, taken{};
  int8_t trump = 0;  // suit 0..3
  int8_t leader = 0, inTrick = 0, led = -1, winSeat = -1, winCard = -1;
  // Seats that play by the Classic rule (bit per seat), with their cards in
  // deal order: the first one held of the led suit, else the first one held,
  // is what they play. -1 pads the order.
  uint8_t classic = 0;
  std::array<std::array<int8_t, 10>, 4> order{};
  const Scoring* scoring = &Scoring::game();

  int toMove() const { return (leader + inTrick) & 3; }
  bool over() const { return (hand[0] | hand[1] | hand[2] | hand[3]) == 0 && inTrick == 0; }
  Mask legal(int seat) const {
    if (inTrick == 0) return hand[seat];
    const Mask follow = hand[seat] & suitMask(led);
    return follow ? follow : hand[seat];
  }
  int classicCard(int seat) const {
    int first = -1;
    for (int8_t c : order[seat]) {
      if (c < 0 || !(hand[seat] & bit(c))) continue;
      if (inTrick == 0) return c;
      if (suitIx(c) == led) return c;
      if (first < 0) first = c;
    }
    return first >= 0 ? first : lowest(legal(seat));  // cards the order does not cover
  }
  // The round's points for a seat once it is over.
  int points(int seat) const { return scoring->points(bid[seat], taken[seat]); }
  // Tricks still to be decided that `seat` may take, the one on the table included.
  int tricksLeft(int seat) const {
    const bool inThisTrick = inTrick > 0 && ((seat - leader) & 3) < inTrick;
    return count(hand[seat]) + (inThisTrick ? 1 : 0);
  }
  // The most `seat` can still score, however the play goes.
  int bestFor(int seat) const { return scoring->best(bid[seat], taken[seat], tricksLeft(seat)); }

  void play(int seat, int c) {
    hand[seat] &= ~bit(c);
    played |= bit(c);
    gone |= bit(c);
    if (inTrick == 0) {
      led = static_cast<int8_t>(suitIx(c));
      winSeat = static_cast<int8_t>(seat);
      winCard = static_cast<int8_t>(c);
    } else {
      if (suitIx(c) != led) voids[seat] |= suitBit(led);
      if (beats(c, winCard, trump)) {
        winSeat = static_cast<int8_t>(seat);
        winCard = static_cast<int8_t>(c);
      }
    }
    if (++inTrick == 4) {
      ++taken[winSeat];
      leader = winSeat;
      inTrick = 0;
      led = -1;
    }
  }
};

}  // namespace ombrix::ai
