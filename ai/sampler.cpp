#include "ai/sampler.h"

#include <algorithm>
#include <cmath>

#include "ai/standard.h"

namespace ombrix::ai {

namespace {
constexpr Mask kAces = bit(12) | bit(25) | bit(38) | bit(51);
// Whole deals drawn before the void constraints are dropped; a consistent
// deal is found at the first try almost always.
constexpr int kTries = 32;
// Hands drawn again for a seat whose bid, positions or plays they do not
// explain, before the likeliest of them is kept.
constexpr int kSeatTries = 24;

// How far each model is trusted. The Standard player's choices follow from
// its hand and the table alone, so a hand that would have made it bid or
// play otherwise is all but ruled out; a person or the Strong player is read
// against the same rule with much more doubt, a bid as a rough estimate of
// the hand's tricks (a spread of about one trick either way), a card as a
// hint only.
struct Trust {
  double bidSpread;  // 0: the bid must be Standard's own
  double bidMiss;    // likelihood of a bid Standard would not make (spread 0)
  double playMiss;   // likelihood of a card Standard would not play
};
constexpr Trust kTrust[] = {
    {1.0, 0, 0.5},     // Person
    {0, 0.02, 0.05},   // Standard
    {0.8, 0, 0.6},     // Strong
};
const Trust& trustOf(SeatModel m) { return kTrust[static_cast<int>(m)]; }

// Two cards of one hand that differ only by cards nobody holds any more
// play alike; the card winning the trick on the table is not gone for this.
bool playAlike(int a, int b, Mask hand, const PlayState& st) {
  if (a == b) return true;
  if (suitIx(a) != suitIx(b)) return false;
  const int lo = std::min(a, b), hi = std::max(a, b);
  const Mask gone = st.inTrick ? st.gone & ~bit(st.winCard) : st.gone;
  return (above(lo) & below(hi) & ~hand & ~gone) == 0;
}

double uniform(Rng& rng) { return static_cast<double>(rng.next() >> 11) * 0x1.0p-53; }
}  // namespace

int classicBid(Mask roundHand, int trumpSuit, int handSize, const Scoring& scoring, int totalBefore, bool last) {
  const int n = count(roundHand & suitMask(trumpSuit)) + count(roundHand & kAces);
  return rules::classicBid(scoring.rules(), n, handSize, totalBefore, last);
}

Sampler::Sampler(const SeatView& v, const SamplerOptions& options)
    : me_(v.seat - 1),
      own_(v.handMask()),
      trumpSuit_(v.trumpSuit()),
      trumpIx_(indexOf(v.trumpCard)),
      handSize_(v.handSize),
      opener_(v.opener - 1),
      infer_(options.inference) {
  unseen_ = kAllCards & ~own_ & ~v.played & ~bit(indexOf(v.trumpCard));
  scoring_ = v.scoring;
  // Bids are made from the opener round the table.
  for (int k = 0, total = 0; k < 4; ++k) {
    const int s = (opener_ + k) % 4;
    bidBefore_[s] = total;
    total += std::max(0, v.bids[s + 1]);
  }
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
    playedBy_[i] = v.playedBy[s];
    open_[i] = v.openPositions[s];
    // Without inference a seat keeping to the rule still plays by it, from
    // a hand and an order that need not explain what it bid and played.
    if (infer_) {
      if (classic_[i] && v.bids[s] >= 0) classicBid_[i] = v.bids[s];
      barred_[i] = v.barred[s];
    }
    model_[i] = v.models[s];
    if (infer_ && !v.classic[s] && v.bids[s] >= 0) bid_[i] = v.bids[s];
    order_[k++] = i;
  }
  // Seats with the fewest cards to choose from first, so a greedy deal rarely
  // paints itself into a corner.
  std::stable_sort(order_.begin(), order_.end(), [&](int a, int b) {
    return count(unseen_ & allowed_[a]) - need_[a] < count(unseen_ & allowed_[b]) - need_[b];
  });
  if (infer_ && !v.bidding()) readTable(v);
}

bool Sampler::othersByRule() const {
  for (int seat : order_)
    if (!classic_[seat]) return false;
  return true;
}

void Sampler::readTable(const SeatView& v) {
  // Replays the round card by card, keeping each moment another seat chose.
  // A record that saw only part of the round, or one no play explains,
  // gives no moments: the bids are still read.
  if (!v.wholeSequence()) return;
  PlayState st;
  st.trump = static_cast<int8_t>(trumpSuit_);
  st.gone = bit(trumpIx_);
  st.leader = static_cast<int8_t>(opener_);
  for (int s = 0; s < 4; ++s) st.bid[s] = static_cast<int8_t>(std::max(0, v.bids[s + 1]));
  std::array<Mask, 4> soFar{};
  for (int i = 0; i < v.plays; ++i) {
    const int c = v.sequence[i];
    const int seat = st.toMove();
    if (c < 0 || c >= kCards || !(v.playedBy[seat + 1] & bit(c)) || (soFar[seat] & bit(c))) {
      momentCount_ = 0;
      return;
    }
    if (seat != me_ && !classic_[seat] && !v.classic[seat + 1]) {
      Moment& m = moments_[momentCount_++];
      m.table = st;
      m.seat = static_cast<int8_t>(seat);
      m.card = static_cast<int8_t>(c);
      m.later = v.playedBy[seat + 1] & ~soFar[seat];
      // The other hands as counts only: the Standard player reads no more of them.
      for (int s = 0; s < 4; ++s) {
        const int held = handSize_ - count(soFar[s]);
        m.table.hand[s] = held > 0 ? (Mask{1} << held) - 1 : 0;
      }
    }
    st.hand[seat] |= bit(c);  // so that play() has it to take
    st.play(seat, c);
    soFar[seat] |= bit(c);
  }
  // The replay must end where the table stands.
  bool agrees = st.inTrick == v.inTrick && st.leader == v.leader - 1;
  for (int s = 0; s < 4; ++s) agrees = agrees && st.taken[s] == v.tricks[s + 1];
  if (!agrees) momentCount_ = 0;
}

double Sampler::likelihood(int seat, Mask hand, int& work) const {
  const Trust& t = trustOf(model_[seat]);
  double p = 1;
  if (bid_[seat] >= 0) {
    const Mask whole = hand | playedBy_[seat];  // the hand it bid on
    const bool leads = seat == opener_;
    work += 4;  // an estimate costs about as much as a few cards of a play-out
    if (t.bidSpread == 0) {
      if (standardBid(whole, trumpIx_, handSize_, leads) != bid_[seat]) p *= t.bidMiss;
    } else {
      const double e = std::clamp(standardBidEstimate(whole, trumpIx_, handSize_, leads), 0.0, double(handSize_));
      const double d = (bid_[seat] - e) / t.bidSpread;
      p *= std::exp(-0.5 * d * d);
    }
  }
  for (int i = 0; i < momentCount_; ++i) {
    const Moment& m = moments_[i];
    if (m.seat != seat) continue;
    PlayState st = m.table;
    st.hand[seat] = hand | m.later;
    const Mask legal = st.legal(seat);
    if (!(legal & (legal - 1))) continue;  // no choice, nothing learnt
    ++work;
    const int expected = standardCard(st, seat);
    if (!playAlike(expected, m.card, st.hand[seat], st)) p *= t.playMiss;
  }
  return p;
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

namespace {
// `n` cards of `from`, each set of them as likely as any other.
Mask drawFrom(Mask from, int n, Rng& rng) {
  Mask out = 0;
  for (int k = 0; k < n; ++k) {
    const int c = nthBit(from, rng.below(static_cast<uint32_t>(count(from))));
    out |= bit(c);
    from &= ~bit(c);
  }
  return out;
}

double choose(int n, int k) {
  if (k < 0 || k > n) return 0;
  double r = 1;
  for (int i = 1; i <= k; ++i) r = r * (n - k + i) / i;
  return r;
}
}  // namespace

Mask Sampler::classicHand(int seat, Mask eligible, Rng& rng) const {
  // The rule's bid counts trumps and aces (the ace of trumps twice), so a
  // hand explains the bid by how many of each it holds: pick those counts
  // with the odds of a hand drawn at random among the eligible cards, then
  // the cards. Every hand that explains the bid is equally likely.
  const Mask trumps = suitMask(trumpSuit_), aceOfTrumps = trumps & kAces;
  const Mask played = playedBy_[seat];
  const int before = count(played & trumps) + count(played & kAces);
  const Mask two = eligible & aceOfTrumps, one = eligible & (trumps | kAces) & ~aceOfTrumps,
             none = eligible & ~(trumps | kAces);
  const int n1 = count(one), n0 = count(none), need = need_[seat];
  const bool last = seat == (opener_ + 3) % 4;
  std::array<double, 2 * (rules::kMaxHand + 1)> odds{};  // by (ace of trumps, ones)
  double total = 0;
  for (int a = 0; a <= (two ? 1 : 0); ++a)
    for (int j = 0; j <= n1 && a + j <= need; ++j) {
      const int n = before + 2 * a + j;
      if (rules::classicBid(scoring_->rules(), n, handSize_, bidBefore_[seat], last) != classicBid_[seat]) continue;
      const double w = choose(n1, j) * choose(n0, need - a - j);
      odds[a * (rules::kMaxHand + 1) + j] = w;
      total += w;
    }
  if (total <= 0) return drawFrom(eligible, need, rng);  // nothing explains it: any hand
  double x = uniform(rng) * total;
  size_t pick = 0;
  for (size_t i = 0; i < odds.size(); ++i)
    if (odds[i] > 0) {
      pick = i;
      if ((x -= odds[i]) < 0) break;
    }
  const int a = static_cast<int>(pick / (rules::kMaxHand + 1)), j = static_cast<int>(pick % (rules::kMaxHand + 1));
  return (a ? two : 0) | drawFrom(one, j, rng) | drawFrom(none, need - a - j, rng);
}

double Sampler::drawSeat(int seat, Mask eligible, Rng& rng, Deal& d) const {
  const bool explainBid = classic_[seat] && classicBid_[seat] >= 0;
  const Mask hand = explainBid ? classicHand(seat, eligible, rng) : drawFrom(eligible, need_[seat], rng);
  d.hands[seat] = hand;
  ++d.work;
  if (classic_[seat]) {
    if (classicBid_[seat] >= 0 &&
        classicBid(hand | playedBy_[seat], trumpSuit_, handSize_, *scoring_, bidBefore_[seat],
                   seat == (opener_ + 3) % 4) != classicBid_[seat])
      return 0;
    return orderSeat(seat, hand, rng, d) ? 1 : 0;
  }
  return infer_ ? likelihood(seat, hand, d.work) : 1;
}

void Sampler::orderHands(Deal& d, Rng& rng) const {
  for (int seat : order_) {
    if (!classic_[seat]) continue;
    bool fits = false;
    for (int k = 0; k < kSeatTries && !fits; ++k) fits = orderSeat(seat, d.hands[seat], rng, d);
  }
}

Deal Sampler::draw(Rng& rng) const {
  Deal d;
  int work = 0;
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
      Mask likeliest = 0;
      double best = -1;
      int t = 0;
      for (; t < kSeatTries && !fits; ++t) {
        const double p = drawSeat(seat, eligible, rng, d);
        if (p > best) best = p, likeliest = d.hands[seat];
        fits = p >= 1 || (p > 0 && uniform(rng) < p);
      }
      stats_.drawn += t;
      stats_.rejected += t - (fits ? 1 : 0);
      if (!fits) {
        d.hands[seat] = likeliest;
        if (classic_[seat]) {
          // Keep the hand, in an order that explains its positions if one
          // turns up, else in any order.
          const Mask h = d.hands[seat];
          for (int k = 0; k < kSeatTries && !fits; ++k) fits = orderSeat(seat, h, rng, d);
          if (!fits) {
            auto& o = d.order[seat];
            o.fill(-1);
            int n = 0;
            for (Mask m = h; m; m &= m - 1) o[n++] = static_cast<int8_t>(lowest(m));
          }
        }
      }
      pool &= ~d.hands[seat];
    }
    work += d.work;
    if (ok) {
      d.fallback = lastResort;
      d.work = work;
      return d;
    }
  }
  d.fallback = true;
  d.work = work;
  return d;
}

PlayState dealState(const SeatView& v, const Deal& deal) {
  PlayState st;
  st.hand = deal.hands;
  st.order = deal.order;
  st.scoring = v.scoring;
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
