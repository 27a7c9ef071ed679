// One computer decision, a bid or a card, for any skill but Classic (whose
// rule the host applies itself, so its announcements never change).
//
// A decision runs in steps of bounded work, so that whoever drives it (the
// host's timer, the table window's hint) can hand the thread back between
// steps; Standard and the forced moves of Strong finish in the first step.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "ai/seatview.h"
#include "ai/strong.h"

namespace ombrix::ai {

enum class Skill { Classic, Standard, Strong };

// "classic", "standard", "strong": the names on the wire and in the settings.
std::string_view skillName(Skill s);
std::optional<Skill> skillNamed(std::string_view name);

class Decision {
 public:
  // Work of one step, in cards played out: about a millisecond of one core
  // here, well below what would make a window stutter.
  static constexpr long kStepWork = 8000;

  // Begins deciding for `v.seat` (its bid while v.bidding(), else its card).
  // A view no game can give (SeatView::consistent) is refused: false, and
  // nothing is decided.
  bool start(const SeatView& v, Skill skill, uint64_t seed, const StrongConfig& config = {});
  void clear() { *this = Decision(); }

  bool active() const { return active_; }
  bool ready() const { return ready_; }
  // One step; true once the result is ready.
  bool step();
  // The bid, or the card 1..52.
  int result() const { return result_; }
  bool isBid() const { return bid_; }
  int seat() const { return seat_; }

  // What it cost on this machine: wall-clock time (what a window waits for,
  // other programs' load included) and processor time (the work alone).
  int64_t elapsedNs() const { return elapsedNs_; }
  int64_t cpuNs() const { return cpuNs_; }
  int64_t longestStepNs() const { return longestStepNs_; }
  int64_t longestStepCpuNs() const { return longestStepCpuNs_; }
  int steps() const { return steps_; }
  // Deals the Strong search drew without a consistent one to be found (see
  // Deal::fallback).
  int fallbacks() const { return strong_ ? strong_->fallbacks() : 0; }
  int samples() const { return strong_ ? strong_->samples() : 0; }  // deals the Strong search drew
  // The Strong search itself, for the arena's figures; none for another skill.
  const StrongSearch* search() const { return strong_ ? &*strong_ : nullptr; }
  // Hands the Strong search drew for the other seats, and those its inference set aside.
  long handsDrawn() const { return strong_ ? strong_->sampling().drawn : 0; }
  long handsRejected() const { return strong_ ? strong_->sampling().rejected : 0; }

 private:
  int decideStandard() const;

  SeatView view_;
  Skill skill_ = Skill::Standard;
  uint64_t seed_ = 0;
  std::optional<StrongSearch> strong_;
  bool active_ = false, ready_ = false, bid_ = false;
  int seat_ = 0, result_ = 0, steps_ = 0;
  int64_t elapsedNs_ = 0, cpuNs_ = 0, longestStepNs_ = 0, longestStepCpuNs_ = 0;
};

// The seed of one decision: the caller's own seed and public facts of the
// moment, so that it is replayed exactly and never depends on hidden cards.
uint64_t decisionSeed(uint64_t base, int round, const SeatView& v);

}  // namespace ombrix::ai
