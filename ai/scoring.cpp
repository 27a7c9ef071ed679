#include "ai/scoring.h"

#include <utility>

namespace ombrix::ai {

Scoring::Scoring(const rules::Rules& r) : rules_(r) {
  for (int b = 0; b <= kMostTricks; ++b)
    for (int t = 0; t <= kMostTricks; ++t) points_[b][t] = static_cast<int16_t>(rules::points(r, b, t));
}

namespace {
// Every combination of the house rules, by index: hook, rounds, scoring.
constexpr int kCombinations = 2 * 2 * 3;
constexpr int combinationOf(const rules::Rules& r) {
  return (r.hook ? 1 : 0) | (r.rounds == rules::Rounds::DownUp ? 2 : 0) | static_cast<int>(r.scoring) * 4;
}
rules::Rules rulesAt(size_t i) {
  return {(i & 1) != 0, static_cast<rules::Scoring>(i / 4), static_cast<rules::Rounds>(i >> 1 & 1)};
}
template <size_t... I>
std::array<Scoring, sizeof...(I)> allScorings(std::index_sequence<I...>) {
  return {Scoring(rulesAt(I))...};
}
}  // namespace

const Scoring& Scoring::of(const rules::Rules& r) {
  static const auto all = allScorings(std::make_index_sequence<kCombinations>());  // made on first use
  return all[static_cast<size_t>(combinationOf(r))];
}

int Scoring::best(int bid, int taken, int left) const {
  int most = points(bid, taken);
  for (int t = taken + 1; t <= taken + left && t <= kMostTricks; ++t)
    if (points(bid, t) > most) most = points(bid, t);
  return most;
}

}  // namespace ombrix::ai
