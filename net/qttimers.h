// The engine's timers on the Qt event loop.
//
// `scale` divides every interval (tests and demos play a whole game quickly
// with the same sequence of events); 1 is real time.
#pragma once

#include "base/timer.h"

namespace ombrix::net {

class QtTimerFactory : public TimerFactory {
 public:
  explicit QtTimerFactory(double scale = 1.0) : scale_(scale) {}
  std::unique_ptr<Timer> createTimer() override;
  // Steady time, sped up by the same scale as the timers.
  int64_t nowUs() const override;

 private:
  double scale_;
};

}  // namespace ombrix::net
