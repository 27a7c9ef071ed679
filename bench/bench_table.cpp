#include "bench/bench_table.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "base/cards.h"
#include "protocol/commands.h"
#include "tests/support/wsframes.h"

namespace ombrix::bench {

double msSince(Clock::time_point t) {
  return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

double percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size() - 1) + 0.5))];
}

// --- The host process ----------------------------------------------------------

HostProcess::HostProcess(const std::string& dir, const std::vector<std::string>& extra) {
  int pipeFd[2];
  if (::pipe(pipeFd) != 0) std::exit(1);
  pid_ = ::fork();
  if (pid_ == 0) {
    ::dup2(pipeFd[1], 2);
    // Only what the host opens itself: no descriptor of this process or of
    // whatever started it, so the host's descriptor count is its own.
    ::closefrom(3);
    std::vector<std::string> args = {"ombrix-host", "--port", "0", "--seed", "1", "--no-announce"};
    args.insert(args.end(), extra.begin(), extra.end());
    // No web door unless asked for: hosts side by side would share its port.
    if (std::find(extra.begin(), extra.end(), "--web-port") == extra.end()) args.push_back("--no-web");
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    ::execv((dir + "ombrix-host").c_str(), argv.data());
    std::_Exit(127);
  }
  ::close(pipeFd[1]);
  FILE* log = ::fdopen(pipeFd[0], "r");
  char line[512];
  const bool web = std::find(extra.begin(), extra.end(), "--web-port") != extra.end();
  while ((!port_ || (web && !webPort_)) && std::fgets(line, sizeof line, log)) {
    if (const char* p = std::strstr(line, "listening on port ")) port_ = std::atoi(p + 18);
    if (const char* p = std::strstr(line, "web link: http://")) {
      const std::string link(p + 17);
      webPort_ = std::atoi(link.c_str() + link.rfind(':') + 1);
    }
  }
  if (!port_ || (web && !webPort_)) {
    std::fprintf(stderr, "bench: the host did not start\n");
    std::exit(1);
  }
  const bool registers = std::find(extra.begin(), extra.end(), "--lobby-server") != extra.end();
  // Registered, and the server's probe of the port come and gone: the first
  // table to connect then takes slot 1.
  bool probed = false, left = false;
  while (registers && !(probed && left) && std::fgets(line, sizeof line, log)) {
    if (const char* p = std::strstr(line, "invite code: ")) code_ = std::string(p + 13, 8);
    probed = probed || std::strstr(line, "reached this table");
    left = left || std::strstr(line, "slot 1 left");
  }
  // Drain the host's log so it never blocks on a full pipe.
  drainer_ = ::fork();
  if (drainer_ == 0) {
    while (std::fgets(line, sizeof line, log)) {
    }
    std::_Exit(0);
  }
  std::fclose(log);
}

HostProcess::~HostProcess() {
  ::kill(pid_, SIGTERM);
  ::waitpid(pid_, nullptr, 0);
  ::waitpid(drainer_, nullptr, 0);
}

double HostProcess::cpuSeconds() const {
  std::ifstream f("/proc/" + std::to_string(pid_) + "/stat");
  std::string all((std::istreambuf_iterator<char>(f)), {});
  // Fields after the command name, which is in parentheses and may hold spaces.
  std::istringstream rest(all.substr(all.rfind(')') + 2));
  std::string field;
  unsigned long long utime = 0, stime = 0;
  for (int i = 3; i <= 15 && rest >> field; ++i) {
    if (i == 14) utime = std::stoull(field);
    if (i == 15) stime = std::stoull(field);
  }
  return static_cast<double>(utime + stime) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

long HostProcess::statusKb(const char* name) const {
  std::ifstream f("/proc/" + std::to_string(pid_) + "/status");
  std::string line;
  const std::string key = std::string(name) + ":";
  while (std::getline(f, line))
    if (line.rfind(key, 0) == 0) return std::atol(line.c_str() + key.size());
  return 0;
}

int HostProcess::openDescriptors() const {
  int n = 0;
  if (DIR* d = ::opendir(("/proc/" + std::to_string(pid_) + "/fd").c_str())) {
    while (const dirent* e = ::readdir(d)) n += e->d_name[0] != '.';
    ::closedir(d);
  }
  return n;
}

int HostProcess::highestDescriptor() const {
  int highest = 0;
  if (DIR* d = ::opendir(("/proc/" + std::to_string(pid_) + "/fd").c_str())) {
    while (const dirent* e = ::readdir(d)) highest = std::max(highest, std::atoi(e->d_name));
    ::closedir(d);
  }
  return highest;
}

int connectTo(int port, int receiveBuffer) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  if (receiveBuffer) ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
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

int connectWebSocket(int port, const std::string& path) {
  const int fd = connectTo(port);
  const std::string ask = test::upgradeRequest(path);
  (void)!::send(fd, ask.data(), ask.size(), MSG_NOSIGNAL);
  // The answer's head, a byte at a time: the first frame stays in the socket.
  std::string head;
  char b;
  while (head.find("\r\n\r\n") == std::string::npos && ::recv(fd, &b, 1, 0) == 1) head += b;
  if (head.rfind("HTTP/1.1 101", 0) != 0) {
    std::fprintf(stderr, "bench: the web door refused the WebSocket: %s\n", head.c_str());
    std::exit(1);
  }
  return fd;
}

void Client::send(const std::string& m) const {
  const std::string w = ws ? test::clientFrame(m) : m + wire::kTerminator;
  size_t off = 0;
  while (off < w.size()) {
    const ssize_t n = ::send(fd, w.data() + off, w.size() - off, MSG_NOSIGNAL);
    if (n <= 0) return;
    off += static_cast<size_t>(n);
  }
}

// --- The table -------------------------------------------------------------------

namespace {
// A stalled table's receive buffer: small, so the host feels it at once.
constexpr int kStalledBuffer = 4096;
// Long lines a flooder keeps in flight: under the host's per-connection
// queue bound, so the flooder itself is never closed.
constexpr size_t kLongLinesInFlight = 6;
}  // namespace

Table::Table(int port)
    : Table(port, [port](int i) { return connectTo(port, i == 4 ? kStalledBuffer : 0); }, {}) {}

Table::Table(int, const std::function<int(int)>& connect, std::vector<bool> relayed, std::vector<bool> web)
    : relayed_(std::move(relayed)) {
  relayed_.resize(9);
  web.resize(9);
  for (int i = 0; i < 9; ++i) {
    clients_.emplace_back();
    clients_.back().ws = web[static_cast<size_t>(i)];
    // Spectator 5 may be told to stall; its buffer is small from the start.
    clients_.back().fd = connect(i);
    clients_.back().player = i < 4;
    pump(2000, [&] { return clients_.back().slot != 0; });  // in slot order
  }
  clients_[0].send("CMD_botspeed+1+500+");
  clients_[0].send("CMD_startgame+Bench+f+");
}

Table::~Table() {
  for (auto& c : clients_) ::close(c.fd);
}

int Table::readers() const {
  int n = 0;
  for (const auto& c : clients_) n += c.reading && !c.lost;
  return n;
}

Phase Table::run(double seconds, const Flood& flood) {
  Phase ph;
  current_ = &ph;
  Client& flooder = clients_[8];
  const auto start = Clock::now();
  auto nextLine = start;
  auto burstStart = start;
  bool pausing = false;
  size_t sentLines = 0;
  const size_t seenBefore = flooder.chatsSeen;
  const std::string shortLine = "CMD_chat+" + std::to_string(flooder.slot) + "+flood flood flood|clRed";
  const std::string longLine =
      "CMD_chat+" + std::to_string(flooder.slot) + "+" + std::string(flood.lineBytes, 'w') + "|clRed";
  while (msSince(start) < seconds * 1000) {
    const size_t caughtUp = flooder.chatsSeen - seenBefore;
    sampling_ = true;
    if (flood.perSecond) {
      if (!pausing && flood.burstSeconds > 0 && msSince(burstStart) > flood.burstSeconds * 1000)
        pausing = true;
      if (pausing && caughtUp >= sentLines) {
        pausing = false;
        burstStart = nextLine = Clock::now();
      }
      sampling_ = !pausing;
      while (!pausing && Clock::now() >= nextLine) {
        flooder.send(shortLine);
        ++sentLines;
        nextLine += std::chrono::microseconds(1000000 / flood.perSecond);
      }
    } else if (flood.lineBytes) {
      while (sentLines < caughtUp + kLongLinesInFlight) {
        flooder.send(longLine);
        ++sentLines;
      }
    }
    fireDue();
    pump(1, [] { return true; });
    if (gameOver_) {
      gameOver_ = false;
      clients_[0].send("CMD_startgame+Bench+f+");
    }
  }
  sampling_ = false;
  current_ = nullptr;
  return ph;
}

void Table::later(Client& c, std::string m) {
  const int index = static_cast<int>(&c - clients_.data());
  due_.emplace(Clock::now() + std::chrono::milliseconds(kThinkMs), std::make_pair(index, std::move(m)));
}

void Table::fireDue() {
  while (!due_.empty() && due_.begin()->first <= Clock::now()) {
    auto [index, m] = due_.begin()->second;
    due_.erase(due_.begin());
    Client& c = clients_[static_cast<size_t>(index)];
    if (m.rfind("CMD_playcard+", 0) == 0) sentAt_[c.slot] = sentAtSeat_[c.slot] = Clock::now();
    c.send(m);
  }
}

template <class Done>
void Table::pump(int timeoutMs, Done done) {
  std::vector<pollfd> fds;
  std::vector<size_t> which;
  for (size_t i = 0; i < clients_.size(); ++i) {
    if (!clients_[i].reading || clients_[i].lost) continue;
    fds.push_back({clients_[i].fd, POLLIN, 0});
    which.push_back(i);
  }
  const auto start = Clock::now();
  do {
    if (::poll(fds.data(), fds.size(), timeoutMs) <= 0) return;
    for (size_t k = 0; k < fds.size(); ++k) {
      if (!(fds[k].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      Client& c = clients_[which[k]];
      char buf[65536];
      const ssize_t n = ::recv(fds[k].fd, buf, sizeof buf, 0);
      if (n <= 0) {
        std::fprintf(stderr, "bench: client %zu lost its connection\n", which[k] + 1);
        if (c.player || &c == &clients_[8]) std::exit(1);
        c.lost = true;
        fds[k].fd = -1;
        continue;
      }
      if (c.ws) {
        c.wsIn.append(buf, static_cast<size_t>(n));
        while (auto f = test::takeFrame(c.wsIn)) {
          if (f->opcode == 1) handle(c, f->payload);
          // A quiet browser is pinged: it answers as a browser does.
          if (f->opcode == 9) {
            const std::string pong = test::clientFrame(f->payload, 10);
            (void)!::send(c.fd, pong.data(), pong.size(), MSG_NOSIGNAL);
          }
        }
        continue;
      }
      c.framer.feed(std::string_view(buf, static_cast<size_t>(n)), [&](std::string_view m) {
        handle(c, std::string(m));
        return true;
      });
    }
  } while (!done() && msSince(start) < timeoutMs);
}

void Table::handle(Client& c, const std::string& m) {
  const auto [name, fields] = wire::splitCommand(m);
  if (name == "CMD_sendlogininfo") {
    c.slot = *wire::parse::sendlogininfo(fields);
    c.send("CMD_logininfo+" + std::to_string(c.slot) + "+1.0.14+c" + std::to_string(c.slot));
  } else if (name == "CMD_chat") {
    ++c.chatsSeen;
  } else if (name == "CMD_placecard") {
    auto pc = wire::parse::placecard(fields);
    if (pc && pc->seat == c.slot)
      for (auto [pos, card] : pc->cards)
        if (card) c.hand[pos] = card;
  } else if (name == "CMD_bid") {
    auto b = wire::parse::bidAsk(fields);
    if (c.player && b && b->bidder == c.slot) later(c, "CMD_bid+" + std::to_string(c.slot) + "+1");
  } else if (name == "CMD_playcard") {
    auto p = wire::parse::playcard(fields);
    if (!p) return;
    if (++c.inTrick == 1) c.led = suitOf(p->card);
    if (p->seat == c.slot) c.hand.erase(p->position);
    const int index = static_cast<int>(&c - clients_.data());
    if (c.slot != p->seat && sentAt_.count(p->seat) && current_ && sampling_)
      current_->toTables[c.ws].push_back(msSince(sentAt_[p->seat]));
    if (!relayed_[static_cast<size_t>(index)] && c.slot != p->seat && sentAtSeat_.count(p->seat)) {
      int others = 0;
      for (size_t k = 0; k < clients_.size(); ++k)
        others += !relayed_[k] && clients_[k].reading && !clients_[k].lost && clients_[k].slot != p->seat;
      if (++directArrivals_[m] == others) {
        if (current_ && sampling_) current_->toDirectTables[p->seat].push_back(msSince(sentAtSeat_[p->seat]));
        sentAtSeat_.erase(p->seat);
      }
    }
    if (++arrivals_[m] == readers() && sentAt_.count(p->seat)) {
      if (current_ && sampling_) current_->samples.push_back(msSince(sentAt_[p->seat]));
      if (current_) ++current_->cards;
      sentAt_.erase(p->seat);
    }
  } else if (name == "CMD_trickwinner") {
    c.inTrick = 0;
    c.led = 0;
    arrivals_.clear();
    directArrivals_.clear();
  } else if (name == "CMD_nextplayer") {
    if (c.player && wire::parse::nextplayer(fields) == c.slot) play(c);
  } else if (name == "CMD_playerdisconnected") {
    if (&c == &clients_[0]) departed_.push_back(std::atoi(std::string(fields).c_str()));
  } else if (name == "CMD_winner") {
    if (c.slot == 1) gameOver_ = true;
  }
}

void Table::play(Client& c) {
  int choice = 0;
  for (auto [pos, card] : c.hand)
    if (c.led && suitOf(card) == c.led && !choice) choice = pos;
  if (!choice && !c.hand.empty()) choice = c.hand.begin()->first;
  if (choice) later(c, "CMD_playcard+" + std::to_string(c.slot) + "+" + std::to_string(choice));
}

}  // namespace ombrix::bench
