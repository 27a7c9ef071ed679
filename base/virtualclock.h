// A TimerFactory whose time moves only when asked, for tests and benchmarks.
//
// Ticks run in order of due time; timers due at the same moment run in the
// order they were armed, as a window system delivers them. Nothing here sleeps.
#pragma once

#include <cstdint>
#include <vector>

#include "base/timer.h"

namespace ombrix {

class VirtualClock : public TimerFactory {
 public:
  VirtualClock();
  ~VirtualClock() override;
  VirtualClock(const VirtualClock&) = delete;
  VirtualClock& operator=(const VirtualClock&) = delete;

  std::unique_ptr<Timer> createTimer() override;
  int64_t nowUs() const override { return now_ * 1000; }

  int64_t now() const { return now_; }

  // Runs the earliest due tick, moving time to it. False when no timer is armed.
  bool step();

  // Runs every tick due up to now() + ms, then sets the time to that moment.
  void advance(int64_t ms);

  // Steps until `done()` holds or no timer is armed, but never past `limitMs`
  // of virtual time from now. Returns whether `done()` held.
  template <class Pred>
  bool runUntil(Pred done, int64_t limitMs) {
    const int64_t end = now_ + limitMs;
    while (!done()) {
      if (nextDue() > end || !step()) return done();
    }
    return true;
  }

 private:
  class VTimer;
  friend class VTimer;
  int64_t nextDue() const;
  VTimer* earliest() const;

  int64_t now_ = 0;
  uint64_t armSeq_ = 0;
  std::vector<VTimer*> timers_;
};

}  // namespace ombrix
