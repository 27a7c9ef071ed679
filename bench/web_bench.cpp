// A browser's seat against a desktop seat, each figure against its peer
// measured in the same run:
//
//  latency  a real ombrix-host with its web door; four tables connect as
//           desktop tables do (plain TCP) and five as browsers do (a
//           WebSocket through the door, one text message a line), players
//           and spectators of both kinds: the time from a card played to
//           its announcement at each other table, at the browsers against
//           at the desktop tables (target: p99 at most 1.2 times).
//  host     the host's memory for a browser's seat against a desktop
//           seat's: two hosts, each with nine tables of one kind through a
//           game, their resident memory against their own at rest.
//  server   ombrix-lobbyd with its web door: 1,000 registered tables, each
//           joined through the relay by a lobby and by a browser's WebSocket
//           (the server's link): the server's memory for a browser's seat
//           against a lobby's relayed seat.
//
// The page's first load (its compressed bytes, the time to the table) is
// measured in a real browser by web/tests/firstload.mjs.
//
//   web_bench [latency|host|server|all] [seconds]
#include <sys/resource.h>
#include <sys/socket.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/bench_table.h"
#include "bench/lobbyd_common.h"
#include "lobbywire/wire.h"
#include "protocol/commands.h"
#include "tests/support/wsframes.h"

using namespace ombrix;
using namespace ombrix::bench;

namespace {

constexpr double kLatencyRatioTarget = 1.2;
constexpr int kServerTables = 1000;
// The tables' homes: eight tables from each address, as lobbyd_bench.
constexpr int kTablesPerAddress = 8;
// Browsers at the nine places: seats 2 and 4, and three of the spectators.
const std::vector<bool> kBrowsers = {false, true, false, true, false, true, false, true, true};

std::string g_dir;

void report(const char* what, const std::vector<double>& web, const std::vector<double>& desk) {
  std::printf("  %s: browsers %zu arrivals median %.3f ms p99 %.3f ms; desktop tables %zu arrivals median %.3f ms "
              "p99 %.3f ms\n",
              what, web.size(), percentile(web, 0.5), percentile(web, 0.99), desk.size(), percentile(desk, 0.5),
              percentile(desk, 0.99));
}

void latencyPhase(double seconds) {
  std::printf("== latency: a card to the other tables, a browser's WebSocket against a desktop table, same game\n");
  // The host's pauses ten times shorter: more cards a second, the same path.
  HostProcess host(g_dir, {"--time-scale", "10", "--web-port", "0"});
  Table table(
      host.port(), [&](int i) { return kBrowsers[static_cast<size_t>(i)] ? connectWebSocket(host.webPort()) : connectTo(host.port()); },
      {}, kBrowsers);
  const Phase ph = table.run(seconds, {});
  report("card to each other table", ph.toTables[1], ph.toTables[0]);
  const double ratio = percentile(ph.toTables[1], 0.99) / percentile(ph.toTables[0], 0.99);
  std::printf("  p99 ratio browser / desktop %.2f (target at most %.1f: %s)\n", ratio, kLatencyRatioTarget,
              ratio <= kLatencyRatioTarget ? "met" : "MISSED");
}

// Resident memory of a host at rest, and with nine tables of one kind that
// have played for `seconds`.
std::pair<long, long> hostMemory(bool browsers, double seconds) {
  HostProcess host(g_dir, {"--time-scale", "10", "--web-port", "0"});
  const long rest = host.statusKb("VmRSS");
  Table table(
      host.port(), [&](int) { return browsers ? connectWebSocket(host.webPort()) : connectTo(host.port()); }, {},
      std::vector<bool>(9, browsers));
  table.run(seconds, {});
  return {rest, host.statusKb("VmRSS")};
}

void hostPhase(double seconds) {
  std::printf("== host: its memory for nine tables, browsers against desktop tables\n");
  const auto [deskRest, desk] = hostMemory(false, seconds);
  const auto [webRest, web] = hostMemory(true, seconds);
  const double perDesk = static_cast<double>(desk - deskRest) / 9, perWeb = static_cast<double>(web - webRest) / 9;
  std::printf("  desktop tables: %ld KB at rest, %ld KB with nine: %.1f KB a seat\n", deskRest, desk, perDesk);
  std::printf("  browsers:       %ld KB at rest, %ld KB with nine: %.1f KB a seat (%.1f KB more than a desktop seat)\n",
              webRest, web, perWeb, perWeb - perDesk);
}

// A registered table of the benchmark's own: its kept connection, its code.
struct FakeHost {
  int control = -1;
  std::string home, code;
};

// Opens the host's relay leg for the joiner the server just announced, and
// checks the game's bytes go both ways.
int openLeg(const FakeHost& h, int serverPort) {
  const std::string ticket = readUntil(h.control, lobbywire::Op::Relay).ticket;
  const int leg = connectFrom(h.home, serverPort);
  sendAll(leg, lobbywire::relayLine(ticket));
  return leg;
}

std::string readSome(int fd) {
  char b[4096];
  const ssize_t n = ::recv(fd, b, sizeof b, 0);
  return n > 0 ? std::string(b, static_cast<size_t>(n)) : std::string();
}

void serverPhase() {
  std::printf("== server: %d tables, each joined through the relay by a lobby and by a browser\n", kServerTables);
  Process server;
  startLobbyd(server, g_dir, "127.0.0.1", true);
  const int port = closedPort();
  std::vector<FakeHost> hosts;
  for (int t = 0; t < kServerTables; ++t) {
    FakeHost h;
    h.home = loopback(3, t / kTablesPerAddress);
    lobbywire::TableEntry s;
    s.name = "Table " + std::to_string(t);
    s.port = port;
    h.control = connectFrom(h.home, server.port);
    sendAll(h.control, lobbywire::registerLine(s, true));
    h.code = readUntil(h.control, lobbywire::Op::Registered).code;
    hosts.push_back(h);
  }
  const std::string hello = "CMD_sendlogininfo+2" + std::string(1, wire::kTerminator);
  const std::string answer = "CMD_logininfo+2+1.0.14+Guest";
  const long rest = server.rssKb();
  // A lobby's joiner on each table.
  std::vector<int> fds;
  for (int t = 0; t < kServerTables; ++t) {
    const int seat = connectFrom(loopback(4, t), server.port);
    sendAll(seat, lobbywire::connectLine(hosts[t].code));
    const int leg = openLeg(hosts[t], server.port);
    readUntil(seat, lobbywire::Op::Spliced);
    sendAll(leg, hello);
    if (readSome(seat) != hello) die("a lobby's relay did not carry the host's line");
    sendAll(seat, answer + wire::kTerminator);
    if (readSome(leg) != answer + wire::kTerminator) die("a lobby's relay did not carry the seat's line");
    fds.insert(fds.end(), {seat, leg});
  }
  const long lobbies = server.rssKb();
  // A browser on each table, by the server's link.
  for (int t = 0; t < kServerTables; ++t) {
    const int seat = connectFrom(loopback(5, t), server.webPort);
    sendAll(seat, test::upgradeRequest("/ws/" + hosts[t].code));
    const int leg = openLeg(hosts[t], server.port);
    std::string in;
    while (in.find("\r\n\r\n") == std::string::npos) {
      const std::string more = readSome(seat);
      if (more.empty()) die("the web door closed a browser's WebSocket");
      in += more;
    }
    if (in.rfind("HTTP/1.1 101", 0) != 0) die("the web door refused a browser: " + in.substr(0, in.find('\r')));
    in.erase(0, in.find("\r\n\r\n") + 4);
    sendAll(leg, hello);
    std::optional<test::ServerFrame> f;
    while (!(f = test::takeFrame(in))) in += readSome(seat);
    if (f->payload != hello.substr(0, hello.size() - 1)) die("a browser's relay did not carry the host's line");
    sendAll(seat, test::clientFrame(answer));
    if (readSome(leg) != answer + wire::kTerminator) die("a browser's relay did not carry the seat's line");
    fds.insert(fds.end(), {seat, leg});
  }
  const long browsers = server.rssKb();
  const double perLobby = static_cast<double>(lobbies - rest) / kServerTables,
               perBrowser = static_cast<double>(browsers - lobbies) / kServerTables;
  std::printf("  %ld KB with the tables, %ld KB with a lobby's relay on each, %ld KB with a browser's on each too\n",
              rest, lobbies, browsers);
  std::printf("  a browser's seat %.2f KB (its relay leg included), a lobby's relayed seat %.2f KB: %.2fx\n", perBrowser,
              perLobby, perBrowser / perLobby);
  for (int fd : fds) ::close(fd);
  for (const FakeHost& h : hosts) ::close(h.control);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string which = argc > 1 ? argv[1] : "all";
  const double seconds = argc > 2 ? std::atof(argv[2]) : 20;
  g_dir = argv[0];
  g_dir = g_dir.substr(0, g_dir.rfind('/') + 1);
  rlimit r;
  ::getrlimit(RLIMIT_NOFILE, &r);
  r.rlim_cur = r.rlim_max;
  ::setrlimit(RLIMIT_NOFILE, &r);
  ::signal(SIGPIPE, SIG_IGN);
  if (which == "latency" || which == "all") latencyPhase(seconds);
  if (which == "host" || which == "all") hostPhase(seconds / 2);
  if (which == "server" || which == "all") serverPhase();
  return 0;
}
