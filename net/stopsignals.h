// SIGINT and SIGTERM (Ctrl-C in a terminal, a session ending, a shutdown, a
// service stopped) turned into a call on the event loop's thread, so a
// program stops the way its own Exit does. The signal handler only writes the
// signal's number to a socket pair that the loop watches. One at a time per
// process.
#pragma once

#include <csignal>
#include <functional>
#include <memory>

class QSocketNotifier;

namespace ombrix::net {

class StopSignals {
 public:
  // `onStop` gets the signal's number, on the loop's thread, once per signal.
  explicit StopSignals(std::function<void(int signal)> onStop);
  // Gives the signals back to the handlers they had before.
  ~StopSignals();
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

  // False when the socket pair could not be made: the signals then keep
  // their default action.
  bool active() const { return notifier_ != nullptr; }

 private:
  void received();
  std::function<void(int)> onStop_;
  std::unique_ptr<QSocketNotifier> notifier_;
  struct sigaction previous_[2]{};
};

}  // namespace ombrix::net
