// The lobby server under attack: what players see while an attacker runs
// beside them, against the same without attack, in the same run.
//
// Players, all in this process on one epoll loop: a look-up of a live code
// 60 times a second (each from a new connection and another address, as
// lobbies joining by code do), a listing 30 times a second (60 kept lobbies,
// each every two seconds), and a relayed card (a game message from the
// host's leg of a relay to its joiner, one in flight at a time, 100 a
// second). The host of the measured table is this process too: it answers
// every relay the server asks of it, as a real host does.
//
// Each attack runs in a process of its own, at a set pace (below), in
// half-second windows that alternate with quiet ones (the attacker stopped):
// the machine is shared, and both kinds of window see the same load from
// everything else. Each p99 under attack is compared with its quiet
// windows'; a look-up of a live code must never be refused.
//  1 guess    one address opening 2,000 connections a second, each with a
//             line that is not the protocol, and 120 addresses guessing codes;
//  2 relay    three addresses asking for relays of the measured table and
//             never saying a word, again as soon as they are ended;
//  3 listing  thirteen addresses registering eight tables each, and fifty
//             lobbies asking for forty pages at once;
//  4 block    an IPv6 /48 (inside a network namespace of the benchmark's own,
//             as root; otherwise 300 IPv4 addresses) opening 1,000 connections
//             a second from its /64s and holding every one it is let keep;
//  5 state    eight registrations pushing state lines as fast as their sockets
//             take them, registering again when cut off.
// ATTACK=N in the environment runs attack N alone; OMBRIX_LOBBYD=PATH
// measures another build of the server (an older one, to compare).
#include "bench/lobbyd_attack.h"

#include <poll.h>
#include <sched.h>
#include <sys/epoll.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "bench/bench_table.h"
#include "bench/lobbyd_common.h"

namespace ombrix::bench {

namespace {

using lobbywire::Message;
using lobbywire::Op;

constexpr double kRatioTarget = 1.5;
constexpr int kBackgroundTables = 240;  // three pages, from thirty homes
constexpr int kLookupsPerSecond = 60, kLobbies = 60, kRelayedPerSecond = 100;
constexpr double kListEverySeconds = 2;
const std::string kCard = "CMD_playcard+2+3+14\xff";

// The benchmark's own network, where IPv6 blocks can be had (as in the
// server's tests): loopback owns 2001:db8::/32.
bool ownNetwork() {
  if (::geteuid() != 0 || ::unshare(CLONE_NEWNET) != 0) return false;
  if (std::system("ip link set lo up && ip -6 route add local 2001:db8::/32 dev lo") != 0) return false;
  std::ofstream("/proc/sys/net/ipv6/ip_nonlocal_bind") << "1\n";
  return true;
}

struct Samples {
  std::vector<double> lookup, listing, relay;
  int refused = 0;  // live-code look-ups not answered with the table
};

// The machine is shared (two cores, other work beside the benchmark): an
// attack's windows alternate with quiet ones, the attacker stopped, so both
// see the same load from everything else.
constexpr int kWindowMs = 500;
// The first of a phase's samples are not kept: its lobbies connect and the
// attack gets under way.
constexpr int kWarmupMs = 2000;

// The measured table: its registration, its relayed seat, and the legs of
// the relays the server asks it for.
struct Measured {
  int link = -1, leg = -1, seat = -1;
  std::string code;
  std::string in;               // what came on the link, not yet a line
  std::vector<int> extraLegs;   // relays others asked for (attack 2)
};

void setNonBlocking(int fd) {
  const int one = 1;
  ::ioctl(fd, FIONBIO, &one);
}

Measured measuredTable(int port, const std::string& to) {
  Measured m;
  m.link = connectFrom("127.0.0.1", port, to);
  lobbywire::TableEntry t;
  t.name = "Measured table";
  t.state.players = 1;
  t.port = closedPort();
  sendAll(m.link, lobbywire::registerLine(t, false));
  m.code = readUntil(m.link, Op::Registered).code;
  m.seat = connectFrom("127.0.9.250", port, to);
  sendAll(m.seat, lobbywire::connectLine(m.code));
  const std::string ticket = readUntil(m.link, Op::Relay).ticket;
  m.leg = connectFrom("127.0.0.1", port, to);
  sendAll(m.leg, lobbywire::relayLine(ticket));
  readUntil(m.seat, Op::Spliced);
  // The joiner's first bytes, as a game's log-in.
  sendAll(m.seat, "CMD_logininfo+2+1.0.14+Bench\xff");
  char buf[64];
  for (size_t got = 0; got < 27;) {
    const ssize_t n = ::recv(m.leg, buf, sizeof buf, 0);
    if (n <= 0) die("the measured relay broke");
    got += static_cast<size_t>(n);
  }
  for (int fd : {m.link, m.leg, m.seat}) setNonBlocking(fd);
  return m;
}

// What players see for `seconds` after a warm-up: [0] while nothing attacks,
// [1] while the attacker (when there is one) runs, in alternate windows;
// [2] the warm-up's.
std::array<Samples, 3> play(int port, const std::string& to, Measured& table, double seconds, pid_t attacker = 0) {
  const int ep = ::epoll_create1(0);
  enum Kind : uint32_t { kLookup = 0, kLink = 1u << 30, kSeat = 2u << 30, kLobby = 3u << 30 };
  auto watch = [&](int fd, uint32_t tag) {
    epoll_event ev{EPOLLIN, {}};
    ev.data.u64 = (static_cast<uint64_t>(tag) << 32) | static_cast<uint32_t>(fd);
    ::epoll_ctl(ep, EPOLL_CTL_ADD, fd, &ev);
  };
  watch(table.link, kLink);
  watch(table.seat, kSeat);
  struct Lobby {
    int fd = -1;
    int window = 0;
    Clock::time_point due, sentAt;
    bool waiting = false;
    std::string in;
  };
  std::vector<Lobby> lobbies;
  const auto start = Clock::now();
  for (int i = 0; i < kLobbies; ++i) {
    static int generation = 0;
    Lobby l;
    l.fd = connectFrom(loopback(8, generation * kLobbies + i), port, to);
    l.due = start + std::chrono::milliseconds(static_cast<long>(i * kListEverySeconds * 1000 / kLobbies));
    watch(l.fd, kLobby | static_cast<uint32_t>(i));
    lobbies.push_back(l);
    if (i == kLobbies - 1) ++generation;
  }
  std::array<Samples, 3> samples;
  static int lookupAddress = 0;
  struct Asked {
    Clock::time_point at;
    int window;
    std::string in;
  };
  std::map<int, Asked> lookups;  // by connection
  int window = 0, cardWindow = 0;
  char buf[65536];
  // A look-up's answer, once whole (or its connection's end): kept, and the
  // connection closed.
  auto readLookup = [&](int fd) {
    Asked& a = lookups[fd];
    const ssize_t got = ::recv(fd, buf, sizeof buf, 0);
    if (got > 0) a.in.append(buf, static_cast<size_t>(got));
    if (a.in.find('\n') == std::string::npos && got != 0 && !(got < 0 && errno != EAGAIN)) return;
    auto m = lobbywire::parseLine(a.in.substr(0, a.in.find('\n')), false);
    if (m && m->op == Op::Table) samples[a.window].lookup.push_back(msSince(a.at));
    else ++samples[a.window].refused;
    lookups.erase(fd);
    ::close(fd);
  };
  auto windowAt = [&] { return attacker ? static_cast<int>(msSince(start) / kWindowMs) % 2 : 0; };
  if (attacker) ::kill(attacker, SIGSTOP);
  auto nextLookup = start;
  auto nextCard = start;
  bool cardInFlight = false;
  Clock::time_point cardSent;
  std::string seatIn;
  epoll_event events[64];
  int bin = 2;  // where what is asked now is kept
  while (msSince(start) < seconds * 1000 + kWarmupMs) {
    const auto now = Clock::now();
    if (const int w = windowAt(); w != window) {
      window = w;
      ::kill(attacker, w ? SIGCONT : SIGSTOP);
    }
    bin = msSince(start) < kWarmupMs ? 2 : window;
    if (now >= nextLookup) {
      // A joiner by code: a new connection, one line, one answer.
      const int fd = connectFrom(loopback(9, lookupAddress++ % 2400), port, to);
      sendAll(fd, lobbywire::lookupLine(table.code));
      setNonBlocking(fd);
      lookups[fd] = {now, bin, {}};
      watch(fd, kLookup);
      nextLookup += std::chrono::microseconds(1000000 / kLookupsPerSecond);
    }
    for (size_t i = 0; i < lobbies.size(); ++i) {
      Lobby& l = lobbies[i];
      if (l.waiting || now < l.due) continue;
      sendAll(l.fd, lobbywire::listLine(0));
      l.waiting = true;
      l.sentAt = now;
      l.window = bin;
      l.due += std::chrono::milliseconds(static_cast<long>(kListEverySeconds * 1000));
    }
    if (!cardInFlight && now >= nextCard) {
      sendAll(table.leg, kCard);
      cardInFlight = true;
      cardSent = now;
      cardWindow = bin;
      nextCard += std::chrono::microseconds(1000000 / kRelayedPerSecond);
    }
    const int n = ::epoll_wait(ep, events, 64, 1);
    for (int k = 0; k < n; ++k) {
      const uint32_t tag = static_cast<uint32_t>(events[k].data.u64 >> 32);
      const int fd = static_cast<int>(events[k].data.u64 & 0xffffffffu);
      if ((tag & (3u << 30)) == kLookup) {
        readLookup(fd);
        continue;
      }
      const ssize_t got = ::recv(fd, buf, sizeof buf, 0);
      if (got <= 0) {
        if (got == 0) die("the server closed a player's connection");
        continue;
      }
      if ((tag & (3u << 30)) == kSeat) {
        seatIn.append(buf, static_cast<size_t>(got));
        if (seatIn.size() >= kCard.size()) {
          seatIn.erase(0, kCard.size());
          samples[cardWindow].relay.push_back(msSince(cardSent));
          cardInFlight = false;
        }
      } else if ((tag & (3u << 30)) == kLink) {
        // The server asks for relays (the relay attack's): a leg for each,
        // as a real host opens, its game greeting the newcomer.
        table.in.append(buf, static_cast<size_t>(got));
        for (size_t nl; (nl = table.in.find('\n')) != std::string::npos;) {
          auto m = lobbywire::parseLine(table.in.substr(0, nl), false);
          table.in.erase(0, nl + 1);
          if (!m || m->op != Op::Relay) continue;
          const int leg = connectFrom("127.0.0.1", port, to);
          sendAll(leg, lobbywire::relayLine(m->ticket) + "CMD_sendlogininfo+5\xff");
          setNonBlocking(leg);
          table.extraLegs.push_back(leg);
        }
      } else {
        Lobby& l = lobbies[tag & 0xffffu];
        l.in.append(buf, static_cast<size_t>(got));
        if (l.in.size() < 40 || l.in.find("\"op\":\"end\"", l.in.size() - 40) == std::string::npos) continue;
        samples[l.window].listing.push_back(msSince(l.sentAt));
        l.in.clear();
        l.waiting = false;
      }
    }
    // Legs the server ended (their joiners never spoke) are closed here too.
    std::erase_if(table.extraLegs, [&](int leg) {
      const ssize_t got = ::recv(leg, buf, sizeof buf, MSG_DONTWAIT);
      if (got == 0 || (got < 0 && errno != EAGAIN)) {
        ::close(leg);
        return true;
      }
      return false;
    });
  }
  // Look-ups still on their way are answered before the phase ends.
  const auto end = Clock::now();
  while (!lookups.empty() && msSince(end) < 2000) {
    const int n = ::epoll_wait(ep, events, 64, 10);
    for (int k = 0; k < n; ++k)
      if ((static_cast<uint32_t>(events[k].data.u64 >> 32) & (3u << 30)) == kLookup)
        readLookup(static_cast<int>(events[k].data.u64 & 0xffffffffu));
  }
  for (auto& l : lobbies) ::close(l.fd);
  for (auto& [fd, asked] : lookups) {
    ::close(fd);
    ++samples[asked.window].refused;  // unanswered when the phase ended
  }
  if (attacker) ::kill(attacker, SIGCONT);
  ::close(ep);
  return samples;
}

// --- The attacks: each in its own process, until killed ---------------------------
//
// At a set pace rather than flat out: the attacker's own work is on this
// machine's two cores too, and an attacker's machine is not the server's.
// The paces are the issue's figures or more.

// Waits for the next of `perSecond` turns.
struct Pace {
  explicit Pace(double perSecond) : every(std::chrono::microseconds(static_cast<long>(1e6 / perSecond))) {}
  void next() {
    due += every;
    const auto now = Clock::now();
    if (due > now) ::usleep(static_cast<useconds_t>(std::chrono::duration_cast<std::chrono::microseconds>(due - now).count()));
    else if (now - due > std::chrono::milliseconds(100)) due = now;  // behind: no catching up in a burst
  }
  std::chrono::microseconds every;
  Clock::time_point due = Clock::now();
};

// A connection, or -1 when the server's queue is full: an attacker goes on.
int attempt(const std::string& from, int port, const std::string& to) { return connectFrom(from, port, to, false); }

void quietSend(int fd, const std::string& s) { (void)!::send(fd, s.data(), s.size(), MSG_NOSIGNAL | MSG_DONTWAIT); }

// One address opening 2,000 connections a second, each with a line that is
// not the protocol; 120 addresses guessing codes, 1,000 a second in all.
void guess(int port, const std::string& to) {
  Pace pace(3000);
  for (long i = 0;; ++i) {
    pace.next();
    if (i % 3 != 2) {
      const int fd = attempt("127.0.0.66", port, to);
      if (fd >= 0) quietSend(fd, R"({"lobby":1,"op":"lookup","code":"+0"})" "\n");
      ::close(fd);
      continue;
    }
    const int g = attempt(loopback(10, static_cast<int>(i % 120)), port, to);
    if (g < 0) continue;
    quietSend(g, lobbywire::lookupLine("+2222222"));
    pollfd p{g, POLLIN, 0};
    char buf[256];
    if (::poll(&p, 1, 1000) > 0) (void)!::recv(g, buf, sizeof buf, 0);
    ::close(g);
  }
}

// Three addresses asking for relays of the measured table, 100 a second, and
// never saying a word on those they get.
void hogRelays(int port, const std::string& to, const std::string& code) {
  Pace pace(100);
  std::vector<int> held;
  for (long i = 0;; ++i) {
    pace.next();
    const int fd = attempt("127.0.11." + std::to_string(1 + i % 3), port, to);
    if (fd < 0) continue;
    quietSend(fd, lobbywire::connectLine(code));
    held.push_back(fd);
    // Ended ones (refused, or silent too long) are asked for again.
    std::erase_if(held, [](int h) {
      char buf[4096];
      const ssize_t n = ::recv(h, buf, sizeof buf, MSG_DONTWAIT);
      if (n == 0 || (n < 0 && errno != EAGAIN)) {
        ::close(h);
        return true;
      }
      return false;
    });
  }
}

// Thirteen addresses with eight tables each, and fifty lobbies each asking
// for forty pages at once, a new connection every 20 ms.
void takeListing(int port, const std::string& to) {
  std::vector<int> fakes;
  for (int a = 0; a < 13; ++a)
    for (int t = 0; t < 8; ++t) {
      lobbywire::TableEntry s;
      s.name = "FREE CHIPS at " + std::to_string(a);
      s.port = closedPort();
      const int fd = attempt("127.12." + std::to_string(a) + ".1", port, to);
      if (fd >= 0) quietSend(fd, lobbywire::registerLine(s, false));
      fakes.push_back(fd);
    }
  std::string asks;
  for (int k = 0; k < 40; ++k) asks += lobbywire::listLine(0);
  Pace pace(50);
  for (long i = 0;; ++i) {
    pace.next();
    const int fd = attempt(loopback(13, static_cast<int>(i % 50)), port, to);
    if (fd < 0) continue;
    quietSend(fd, asks);
    char buf[65536];
    pollfd p{fd, POLLIN, 0};
    while (::poll(&p, 1, 50) > 0 && ::recv(fd, buf, sizeof buf, 0) > 0) {
    }
    ::close(fd);
  }
}

// A /48's 300 /64s (or 300 IPv4 addresses) opening 1,000 connections a
// second and holding every one the server keeps.
void block(int port, const std::string& to, bool v6) {
  Pace pace(1000);
  std::vector<int> held;
  for (long i = 0;; ++i) {
    pace.next();
    char from[64];
    if (v6) std::snprintf(from, sizeof from, "2001:db8:66:%lx::1", i % 300);
    else std::snprintf(from, sizeof from, "127.14.%ld.%ld", i % 300 / 250, i % 300 % 250 + 1);
    const int fd = attempt(from, port, v6 ? "2001:db8::1" : to);
    if (fd < 0) continue;
    quietSend(fd, lobbywire::listLine(0));
    pollfd p{fd, POLLIN, 0};
    char buf[256];
    if (::poll(&p, 1, 100) > 0 && ::recv(fd, buf, sizeof buf, 0) > 0 && held.size() < 30000) held.push_back(fd);
    else ::close(fd);
  }
}

// Eight registrations from one address, each pushing state lines as fast
// as its socket takes them (16 KB at a time, a thousand times a second), and
// registering again when cut off, as often as the server lets an address.
void floodStates(int port, const std::string& to) {
  std::string lines;
  for (int i = 0; lines.size() < 16 * 1024; ++i) {
    lobbywire::TableEntry s;
    s.state.players = 1 + i % 3;
    lines += lobbywire::stateLine(s);
  }
  std::vector<int> hosts(8, -1);
  Pace pace(1000);
  auto nextRegistration = Clock::now();
  for (;;) {
    pace.next();
    for (int& h : hosts) {
      if (h < 0) {
        if (Clock::now() < nextRegistration) continue;
        nextRegistration = Clock::now() + std::chrono::milliseconds(200);
        lobbywire::TableEntry s;
        s.name = "Flood";
        s.port = closedPort();
        h = attempt("127.0.15.1", port, to);
        if (h < 0) continue;
        setNonBlocking(h);
        quietSend(h, lobbywire::registerLine(s, false));
      }
      if (::send(h, lines.data(), lines.size(), MSG_NOSIGNAL | MSG_DONTWAIT) < 0 && errno != EAGAIN) {
        ::close(h);
        h = -1;
        continue;
      }
      char buf[4096];
      while (::recv(h, buf, sizeof buf, MSG_DONTWAIT) > 0) {
      }
    }
  }
}

void report(const char* what, const std::vector<double>& v, const std::vector<double>& base, bool& met) {
  const double p99 = percentile(v, 0.99), b99 = percentile(base, 0.99);
  const double ratio = p99 / b99;
  met = met && ratio <= kRatioTarget;
  std::printf("    %-18s p50 %6.3f ms  p99 %6.3f ms  (quiet windows: p50 %6.3f, p99 %6.3f): %.2fx  %zu samples\n",
              what, percentile(v, 0.5), p99, percentile(base, 0.5), b99, ratio, v.size());
}

}  // namespace

void attackPhase(const std::string& dir, double seconds) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  const bool v6 = ownNetwork();
  // Every address is the namespace's own when it has one: the server listens
  // on all of them, IPv4 clients reach it at 127.0.0.1, IPv6 ones at
  // 2001:db8::1.
  const std::string to = "127.0.0.1";
  std::printf("== attack: players' look-ups, listings and relayed cards under each attack (%s)\n",
              v6 ? "in a network namespace of its own, IPv6 blocks" : "IPv4 only: not root");
  Process server;
  startLobbyd(server, dir, v6 ? "" : "127.0.0.1");
  std::vector<int> background;
  for (int i = 0; i < kBackgroundTables; ++i) {
    lobbywire::TableEntry t;
    t.name = "Table " + std::to_string(i);
    t.port = closedPort();
    t.state.players = i % 5;
    t.state.stage = i % 3 == 0 ? tables::Stage::Playing : tables::Stage::Waiting;
    t.state.round = i % 3 == 0 ? 1 + i % 20 : 0;
    background.push_back(connectFrom(loopback(7, i / 8), server.port, to));
    sendAll(background.back(), lobbywire::registerLine(t, false));
    readUntil(background.back(), Op::Registered);
  }
  Measured table = measuredTable(server.port, to);
  const Samples clean = play(server.port, to, table, seconds)[0];
  std::printf("  before any attack: look-up p99 %.3f ms, listing p99 %.3f ms, relayed card p99 %.3f ms\n",
              percentile(clean.lookup, 0.99), percentile(clean.listing, 0.99), percentile(clean.relay, 0.99));
  std::printf("  each attack in %d ms windows alternating with quiet ones (the attacker stopped), %.0f s of each\n",
              kWindowMs, seconds);
  bool met = true;
  const char* names[] = {"", "1 a connection flood from one address and 120 addresses guessing",
                         "2 relays asked for and never spoken in", "3 the listing taken over and listed flat out",
                         v6 ? "4 an IPv6 /48's connections" : "4 300 addresses' connections",
                         "5 state lines without end"};
  for (int attack = 1; attack <= 5; ++attack) {
    if (const char* only = std::getenv("ATTACK"); only && std::atoi(only) != attack) continue;
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::prctl(PR_SET_PDEATHSIG, SIGKILL);
      switch (attack) {
        case 1: guess(server.port, to); break;
        case 2: hogRelays(server.port, to, table.code); break;
        case 3: takeListing(server.port, to); break;
        case 4: block(server.port, to, v6); break;
        default: floodStates(server.port, to); break;
      }
      std::_Exit(0);
    }
    const double cpu0 = server.cpuSeconds();
    const auto t0 = Clock::now();
    const auto both = play(server.port, to, table, 2 * seconds, pid);
    const double serverCore = (server.cpuSeconds() - cpu0) / (msSince(t0) / 1000);
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    const Samples& quiet = both[0];
    const Samples& s = both[1];
    std::printf("  attack %s (the server: %.2f of a core over the windows):\n", names[attack], serverCore);
    report("live-code look-up", s.lookup, quiet.lookup, met);
    report("listing", s.listing, quiet.listing, met);
    report("relayed card", s.relay, quiet.relay, met);
    std::printf("    live-code look-ups refused: %d (quiet windows: %d)\n", s.refused, quiet.refused);
    met = met && s.refused == 0 && quiet.refused == 0;
    play(server.port, to, table, 2);  // the server lets go of the attack's connections
  }
  std::printf("  every p99 within %.1fx of its quiet windows', no live-code look-up refused: %s\n", kRatioTarget,
              met ? "met" : "MISSED");
  for (int fd : background) ::close(fd);
  for (int fd : {table.link, table.leg, table.seat}) ::close(fd);
}

}  // namespace ombrix::bench
