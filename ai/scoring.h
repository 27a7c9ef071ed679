// How a round's points follow from a bid and the tricks taken, and which bids
// a seat may make, as the computer players read them: the rules module's
// points and bids, for the house rules in force, laid out as a table the
// inner loops of the searches read.
#pragma once

#include <array>
#include <cstdint>

#include "rules/rules.h"

namespace ombrix::ai {

class Scoring {
 public:
  static constexpr int kMostTricks = rules::kMaxHand;  // the largest hand

  // The design's own: an exact bid scores the bid plus 10, an exact 0
  // scores 5, anything else nothing.
  static const Scoring& game() { return of(rules::Rules{}); }
  // The house rules' (one table for each, made once and kept).
  static const Scoring& of(const rules::Rules& r);
  explicit Scoring(const rules::Rules& r);

  const rules::Rules& rules() const { return rules_; }
  int points(int bid, int taken) const { return points_[clampTricks(bid)][clampTricks(taken)]; }
  // The most a seat can still score, having taken `taken` with `left` tricks
  // to come.
  int best(int bid, int taken, int left) const;
  // The most a bid can score at all.
  int most(int bid) const { return best(bid, 0, kMostTricks); }
  // The bids a seat may make (bit b for bid b).
  uint16_t bids(int handSize, int totalBefore, bool last) const {
    return rules::bids(rules_, handSize, totalBefore, last);
  }

 private:
  static int clampTricks(int n) { return n < 0 ? 0 : n > kMostTricks ? kMostTricks : n; }
  rules::Rules rules_;
  std::array<std::array<int16_t, kMostTricks + 1>, kMostTricks + 1> points_{};
};

}  // namespace ombrix::ai
