// The avahi library's main-loop interface on the Qt event loop, driven as
// the library drives it, over pipes: no daemon, no root.
#include "dnssd/avahipoll.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/time.h>
#include <unistd.h>

#include <vector>

#include "tests/support/qtloop.h"

namespace ombrix::dnssd {
namespace {

using test::waitFor;

struct Pipe {
  Pipe() {
    EXPECT_EQ(::pipe2(fd, O_NONBLOCK | O_CLOEXEC), 0);
  }
  ~Pipe() {
    for (int f : fd)
      if (f >= 0) ::close(f);
  }
  void put() { EXPECT_EQ(::write(fd[1], "x", 1), 1); }
  void hangUp() { ::close(fd[1]), fd[1] = -1; }
  int fd[2] = {-1, -1};
};

struct WatchSeen {
  int fd;
  AvahiWatchEvent event;
};

// Every call the poll makes back into "the library".
struct Library {
  explicit Library(const AvahiPoll* api) : api(api) {}
  static void watched(AvahiWatch* w, int fd, AvahiWatchEvent event, void* self) {
    auto* l = static_cast<Library*>(self);
    l->seen.push_back({fd, event});
    l->reported.push_back(l->api->watch_get_events(w));
    if (l->freeInCallback) l->api->watch_free(w);
  }
  static void timedOut(AvahiTimeout* t, void* self) {
    auto* l = static_cast<Library*>(self);
    ++l->timeouts;
    if (l->freeInCallback) l->api->timeout_free(t);
  }
  const AvahiPoll* api;
  bool freeInCallback = false;
  std::vector<WatchSeen> seen;
  std::vector<AvahiWatchEvent> reported;
  int timeouts = 0;
};

// An absolute time `ms` from now on the library's clock (negative: past).
timeval in(int ms) {
  timeval tv;
  gettimeofday(&tv, nullptr);
  long long us = tv.tv_usec + ms * 1000LL;
  tv.tv_sec += us / 1000000;
  us %= 1000000;
  if (us < 0) us += 1000000, --tv.tv_sec;
  tv.tv_usec = us;
  return tv;
}

// Runs the loop until a watch on a pipe of its own has fired: every watch
// that is ready and enabled has fired by then too, in that same pass.
void settle(const AvahiPoll* api) {
  Pipe marker;
  bool fired = false;
  AvahiWatch* w = api->watch_new(
      api, marker.fd[0], AVAHI_WATCH_IN, [](AvahiWatch*, int, AvahiWatchEvent, void* f) { *static_cast<bool*>(f) = true; },
      &fired);
  marker.put();
  EXPECT_TRUE(waitFor([&] { return fired; }));
  api->watch_free(w);
}

TEST(AvahiPoll, WatchesReportWhatTheyWereAskedForAndNothingOnceTurnedOff) {
  AvahiQtPoll poll;
  const AvahiPoll* api = poll.api();
  Library lib{api};
  Pipe p;
  AvahiWatch* in = api->watch_new(api, p.fd[0], AVAHI_WATCH_IN, &Library::watched, &lib);
  AvahiWatch* out = api->watch_new(api, p.fd[1], static_cast<AvahiWatchEvent>(0), &Library::watched, &lib);
  settle(api);
  EXPECT_TRUE(lib.seen.empty()) << "nothing to read, and writing not asked for";

  p.put();
  ASSERT_TRUE(waitFor([&] { return !lib.seen.empty(); }));
  EXPECT_EQ(lib.seen[0].fd, p.fd[0]);
  EXPECT_EQ(lib.seen[0].event, AVAHI_WATCH_IN);
  EXPECT_EQ(lib.reported[0], AVAHI_WATCH_IN);

  // Still readable, but no longer asked: silence.
  api->watch_update(in, static_cast<AvahiWatchEvent>(0));
  lib.seen.clear();
  settle(api);
  EXPECT_TRUE(lib.seen.empty());

  api->watch_update(out, AVAHI_WATCH_OUT);
  ASSERT_TRUE(waitFor([&] { return !lib.seen.empty(); }));
  EXPECT_EQ(lib.seen[0].fd, p.fd[1]);
  EXPECT_EQ(lib.seen[0].event, AVAHI_WATCH_OUT);
  api->watch_free(out);
  lib.seen.clear();
  settle(api);
  EXPECT_TRUE(lib.seen.empty()) << "a freed watch reported";

  // The other end gone: reported as readable, as poll(2) reports a hang-up.
  char drained;
  ASSERT_EQ(::read(p.fd[0], &drained, 1), 1);
  api->watch_update(in, AVAHI_WATCH_IN);
  p.hangUp();
  ASSERT_TRUE(waitFor([&] { return !lib.seen.empty(); }));
  EXPECT_EQ(lib.seen[0].event, AVAHI_WATCH_IN);

  // The library frees a watch from its own callback.
  lib.freeInCallback = true;
  lib.seen.clear();
  ASSERT_TRUE(waitFor([&] { return !lib.seen.empty(); }));
  settle(api);
  EXPECT_EQ(lib.seen.size(), 1u);
}

TEST(AvahiPoll, TimeoutsFireOnceWhenDueAndNeverWhenOffOrFreed) {
  AvahiQtPoll poll;
  const AvahiPoll* api = poll.api();
  Library lib{api};
  // Off from the start, then put in the past: fires at once, and once.
  AvahiTimeout* t = api->timeout_new(api, nullptr, &Library::timedOut, &lib);
  settle(api);
  EXPECT_EQ(lib.timeouts, 0);
  const timeval past = in(-1000);
  api->timeout_update(t, &past);
  ASSERT_TRUE(waitFor([&] { return lib.timeouts == 1; }));
  settle(api);
  EXPECT_EQ(lib.timeouts, 1);

  // Moved far ahead, then off: never.
  const timeval later = in(3600 * 1000);
  api->timeout_update(t, &later);
  api->timeout_update(t, nullptr);
  api->timeout_update(t, &later);
  settle(api);
  EXPECT_EQ(lib.timeouts, 1);
  api->timeout_free(t);

  // Freed before it was due: never; freed by its own callback: once.
  AvahiTimeout* gone = api->timeout_new(api, &past, &Library::timedOut, &lib);
  api->timeout_free(gone);
  lib.freeInCallback = true;
  const timeval soon = in(5);
  api->timeout_new(api, &soon, &Library::timedOut, &lib);
  ASSERT_TRUE(waitFor([&] { return lib.timeouts == 2; }));
  settle(api);
  EXPECT_EQ(lib.timeouts, 2);
}

}  // namespace
}  // namespace ombrix::dnssd
