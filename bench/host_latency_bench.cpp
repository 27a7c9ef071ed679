// Latency of the host over loopback: from a player's "CMD_playcard" to the
// announcement having reached all nine connections (four players, five
// spectators), at rest and while one spectator floods chat at 200 lines a
// second. The host runs as its own process (build/bin/ombrix-host); the
// clients are plain sockets in one poll loop, so the figures include both
// sides' kernels. Players answer each prompt after a person's pause
// (Table::kThinkMs), never faster than the host's dispatch budget.
//
// The peer measured in the same run is the loopback itself: a bare relay in
// another process that passes one small message to nine TCP sockets on
// 127.0.0.1, the floor under any host on this machine at this moment.
//
//   host_latency_bench [seconds-per-phase]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/bench_table.h"
#include "protocol/commands.h"

using namespace ombrix::bench;

namespace {

// Targets: at rest the host adds next to nothing to the loopback; under a
// flood a move waits at most for the dispatch already under way.
constexpr double kRestTargetMs = 1;
constexpr double kFloodTargetMs = 12;
constexpr int kFloodPerSecond = 200;
// The flooder's backlog grows by 100 lines a second at 200/s; bursts of 8 s
// stay under the host's 1000-message bound per connection, then the flooder
// waits until the host has caught up.
constexpr double kBurstSeconds = 8;
// The peer's cards, each after a pause as the players' moves come, so both
// processes wake from idle as the host and the tables do.
constexpr int kPeerRounds = 1000;
constexpr int kTables = 9;
constexpr int kPeerPauseMs = 5;

// The peer: a relay that does nothing but pass a card on. One small message
// over TCP on 127.0.0.1 to a process of its own, which writes it at once to
// nine sockets back to this one (no Nagle delay, as the host's); timed until
// all nine have it. What the kernel and the scheduler cost any host on this
// machine, now, for the same delivery.
std::vector<double> relayTimes() {
  const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof a;
  if (::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      ::listen(listener, kTables + 1) != 0 ||
      ::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &length) != 0) {
    std::perror("bench: relay peer");
    std::exit(1);
  }
  const pid_t relay = ::fork();
  if (relay == 0) {
    int far[kTables + 1];
    const int one = 1;
    for (int& fd : far) {
      fd = ::accept(listener, nullptr, nullptr);
      ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    }
    char b[64];
    ssize_t n;
    while ((n = ::recv(far[0], b, sizeof b, 0)) > 0)
      for (int k = 1; k <= kTables; ++k) (void)!::send(far[k], b, static_cast<size_t>(n), MSG_NOSIGNAL);
    std::_Exit(0);
  }
  const int control = connectTo(ntohs(a.sin_port));
  std::vector<pollfd> tables;
  for (int k = 0; k < kTables; ++k) tables.push_back({connectTo(ntohs(a.sin_port)), POLLIN, 0});
  const std::string m = "CMD_playcard+1+2+3" + std::string(1, ombrix::wire::kTerminator);
  std::vector<double> t;
  char b[64];
  for (int i = 0; i < kPeerRounds; ++i) {
    ::poll(nullptr, 0, kPeerPauseMs);
    const auto t0 = Clock::now();
    (void)!::send(control, m.data(), m.size(), 0);
    std::vector<size_t> got(kTables, 0);
    int complete = 0;
    while (complete<kTables&& ::poll(tables.data(), tables.size(), 1000)> 0) {
      for (size_t k = 0; k < tables.size(); ++k) {
        if (!(tables[k].revents & POLLIN)) continue;
        const ssize_t n = ::recv(tables[k].fd, b, sizeof b, 0);
        if (n > 0 && got[k] < m.size() && (got[k] += static_cast<size_t>(n)) >= m.size()) ++complete;
      }
    }
    t.push_back(msSince(t0));
  }
  ::close(control);
  for (const pollfd& p : tables) ::close(p.fd);
  ::close(listener);
  ::waitpid(relay, nullptr, 0);
  return t;
}

}  // namespace

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 30;
  std::string dir = argv[0];
  dir = dir.substr(0, dir.rfind('/') + 1);

  double restP99 = 0, floodP99 = 0;
  Phase rest, flood;
  {
    HostProcess host(dir);
    Table table(host.port());
    rest = table.run(seconds, {});
    Flood f;
    f.perSecond = kFloodPerSecond;
    f.burstSeconds = kBurstSeconds;
    flood = table.run(seconds, f);
  }
  const std::vector<double> peer = relayTimes();
  const double peerP50 = percentile(peer, 0.5), peerP99 = percentile(peer, 0.99);
  auto report = [&](const char* what, const Phase& ph, double target) {
    const double p50 = percentile(ph.samples, 0.5), p99 = percentile(ph.samples, 0.99);
    std::printf("%-26s %4zu cards  median %6.3f ms  p99 %6.3f ms  (target p99 <= %.0f ms: %s)\n", what,
                ph.samples.size(), p50, p99, target, p99 <= target ? "met" : "NOT met");
    return p99;
  };
  restP99 = report("at rest", rest, kRestTargetMs);
  char label[64];
  std::snprintf(label, sizeof label, "chat flood %d/s", kFloodPerSecond);
  floodP99 = report(label, flood, kFloodTargetMs);
  std::printf(
      "peer: a bare relay process, one message to nine loopback sockets, %d times: median %.3f ms, "
      "p99 %.3f ms\n",
      kPeerRounds, peerP50, peerP99);
  std::printf("      at-rest p99 = %.1fx the peer's p99, flood p99 = %.1fx\n", restP99 / peerP99,
              floodP99 / peerP99);
  return restP99 <= kRestTargetMs && floodP99 <= kFloodTargetMs ? 0 : 3;
}
