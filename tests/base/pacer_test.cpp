#include "base/pacer.h"

#include <gtest/gtest.h>

#include <deque>
#include <vector>

#include "base/virtualclock.h"

namespace ombrix {
namespace {

// A queue paced at 10 ms on a virtual clock, noting when each piece ran.
struct Paced {
  VirtualClock clock;
  std::deque<int> queue;
  int taken = 0;
  std::vector<std::pair<int, int64_t>> ran;  // piece, ms
  Pacer pacer{clock, 10'000,
              {[this] { return queue.empty(); },
               [this] {
                 taken = queue.front();
                 queue.pop_front();
               },
               [this] { ran.push_back({taken, clock.now()}); }}};
  void add(int n) {
    queue.push_back(n);
    pacer.poke();
  }
};

TEST(Pacer, WorkOnArrivalWhenTheBudgetIsUnspentThenOnePerIntervalInOrderAndNoTicksAtRest) {
  Paced p;
  p.add(1);  // nothing ran yet: at once, without a tick
  ASSERT_EQ(p.ran.size(), 1u);
  EXPECT_EQ(p.ran[0], std::make_pair(1, int64_t{0}));
  EXPECT_FALSE(p.pacer.ticking());

  p.clock.advance(3);
  p.add(2);  // within the interval: waits for the budget
  p.add(3);
  EXPECT_EQ(p.ran.size(), 1u);
  p.clock.runUntil([&] { return p.queue.empty(); }, 1000);
  ASSERT_EQ(p.ran.size(), 3u);
  EXPECT_EQ(p.ran[1], std::make_pair(2, int64_t{10}));
  EXPECT_EQ(p.ran[2], std::make_pair(3, int64_t{20}));
  p.clock.advance(100);
  EXPECT_FALSE(p.pacer.ticking()) << "a queue at rest must cost no ticks";

  p.add(4);  // long idle: at once again
  EXPECT_EQ(p.ran.back(), std::make_pair(4, int64_t{120}));
}

TEST(Pacer, ATimerTheWorkArmsForTheSameMomentRunsAfterTheNextTick) {
  VirtualClock clock;
  std::deque<int> queue{1, 2};
  int taken = 0;
  std::vector<int> order;
  auto other = clock.createTimer();
  other->onTick = [&] {
    order.push_back(0);
    other->stop();
  };
  Pacer pacer(clock, 10'000,
              {[&] { return queue.empty(); },
               [&] {
                 taken = queue.front();
                 queue.pop_front();
               },
               [&] {
                 order.push_back(taken);
                 if (taken == 1) other->start(10);  // due with the pacer's next tick
               }});
  pacer.poke();
  clock.advance(10);
  EXPECT_EQ(order, (std::vector<int>{1, 2, 0}));
}

}  // namespace
}  // namespace ombrix
