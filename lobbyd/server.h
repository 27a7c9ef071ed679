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
#include "webgate/gateway.h"

namespace ombrix::lobbyd {

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

// The web door's bounds of its own (the gateway's, per connection, are
// webgate::Limits): browsers from one address (an IPv6 /64 as one), each with
// a few connections for the page's files and one WebSocket; and in all.
struct WebLimits {
  size_t perAddress = 16;
  size_t maxConnections = 4096;
};

class LobbyServer : public CoreOutput {
 public:
  LobbyServer(Reactor& loop, Limits limits = {}, ServerLimits server = {}, LobbyCore::Log log = {});
  ~LobbyServer() override;
  LobbyServer(const LobbyServer&) = delete;
  LobbyServer& operator=(const LobbyServer&) = delete;

  // Listens on `bind` (empty: every IPv6 and IPv4 address) and `port` (0:
  // any). Throws std::runtime_error with the reason.
  void listen(const std::string& bind, int port);
  int port() const { return port_; }
  // Serves the web table on a second listener: its page at "/" and at an
  // invite code's "/+CODE", and at "/ws/+CODE" a WebSocket joined to that
  // table exactly as a joining lobby's connection is (a relay, with every
  // bound of the server's protocol), one text message a line of the game.
  // Throws std::runtime_error with the reason.
  void listenWeb(const std::string& bind, int port, const webgate::Site& site, webgate::Limits limits = {},
                 WebLimits web = {});
  int webPort() const { return webPort_; }
  size_t webConnections() const { return webCount_; }
  // Bytes the web connections hold of their own (not the files served).
  size_t webFootprint() const;
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
    struct Web;
    std::unique_ptr<Web> web;   // a browser's connection to the web door
  };

  void onAccept();
  void onWebAccept();
  void readWeb(Conn& c);
  void pumpWeb(Conn& c);
  void webAnswer(Conn& c, std::string_view lines);
  int openListener(const std::string& bind, int port, int& bound);
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
  int webFd_ = -1, webPort_ = 0;
  const webgate::Site* site_ = nullptr;
  webgate::Limits webLimits_;
  WebLimits web_;
  size_t webCount_ = 0;
  std::unordered_map<std::string, size_t> webPerAddress_;
  bool accepting_ = false;
  uint64_t acceptTimer_ = 0, sweepTimer_ = 0, paceTimer_ = 0;
  std::unordered_map<ConnId, std::unique_ptr<Conn>> conns_;
  std::vector<ConnId> paced_;  // relays waiting for their budget
  ConnId nextId_ = 1;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace ombrix::lobbyd
