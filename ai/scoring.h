// How a round's points follow from a bid and the tricks taken, and which bids
// a seat may make: the one place the computer players learn either, so that
// no search, bid or test carries its own copy of the formula.
//
// A table of points by bid and tricks, filled once, is what the inner loops
// read; what a seat can still reach is worked out from the same table, so any
// scoring that is a function of bid and tricks alone fits here.
#pragma once

#include <array>
#include <cstdint>

namespace ombrix::ai {

class Scoring {
 public:
  static constexpr int kMostTricks = 10;  // the largest hand

  // The game's own: an exact bid scores the bid plus 10, an exact 0 scores 5,
  // anything else nothing.
  static const Scoring& game();

  int points(int bid, int taken) const { return points_[clampTricks(bid)][clampTricks(taken)]; }
  // The most a seat can still score, having taken `taken` with `left` tricks
  // to come.
  int best(int bid, int taken, int left) const;
  // The most a bid can score at all.
  int most(int bid) const { return best(bid, 0, kMostTricks); }
  // The bids a seat may make (bit b for bid b): the hand size, the total bid
  // before it and whether it bids last are what a bidding rule may look at.
  uint16_t bids(int handSize, int totalBefore, bool last) const;

 private:
  Scoring() = default;
  static int clampTricks(int n) { return n < 0 ? 0 : n > kMostTricks ? kMostTricks : n; }
  std::array<std::array<int16_t, kMostTricks + 1>, kMostTricks + 1> points_{};
};

}  // namespace ombrix::ai
