// The engine's view of time: periodic timers it can start and stop.
//
// Production binds these to the Qt event loop; tests and benchmarks bind them
// to VirtualClock, so a whole game with its pauses runs in milliseconds. The
// semantics follow a window-system timer: start() (re)arms the timer so that it
// ticks every `intervalMs` from now until stop(); an interval of 0 ticks as
// soon as the event loop is idle.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

namespace ombrix {

class Timer {
 public:
  virtual ~Timer() = default;
  virtual void start(int intervalMs) = 0;
  virtual void stop() = 0;
  virtual bool active() const = 0;

  // Called on every tick. Set once by the owner before the first start().
  std::function<void()> onTick;
};

class TimerFactory {
 public:
  virtual ~TimerFactory() = default;
  virtual std::unique_ptr<Timer> createTimer() = 0;
  // The time these timers run on, in microseconds from an arbitrary start
  // (the host's dispatch budget is measured on it).
  virtual int64_t nowUs() const = 0;
};

}  // namespace ombrix
