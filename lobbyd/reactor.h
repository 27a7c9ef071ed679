// A small event loop for the lobby server: readiness of descriptors from
// epoll, and timers, on one thread. No Qt: the server is a plain process.
//
// Trade-offs, as in any such loop:
//  * level-triggered epoll: a handler that leaves data unread is simply
//    called again, so a handler may stop early (a paced relay) without
//    losing anything;
//  * one handler per descriptor, told which of readable/writable fired; a
//    handler may unwatch or close any descriptor, its own included: the
//    events of one wait that name a descriptor since unwatched are dropped;
//  * timers in an ordered map: the server keeps few (a sweep once a second,
//    probes, paced relays), so O(log n) insertion is plenty.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <vector>

namespace ombrix::lobbyd {

class Reactor {
 public:
  enum Mask : int { kNone = 0, kReadable = 1, kWritable = 2 };
  using FileProc = std::function<void(int fd, int mask)>;
  using TimerProc = std::function<void()>;
  // Milliseconds on some monotonic clock; a test passes one it advances
  // itself, so the server's deadlines run in virtual time over real sockets.
  using Clock = std::function<int64_t()>;

  explicit Reactor(Clock clock = {});
  ~Reactor();
  Reactor(const Reactor&) = delete;
  Reactor& operator=(const Reactor&) = delete;

  // Watches `fd` for `mask` (kNone keeps it registered but quiet). False
  // when epoll refuses it.
  bool watch(int fd, int mask, FileProc proc);
  void setMask(int fd, int mask);
  int mask(int fd) const;
  void unwatch(int fd);

  // Runs `proc` once, `ms` milliseconds from now. Returns an id for cancel().
  uint64_t after(int64_t ms, TimerProc proc);
  void cancel(uint64_t id);

  // Milliseconds on the loop's clock, read once per loop turn.
  int64_t now() const { return now_; }
  // The loop's clock, read now.
  int64_t time() const { return clock_ ? clock_() : clockMs(); }
  // The system's monotonic clock.
  static int64_t clockMs();

  // One wait (at most `maxWaitMs`, -1 for the next timer) and its handlers.
  void runOnce(int maxWaitMs = -1);
  void run();
  void stop() { stopped_ = true; }

 private:
  struct Entry {
    int mask = 0;
    bool live = false;
    FileProc proc;
  };
  Clock clock_;
  int epfd_;
  std::vector<Entry> entries_;  // by descriptor, as the kernel numbers them densely
  std::map<std::pair<int64_t, uint64_t>, TimerProc> timers_;
  std::map<uint64_t, int64_t> timerDue_;
  uint64_t nextTimer_ = 1;
  int64_t now_;
  bool stopped_ = false;
};

}  // namespace ombrix::lobbyd
