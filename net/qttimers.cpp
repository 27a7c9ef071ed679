#include "net/qttimers.h"

#include <QTimer>
#include <chrono>

namespace ombrix::net {

namespace {
class QtTimer : public Timer {
 public:
  explicit QtTimer(double scale) : scale_(scale) {
    timer_.setTimerType(Qt::PreciseTimer);  // the dispatch tick is 10 ms
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      if (onTick) onTick();
    });
  }
  void start(int intervalMs) override { timer_.start(static_cast<int>(intervalMs / scale_)); }
  void stop() override { timer_.stop(); }
  bool active() const override { return timer_.isActive(); }

 private:
  double scale_;
  QTimer timer_;
};
}  // namespace

std::unique_ptr<Timer> QtTimerFactory::createTimer() { return std::make_unique<QtTimer>(scale_); }

int64_t QtTimerFactory::nowUs() const {
  const auto since = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<int64_t>(std::chrono::duration<double, std::micro>(since).count() * scale_);
}

}  // namespace ombrix::net
