// SIGINT and SIGTERM reach the event loop's thread as calls, once each,
// and the handlers that were there before come back afterwards.
#include "net/stopsignals.h"

#include <gtest/gtest.h>

#include <csignal>
#include <vector>

#include "tests/support/qtloop.h"

namespace ombrix::net {
namespace {

using test::waitFor;

volatile std::sig_atomic_t g_before = 0;
void before(int signal) { g_before = signal; }

TEST(StopSignals, EachSignalIsOneCallOnTheLoopAndThePreviousHandlersReturn) {
  std::signal(SIGTERM, before);
  std::signal(SIGINT, before);
  {
    std::vector<int> calls;
    StopSignals stop([&](int signal) { calls.push_back(signal); });
    ASSERT_TRUE(stop.active());
    std::raise(SIGTERM);
    EXPECT_TRUE(calls.empty());  // not from inside the handler
    ASSERT_TRUE(waitFor([&] { return calls.size() == 1; }));
    std::raise(SIGINT);
    std::raise(SIGTERM);
    ASSERT_TRUE(waitFor([&] { return calls.size() == 3; }));
    EXPECT_EQ(calls, (std::vector<int>{SIGTERM, SIGINT, SIGTERM}));
    EXPECT_EQ(g_before, 0);

    StopSignals second([](int) {});  // one at a time: the first stays in charge
    EXPECT_FALSE(second.active());
  }
  std::raise(SIGTERM);
  EXPECT_EQ(g_before, SIGTERM);
  std::signal(SIGTERM, SIG_DFL);
  std::signal(SIGINT, SIG_DFL);
}

}  // namespace
}  // namespace ombrix::net
