// The lobby server under load, each figure against a peer measured in the
// same run:
//
//  listing  10,000 tables registered (8 from each of 1,250 loopback
//           addresses), then 1,000 lobbies (each from its own address)
//           listing every 5 s: the answer's time (request to the end of the
//           page) against a bare process answering the same bytes on the
//           same kind of connection; the server's memory per table against
//           its memory at rest.
//  latency  a real ombrix-host registered with the server, one seat joined
//           through the relay and eight directly: the time from a card to
//           its announcement at every other directly connected table, for
//           the relayed seat against the direct seats of the same game.
//  relay    1,000 relayed tables, each host sending its relayed seat 100
//           messages a second and the seat answering twice a second: the
//           server's share of a core against a bare splice process carrying
//           the same traffic.
//
//  attack   players' look-ups, listings and relayed cards while each of five
//           attacks runs beside them, against the same without attack
//           (bench/lobbyd_attack.cpp).
//
//   lobbyd_bench [listing|latency|relay|attack|all] [seconds]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "bench/bench_table.h"
#include "bench/lobbyd_attack.h"
#include "bench/lobbyd_common.h"
#include "lobbywire/wire.h"

using namespace ombrix;
using namespace ombrix::bench;

namespace {

constexpr int kTables = 10000, kTablesPerAddress = 8, kLobbies = 1000;
constexpr double kListEverySeconds = 5;
constexpr double kListTargetMs = 5, kKbPerTableTarget = 2;
constexpr int kRelayedTables = 1000, kHostMessagesPerSecond = 100, kSeatMessagesPerSecond = 2;
constexpr double kRelayCoreTarget = 0.5, kRelayLatencyTargetMs = 0.5;
// A game message of about the usual size (a played card, a chat line).
const std::string kMessage = "CMD_playcard+2+3+14\xff" "CMD_nextplayer+3\xff";

std::string g_dir;

// --- The peers -----------------------------------------------------------------------

int listenAny() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd, 1024) != 0) die("peer listen");
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  return fd;
}

int portOf(int fd) {
  sockaddr_in a{};
  socklen_t len = sizeof a;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  return ntohs(a.sin_port);
}

// A bare process doing only the transport's work, in one epoll loop:
// "answer" replies to every line with `answer`; "splice" pairs connections
// by their first line ("N\n") and copies bytes between the two of a pair.
void peerLoop(int listener, bool splice, const std::string& answer) {
  const int ep = ::epoll_create1(0);
  epoll_event ev{EPOLLIN, {}};
  ev.data.fd = listener;
  ::epoll_ctl(ep, EPOLL_CTL_ADD, listener, &ev);
  std::map<int, std::string> in;
  std::map<int, int> partner;
  std::map<std::string, int> waiting;
  epoll_event events[256];
  char buf[16384];
  for (;;) {
    const int n = ::epoll_wait(ep, events, 256, -1);
    for (int i = 0; i < n; ++i) {
      const int fd = events[i].data.fd;
      if (fd == listener) {
        const int c = ::accept(listener, nullptr, nullptr);
        const int one = 1;
        ::setsockopt(c, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        epoll_event e{EPOLLIN, {}};
        e.data.fd = c;
        ::epoll_ctl(ep, EPOLL_CTL_ADD, c, &e);
        continue;
      }
      const ssize_t got = ::recv(fd, buf, sizeof buf, 0);
      if (got <= 0) {
        ::close(fd);
        continue;
      }
      if (splice && partner.count(fd)) {
        (void)!::send(partner[fd], buf, static_cast<size_t>(got), MSG_NOSIGNAL);
        continue;
      }
      std::string& s = in[fd];
      s.append(buf, static_cast<size_t>(got));
      for (size_t nl; (nl = s.find('\n')) != std::string::npos;) {
        const std::string line = s.substr(0, nl);
        s.erase(0, nl + 1);
        if (!splice) {
          (void)!::send(fd, answer.data(), answer.size(), MSG_NOSIGNAL);
        } else if (waiting.count(line)) {
          partner[fd] = waiting[line];
          partner[waiting[line]] = fd;
          waiting.erase(line);
        } else {
          waiting[line] = fd;
        }
      }
    }
  }
}

void startPeer(Process& p, bool splice, const std::string& answer) {
  const int listener = listenAny();
  p.port = portOf(listener);
  p.pid = ::fork();
  if (p.pid == 0) {
    peerLoop(listener, splice, answer);
    std::_Exit(0);
  }
  ::close(listener);
}

void report(const char* what, std::vector<double> v, std::vector<double> peer) {
  std::printf("  %-34s p50 %7.3f ms  p99 %7.3f ms   (peer p50 %7.3f, p99 %7.3f; %zu samples)\n", what,
              percentile(v, 0.5), percentile(v, 0.99), percentile(peer, 0.5), percentile(peer, 0.99), v.size());
}

// --- listing ---------------------------------------------------------------------

struct Lobby {
  int fd = -1;
  bool peer = false;
  bool first = true;
  Clock::time_point due, sentAt;
  bool waiting = false;
  std::string in;
};

void listingPhase(double seconds) {
  std::printf("== listing: %d tables, %d lobbies listing every %.0f s\n", kTables, kLobbies, kListEverySeconds);
  Process server;
  startLobbyd(server, g_dir);
  const long restKb = server.rssKb();
  const int port = closedPort();
  std::vector<int> hosts;
  hosts.reserve(kTables);
  for (int i = 0; i < kTables; ++i) {
    lobbywire::TableEntry t;
    t.name = "Bench table " + std::to_string(i);
    t.port = port;
    t.state.players = i % 5;
    t.state.stage = i % 3 == 0 ? tables::Stage::Playing : tables::Stage::Waiting;
    t.state.round = i % 3 == 0 ? 1 + i % 20 : 0;
    hosts.push_back(connectFrom(loopback(1, i / kTablesPerAddress), server.port));
    sendAll(hosts.back(), lobbywire::registerLine(t, false));
    readUntil(hosts.back(), lobbywire::Op::Registered);
  }
  const long tablesKb = server.rssKb();

  // The peer answers with a real page, captured here.
  std::string page;
  {
    const int fd = connectFrom(loopback(2, kLobbies + 1), server.port);
    sendAll(fd, lobbywire::listLine(0));
    char c;
    std::string line;
    while (::recv(fd, &c, 1, 0) == 1) {
      page.push_back(c);
      if (c != '\n') {
        line.push_back(c);
        continue;
      }
      if (line.find("\"op\":\"end\"") != std::string::npos) break;
      line.clear();
    }
    ::close(fd);
  }
  Process peer;
  startPeer(peer, false, page);

  const int ep = ::epoll_create1(0);
  std::vector<Lobby> lobbies(2 * kLobbies);
  const auto start = Clock::now();
  for (int i = 0; i < 2 * kLobbies; ++i) {
    Lobby& l = lobbies[static_cast<size_t>(i)];
    l.peer = i >= kLobbies;
    l.fd = connectFrom(loopback(2, i % kLobbies), l.peer ? peer.port : server.port);
    // Spread over the period; each lobby's peer request half a period later.
    const double offset = (i % kLobbies) * kListEverySeconds / kLobbies + (l.peer ? kListEverySeconds / 2 : 0);
    l.due = start + std::chrono::microseconds(static_cast<long>(offset * 1e6));
    epoll_event ev{EPOLLIN, {}};
    ev.data.u32 = static_cast<uint32_t>(i);
    ::epoll_ctl(ep, EPOLL_CTL_ADD, l.fd, &ev);
  }
  std::vector<double> times, peerTimes;
  const std::string again = R"({"op":"list"})" "\n";
  epoll_event events[512];
  char buf[65536];
  while (msSince(start) < (seconds + kListEverySeconds) * 1000) {
    const auto now = Clock::now();
    for (auto& l : lobbies) {
      if (l.waiting || now < l.due) continue;
      sendAll(l.fd, l.first ? lobbywire::listLine(0) : again);
      l.first = false;
      l.waiting = true;
      l.sentAt = now;
      l.due += std::chrono::microseconds(static_cast<long>(kListEverySeconds * 1e6));
    }
    const int n = ::epoll_wait(ep, events, 512, 1);
    for (int k = 0; k < n; ++k) {
      Lobby& l = lobbies[events[k].data.u32];
      const ssize_t got = ::recv(l.fd, buf, sizeof buf, 0);
      if (got <= 0) die("a lobby lost its connection");
      l.in.append(buf, static_cast<size_t>(got));
      if (l.in.size() < 40 || l.in.find("\"op\":\"end\"", l.in.size() - 40) == std::string::npos) continue;
      // The first period only warms up both sides.
      if (msSince(start) > kListEverySeconds * 1000) (l.peer ? peerTimes : times).push_back(msSince(l.sentAt));
      l.in.clear();
      l.waiting = false;
    }
  }
  const double perTable = static_cast<double>(tablesKb - restKb) / kTables;
  report("answer, one page of 100 tables", times, peerTimes);
  std::printf("  answer p99 %.3f ms (target at most %.1f ms: %s), %.2fx the peer's\n", percentile(times, 0.99),
              kListTargetMs, percentile(times, 0.99) <= kListTargetMs ? "met" : "MISSED",
              percentile(times, 0.99) / percentile(peerTimes, 0.99));
  std::printf("  memory: %ld KB at rest, %ld KB with %d tables: %.2f KB a table (target at most %.0f KB: %s)\n",
              restKb, tablesKb, kTables, perTable, kKbPerTableTarget, perTable <= kKbPerTableTarget ? "met" : "MISSED");
  std::printf("  server CPU over the phase: %.2f s\n", server.cpuSeconds());
  for (auto& l : lobbies) ::close(l.fd);
  for (int fd : hosts) ::close(fd);
  ::close(ep);
}

// --- latency ------------------------------------------------------------------------

void latencyPhase(double seconds) {
  std::printf("== latency: a card from a relayed seat against a direct seat, same game\n");
  Process server;
  startLobbyd(server, g_dir);
  // The host's pauses (a trick shown, the computer's delay) ten times shorter:
  // more cards a second, the same path for each.
  HostProcess host(g_dir, {"--time-scale", "10", "--lobby-server", "127.0.0.1:" + std::to_string(server.port)});
  if (host.code().size() != 8) die("the host did not register");
  const int relayedClient = 1;  // seat 2
  std::vector<bool> relayed(9, false);
  relayed[relayedClient] = true;
  Table table(
      host.port(),
      [&](int i) {
        if (i != relayedClient) return connectTo(host.port());
        const int fd = connectFrom("127.0.0.1", server.port);
        sendAll(fd, lobbywire::connectLine(host.code()));
        readUntil(fd, lobbywire::Op::Spliced);
        return fd;
      },
      relayed);
  Phase ph = table.run(seconds, {});
  std::vector<double> viaRelay = ph.toDirectTables[relayedClient + 1], direct;
  for (int seat : {1, 3, 4}) direct.insert(direct.end(), ph.toDirectTables[seat].begin(), ph.toDirectTables[seat].end());
  report("relayed seat's card to the others", viaRelay, direct);
  const double extra = percentile(viaRelay, 0.99) - percentile(direct, 0.99);
  std::printf("  p99 %.3f ms above the direct seats' (target at most %.1f ms: %s)\n", extra, kRelayLatencyTargetMs,
              extra <= kRelayLatencyTargetMs ? "met" : "MISSED");
}

// --- relay --------------------------------------------------------------------------

void relayPhase(double seconds) {
  std::printf("== relay: %d relayed tables, %d messages a second to each seat, %d back\n", kRelayedTables,
              kHostMessagesPerSecond, kSeatMessagesPerSecond);
  Process server, peer;
  startLobbyd(server, g_dir);
  startPeer(peer, true, {});
  const int port = closedPort();
  // Per table, through the server and through the peer: the host's end, the
  // seat's end.
  struct Pair {
    int host, seat;
  };
  std::vector<Pair> viaServer, viaPeer;
  std::vector<int> controls;
  for (int t = 0; t < kRelayedTables; ++t) {
    const std::string home = loopback(3, t / kTablesPerAddress), joiner = loopback(4, t);
    lobbywire::TableEntry s;
    s.name = "Relayed " + std::to_string(t);
    s.port = port;
    const int control = connectFrom(home, server.port);
    controls.push_back(control);
    sendAll(control, lobbywire::registerLine(s, true));
    const std::string code = readUntil(control, lobbywire::Op::Registered).code;
    const int seat = connectFrom(joiner, server.port);
    sendAll(seat, lobbywire::connectLine(code));
    const std::string ticket = readUntil(control, lobbywire::Op::Relay).ticket;
    const int leg = connectFrom(home, server.port);
    sendAll(leg, lobbywire::relayLine(ticket));
    readUntil(seat, lobbywire::Op::Spliced);
    viaServer.push_back({leg, seat});
    const int a = connectFrom(home, peer.port), b = connectFrom(joiner, peer.port);
    sendAll(a, std::to_string(t) + "\n");
    sendAll(b, std::to_string(t) + "\n");
    viaPeer.push_back({a, b});
  }
  const int ep = ::epoll_create1(0);
  for (auto* pairs : {&viaServer, &viaPeer})
    for (const Pair& p : *pairs)
      for (int fd : {p.host, p.seat}) {
        epoll_event ev{EPOLLIN, {}};
        ev.data.fd = fd;
        ::epoll_ctl(ep, EPOLL_CTL_ADD, fd, &ev);
      }
  const double serverCpu0 = server.cpuSeconds(), peerCpu0 = peer.cpuSeconds();
  const double serverUser0 = server.cpuSeconds(true), peerUser0 = peer.cpuSeconds(true);
  const auto start = Clock::now();
  auto tick = start;
  const auto period = std::chrono::microseconds(1000000 / kHostMessagesPerSecond);
  const int seatEvery = kHostMessagesPerSecond / kSeatMessagesPerSecond;
  long ticks = 0;
  size_t received = 0;
  epoll_event events[1024];
  char buf[65536];
  while (msSince(start) < seconds * 1000) {
    if (Clock::now() >= tick) {
      for (auto* pairs : {&viaServer, &viaPeer})
        for (const Pair& p : *pairs) {
          (void)!::send(p.host, kMessage.data(), kMessage.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
          if (ticks % seatEvery == 0) (void)!::send(p.seat, kMessage.data(), kMessage.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        }
      ++ticks;
      tick += period;
    }
    const int n = ::epoll_wait(ep, events, 1024, 1);
    for (int k = 0; k < n; ++k) {
      const ssize_t got = ::recv(events[k].data.fd, buf, sizeof buf, MSG_DONTWAIT);
      if (got > 0) received += static_cast<size_t>(got);
    }
  }
  const double wall = msSince(start) / 1000;
  const double serverCore = (server.cpuSeconds() - serverCpu0) / wall, peerCore = (peer.cpuSeconds() - peerCpu0) / wall;
  const double sent = static_cast<double>(ticks) * kRelayedTables * 2 * (1 + 1.0 / seatEvery) * static_cast<double>(kMessage.size());
  std::printf("  messages a second to each seat: %.1f (the load's own pace on this machine)\n",
              static_cast<double>(ticks) / wall);
  std::printf("  bytes received %.1f%% of those sent (both paths)\n", 100.0 * static_cast<double>(received) / sent);
  // Messages each path carried a second, both ways.
  const double perSecond = static_cast<double>(ticks) / wall * kRelayedTables * (1 + 1.0 / seatEvery);
  const double fullRate = static_cast<double>(kHostMessagesPerSecond + kSeatMessagesPerSecond) * kRelayedTables;
  std::printf("  at this pace: server %.3f of a core, peer %.3f: %.2fx the peer\n", serverCore, peerCore,
              serverCore / peerCore);
  std::printf("  a relayed message costs the server %.1f us, the peer %.1f us of a core\n", serverCore / perSecond * 1e6,
              peerCore / perSecond * 1e6);
  // On loopback a send also runs the receiver's side of TCP and its wake-up,
  // charged to the sender: the kernel's share is most of the cost and the
  // same for any relay; the user time is what the relay's own code adds.
  const double serverUser = (server.cpuSeconds(true) - serverUser0) / wall,
               peerUser = (peer.cpuSeconds(true) - peerUser0) / wall;
  std::printf("  of which in its own code (user time): server %.1f us, peer %.1f us\n", serverUser / perSecond * 1e6,
              peerUser / perSecond * 1e6);
  const double serverFull = serverCore / perSecond * fullRate;
  std::printf("  at the full %d messages a second: server %.2f of a core, peer %.2f (target at most %.1f: %s)\n",
              kHostMessagesPerSecond, serverFull, peerCore / perSecond * fullRate, kRelayCoreTarget,
              serverFull <= kRelayCoreTarget ? "met" : "MISSED");
  for (auto* pairs : {&viaServer, &viaPeer})
    for (const Pair& p : *pairs) {
      ::close(p.host);
      ::close(p.seat);
    }
  for (int fd : controls) ::close(fd);
  ::close(ep);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string which = argc > 1 ? argv[1] : "all";
  const double seconds = argc > 2 ? std::atof(argv[2]) : 20;
  g_dir = argv[0];
  g_dir = g_dir.substr(0, g_dir.rfind('/') + 1);
  // Thousands of connections on each side.
  rlimit r;
  ::getrlimit(RLIMIT_NOFILE, &r);
  r.rlim_cur = r.rlim_max;
  ::setrlimit(RLIMIT_NOFILE, &r);
  ::signal(SIGPIPE, SIG_IGN);
  if (which == "listing" || which == "all") listingPhase(seconds);
  if (which == "latency" || which == "all") latencyPhase(seconds);
  if (which == "relay" || which == "all") relayPhase(seconds);
  // Last: it moves the benchmark into a network namespace of its own when it can.
  if (which == "attack" || which == "all") attackPhase(g_dir, std::min(seconds, 30.0));
  return 0;
}
