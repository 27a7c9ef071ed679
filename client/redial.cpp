#include "client/redial.h"

#include <algorithm>

namespace ombrix::client {

Redial::Redial(TimerFactory& timers) : clock_(timers), timer_(timers.createTimer()) {
  timer_->onTick = [this] { tick(); };
}

void Redial::start() {
  active_ = true;
  pending_ = false;
  tries_ = 0;
  delayMs_ = kFirstDelayMs;
  droppedUs_ = clock_.nowUs();
  timer_->start(delayMs_);
}

void Redial::connected() {
  active_ = false;
  pending_ = true;
  timer_->stop();
}

void Redial::resume() {
  if (!pending_) return;
  pending_ = false;
  active_ = true;
  const int64_t elapsedMs = (clock_.nowUs() - droppedUs_) / 1000;
  if (elapsedMs >= kGiveUpMs) return giveUp();
  // The next try comes as long after this drop as it would have come after
  // the try that connected.
  timer_->start(static_cast<int>(std::min<int64_t>(delayMs_, kGiveUpMs - elapsedMs)));
}

void Redial::stop() {
  active_ = pending_ = false;
  timer_->stop();
}

void Redial::giveUp() {
  stop();
  if (onGiveUp) onGiveUp();
}

void Redial::tick() {
  const int64_t elapsedMs = (clock_.nowUs() - droppedUs_) / 1000;
  if (elapsedMs >= kGiveUpMs) return giveUp();
  delayMs_ = std::min(delayMs_ * 2, kLongestDelayMs);
  // The last wait ends at the minute, not past it.
  timer_->start(static_cast<int>(std::min<int64_t>(delayMs_, kGiveUpMs - elapsedMs)));
  ++tries_;
  if (onTry) onTry();
}

}  // namespace ombrix::client
