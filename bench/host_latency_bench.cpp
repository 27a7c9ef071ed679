// Latency of the host over loopback: from a player's "CMD_playcard" to the
// announcement having reached all nine connections (four players, five
// spectators), at rest and while one spectator floods chat. The host runs as
// its own process (build/bin/ombrix-host); the clients here are plain
// sockets in one poll loop, so the figures include both sides' kernels.
//
// The peer measured in the same run is the loopback itself: the round trip
// of one small message through a local echo, the floor under any host.
//
//   host_latency_bench [seconds-per-phase]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "engine/cards.h"
#include "protocol/commands.h"
#include "protocol/framing.h"

using namespace ombrix;
using Clock = std::chrono::steady_clock;

namespace {

double msSince(Clock::time_point t) {
  return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

struct Client {
  int fd = -1;
  int slot = 0;
  bool player = false;
  std::map<int, int> hand;
  int inTrick = 0, led = 0;
  wire::Framer framer;
  void send(const std::string& m) {
    const std::string w = m + wire::kTerminator;
    (void)!::send(fd, w.data(), w.size(), MSG_NOSIGNAL);
  }
};

int connectTo(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    std::perror("connect");
    std::exit(1);
  }
  const int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  return fd;
}

double percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, static_cast<size_t>(p * (v.size() - 1) + 0.5))];
}

struct Phase {
  std::vector<double> samples;
};

class Table {
 public:
  explicit Table(int port) {
    for (int i = 0; i < 9; ++i) {
      clients_.emplace_back();
      clients_.back().fd = connectTo(port);
      clients_.back().player = i < 4;
      pump(2000, [&] { return clients_.back().slot != 0; });  // in slot order
    }
    clients_[0].send("CMD_botspeed+1+500+");
    clients_[0].send("CMD_startgame+Bench+f+");
  }

  // Runs the game for `seconds`, flooding chat from the last spectator at
  // `floodPerSecond` messages a second (0: none).
  Phase run(double seconds, int floodPerSecond) {
    Phase ph;
    current_ = &ph;
    const auto start = Clock::now();
    auto nextFlood = start;
    while (msSince(start) < seconds * 1000) {
      if (floodPerSecond && Clock::now() >= nextFlood) {
        clients_[8].send("CMD_chat+" + std::to_string(clients_[8].slot) + "+flood flood flood|clRed");
        nextFlood += std::chrono::microseconds(1000000 / floodPerSecond);
      }
      pump(floodPerSecond ? 1 : 20, [] { return false; });
      if (gameOver_) {
        gameOver_ = false;
        clients_[0].send("CMD_startgame+Bench+f+");
      }
    }
    current_ = nullptr;
    return ph;
  }

 private:
  template <class Done>
  void pump(int timeoutMs, Done done) {
    std::vector<pollfd> fds;
    for (auto& c : clients_) fds.push_back({c.fd, POLLIN, 0});
    const auto start = Clock::now();
    do {
      if (::poll(fds.data(), fds.size(), timeoutMs) <= 0) return;
      for (size_t i = 0; i < fds.size(); ++i) {
        if (!(fds[i].revents & POLLIN)) continue;
        char buf[65536];
        const ssize_t n = ::recv(fds[i].fd, buf, sizeof buf, 0);
        if (n <= 0) {
          std::fprintf(stderr, "host_latency_bench: client %zu lost its connection\n", i + 1);
          std::exit(1);
        }
        clients_[i].framer.feed(std::string_view(buf, static_cast<size_t>(n)), [&](std::string_view m) {
          handle(clients_[i], std::string(m));
          return true;
        });
      }
    } while (!done() && msSince(start) < timeoutMs);
  }

  void handle(Client& c, const std::string& m) {
    const auto [name, fields] = wire::splitCommand(m);
    if (name == "CMD_sendlogininfo") {
      c.slot = *wire::parse::sendlogininfo(fields);
      c.send("CMD_logininfo+" + std::to_string(c.slot) + "+1.0.14+c" + std::to_string(c.slot));
    } else if (name == "CMD_placecard") {
      auto pc = wire::parse::placecard(fields);
      if (pc && pc->seat == c.slot)
        for (auto [pos, card] : pc->cards)
          if (card) c.hand[pos] = card;
    } else if (name == "CMD_bid") {
      auto b = wire::parse::bidAsk(fields);
      if (c.player && b && b->bidder == c.slot) c.send("CMD_bid+" + std::to_string(c.slot) + "+1");
    } else if (name == "CMD_playcard") {
      auto p = wire::parse::playcard(fields);
      if (!p) return;
      if (++c.inTrick == 1) c.led = suitOf(p->card);
      if (p->seat == c.slot) c.hand.erase(p->position);
      if (++arrivals_[m] == 9 && sentAt_.count(p->seat) && current_) {
        current_->samples.push_back(msSince(sentAt_[p->seat]));
        sentAt_.erase(p->seat);
      }
    } else if (name == "CMD_trickwinner") {
      c.inTrick = 0;
      c.led = 0;
      arrivals_.clear();
    } else if (name == "CMD_nextplayer") {
      if (c.player && wire::parse::nextplayer(fields) == c.slot) play(c);
    } else if (name == "CMD_winner") {
      if (c.slot == 1) gameOver_ = true;
    }
  }

  void play(Client& c) {
    int choice = 0;
    for (auto [pos, card] : c.hand)
      if (c.led && suitOf(card) == c.led && !choice) choice = pos;
    if (!choice && !c.hand.empty()) choice = c.hand.begin()->first;
    if (!choice) return;
    sentAt_[c.slot] = Clock::now();
    c.send("CMD_playcard+" + std::to_string(c.slot) + "+" + std::to_string(choice));
  }

  std::vector<Client> clients_;
  std::map<int, Clock::time_point> sentAt_;
  std::map<std::string, int> arrivals_;
  Phase* current_ = nullptr;
  bool gameOver_ = false;
};

// The peer: one message's round trip through a local echo socket pair.
double loopbackRoundTripMs() {
  int sv[2];
  ::socketpair(AF_UNIX, SOCK_STREAM, 0, sv);
  std::vector<double> t;
  char b[64];
  for (int i = 0; i < 2000; ++i) {
    const auto t0 = Clock::now();
    (void)!::write(sv[0], "CMD_playcard+1+2+3", 18);
    (void)!::read(sv[1], b, sizeof b);
    (void)!::write(sv[1], b, 18);
    (void)!::read(sv[0], b, sizeof b);
    t.push_back(msSince(t0));
  }
  ::close(sv[0]);
  ::close(sv[1]);
  return percentile(t, 0.5);
}

}  // namespace

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 30;
  std::string dir = argv[0];
  dir = dir.substr(0, dir.rfind('/') + 1);
  int pipeFd[2];
  if (::pipe(pipeFd) != 0) return 1;
  const pid_t host = ::fork();
  if (host == 0) {
    ::dup2(pipeFd[1], 2);
    ::execl((dir + "ombrix-host").c_str(), "ombrix-host", "--port", "0", "--seed", "1", nullptr);
    std::_Exit(127);
  }
  ::close(pipeFd[1]);
  FILE* log = ::fdopen(pipeFd[0], "r");
  int port = 0;
  char line[256];
  while (!port && std::fgets(line, sizeof line, log))
    if (const char* p = std::strstr(line, "listening on port ")) port = std::atoi(p + 18);
  if (!port) {
    std::fprintf(stderr, "host_latency_bench: the host did not start\n");
    return 1;
  }
  // Drain the host's log so it never blocks on a full pipe.
  if (::fork() == 0) {
    while (std::fgets(line, sizeof line, log)) {
    }
    std::_Exit(0);
  }

  Table table(port);
  const Phase rest = table.run(seconds, 0);
  // Twice what the host dispatches, short of the per-connection queue bound
  // for the length of the phase.
  const int floodRate = std::min(200, static_cast<int>(100 + 900 / std::max(seconds, 1.0)));
  const Phase flood = table.run(seconds, floodRate);
  ::kill(host, SIGTERM);
  ::waitpid(host, nullptr, 0);

  const double floor = loopbackRoundTripMs();
  auto report = [&](const char* what, const Phase& ph, double target) {
    const double p50 = percentile(ph.samples, 0.5), p99 = percentile(ph.samples, 0.99);
    std::printf("%-26s %4zu cards  median %6.2f ms  p99 %6.2f ms  (target p99 <= %.0f ms: %s)\n", what,
                ph.samples.size(), p50, p99, target, p99 <= target ? "met" : "NOT met");
    return p99 <= target;
  };
  const bool ok1 = report("at rest", rest, 15);
  char label[64];
  std::snprintf(label, sizeof label, "chat flood %d/s", floodRate);
  const bool ok2 = report(label, flood, 30);
  std::printf("peer: loopback round trip median %.3f ms; at-rest median / dispatch tick (10 ms) = %.2f\n",
              floor, percentile(rest.samples, 0.5) / 10);
  return ok1 && ok2 ? 0 : 3;
}
