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

bool SeatView::consistent() const {
  constexpr int kMostCards = rules::kMaxHand;
  auto isSeat = [](int s) { return s >= 1 && s <= kSeats; };
  auto isCard = [](int c) { return c >= 1 && c <= kCards; };
  if (!isSeat(seat) || !isSeat(opener) || !isSeat(leader) || !isCard(trumpCard)) return false;
  if (handSize < 1 || handSize > kMostCards || inTrick < 0 || inTrick >= kSeats) return false;
  if (roundsLeft < -1 || roundsLeft >= rules::kFullRounds) return false;
  const Mask trumpBit = bit(indexOf(trumpCard));
  Mask own = 0;
  for (int p = 1; p < static_cast<int>(hand.size()); ++p) {
    if (hand[p] == 0) continue;
    if (p > handSize || !isCard(hand[p]) || (own & bit(indexOf(hand[p])))) return false;
    own |= bit(indexOf(hand[p]));
  }
  if ((own & (played | trumpBit)) || (played & trumpBit)) return false;
  int done = 0;
  Mask byAll = 0;
  for (int s = 1; s <= kSeats; ++s) {
    if (bids[s] != kNotBid && (bids[s] < 0 || bids[s] > handSize)) return false;
    if (tricks[s] < 0 || tricks[s] > handSize) return false;
    if (playedBy[s] & byAll) return false;
    byAll |= playedBy[s];
    done += tricks[s];
  }
  if ((byAll & ~played) || done > handSize || count(played) > kSeats * handSize) return false;
  for (int k = 0; k < kSeats; ++k)
    if (k < inTrick ? !isCard(trick[k]) || !(played & bit(indexOf(trick[k]))) : trick[k] != 0) return false;
  // Every seat holds what the tricks and the table leave it, the own seat
  // exactly its hand; the others fit among the cards nobody has shown.
  const Mask unseen = kAllCards & ~own & ~played & ~trumpBit;
  int others = 0;
  for (int s = 1; s <= kSeats; ++s) {
    const int offset = (s - leader + kSeats) % kSeats;
    const int held = handSize - done - (offset < inTrick ? 1 : 0);
    if (held < 0) return false;
    if (s == seat) {
      if (count(own) != held) return false;
      continue;
    }
    Mask allowed = unseen;
    for (int suit = 0; suit < kSeats; ++suit)
      if (voids[s] & suitBit(suit)) allowed &= ~suitMask(suit);
    if (count(allowed) < held) return false;
    others += held;
  }
  return others <= count(unseen);
}

uint16_t SeatView::allowedBids() const {
  int total = 0, made = 0;
  for (int s = 1; s <= kSeats; ++s)
    if (s != seat && bids[s] >= 0) total += bids[s], ++made;
  return scoring->bids(handSize, total, made == kSeats - 1);
}

Mask SeatView::legal() const {
  const Mask own = handMask();
  if (inTrick == 0) return own;
  const Mask follow = own & suitMask(suitIx(indexOf(trick[0])));
  return follow ? follow : own;
}

}  // namespace ombrix::ai
