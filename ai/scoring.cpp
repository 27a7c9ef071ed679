#include "ai/scoring.h"

namespace ombrix::ai {

namespace {
constexpr int kMadeBonus = 10, kMadeNothing = 5;
}  // namespace

const Scoring& Scoring::game() {
  static const Scoring s = [] {
    Scoring g;
    for (int b = 0; b <= kMostTricks; ++b) g.points_[b][b] = static_cast<int16_t>(b == 0 ? kMadeNothing : b + kMadeBonus);
    return g;
  }();
  return s;
}

int Scoring::best(int bid, int taken, int left) const {
  int most = points(bid, taken);
  for (int t = taken + 1; t <= taken + left && t <= kMostTricks; ++t)
    if (points(bid, t) > most) most = points(bid, t);
  return most;
}

uint16_t Scoring::bids(int handSize, int, bool) const {
  const int h = clampTricks(handSize);
  return static_cast<uint16_t>((1u << (h + 1)) - 1);  // any bid from 0 to the hand size
}

}  // namespace ombrix::ai
