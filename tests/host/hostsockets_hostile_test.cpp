// The host over loopback against traffic that would stall or spin it: the
// dispatch budget seen from outside, a table that stops reading, and a
// listener that runs out of descriptors.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "protocol/commands.h"
#include "host/hostsockets.h"
#include "tests/support/descriptors.h"
#include "tests/support/qtloop.h"
#include "tests/support/recorder.h"
#include "base/virtualclock.h"

namespace ombrix::test {
namespace {

using Clock = std::chrono::steady_clock;

// A host on a virtual clock that notes, with every message it sends, when
// the message that caused it was taken off the queue.
class TimedHost : public HostSockets {
 public:
  explicit TimedHost(TimerFactory& clock) : HostSockets(5, clock) {}
  void send(int slot, std::string_view m) override {
    sent.push_back({slot, std::string(m), server().lastDispatchUs()});
    HostSockets::send(slot, m);
  }
  std::vector<Sent> sent;  // `at` in microseconds
};

std::unique_ptr<ProtocolClient> logIn(HostSockets& h, const std::string& name) {
  auto c = std::make_unique<ProtocolClient>(h.port());
  EXPECT_TRUE(c->waitForCommand("CMD_sendlogininfo"));
  c->send("CMD_logininfo+" + std::to_string(c->slot()) + "+1.0.14+" + name);
  EXPECT_TRUE(waitFor([&] { return !c->with("CMD_newplayerinfo").empty(); }));
  return c;
}

TEST(HostBudget, AnIdleMessageRunsWithoutATickWhileABurstGoesOnePerTickInOrder) {
  // The host's time moves only when the test moves it: what is answered
  // without a step ran on arrival.
  VirtualClock clock;
  TimedHost h(clock);
  h.listen("0");
  auto ann = logIn(h, "Ann");
  const Pacer& pacer = h.server().socktimer;
  clock.advance(TServer::kSockTickMs);
  ann->send("CMD_chat+1+alone|clRed");
  ASSERT_TRUE(waitFor([&] { return ann->with("CMD_chat").size() == 1; }));
  EXPECT_FALSE(pacer.ticking());

  // A burst in one read, the budget spent a tick ago: the first at once,
  // the rest one a tick, in order.
  clock.advance(TServer::kSockTickMs);
  h.sent.clear();
  std::string burst;
  for (int i = 0; i < 6; ++i) burst += "CMD_chat+1+" + std::to_string(i) + "|clRed" + wire::kTerminator;
  ann->sock.Send(burst);
  ASSERT_TRUE(waitFor([&] { return h.sent.size() == 1 && h.server().receivedlist.size() == 5; }));
  for (size_t i = 1; i < 6; ++i) {
    ASSERT_TRUE(clock.step());
    ASSERT_EQ(h.sent.size(), i + 1);
    EXPECT_EQ(h.sent[i].at - h.sent[i - 1].at, TServer::kSockTickUs) << "message " << i;
  }
  EXPECT_FALSE(pacer.ticking());
  for (int i = 0; i < 6; ++i) EXPECT_EQ(h.sent[i].text, "CMD_chat+Ann chats: " + std::to_string(i) + "|clRed");
  EXPECT_TRUE(waitFor([&] { return ann->with("CMD_chat").size() == 7; }));
}

// Reads nothing once logged in: a table that stopped reading.
struct Stalled {
  explicit Stalled(int port) {
    fd = ::socket(AF_INET, SOCK_STREAM, 0);
    const int small = 4096;
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  }
  ~Stalled() { ::close(fd); }
  // True once the host has closed the connection: everything it sent, then
  // the end.
  bool closedByHost() {
    char buf[65536];
    pollfd p{fd, POLLIN, 0};
    while (::poll(&p, 1, 5000) > 0) {
      const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
      if (n == 0) return true;
      if (n < 0) return false;
    }
    return false;
  }
  int fd;
};

TEST(HostOutput, ATableThatStopsReadingIsClosedAtItsBoundAndTheOthersGoOn) {
  HostSockets h(3, 10);  // dispatch ten times as fast: the flood fills the bound sooner
  h.listen("0");
  auto ann = logIn(h, "Ann");
  Stalled stalled(h.port());
  ASSERT_TRUE(waitFor([&] { return h.server().slots[2].inUse; }));
  const std::string login = "CMD_logininfo+2+1.0.14+Bo";
  ::send(stalled.fd, (login + wire::kTerminator).data(), login.size() + 1, 0);
  ASSERT_TRUE(waitFor([&] { return ann->with("CMD_newplayerinfo").size() == 2; }));

  // Ann chats long lines, a few in flight at a time, until Bo is dropped.
  wire::Framer framer;
  size_t relays = 0, sent = 0;
  bool dropped = false, stillHere = false;
  ann->sock.OnRead = [&](net::TAsyncSock* s, int) {
    framer.feed(s->Receive(), [&](std::string_view m) {
      if (m == "CMD_playerdisconnected+2+Bo") dropped = true;
      if (m == "CMD_chat+Ann chats: still here|clRed") stillHere = true;
      if (commandOf(m) == "CMD_chat") ++relays;
      return true;
    });
  };
  const std::string line = "CMD_chat+1+" + std::string(30000, 'x') + "|clRed";
  constexpr size_t kInFlight = 4, kMostLines = 2000;  // 60 MB: far past any bound
  while (!dropped && sent < kMostLines) {
    for (; sent < relays + kInFlight; ++sent) ann->send(line);
    if (!waitFor([&] { return relays + kInFlight > sent || dropped; })) break;
  }
  ASSERT_TRUE(dropped);
  EXPECT_FALSE(h.server().slots[2].inUse);
  EXPECT_EQ(h.sock(2), nullptr);
  EXPECT_TRUE(stalled.closedByHost());
  // The table goes on for the others.
  ann->send("CMD_chat+1+still here|clRed");
  EXPECT_TRUE(waitFor([&] { return stillHere; }));
}

TEST(HostListener, OutOfDescriptorsItWaitsQuietlyThenSeatsTheWaitingTable) {
  HostSockets h(4);
  h.listen("0");
  int failures = 0;
  h.listener().OnInfo = [&](net::TAsyncSock*, net::TSocketInfo, const std::string& m) {
    if (m == "Could Not Accept Connection") ++failures;
  };
  auto ann = logIn(h, "Ann");
  std::unique_ptr<ProtocolClient> bo;
  {
    DescriptorSqueeze squeeze;
    squeeze.release(1);  // just enough for Bo's own socket
    bo = std::make_unique<ProtocolClient>(h.port());
    ASSERT_TRUE(DescriptorSqueeze::exhausted());
    ASSERT_TRUE(waitFor([&] { return failures >= 1; }));
    const int before = failures;
    const auto start = Clock::now();
    for (int i = 0; i < 2000; ++i) QCoreApplication::processEvents();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    EXPECT_LE(failures - before, 1 + ms / net::TAsyncSock::kStarvedRetryMs) << "the listener spins";
    EXPECT_EQ(bo->slot(), 0);
    EXPECT_EQ(h.server().slotCount, 1);
  }
  // Descriptors are back: the table that waited is seated and logs in.
  ASSERT_TRUE(bo->waitForCommand("CMD_sendlogininfo"));
  EXPECT_EQ(bo->slot(), 2);
  bo->send("CMD_logininfo+2+1.0.14+Bo");
  EXPECT_TRUE(waitFor([&] { return ann->with("CMD_newplayerinfo").size() == 2; }));
}

}  // namespace
}  // namespace ombrix::test
