#include "base/pacer.h"

#include <utility>

namespace ombrix {

Pacer::Pacer(TimerFactory& clock, int64_t intervalUs, Work work)
    : clock_(clock), intervalUs_(intervalUs), work_(std::move(work)), timer_(clock.createTimer()) {
  timer_->onTick = [this] { tick(); };
}

void Pacer::poke() {
  if (work_.empty()) {
    timer_->stop();
    return;
  }
  if (timer_->active()) return;  // the next run is already due
  const int64_t wait = lastRunUs_ + intervalUs_ - clock_.nowUs();
  if (wait <= 0)
    runNext();
  else
    arm(wait);
}

void Pacer::arm(int64_t waitUs) {
  // Whole milliseconds, rounded up: a tick never comes before the budget.
  const int ms = static_cast<int>((waitUs + 999) / 1000);
  if (!timer_->active() || ms != armedMs_) timer_->start(ms);
  armedMs_ = ms;
}

void Pacer::tick() {
  if (work_.empty()) {
    timer_->stop();  // tick only while there is work
    return;
  }
  const int64_t wait = lastRunUs_ + intervalUs_ - clock_.nowUs();
  if (wait > 0) return arm(wait);  // a timer that fired early
  runNext();
}

void Pacer::runNext() {
  lastRunUs_ = clock_.nowUs();
  work_.take();
  if (work_.empty())
    timer_->stop();
  else
    arm(intervalUs_);
  work_.run();
}

}  // namespace ombrix
