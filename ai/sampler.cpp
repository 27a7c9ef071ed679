#include "ai/sampler.h"

#include <algorithm>

namespace ombrix::ai {

namespace {
constexpr Mask kAces = bit(12) | bit(25) | bit(38) | bit(51);
// Whole deals drawn before the void constraints are dropped; a consistent
// deal is found at the first try almost always.
constexpr int kTries = 32;
// Hands drawn again for a seat whose bid or positions they do not explain;
// one in three to one in ten explains a bid, and a few misfits among many
// deals do little harm.
constexpr int kSeatTries = 24;
}  // namespace

int classicBid(Mask roundHand, int trumpSuit, int handSize) {
  const int n = count(roundHand & suitMask(trumpSuit)) + count(roundHand & kAces);
  return n < handSize ? n : handSize;
}

Sampler::Sampler(const SeatView& v)
    : me_(v.seat - 1), own_(v.handMask()), trumpSuit_(v.trumpSuit()), handSize_(v.handSize) {
  unseen_ = kAllCards & ~own_ & ~v.played & ~bit(indexOf(v.trumpCard));
  int k = 0;
  for (int s = 1; s <= 4; ++s) {
    if (s == v.seat) continue;
    const int i = s - 1;
    need_[i] = std::max(0, v.cardsHeld(s));
    Mask allowed = kAllCards;
    for (int suit = 0; suit < 4; ++suit)
      if (v.voids[s] & suitBit(suit)) allowed &= ~suitMask(suit);
    allowed_[i] = allowed;
    // The rule can be replayed only where the open positions are known.
    classic_[i] = v.classic[s] && count(v.openPositions[s]) == need_[i];
    if (classic_[i] && v.bids[s] >= 0) classicBid_[i] = v.bids[s];
    playedBy_[i] = v.playedBy[s];
    open_[i] = v.openPositions[s];
    barred_[i] = v.barred[s];
    order_[k++] = i;
  }
  // Seats with the fewest cards to choose from first, so a greedy deal rarely
  // paints itself into a corner.
  std::stable_sort(order_.begin(), order_.end(), [&](int a, int b) {
    return count(unseen_ & allowed_[a]) - need_[a] < count(unseen_ & allowed_[b]) - need_[b];
  });
}

bool Sampler::orderSeat(int seat, Mask hand, Rng& rng, Deal& d) const {
  auto& out = d.order[seat];
  out.fill(-1);
  int k = 0;
  for (int p = 1; p <= 10; ++p) {
    if (!(open_[seat] & (1u << p))) continue;
    Mask fits = hand;
    for (int s = 0; s < 4; ++s)
      if (barred_[seat][p] & suitBit(s)) fits &= ~suitMask(s);
    if (!fits) return false;
    const int c = nthBit(fits, rng.below(static_cast<uint32_t>(count(fits))));
    out[k++] = static_cast<int8_t>(c);
    hand &= ~bit(c);
  }
  return true;
}

bool Sampler::drawSeat(int seat, Mask eligible, Rng& rng, Deal& d) const {
  Mask hand = 0;
  for (int n = 0; n < need_[seat]; ++n) {
    const int c = nthBit(eligible, rng.below(static_cast<uint32_t>(count(eligible))));
    hand |= bit(c);
    eligible &= ~bit(c);
  }
  d.hands[seat] = hand;
  if (!classic_[seat]) return true;
  if (classicBid_[seat] >= 0 &&
      classicBid(hand | playedBy_[seat], trumpSuit_, handSize_) != classicBid_[seat])
    return false;
  return orderSeat(seat, hand, rng, d);
}

Deal Sampler::draw(Rng& rng) const {
  Deal d;
  for (int attempt = 0; attempt <= kTries; ++attempt) {
    const bool lastResort = attempt == kTries;  // never stuck: drop the void constraints
    d = Deal();
    d.hands[me_] = own_;
    Mask pool = unseen_;
    bool ok = true;
    for (int seat : order_) {
      const Mask eligible = pool & (lastResort ? kAllCards : allowed_[seat]);
      if (count(eligible) < need_[seat]) {
        ok = false;
        break;
      }
      bool fits = false;
      for (int t = 0; t < kSeatTries && !fits; ++t) fits = drawSeat(seat, eligible, rng, d);
      if (!fits && classic_[seat]) {
        // Keep the last hand, in an order that explains its positions if one
        // turns up, else in any order.
        const Mask h = d.hands[seat];
        for (int t = 0; t < kSeatTries && !fits; ++t) fits = orderSeat(seat, h, rng, d);
        if (!fits) {
          auto& o = d.order[seat];
          o.fill(-1);
          int k = 0;
          for (Mask m = h; m; m &= m - 1) o[k++] = static_cast<int8_t>(lowest(m));
        }
      }
      pool &= ~d.hands[seat];
    }
    if (ok) {
      d.fallback = lastResort;
      return d;
    }
  }
  d.fallback = true;
  return d;
}

PlayState dealState(const SeatView& v, const Deal& deal) {
  PlayState st;
  st.hand = deal.hands;
  st.order = deal.order;
  st.trump = static_cast<int8_t>(v.trumpSuit());
  st.played = v.played;
  st.gone = v.played | bit(indexOf(v.trumpCard));
  for (int s = 0; s < 4; ++s) {
    st.voids[s] = v.voids[s + 1];
    st.bid[s] = static_cast<int8_t>(v.bids[s + 1] < 0 ? 0 : v.bids[s + 1]);
    st.taken[s] = static_cast<int8_t>(v.tricks[s + 1]);
    if (v.classic[s + 1] && s + 1 != v.seat && deal.order[s][0] >= 0) st.classic |= 1u << s;
  }
  st.leader = static_cast<int8_t>((v.bidding() ? v.opener : v.leader) - 1);
  if (!v.bidding()) {
    for (int k = 0; k < v.inTrick; ++k) {  // the cards already on the table
      const int c = indexOf(v.trick[k]);
      if (k == 0) {
        st.led = static_cast<int8_t>(suitIx(c));
        st.winSeat = st.leader;
        st.winCard = static_cast<int8_t>(c);
      } else if (beats(c, st.winCard, st.trump)) {
        st.winSeat = static_cast<int8_t>((st.leader + k) & 3);
        st.winCard = static_cast<int8_t>(c);
      }
    }
    st.inTrick = static_cast<int8_t>(v.inTrick);
  }
  return st;
}

}  // namespace ombrix::ai
