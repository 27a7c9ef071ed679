#include "ai/exact.h"

namespace ombrix::ai {

Mask distinctCards(const PlayState& st, Mask legal) {
  const Mask gone = st.inTrick ? st.gone & ~bit(st.winCard) : st.gone;
  Mask keep = 0;
  for (Mask m = legal; m; m &= m - 1) {
    const int c = lowest(m);
    const Mask between = below(c) & ~gone;                     // cards below c still in some hand
    if (between && (legal & bit(highest(between)))) continue;  // the next one down is ours too
    keep |= bit(c);
  }
  return keep;
}

std::array<int, 4> solveExact(const PlayState& st, long& nodes) {
  ++nodes;
  const int s = st.toMove();
  const Mask legal = st.legal(s);
  if (!legal) return {st.points(0), st.points(1), st.points(2), st.points(3)};
  const Mask options = (st.classic & (1u << s)) ? bit(st.classicCard(s)) : distinctCards(st, legal);
  std::array<int, 4> best{};
  bool first = true;
  for (Mask m = options; m; m &= m - 1) {
    PlayState next = st;
    next.play(s, lowest(m));
    const std::array<int, 4> v = solveExact(next, nodes);
    if (first || v[s] > best[s]) best = v;
    first = false;
  }
  return best;
}

}  // namespace ombrix::ai
