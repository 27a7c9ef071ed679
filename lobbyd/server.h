// LobbyServer: LobbyCore on real sockets. Accepts on one dual-stack
// listener (IPv6 and IPv4), cuts what arrives into lines, queues what goes
// out, probes hosts' ports, and splices relays.
//
// Bounds of its own, besides the core's: a line longer than kMaxLine ends
// its connection; what a connection has not taken of its answers is capped
// (outputCap), and one that takes nothing for stallMs is cut off; the
// listener stops accepting at maxConnections (libuv's way: it is simply not
// polled) and when the process runs out of descriptors, until one is free.
// A relay moves at most what its table's budget allows and never holds more
// than relayBuffer per direction: a side that cannot take more stops the
// other side's reading, as TCP itself would. A relay's joiner must send its
// first bytes within relayFirstBytesMs.
#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "lobbyd/core.h"
#include "lobbyd/reactor.h"

namespace ombrix::lobby {

struct ServerLimits {
  size_t maxConnections = 30000;
  size_t outputCap = 64 * 1024;  // more than a page of a listing and an error
  int64_t stallMs = 30000;
  size_t relayBuffer = 64 * 1024;
  int64_t probeMs = 3000;
  // A relay whose joiner sends nothing at all this long after it was spliced
  // is ended: a game answers the host's first message at once, and a joiner
  // that does not only holds one of the table's relays and a slot at the host.
  int64_t relayFirstBytesMs = 10000;
};

class LobbyServer : public CoreOutput {
 public:
  LobbyServer(Reactor& loop, Limits limits = {}, ServerLimits server = {}, LobbyCore::Log log = {});
  ~LobbyServer() override;

  // Listens on `bind` (empty: every IPv6 and IPv4 address) and `port` (0:
  // any). Throws std::runtime_error with the reason.
  void listen(const std::string& bind, int port);
  int port() const { return port_; }
  LobbyCore& core() { return core_; }
  size_t openConnections() const { return conns_.size(); }

  // CoreOutput.
  void send(ConnId id, std::string_view bytes) override;
  void close(ConnId id) override;
  void probe(ProbeId probe, const std::string& address, int port) override;
  void splice(ConnId joiner, ConnId hostLeg, std::shared_ptr<RelayBudget> budget) override;

 private:
  struct Conn {
    ConnId id = 0;
    int fd = -1;
    std::string in, out;
    size_t outAt = 0;         // sent part of `out`
    int64_t stalledSince = 0; // output waiting and none taken since
    bool closing = false;     // close once `out` is flushed
    ConnId partner = 0;       // spliced to
    std::shared_ptr<RelayBudget> budget;
    bool waitingBudget = false, waitingPartner = false;
    bool readEof = false;
    int64_t firstBytesDue = 0;  // a relay's joiner that has sent nothing yet
  };

  void onAccept();
  void onEvent(ConnId id, int mask);
  void readLines(Conn& c);
  void readRelay(Conn& c);
  bool flush(Conn& c);  // false when the connection broke
  void updateMask(Conn& c);
  void drop(ConnId id);  // closes now and tells the core
  void pauseAccepting(int64_t ms);
  void sweep();
  void paceRelays();
  Conn* find(ConnId id);

  Reactor& loop_;
  LobbyCore core_;
  ServerLimits limits_;
  int listenFd_ = -1;
  int port_ = 0;
  bool accepting_ = false;
  uint64_t acceptTimer_ = 0, sweepTimer_ = 0, paceTimer_ = 0;
  std::unordered_map<ConnId, std::unique_ptr<Conn>> conns_;
  std::vector<ConnId> paced_;  // relays waiting for their budget
  ConnId nextId_ = 1;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace ombrix::lobby
