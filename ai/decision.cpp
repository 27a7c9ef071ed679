#include "ai/decision.h"

#include <chrono>
#include <ctime>

#include "ai/sampler.h"
#include "ai/standard.h"

namespace ombrix::ai {

std::string_view skillName(Skill s) {
  switch (s) {
    case Skill::Classic:
      return "classic";
    case Skill::Standard:
      return "standard";
    case Skill::Strong:
      return "strong";
  }
  return "classic";
}

std::optional<Skill> skillNamed(std::string_view name) {
  for (Skill s : {Skill::Classic, Skill::Standard, Skill::Strong})
    if (skillName(s) == name) return s;
  return std::nullopt;
}

uint64_t decisionSeed(uint64_t base, int round, const SeatView& v) {
  uint64_t s = mixSeed(base, static_cast<uint64_t>(round));
  s = mixSeed(s, static_cast<uint64_t>(v.seat));
  s = mixSeed(s, v.played);
  return mixSeed(s, v.bidding() ? 1 : 2);
}

bool Decision::start(const SeatView& v, Skill skill, uint64_t seed, const StrongConfig& config) {
  clear();
  // A hostile host can announce a table no game has (a hand of a million
  // cards, tricks beyond the hand): nothing sensible, or bounded, could be
  // worked out from it.
  if (!v.consistent()) return false;
  view_ = v;
  skill_ = skill;
  seed_ = seed;
  active_ = true;
  bid_ = v.bidding();
  seat_ = v.seat;
  if (skill == Skill::Strong) strong_.emplace(v, seed, config);
  return true;
}

bool Decision::step() {
  if (!active_ || ready_) return ready_;
  const auto t0 = std::chrono::steady_clock::now();
  const std::clock_t c0 = std::clock();
  if (strong_) {
    if (strong_->step(kStepWork)) {
      result_ = strong_->result();
      ready_ = true;
    }
  } else {
    result_ = decideStandard();
    ready_ = true;
  }
  const int64_t ns =
      std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - t0).count();
  const auto cpu = static_cast<int64_t>((std::clock() - c0) * (1e9 / CLOCKS_PER_SEC));
  elapsedNs_ += ns;
  cpuNs_ += cpu;
  if (ns > longestStepNs_) longestStepNs_ = ns;
  if (cpu > longestStepCpuNs_) longestStepCpuNs_ = cpu;
  ++steps_;
  return ready_;
}

int Decision::decideStandard() const {
  const int trumpIx = indexOf(view_.trumpCard);
  if (bid_) return view_.allowedBid(standardBid(view_.handMask(), trumpIx, view_.handSize, view_.seat == view_.opener));
  // Standard reads the other hands only for how many cards they hold, which
  // any deal consistent with the view gets right.
  Rng rng(seed_);
  const PlayState st = dealState(view_, Sampler(view_, SamplerOptions{false}).draw(rng));  // classic seats do not matter here
  return cardAt(standardCard(st, view_.seat - 1));
}

}  // namespace ombrix::ai
