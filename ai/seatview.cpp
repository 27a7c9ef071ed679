#include "ai/seatview.h"

namespace ombrix::ai {

Mask SeatView::handMask() const {
  Mask m = 0;
  for (int p = 1; p < static_cast<int>(hand.size()); ++p)
    if (hand[p] >= 1 && hand[p] <= kCards) m |= bit(indexOf(hand[p]));
  return m;
}

int SeatView::cardsHeld(int s) const {
  if (s == seat) return count(handMask());
  int done = 0;
  for (int t = 1; t <= 4; ++t) done += tricks[t];
  const int offset = (s - leader + 4) % 4;  // s's place in the current trick
  return handSize - done - (offset < inTrick ? 1 : 0);
}

int SeatView::positionOf(int card) const {
  for (int p = 1; p < static_cast<int>(hand.size()); ++p)
    if (hand[p] == card && card != 0) return p;
  return 0;
}

Mask SeatView::legal() const {
  const Mask own = handMask();
  if (inTrick == 0) return own;
  const Mask follow = own & suitMask(suitIx(indexOf(trick[0])));
  return follow ? follow : own;
}

}  // namespace ombrix::ai
