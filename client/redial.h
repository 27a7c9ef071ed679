// Redial: when a table whose line dropped tries to connect again.
//
// The first try comes a moment after the drop, so that the host has seen its
// own end of the connection go and keeps the seat for the name; each later
// try comes twice as long after the one before, at most kLongestDelayMs
// apart, and at kGiveUpMs after the drop the table gives up. A try that has
// neither connected nor failed by the next one is simply replaced by it, so
// a host that never answers costs no more than one that refuses.
//
// Pure C++ on the timer interface: the schedule runs in virtual time in tests.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "base/timer.h"

namespace ombrix::client {

class Redial {
 public:
  static constexpr int kFirstDelayMs = 500;
  static constexpr int kLongestDelayMs = 8000;
  // A line back within a minute finds the game going on; past that the
  // player is better told than kept waiting.
  static constexpr int kGiveUpMs = 60000;

  explicit Redial(TimerFactory& timers);

  std::function<void()> onTry;     // open a new connection now
  std::function<void()> onGiveUp;  // the minute is over

  // The line dropped: the tries begin.
  void start();
  // A try connected: no more tries while that connection lasts, but the
  // minute is not over until it has logged in.
  void connected();
  // The connection a try made dropped before it logged in: the tries go on
  // where they were, within the same minute.
  void resume();
  // The table logged in again (or is closing): the drop is over.
  void stop();
  bool active() const { return active_; }
  // A try connected and has not logged in yet.
  bool pending() const { return pending_; }
  int tries() const { return tries_; }

 private:
  void tick();
  void giveUp();

  TimerFactory& clock_;
  std::unique_ptr<Timer> timer_;
  bool active_ = false;
  bool pending_ = false;
  int tries_ = 0;
  int delayMs_ = 0;
  int64_t droppedUs_ = 0;
};

}  // namespace ombrix::client
