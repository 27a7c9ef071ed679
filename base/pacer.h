// Paced dispatch: a queue's work runs at most once per interval, on one
// timer of the TimerFactory, so the host and the table window pace alike and
// a test drives either in virtual time.
//
// Work that finds the budget unspent (nothing ran within the last interval)
// runs at once, on arrival; the rest follows one a tick. The timer ticks only
// while work waits, so a queue at rest costs nothing.
//
// The owner keeps the queue; the pacer asks three things of it: is it empty,
// take the next piece (keep it aside), run the piece taken. The pacer re-arms
// between taking and running, so a timer the work arms comes after the next
// tick's when both fall due at once, as a window system orders them.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "base/timer.h"

namespace ombrix {

class Pacer {
 public:
  struct Work {
    std::function<bool()> empty;
    std::function<void()> take;
    std::function<void()> run;
  };

  Pacer(TimerFactory& clock, int64_t intervalUs, Work work);

  // Work was queued: runs the next piece now if the budget allows, else
  // makes sure the timer will. Safe to call from inside the work.
  void poke();
  // Stops the ticks (the owner emptied its queue).
  void stop() { timer_->stop(); }

  bool ticking() const { return timer_->active(); }
  // When the last piece was taken, on the clock's time (µs).
  int64_t lastRunUs() const { return lastRunUs_; }
  int64_t intervalUs() const { return intervalUs_; }
  // The timer itself (tests count its ticks).
  Timer& timer() { return *timer_; }

 private:
  void tick();
  void runNext();
  void arm(int64_t waitUs);

  TimerFactory& clock_;
  const int64_t intervalUs_;
  Work work_;
  std::unique_ptr<Timer> timer_;
  int64_t lastRunUs_ = INT64_MIN / 2;  // long ago: the first piece runs at once
  int armedMs_ = 0;
};

}  // namespace ombrix
