#include "base/virtualclock.h"

#include <algorithm>
#include <limits>

namespace ombrix {

class VirtualClock::VTimer : public Timer {
 public:
  explicit VTimer(VirtualClock* clock) : clock_(clock) { clock_->timers_.push_back(this); }
  ~VTimer() override {
    if (clock_) {
      auto& v = clock_->timers_;
      v.erase(std::remove(v.begin(), v.end(), this), v.end());
    }
  }
  void start(int intervalMs) override {
    interval_ = std::max(intervalMs, 0);
    due_ = clock_->now_ + interval_;
    seq_ = ++clock_->armSeq_;
    active_ = true;
  }
  void stop() override { active_ = false; }
  bool active() const override { return active_; }

  VirtualClock* clock_;
  int64_t due_ = 0;
  int interval_ = 0;
  uint64_t seq_ = 0;
  bool active_ = false;
};

VirtualClock::VirtualClock() = default;

VirtualClock::~VirtualClock() {
  // Timers may outlive the clock in a careless test; detach them.
  for (VTimer* t : timers_) t->clock_ = nullptr;
}

std::unique_ptr<Timer> VirtualClock::createTimer() { return std::make_unique<VTimer>(this); }

VirtualClock::VTimer* VirtualClock::earliest() const {
  VTimer* best = nullptr;
  for (VTimer* t : timers_) {
    if (!t->active_) continue;
    if (!best || t->due_ < best->due_ || (t->due_ == best->due_ && t->seq_ < best->seq_)) best = t;
  }
  return best;
}

int64_t VirtualClock::nextDue() const {
  const VTimer* t = earliest();
  return t ? t->due_ : std::numeric_limits<int64_t>::max();
}

bool VirtualClock::step() {
  VTimer* t = earliest();
  if (!t) return false;
  now_ = std::max(now_, t->due_);
  // Re-arm before the tick so that a handler calling stop() or start() wins.
  t->due_ = now_ + t->interval_;
  t->seq_ = ++armSeq_;
  if (t->onTick) t->onTick();
  return true;
}

void VirtualClock::advance(int64_t ms) {
  const int64_t end = now_ + ms;
  while (nextDue() <= end) step();
  now_ = end;
}

}  // namespace ombrix
