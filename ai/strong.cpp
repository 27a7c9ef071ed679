#include "ai/strong.h"

#include <cmath>

#include "ai/exact.h"
#include "ai/standard.h"

namespace ombrix::ai {

int playOut(PlayState st, int me, long& work) {
  for (;;) {
    const int s = st.toMove();
    if (!st.hand[s]) break;
    st.play(s, (st.classic & (1u << s)) ? st.classicCard(s) : standardCard(st, s));
    ++work;
  }
  return st.points(me);
}

StrongSearch::StrongSearch(const SeatView& v, uint64_t seed, const StrongConfig& config)
    : view_(v), config_(config), sampler_(v), rng_(seed), bidding_(v.bidding()) {
  if (bidding_) {
    for (int b = 0; b <= v.handSize; ++b) candidates_.push_back(b);
  } else {
    // One card for each group of cards that play alike; the table as it
    // stands is enough to tell them apart.
    PlayState now = dealState(v, Deal());
    now.hand[v.seat - 1] = v.handMask();
    for (Mask m = distinctCards(now, v.legal()); m; m &= m - 1) candidates_.push_back(lowest(m));
    exact_ = count(v.handMask()) <= config_.exactCards;
  }
  total_.assign(candidates_.size(), 0);
  if (candidates_.size() <= 1) done_ = true;
}

void StrongSearch::drawSample() {
  const Deal deal = sampler_.draw(rng_);
  fallbacks_ += deal.fallback;
  base_ = dealState(view_, deal);
  if (!bidding_) return;
  // The seats still to bid bid as they are expected to on their sampled hands.
  for (int s = 1; s <= 4; ++s) {
    if (view_.bids[s] >= 0 || s == view_.seat) continue;
    const Mask h = deal.hands[s - 1];
    base_.bid[s - 1] = static_cast<int8_t>(
        (base_.classic & (1u << (s - 1)))
            ? classicBid(h, view_.trumpSuit(), view_.handSize)
            : standardBid(h, indexOf(view_.trumpCard), view_.handSize, s == view_.opener));
  }
}

int StrongSearch::evaluate(int candidate, long& work) const {
  const int me = view_.seat - 1;
  PlayState st = base_;
  if (bidding_) {
    st.bid[me] = static_cast<int8_t>(candidate);
    return playOut(st, me, work);
  }
  st.play(me, candidate);
  ++work;
  if (exact_) return solveExact(st, work)[me];
  return playOut(st, me, work);
}

bool StrongSearch::step(long work) {
  const long until = work_ + work;
  while (!done_ && work_ < until) {
    if (next_ == 0) drawSample();
    // Every evaluation counts for at least one unit, so a step ends however
    // little a play-out finds to do.
    const long before = work_;
    total_[next_] += evaluate(candidates_[next_], work_);
    if (work_ == before) ++work_;
    if (++next_ == candidates_.size()) {
      next_ = 0;
      ++sample_;
      finishIfEnough();
    }
  }
  return done_;
}

void StrongSearch::finishIfEnough() {
  // Counted in whole samples, so every candidate is judged on the same deals.
  if (sample_ >= config_.maxSamples) done_ = true;
  if (sample_ >= config_.minSamples && work_ >= config_.work) done_ = true;
}

int StrongSearch::result() const {
  // Bids: the chance of making it, times its points to the given power.
  auto worth = [&](size_t i) {
    if (!bidding_) return total_[i];
    const double points = candidates_[i] == 0 ? 5 : candidates_[i] + 10;
    return total_[i] / points * std::pow(points, config_.bidPointsWeight);
  };
  size_t best = 0;
  for (size_t i = 1; i < candidates_.size(); ++i)
    if (worth(i) > worth(best)) best = i;
  const int c = candidates_.empty() ? 0 : candidates_[best];
  return bidding_ ? c : cardAt(c);
}

}  // namespace ombrix::ai
