#include "ai/strong.h"

#include <algorithm>
#include <cmath>

#include "ai/exact.h"
#include "ai/standard.h"

namespace ombrix::ai {

std::array<int, 4> playOut(PlayState st, long& work, ExactSolver* solver, int exactCards) {
  for (;;) {
    const int s = st.toMove();
    if (!st.hand[s]) break;
    if (solver && st.inTrick == 0 && count(st.hand[s]) <= exactCards) {
      const long before = solver->nodes();
      const auto points = solver->solve(st);
      work += solver->nodes() - before;
      return points;
    }
    st.play(s, (st.classic & (1u << s)) ? st.classicCard(s) : standardCard(st, s));
    ++work;
  }
  return {st.points(0), st.points(1), st.points(2), st.points(3)};
}

double gameWorth(const SeatView& v, const std::array<int, 4>& points, double spread, double winWorth) {
  const int me = v.seat - 1;
  if (spread <= 0 || winWorth <= 0 || v.roundsLeft < 0) return points[me];
  // The rounds to come move each seat's total about at random: the chance
  // of ending ahead of a seat is that of a normal spread of the margin
  // staying above zero, and ahead of all three, of each at once.
  const double sd = spread * std::sqrt(std::min(v.roundsLeft, rules::kFullRounds));
  const double mine = v.scores[me + 1] + points[me];
  double p = 1;
  for (int o = 0; o < 4; ++o) {
    if (o == me) continue;
    const double margin = mine - (v.scores[o + 1] + points[o]);
    p *= sd > 0 ? 0.5 * std::erfc(-margin / (sd * std::sqrt(2.0))) : margin > 0 ? 1 : margin == 0 ? 0.5 : 0;
  }
  return points[me] + winWorth * p;
}

StrongSearch::StrongSearch(const SeatView& v, uint64_t seed, const StrongConfig& config)
    : view_(v),
      config_(config),
      sampler_(v, SamplerOptions{config.inference}),
      rng_(seed),
      bidding_(v.bidding()),
      byRule_(sampler_.othersByRule()) {
  if (bidding_) {
    const uint16_t bids = v.allowedBids();
    for (int b = 0; b <= v.handSize; ++b)
      if (bids & (1u << b)) candidates_.push_back(b);
  } else {
    // One card for each group of cards that play alike; the table as it
    // stands is enough to tell them apart.
    PlayState now = dealState(v, Deal());
    now.hand[v.seat - 1] = v.handMask();
    for (Mask m = distinctCards(now, v.legal()); m; m &= m - 1) candidates_.push_back(lowest(m));
    exact_ = count(v.handMask()) <= (byRule_ ? config_.ruleExactCards : config_.exactCards);
    // Within the exact bound the solve finds when to take a certain trick;
    // above it a certain trick the bid needs is taken at once.
    const int sure = config_.sureTricks && !exact_ ? sureTrickCard(v) : -1;
    if (sure >= 0 && candidates_.size() > 1) candidates_ = {sure};  // no deal can make it better
  }
  // The Standard player's choice settles a tie: deals seen whole often cannot
  // tell a safe card from a lucky one (any card loses when every hand is
  // known), where the rule's caution can.
  Rng r(seed);
  const PlayState st = dealState(v, Sampler(v, SamplerOptions{false}).draw(r));
  if (bidding_) {
    standardChoice_ = v.allowedBid(standardBid(v.handMask(), indexOf(v.trumpCard), v.handSize, v.seat == v.opener));
  } else if (v.handMask()) {
    // The Standard card and the cards of the hand that play like it.
    const int c = standardCard(st, v.seat - 1);
    const Mask gone = st.inTrick ? st.gone & ~bit(st.winCard) : st.gone;
    for (Mask m = v.legal(); m; m &= m - 1) {
      const int o = lowest(m), lo = o < c ? o : c, hi = o < c ? c : o;
      if (suitIx(o) == suitIx(c) && !(above(lo) & below(hi) & ~v.handMask() & ~gone)) standardGroup_ |= bit(o);
    }
  }
  total_.assign(candidates_.size(), 0);
  made_.assign(candidates_.size(), 0);
  ifMade_.assign(candidates_.size(), 0);
  if (candidates_.size() <= 1) done_ = true;
}

void StrongSearch::drawSample() {
  Deal deal;
  const StrongConfig::Peek peek = config_.peek ? config_.peek(deal) : StrongConfig::Peek::None;
  if (peek == StrongConfig::Peek::None) deal = sampler_.draw(rng_);
  if (peek == StrongConfig::Peek::Hands) sampler_.orderHands(deal, rng_);
  peeked_ = peek == StrongConfig::Peek::Whole;
  fallbacks_ += deal.fallback;
  work_ += deal.work;
  base_ = dealState(view_, deal);
  solver_.forget();
  if (bidding_) bidOthers(base_, standardChoice_);
}

void StrongSearch::bidOthers(PlayState& st, int myBid) const {
  // The seats still to bid bid as they are expected to on their sampled
  // hands, round the table from the opener (this seat at `myBid`), each
  // within the bids the house rules leave it.
  const Scoring& sc = *view_.scoring;
  int total = 0;
  for (int k = 0, s = view_.opener; k < 4; ++k, s = s % 4 + 1) {
    const bool last = k == 3;
    if (view_.bids[s] >= 0) {
      total += view_.bids[s];
    } else if (s == view_.seat) {
      total += myBid;
    } else {
      const Mask h = st.hand[s - 1];  // no card is played while bidding
      const int bid = (st.classic & (1u << (s - 1)))
                          ? classicBid(h, view_.trumpSuit(), view_.handSize, sc, total, last)
                          : rules::nearestBid(sc.bids(view_.handSize, total, last),
                                              standardBid(h, indexOf(view_.trumpCard), view_.handSize,
                                                          s == view_.opener));
      st.bid[s - 1] = static_cast<int8_t>(bid);
      total += bid;
    }
  }
}

double StrongSearch::trustOf(int bid) const {
  if (!bidding_ || bid == 0) return 1;
  return (byRule_ ? config_.ruleBidTrust : config_.bidTrust)[std::min(bid, 3)][view_.handSize];
}

StrongSearch::Outcome StrongSearch::evaluate(int candidate, long& work) const {
  const int me = view_.seat - 1;
  PlayState st = base_;
  const int endgame = byRule_ ? config_.ruleExactCards : config_.playoutExactCards;
  std::array<int, 4> points;
  if (bidding_) {
    st.bid[me] = static_cast<int8_t>(candidate);
    // The hook moves the last bid by the total, this seat's bid in it: the
    // deal's own bids took the Standard player's.
    if (view_.scoring->rules().hook) bidOthers(st, candidate);
    points = playOut(st, work, &solver_, byRule_ ? config_.ruleBidExactCards : config_.bidExactCards);
  } else {
    st.play(me, candidate);
    ++work;
    if (exact_) {
      const long before = solver_.nodes();
      points = solver_.solve(st);
      work += solver_.nodes() - before;
    } else {
      points = playOut(st, work, &solver_, endgame);
    }
  }
  const auto worth = [&](const std::array<int, 4>& p) {
    return gameWorth(view_, p, config_.winSpread, config_.winWorth);
  };
  if (!bidding_) return {worth(points)};
  // A bid the play-out made, trusted as far as the table bears out; where
  // the table makes it more often than the play-outs, the worth had the bid
  // been made is kept for a share of the deals it missed (result()).
  const int b = candidate;
  const double trust = trustOf(b);
  std::array<int, 4> other = points;
  if (points[me] != view_.scoring->points(b, b)) {
    if (trust <= 1) return {worth(points)};
    other[me] = view_.scoring->points(b, b);
    return {worth(points), false, worth(other)};
  }
  if (trust >= 1) return {worth(points), true};
  other[me] = view_.scoring->points(b, b < view_.handSize ? b + 1 : b - 1);
  return {trust * worth(points) + (1 - trust) * worth(other), true};
}

bool StrongSearch::step(long work) {
  const long until = work_ + work;
  while (!done_ && work_ < until) {
    if (next_ == 0) drawSample();
    // Every evaluation counts for at least one unit, so a step ends however
    // little a play-out finds to do.
    const long before = work_;
    const Outcome o = evaluate(candidates_[next_], work_);
    total_[next_] += o.worth;
    made_[next_] += o.made;
    if (!o.made) ifMade_[next_] += o.ifMade - o.worth;
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
  if (sample_ >= config_.maxSamples || peeked_) done_ = true;
  const long work = byRule_ ? config_.ruleWork : config_.work;
  const double enough = bidding_ ? work * config_.bidWorkScale : work;
  if (sample_ >= config_.minSamples && work_ >= enough) done_ = true;
}

double StrongSearch::sumOf(size_t i) const {
  const double trust = trustOf(candidates_[i]);
  const int missed = sample_ - made_[i];  // made_ may run ahead while a sample is under way
  if (trust <= 1 || missed <= 0) return total_[i];
  // The table makes the bid `trust` times as often as the play-outs: this
  // share of the deals they missed counts as made.
  const double share = std::min(1.0, (trust - 1) * made_[i] / missed);
  return total_[i] + share * ifMade_[i];
}

int StrongSearch::result() const {
  // Bids: the chance of making it, times its points to the given power.
  auto worth = [&](size_t i) {
    const double sum = sumOf(i);
    if (!bidding_) return sum;
    const double points = view_.scoring->most(candidates_[i]);
    return points <= 0 ? sum : sum / points * std::pow(points, config_.bidPointsWeight);
  };
  size_t best = 0;
  for (size_t i = 1; i < candidates_.size(); ++i)
    if (worth(i) > worth(best)) best = i;
  // Points a candidate may fall short of the best by and still count as tied.
  constexpr double kTie = 0.05;
  for (size_t i = 0; i < candidates_.size() && sample_ > 0; ++i) {
    const bool standards = bidding_ ? candidates_[i] == standardChoice_ : (standardGroup_ & bit(candidates_[i])) != 0;
    if (standards && worth(i) >= worth(best) - kTie * sample_) best = i;
  }
  const int c = candidates_.empty() ? 0 : candidates_[best];
  return bidding_ ? c : cardAt(c);
}

}  // namespace ombrix::ai
