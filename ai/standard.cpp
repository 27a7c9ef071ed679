#include "ai/standard.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace ombrix::ai {

namespace {

constexpr int kSuitCards = 13;

// missChance for every count a round can reach, filled once.
struct MissTable {
  float p[kCards + 1][kSuitCards + 1][kSuitCards + 1];
  MissTable() {
    for (int u = 0; u <= kCards; ++u)
      for (int a = 0; a <= kSuitCards; ++a) {
        double q = 1;
        for (int m = 0; m <= kSuitCards; ++m) {
          p[u][a][m] = static_cast<float>(q);
          const int left = u - m;  // the next draw misses with (left - a) / left
          q = left <= 0 ? 0 : q * std::max(0, left - a) / left;
        }
      }
  }
};

const MissTable kMiss;

// missChance without the range checks, for counts known to be in range.
inline float miss(int unseen, int special, int m) { return kMiss.p[unseen][special][m]; }

// P(X <= k) for X ~ Binomial(n, p).
double binomAtMost(int n, double p, int k) {
  if (k >= n) return 1;
  double term = std::pow(1 - p, n), sum = term;
  for (int x = 1; x <= k; ++x) {
    term *= (n - x + 1) / double(x) * p / (1 - p);
    sum += term;
  }
  return std::min(1.0, sum);
}

// P(X <= k) for X ~ Hypergeometric: m cards drawn from u, a of them special.
double hyperAtMost(int u, int a, int m, int k) {
  if (m <= 0 || a <= 0) return 1;
  double term = missChance(u, a, m), sum = term;  // P(X = 0)
  for (int x = 0; x < k && x < a && x < m; ++x) {
    // P(X = x+1) / P(X = x)
    const double den = double(x + 1) * (u - a - m + x + 1);
    if (den <= 0) break;
    term *= double(a - x) * (m - x) / den;
    sum += term;
  }
  return std::min(1.0, sum);
}

// Lowest card by rank, non-trumps first: what a seat can best spare.
int pickLow(Mask m, int trump) {
  const Mask side = m & ~suitMask(trump);
  const Mask pool = side ? side : m;
  int best = -1;
  for (int s = 0; s < 4; ++s) {
    const Mask in = pool & suitMask(s);
    if (!in) continue;
    const int c = lowest(in);
    if (best < 0 || rankIx(c) < rankIx(best)) best = c;
  }
  return best;
}

// The card most likely to take a trick later: high cards, trumps weighing more.
int pickDangerous(Mask m, int trump) {
  constexpr int kTrumpWeight = 8;  // a middling trump is as dangerous as a side honour
  int best = -1, bestKey = -1;
  for (int s = 0; s < 4; ++s) {
    const Mask in = m & suitMask(s);
    if (!in) continue;
    const int c = highest(in);
    const int key = rankIx(c) + (s == trump ? kTrumpWeight : 0);
    if (key > bestKey) best = c, bestKey = key;
  }
  return best;
}

// One seat's turn, with what it can see.
class Turn {
 public:
  Turn(const PlayState& st, int me)
      : st_(st),
        me_(me),
        hand_(st.hand[me]),
        legal_(st.legal(me)),
        unseen_(kAllCards & ~(st.hand[me] | st.gone)),
        trump_(st.trump),
        u_(count(unseen_)) {}

  int choose() const {
    if ((legal_ & (legal_ - 1)) == 0) return lowest(legal_);
    const int need = st_.bid[me_] - st_.taken[me_];
    if (need <= 0) return st_.inTrick == 0 ? leadToLose() : followToLose();
    const bool everyTrick = need >= count(hand_);
    return st_.inTrick == 0 ? leadToWin(everyTrick) : followToWin(need, everyTrick);
  }

 private:
  // Counts holds() needs, made once a turn and only when asked for.
  void countOnce() const {
    if (counted_) return;
    for (int s = 0; s < 4; ++s) {
      out_[s] = count(unseen_ & suitMask(s));
      held_[s] = count(st_.hand[s]);
    }
    counted_ = true;
  }

  // Chance that c, played now, is not beaten by the seats still to play.
  double holds(int c) const {
    countOnce();
    const int s = suitIx(c);
    const int led = st_.inTrick == 0 ? s : st_.led;
    const int higher = count(unseen_ & above(c));
    const int ledOut = out_[led];
    const int trumpsOut = out_[trump_];
    float p = 1;
    for (int k = st_.inTrick + 1; k < 4; ++k) {
      const int seat = (st_.leader + k) & 3;
      const int m = held_[seat];
      if (m == 0) continue;
      const uint8_t v = st_.voids[seat];
      const float voidLed = (v & suitBit(led)) ? 1 : miss(u_, ledOut, m);
      if (s == led) {
        float safe = (v & suitBit(s)) ? 1 : miss(u_, higher, m);
        if (s != trump_) {
          const float hasTrump = (v & suitBit(trump_)) ? 0 : 1 - miss(u_, trumpsOut, m);
          safe *= 1 - voidLed * hasTrump;
        }
        p *= safe;
      } else {  // a trump on another suit: only a void seat with a higher trump beats it
        const float higherTrump = (v & suitBit(trump_)) ? 0 : 1 - miss(u_, higher, m);
        p *= 1 - voidLed * higherTrump;
      }
    }
    return p;
  }

  Mask winners() const {
    Mask w = 0;
    for (Mask m = legal_; m; m &= m - 1)
      if (beats(lowest(m), st_.winCard, trump_)) w |= bit(lowest(m));
    return w;
  }

  // The card with the best chance to hold; at equal chance a side card, then the lower.
  int surest(Mask m, double* chance) const {
    int best = -1;
    double bestP = -1;
    for (; m; m &= m - 1) {
      const int c = lowest(m);
      const double p = holds(c) + (suitIx(c) == trump_ ? 0 : 1e-6);
      if (p > bestP + 1e-9) best = c, bestP = p;
    }
    if (chance) *chance = bestP;
    return best;
  }

  int leadToWin(bool everyTrick) const {
    constexpr double kGoodLead = 0.55;  // below this a lead gives the trick away more often than not
    double p;
    const int c = surest(legal_, &p);
    if (everyTrick || p >= kGoodLead) return c;
    // No lead that holds: a low card of the shortest side suit (a void to
    // ruff later) when holding trumps, else of the longest.
    const Mask trumps = hand_ & suitMask(trump_);
    int pick = -1, pickLen = 0;
    for (int s = 0; s < 4; ++s) {
      if (s == trump_) continue;
      const int len = count(hand_ & suitMask(s));
      if (!len) continue;
      const bool better = pick < 0 || (trumps ? len < pickLen : len > pickLen);
      if (better) pick = lowest(hand_ & suitMask(s)), pickLen = len;
    }
    return pick >= 0 ? pick : lowest(hand_);
  }

  // Cards above every unseen card of their suit: tricks the seat can take
  // whenever it likes, and may take when it does not want to.
  Mask masterCards() const {
    Mask sure = 0;
    for (int s = 0; s < 4; ++s) {
      const Mask out = unseen_ & suitMask(s);
      for (Mask mine = hand_ & suitMask(s); mine && !(out & above(highest(mine)));
           mine &= ~bit(highest(mine)))
        sure |= bit(highest(mine));
    }
    return sure;
  }
  int masters() const { return count(masterCards()); }

  // A trick the seat cannot take: with more sure tricks than it needs it
  // sheds the most dangerous card that loses, else it keeps its strength.
  int discard(int need) const {
    if (masters() <= need) return pickLow(legal_, trump_);
    Mask safe = legal_ & ~suitMask(trump_);
    if (suitIx(st_.winCard) == trump_) safe |= legal_ & below(st_.winCard);
    if (legal_ & suitMask(st_.led)) safe = legal_;  // following suit: nothing of ours wins
    return safe ? pickDangerous(safe, trump_) : pickLow(legal_, trump_);
  }

  int followToWin(int need, bool everyTrick) const {
    constexpr double kWorthIt = 0.3;  // a winner this unlikely to hold is better kept
    const Mask w = winners();
    if (!w) return discard(need);
    // Enough sure tricks in hand: a trick taken with anything else is one too many later.
    const Mask sure = masterCards();
    if (!everyTrick && count(sure) >= need) {
      if (!(w & sure)) return followToLose();
      if (st_.inTrick == 3) return lowest(w & sure);
    }
    if (st_.inTrick == 3) return lowest(w);  // last to play: the cheapest winner
    // The cheapest winner that probably holds, else the surest one. Winners
    // are of one suit (the led suit, or trumps when void), so bit order is rank order.
    constexpr double kProbably = 0.5;
    for (Mask m = w; m; m &= m - 1)
      if (holds(lowest(m)) >= kProbably) return lowest(m);
    double p;
    const int c = surest(w, &p);
    return everyTrick || p >= kWorthIt ? c : discard(need);
  }

  int leadToLose() const {
    // The card least likely to hold; at equal chance a side card, then the lower.
    int best = lowest(legal_);
    double bestP = 2;
    for (Mask m = legal_; m; m &= m - 1) {
      const int c = lowest(m);
      const double p = holds(c) + (suitIx(c) == trump_ ? 1e-6 : 0) + rankIx(c) * 1e-8;
      if (p < bestP) best = c, bestP = p;
    }
    return best;
  }

  int followToLose() const {
    const Mask ledCards = legal_ & suitMask(st_.led);
    if (ledCards) {
      if (suitIx(st_.winCard) != st_.led) return highest(ledCards);  // trumped: anything sheds
      const Mask under = ledCards & below(st_.winCard);
      if (under) return highest(under);
      return st_.inTrick == 3 ? highest(ledCards) : lowest(ledCards);
    }
    // Void: every side card loses; a trump only under a higher trump.
    Mask safe = legal_ & ~suitMask(trump_);
    if (suitIx(st_.winCard) == trump_) safe |= legal_ & below(st_.winCard);
    if (safe) return pickDangerous(safe, trump_);
    return st_.inTrick == 3 ? highest(legal_) : lowest(legal_);
  }

  const PlayState& st_;
  int me_;
  Mask hand_, legal_, unseen_;
  int trump_, u_;
  mutable std::array<int, 4> out_{}, held_{};  // unseen cards by suit; cards held by seat
  mutable bool counted_ = false;
};

}  // namespace

double missChance(int unseen, int special, int m) {
  if (special <= 0 || m <= 0) return 1;
  if (special > kSuitCards || unseen > kCards || m > kSuitCards || unseen < special) return 0;
  return kMiss.p[unseen][special][m];
}

double expectedTricks(Mask hand, int trumpIx, int h, bool leadsFirst) {
  const int trump = suitIx(trumpIx);
  const Mask unseen = kAllCards & ~hand & ~bit(trumpIx);
  const int u = count(unseen);
  if (u == 0 || h <= 0) return 0;
  const double f = std::min(1.0, 3.0 * h / u);  // share of the unseen cards the others hold
  const int trumpsOut = count(unseen & suitMask(trump));
  const double oppHasTrump = 1 - missChance(u, trumpsOut, h);
  // A side suit is led at all only if some seat chooses it; small hands rarely reach every suit.
  constexpr double kLedPerLead = 0.25, kLeadsPerCard = 0.8;
  const double led = 1 - std::pow(1 - kLedPerLead, kLeadsPerCard * h);

  double e = 0;
  int trumps = 0;
  double trumpTricks = 0;
  // Trumps: the i-th highest wins when at most i higher trumps are held against it.
  for (Mask m = hand & suitMask(trump); m; m &= ~bit(highest(m)), ++trumps) {
    const int c = highest(m);
    trumpTricks += binomAtMost(count(unseen & above(c)), f, trumps);
  }
  e += trumpTricks;
  int bestSide = -1;
  for (Mask m = hand & ~suitMask(trump); m; m &= m - 1)
    if (bestSide < 0 || rankIx(lowest(m)) > rankIx(bestSide)) bestSide = lowest(m);
  int shortSuits = 0;
  for (int s = 0; s < 4; ++s) {
    if (s == trump) continue;
    const int out = count(unseen & suitMask(s));
    const int len = count(hand & suitMask(s));
    if (len <= 1) ++shortSuits;
    int j = 0;
    for (Mask m = hand & suitMask(s); m; m &= ~bit(highest(m)), ++j) {
      const int c = highest(m);
      double p = binomAtMost(count(unseen & above(c)), f, j);
      // It takes the suit's (j+1)-th round: an opponent short of the suit by then may ruff.
      const double ruff = hyperAtMost(u, out, h, j) * oppHasTrump;
      p *= std::pow(1 - ruff, 3);
      if (!(leadsFirst && c == bestSide)) p *= led;
      e += p;
    }
  }
  // Spare low trumps ruff the side suits the hand is short of.
  constexpr double kRuffValue = 0.3;
  const double spare = std::max(0.0, trumps - trumpTricks);
  if (h >= 3) e += kRuffValue * std::min(spare, double(shortSuits));
  return e;
}

double standardBidEstimate(Mask hand, int trumpIx, int h, bool leadsFirst) {
  // The estimate undercounts: it misses how often a card wins once higher
  // ones have fallen, and how often a seat keeps a low trump to ruff. This
  // factor makes Standard's bids as high as the tricks it then takes
  // (measured with bench/bot_arena).
  constexpr double kCalibration = 1.3;
  return kCalibration * expectedTricks(hand, trumpIx, h, leadsFirst);
}

int standardBid(Mask hand, int trumpIx, int h, bool leadsFirst) {
  const int bid = static_cast<int>(std::floor(standardBidEstimate(hand, trumpIx, h, leadsFirst) + 0.5));
  return std::clamp(bid, 0, h);
}

int standardCard(const PlayState& st, int me) { return Turn(st, me).choose(); }

}  // namespace ombrix::ai
