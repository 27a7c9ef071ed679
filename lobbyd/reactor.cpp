#include "lobbyd/reactor.h"

#include <sys/epoll.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <stdexcept>

namespace ombrix::lobbyd {

namespace {
uint32_t epollBits(int mask) {
  return (mask & Reactor::kReadable ? EPOLLIN | EPOLLRDHUP : 0u) | (mask & Reactor::kWritable ? EPOLLOUT : 0u);
}
// Events one wait takes: enough for a burst of a busy server, small enough
// to stay on the stack.
constexpr int kBatch = 256;
}  // namespace

Reactor::Reactor(Clock clock) : clock_(std::move(clock)), epfd_(::epoll_create1(EPOLL_CLOEXEC)), now_(time()) {
  if (epfd_ < 0) throw std::runtime_error("epoll_create1 failed");
}

Reactor::~Reactor() { ::close(epfd_); }

int64_t Reactor::clockMs() {
  timespec ts;
  ::clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

bool Reactor::watch(int fd, int mask, FileProc proc) {
  if (fd < 0) return false;
  if (static_cast<size_t>(fd) >= entries_.size()) entries_.resize(static_cast<size_t>(fd) + 64);
  Entry& e = entries_[static_cast<size_t>(fd)];
  epoll_event ev{};
  ev.events = epollBits(mask);
  ev.data.fd = fd;
  if (::epoll_ctl(epfd_, e.live ? EPOLL_CTL_MOD : EPOLL_CTL_ADD, fd, &ev) != 0) return false;
  e.live = true;
  e.mask = mask;
  e.proc = std::move(proc);
  return true;
}

void Reactor::setMask(int fd, int mask) {
  if (fd < 0 || static_cast<size_t>(fd) >= entries_.size()) return;
  Entry& e = entries_[static_cast<size_t>(fd)];
  if (!e.live || e.mask == mask) return;
  epoll_event ev{};
  ev.events = epollBits(mask);
  ev.data.fd = fd;
  if (::epoll_ctl(epfd_, EPOLL_CTL_MOD, fd, &ev) == 0) e.mask = mask;
}

int Reactor::mask(int fd) const {
  if (fd < 0 || static_cast<size_t>(fd) >= entries_.size()) return kNone;
  return entries_[static_cast<size_t>(fd)].live ? entries_[static_cast<size_t>(fd)].mask : kNone;
}

void Reactor::unwatch(int fd) {
  if (fd < 0 || static_cast<size_t>(fd) >= entries_.size()) return;
  Entry& e = entries_[static_cast<size_t>(fd)];
  if (!e.live) return;
  ::epoll_ctl(epfd_, EPOLL_CTL_DEL, fd, nullptr);
  e.live = false;
  e.mask = 0;
  e.proc = nullptr;
}

uint64_t Reactor::after(int64_t ms, TimerProc proc) {
  const uint64_t id = nextTimer_++;
  const int64_t due = time() + ms;
  timers_.emplace(std::make_pair(due, id), std::move(proc));
  timerDue_.emplace(id, due);
  return id;
}

void Reactor::cancel(uint64_t id) {
  auto it = timerDue_.find(id);
  if (it == timerDue_.end()) return;
  timers_.erase({it->second, id});
  timerDue_.erase(it);
}

void Reactor::runOnce(int maxWaitMs) {
  int wait = maxWaitMs;
  if (!timers_.empty()) {
    const int64_t untilNext = std::max<int64_t>(0, timers_.begin()->first.first - time());
    if (wait < 0 || untilNext < wait) wait = static_cast<int>(std::min<int64_t>(untilNext, 1 << 30));
  }
  epoll_event events[kBatch];
  const int n = ::epoll_wait(epfd_, events, kBatch, wait);
  now_ = time();
  for (int i = 0; i < n; ++i) {
    const int fd = events[i].data.fd;
    // A handler earlier in this batch may have closed it, and the number may
    // even be reused: the entry's generation is what it is now, which is
    // what a level-triggered loop may safely act on.
    if (static_cast<size_t>(fd) >= entries_.size() || !entries_[static_cast<size_t>(fd)].live) continue;
    const uint32_t bits = events[i].events;
    int fired = 0;
    if (bits & (EPOLLIN | EPOLLRDHUP | EPOLLHUP | EPOLLERR)) fired |= kReadable;
    if (bits & (EPOLLOUT | EPOLLHUP | EPOLLERR)) fired |= kWritable;
    fired &= entries_[static_cast<size_t>(fd)].mask | ((bits & (EPOLLHUP | EPOLLERR)) ? kReadable : 0);
    if (!fired) continue;
    // A copy: the handler may replace or remove its own entry.
    FileProc proc = entries_[static_cast<size_t>(fd)].proc;
    proc(fd, fired);
  }
  while (!timers_.empty() && timers_.begin()->first.first <= time()) {
    auto node = timers_.extract(timers_.begin());
    timerDue_.erase(node.key().second);
    node.mapped()();
  }
}

void Reactor::run() {
  stopped_ = false;
  while (!stopped_) runOnce(-1);
}

}  // namespace ombrix::lobbyd
