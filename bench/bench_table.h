// What the host benchmarks share: ombrix-host started as its own process,
// and a table of nine plain-socket clients in one poll loop (four players who
// answer every prompt after a person's pause, five spectators), with the
// traffic a phase asks for on top.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "protocol/framing.h"

namespace ombrix::bench {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point t);
double percentile(std::vector<double> v, double p);

// ombrix-host in its own process, on a free port, its log drained.
class HostProcess {
 public:
  // `dir` holds the programs (the benchmark's own folder); `extra` are more
  // options. With "--lobby-server", the start waits for the invite code.
  // With "--web-port", the start waits for the web link too.
  explicit HostProcess(const std::string& dir, const std::vector<std::string>& extra = {});
  ~HostProcess();
  int port() const { return port_; }
  int webPort() const { return webPort_; }
  const std::string& code() const { return code_; }
  pid_t pid() const { return pid_; }
  double cpuSeconds() const;               // user + system time so far
  long statusKb(const char* field) const;  // "VmHWM", "VmRSS" from /proc
  int openDescriptors() const;
  int highestDescriptor() const;

 private:
  pid_t pid_ = -1, drainer_ = -1;
  int port_ = 0, webPort_ = 0;
  std::string code_;
};

int connectTo(int port, int receiveBuffer = 0);

struct Client {
  int fd = -1;
  int slot = 0;
  bool player = false;
  bool reading = true;
  bool lost = false;
  std::map<int, int> hand;
  int inTrick = 0, led = 0;
  size_t chatsSeen = 0;
  wire::Framer framer;
  // A browser's seat: its lines are WebSocket text messages (wsIn holds a
  // frame not yet whole).
  bool ws = false;
  std::string wsIn;
  void send(const std::string& m) const;
};

// Extra traffic for a phase.
struct Flood {
  int perSecond = 0;        // short chat lines from the last spectator, paced
  double burstSeconds = 0;  // with perSecond: flood this long, then pause until the host caught up
  size_t lineBytes = 0;     // instead: lines this long, kept a few in flight
};

struct Phase {
  std::vector<double> samples;  // card request to its announcement at every reading table, ms
  size_t cards = 0;
  // By the seat that played: card request to its announcement at every other
  // table connected directly (not through a relay), ms.
  std::map<int, std::vector<double>> toDirectTables;
  // Card request to its announcement at each other table, one sample a
  // table: [0] at plain connections, [1] at browsers' WebSockets, ms.
  std::vector<double> toTables[2];
};

// A browser's WebSocket to a web door at `port` ("/ws"), past the upgrade;
// the benchmark ends when it is refused.
int connectWebSocket(int port, const std::string& path = "/ws");

class Table {
 public:
  // A person takes longer than this to answer: more than one dispatch budget.
  static constexpr int kThinkMs = 20;

  explicit Table(int port);
  // `connect(i)` opens client i's connection (0-8), already past anything
  // but the game's own bytes; `relayed` names the clients it relays, `web`
  // those that are browsers' WebSockets.
  Table(int port, const std::function<int(int)>& connect, std::vector<bool> relayed, std::vector<bool> web = {});
  ~Table();
  Phase run(double seconds, const Flood& flood);
  Client& client(int i) { return clients_[static_cast<size_t>(i)]; }
  // Stops reading client i's socket (its receive buffer kept small), as a
  // table that hangs.
  void stall(int i) { clients_[static_cast<size_t>(i)].reading = false; }
  // Slots the host announced as gone.
  const std::vector<int>& departed() const { return departed_; }

 private:
  template <class Done>
  void pump(int timeoutMs, Done done);
  void handle(Client& c, const std::string& m);
  void play(Client& c);
  void later(Client& c, std::string m);
  void fireDue();
  int readers() const;

  std::vector<Client> clients_;
  std::multimap<Clock::time_point, std::pair<int, std::string>> due_;
  std::map<int, Clock::time_point> sentAt_;
  std::map<std::string, int> arrivals_, directArrivals_;
  std::map<int, Clock::time_point> sentAtSeat_;
  std::vector<bool> relayed_;
  std::vector<int> departed_;
  Phase* current_ = nullptr;
  bool sampling_ = false;
  bool gameOver_ = false;
};

}  // namespace ombrix::bench
