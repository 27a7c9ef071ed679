#include "protocol/framing.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ombrix::wire {
namespace {

std::vector<std::string> feedAll(Framer& f, std::initializer_list<std::string> reads) {
  std::vector<std::string> out;
  for (const auto& r : reads)
    EXPECT_TRUE(f.feed(r, [&](std::string_view m) {
      out.emplace_back(m);
      return true;
    }));
  return out;
}

TEST(Framer, CutsAtEveryTerminatorAndKeepsTheTail) {
  Framer f;
  EXPECT_EQ(feedAll(f, {"CMD_a+1\xFF"
                        "CMD_b+2\xFF"
                        "CMD_c"}),
            (std::vector<std::string>{"CMD_a+1", "CMD_b+2"}));
  EXPECT_EQ(f.remainder(), "CMD_c");
  EXPECT_EQ(feedAll(f, {"+3\xFF"}), (std::vector<std::string>{"CMD_c+3"}));
  EXPECT_EQ(f.remainder(), "");
}

TEST(Framer, DoubledTerminatorGivesAnEmptyEntry) {
  Framer f;
  EXPECT_EQ(feedAll(f, {"CMD_logininfo+2+1.0.14+Ann\xFF\xFF"}),
            (std::vector<std::string>{"CMD_logininfo+2+1.0.14+Ann", ""}));
}

TEST(Framer, ByteByByteIsTheSameAsAllAtOnce) {
  const std::string stream =
      "CMD_chat+3+hi+there|clRed\xFF\xFF"
      "CMD_bid+3+2\xFF"
      "x";
  Framer whole, bytes;
  std::vector<std::string> a = feedAll(whole, {stream}), b;
  for (char c : stream)
    bytes.feed(std::string_view(&c, 1), [&](std::string_view m) {
      b.emplace_back(m);
      return true;
    });
  EXPECT_EQ(a, b);
  EXPECT_EQ(whole.remainder(), bytes.remainder());
}

TEST(Framer, EndlessMessageIsCutOffNotGrown) {
  Framer f;
  const std::string chunk(8192, 'A');
  bool ok = true;
  size_t fed = 0;
  while (ok && fed <= Framer::kMaxRemainder + chunk.size()) {
    ok = f.feed(chunk, [](std::string_view) { return true; });
    fed += chunk.size();
  }
  EXPECT_FALSE(ok);
  EXPECT_LE(fed, Framer::kMaxRemainder + chunk.size());
  EXPECT_TRUE(f.remainder().empty());
}

TEST(Framer, RefusingSinkStopsTheFeed) {
  Framer f;
  int n = 0;
  EXPECT_FALSE(
      f.feed("a\xFF"
             "b\xFF"
             "c\xFF",
             [&](std::string_view) { return ++n < 2; }));
  EXPECT_EQ(n, 2);
}

TEST(MessageQueue, ArrivalOrderWithoutContention) {
  MessageQueue q;
  q.push(3, "a");
  q.push(1, "b");
  q.push(3, "c");
  EXPECT_EQ(q.pop().text, "a");
  EXPECT_EQ(q.pop().text, "b");
  EXPECT_EQ(q.pop().text, "c");
  EXPECT_TRUE(q.empty());
}

TEST(MessageQueue, AFlooderDelaysOthersByOneMessageAndKeepsItsOrder) {
  MessageQueue q;
  for (int i = 0; i < 500; ++i) q.push(7, "chat" + std::to_string(i));
  for (int i = 0; i < 10; ++i) q.pop();
  // One other connection: its message goes next, ahead of the backlog.
  q.push(2, "card");
  auto m = q.pop();
  EXPECT_EQ(m.text, "card");
  EXPECT_EQ(m.origin, 2);
  // Right after that, the flooder has its turn, then the next two others
  // go before its next one.
  q.push(2, "bid");
  q.push(3, "card3");
  EXPECT_EQ(q.pop().text, "chat10");
  EXPECT_EQ(q.pop().text, "bid");
  EXPECT_EQ(q.pop().text, "card3");
  for (int i = 11; i < 500; ++i) ASSERT_EQ(q.pop().text, "chat" + std::to_string(i));
}

TEST(MessageQueue, ADroppedBacklogDoesNotHoldBackTheLanesNextUser) {
  MessageQueue q;
  q.push(1, "a");
  for (int i = 0; i < 300; ++i) q.push(4, "flood");
  q.dropFrom(4);  // the flooder is gone; its slot is taken again
  q.push(1, "b");
  q.push(4, "newcomer");
  EXPECT_EQ(q.pop().text, "a");
  EXPECT_EQ(q.pop().text, "newcomer");
  EXPECT_EQ(q.pop().text, "b");
}

TEST(MessageQueue, BoundsPerConnection) {
  MessageQueue q;
  size_t n = 0;
  while (q.push(4, "x")) ++n;
  EXPECT_EQ(n, MessageQueue::kMaxQueuedMessages);
  EXPECT_TRUE(q.push(5, "other connections are unaffected"));
  EXPECT_FALSE(q.push(6, std::string(MessageQueue::kMaxQueuedBytes + 1, 'y')));
  q.dropFrom(4);
  EXPECT_EQ(q.size(), 1u);
  EXPECT_TRUE(q.push(4, "x"));
}

}  // namespace
}  // namespace ombrix::wire
