// The socket component against peers and conditions that would make it spin
// or overrun: a listener out of descriptors or with nobody accepting, a
// datagram nobody reads, reads larger or smaller than the caller asked for,
// and a send queue left behind by Close.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <array>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "net/asyncsock.h"
#include "tests/support/descriptors.h"
#include "tests/support/qtloop.h"

namespace ombrix::net {
namespace {

using test::DescriptorSqueeze;
using test::waitFor;
using Clock = std::chrono::steady_clock;

constexpr int kLoopPasses = 2000;

sockaddr_in loopback(int port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return a;
}

bool connectRaw(int fd, int port) {
  const sockaddr_in a = loopback(port);
  return ::connect(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0;
}

// Runs the event loop for kLoopPasses passes without waiting and returns how
// many notifications `count` gained, next to how many a listener waiting for
// a descriptor may see in that time (one, plus one per retry).
struct Passes {
  int gained, allowed;
};
Passes spin(const int& count) {
  const int before = count;
  const auto start = Clock::now();
  for (int i = 0; i < kLoopPasses; ++i) QCoreApplication::processEvents();
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
  return {count - before, 1 + static_cast<int>(ms / TAsyncSock::kStarvedRetryMs)};
}

// A listener that counts its accept notifications and accepts when told to.
struct CountingListener {
  explicit CountingListener(bool accepts) {
    l.setPortName("0");
    l.OnAccept = [this, accepts](TAsyncSock* s) {
      ++notices;
      TAsyncSock* ns = nullptr;
      if (accepts && s->Accept(ns)) got.push_back(ns);
    };
    l.setListen(true);
  }
  TAsyncSock l;
  int notices = 0;
  std::vector<TAsyncSock*> got;  // owned by the listener
};

TEST(AsyncSockLimits, AListenerOutOfDescriptorsWaitsQuietlyAndRecovers) {
  CountingListener srv(true);
  // The client sockets exist before the descriptors run out; one of them is
  // accepted now, to be closed later.
  const int c1 = ::socket(AF_INET, SOCK_STREAM, 0), c2 = ::socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_TRUE(connectRaw(c1, srv.l.LocalPort()));
  ASSERT_TRUE(waitFor([&] { return srv.got.size() == 1; }));
  {
    DescriptorSqueeze squeeze;
    ASSERT_TRUE(DescriptorSqueeze::exhausted());
    ASSERT_TRUE(connectRaw(c2, srv.l.LocalPort()));  // completes in the backlog
    ASSERT_TRUE(waitFor([&] { return srv.notices == 2; }));
    EXPECT_EQ(srv.got.size(), 1u);
    const Passes p = spin(srv.notices);
    EXPECT_LE(p.gained, p.allowed) << "the listener is woken on every pass";
    EXPECT_EQ(srv.got.size(), 1u);
    // A socket of this process closing frees a descriptor: the waiting
    // connection is taken.
    srv.got[0]->Close();
    ASSERT_TRUE(waitFor([&] { return srv.got.size() == 2; }));
    EXPECT_TRUE(srv.got[1]->Connected());
  }
  ::close(c1);
  ::close(c2);
}

TEST(AsyncSockLimits, ADescriptorFreedElsewhereIsFoundByTheRetry) {
  CountingListener srv(true);
  const int c = ::socket(AF_INET, SOCK_STREAM, 0);
  DescriptorSqueeze squeeze;
  ASSERT_TRUE(connectRaw(c, srv.l.LocalPort()));
  ASSERT_TRUE(waitFor([&] { return srv.notices >= 1; }));
  EXPECT_TRUE(srv.got.empty());
  squeeze.release(1);  // a file closed, not a socket
  ASSERT_TRUE(waitFor([&] { return srv.got.size() == 1; }));
  ::close(c);
}

TEST(AsyncSockLimits, AConnectionNobodyAcceptsIsToldOnceUntilAccepted) {
  CountingListener srv(false);
  const int c1 = ::socket(AF_INET, SOCK_STREAM, 0), c2 = ::socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_TRUE(connectRaw(c1, srv.l.LocalPort()));
  ASSERT_TRUE(waitFor([&] { return srv.notices == 1; }));
  EXPECT_EQ(spin(srv.notices).gained, 0);
  TAsyncSock* ns = nullptr;
  ASSERT_TRUE(srv.l.Accept(ns));
  ASSERT_TRUE(connectRaw(c2, srv.l.LocalPort()));
  ASSERT_TRUE(waitFor([&] { return srv.notices == 2; }));
  ::close(c1);
  ::close(c2);
}

// A plain listening socket on a free port.
int rawListener(int& port) {
  const int l = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a = loopback(0);
  ::bind(l, reinterpret_cast<sockaddr*>(&a), sizeof a);
  ::listen(l, 1);
  socklen_t len = sizeof a;
  ::getsockname(l, reinterpret_cast<sockaddr*>(&a), &len);
  port = ntohs(a.sin_port);
  return l;
}

// Reads `n` bytes from a plain socket, or what comes within a few seconds.
std::string readAll(int fd, size_t n) {
  std::string got;
  char buf[4096];
  pollfd p{fd, POLLIN, 0};
  while (got.size() < n && ::poll(&p, 1, 5000) > 0) {
    const ssize_t k = ::recv(fd, buf, std::min(sizeof buf, n - got.size()), 0);
    if (k <= 0) break;
    got.append(buf, static_cast<size_t>(k));
  }
  return got;
}

// A connected pair: `c` is ours, `peer` the plain far end, which reads only
// when told to.
struct Pair {
  Pair() {
    int port = 0;
    const int l = rawListener(port);
    c.setHostName("127.0.0.1");
    c.setPortName(std::to_string(port));
    c.Open();
    peer = ::accept(l, nullptr, nullptr);
    ::close(l);
    waitFor([&] { return c.Connected(); });
  }
  ~Pair() { ::close(peer); }
  TAsyncSock c;
  int peer = -1;
};

TEST(AsyncSockLimits, ReadsNeverGoPastTheCallersCount) {
  Pair p;
  ASSERT_TRUE(p.c.Connected());
  int queued = 0;
  p.c.OnRead = [&](TAsyncSock*, int count) { queued = count; };
  ::send(p.peer, "abcdef", 6, 0);
  ASSERT_TRUE(waitFor([&] { return queued == 6; }));  // queued, not taken
  std::vector<std::string> reports;
  p.c.OnInfo = [&](TAsyncSock*, TSocketInfo, const std::string& m) { reports.push_back(m); };
  // A zero count asks for nothing: no network call, no report.
  EXPECT_EQ(p.c.ReceiveCount(0), "");
  EXPECT_TRUE(reports.empty());
  EXPECT_EQ(p.c.ReceiveCount(3), "abc");
  EXPECT_EQ(p.c.ReceiveCount(10), "def");
  EXPECT_TRUE(p.c.Connected());
}

TEST(AsyncSockLimits, CloseDropsTheSendQueue) {
  Pair p;
  // The far end reads nothing: a large send stays partly queued.
  p.c.Send(std::string(8 << 20, 'o'));
  ASSERT_GT(p.c.SendQueued(), 0u);
  p.c.Close();
  EXPECT_EQ(p.c.SendQueued(), 0u);

  // The same object opened again sends only what it is given now.
  int port = 0;
  const int l = rawListener(port);
  p.c.setPortName(std::to_string(port));
  p.c.Open();
  const int again = ::accept(l, nullptr, nullptr);
  ::close(l);
  ASSERT_TRUE(waitFor([&] { return p.c.Connected(); }));
  p.c.Send("fresh");
  EXPECT_EQ(readAll(again, 5), "fresh");
  ::close(again);
}

}  // namespace
}  // namespace ombrix::net
