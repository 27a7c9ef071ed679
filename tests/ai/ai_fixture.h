// Cards by name and views set up by hand, for the computer players' tests.
#pragma once

#include <initializer_list>
#include <string>

#include "ai/seatview.h"

namespace ombrix::test {

// "As", "Tc", "2h": rank then suit, as a card 1..52.
inline int card(const char* name) {
  const std::string ranks = "23456789TJQKA", suits = "cdhs";
  return static_cast<int>(suits.find(name[1]) * 13 + ranks.find(name[0]) + 1);
}
inline int bitOf(const char* name) { return card(name) - 1; }

inline ai::Mask maskOf(std::initializer_list<const char*> names) {
  ai::Mask m = 0;
  for (const char* n : names) m |= ai::bit(bitOf(n));
  return m;
}

// A view for `seat` holding `hand` (positions 1..), in a round of `size`.
inline ai::SeatView viewOf(int seat, int size, const char* trump, std::initializer_list<const char*> hand) {
  ai::SeatView v;
  v.seat = seat;
  v.handSize = size;
  v.trumpCard = card(trump);
  int p = 1;
  for (const char* n : hand) v.hand[p++] = card(n);
  v.opener = v.leader = seat;
  for (int s = 1; s <= 4; ++s) v.openPositions[s] = static_cast<uint16_t>(((1u << size) - 1) << 1);
  return v;
}

}  // namespace ombrix::test
