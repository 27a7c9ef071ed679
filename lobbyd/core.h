// LobbyCore: what the lobby server does with its connections, apart from
// the sockets. The transport (lobbyd/server.*, or a test, or the fuzzer)
// reports connections opened and closed and the lines they send; the core
// answers through CoreOutput. Time is passed in, so a test runs it on any
// clock.
//
// It holds the registry (every table, its invite code, the public listing),
// the relay tickets that pair a joiner with a host's second connection, and
// every bound the server keeps against the internet (lobbyd/bounds.h):
// connections, their rate and tables per address and block, failed code
// look-ups per address, block and in all, requests, relays per table and per
// joining address, a host's state lines and stuns, the probes of hosts, log
// lines, and how long each kind of connection may idle.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "lobbyd/bounds.h"
#include "lobbyd/listing.h"
#include "lobbywire/wire.h"

namespace ombrix::lobbyd {

using ConnId = uint64_t;
using ProbeId = uint64_t;

// The relay budget one table's relayed connections share.
struct RelayBudget {
  Bucket bucket;
};

class CoreOutput {
 public:
  virtual ~CoreOutput() = default;
  virtual void send(ConnId id, std::string_view bytes) = 0;
  // Closes once what was sent is flushed; the transport reports closed() then.
  virtual void close(ConnId id) = 0;
  // Tries a TCP connection to address:port and reports probed() with the
  // same id, always, whatever became of it, and never from within this call.
  // The address is one the server saw the host come from.
  virtual void probe(ProbeId probe, const std::string& address, int port) = 0;
  // From now on the two connections are one stream, byte for byte, paced by
  // the budget; no more lines are read from either. `joiner` is the side
  // that asked for the relay.
  virtual void splice(ConnId joiner, ConnId hostLeg, std::shared_ptr<RelayBudget> budget) = 0;
};

class LobbyCore {
 public:
  using Log = std::function<void(std::string_view)>;
  LobbyCore(CoreOutput& out, Limits limits, Log log = {});

  // A connection came from `peer`. False: over a bound of its address or
  // its blocks; the transport closes it at once and reports nothing more of
  // it.
  bool opened(ConnId id, const Peer& peer, int64_t now);
  void line(ConnId id, std::string_view text, int64_t now);
  void closed(ConnId id, int64_t now);
  void probed(ProbeId probe, bool reachable);
  // Timeouts, and a host's state lines held back by its rate; the transport
  // calls it about once a second.
  void tick(int64_t now);
  // A line for the log about what connection `id` did, bounded per address
  // like the core's own.
  void note(ConnId id, std::string_view text, int64_t now);

  const Limits& limits() const { return limits_; }
  // The port the server serves the web table on (0: none): a host is told
  // it when it registers, for the link it shows.
  void setWebPort(int port) { webPort_ = port; }
  size_t tables() const { return tables_.size(); }
  size_t publicTables() const { return listing_.size(); }
  size_t connections() const { return conns_.size(); }
  size_t addresses() const { return addresses_.size(); }
  size_t probing() const { return probing_.size(); }
  // A joiner waiting for its relay: what it sends now belongs to the stream
  // and is kept for it, not read as lines.
  bool holding(ConnId id) const {
    auto it = conns_.find(id);
    return it != conns_.end() && it->second.role == Role::WaitingRelay;
  }
  // The code of the table registered on connection `host`, or "".
  std::string codeOf(ConnId host) const;
  // Every count agrees with what it counts (tests and the fuzzer).
  bool consistent(std::string* why = nullptr) const;
  // Joiners a withdrawal has looked at, in all: a withdrawal costs its own
  // table's waiting joiners, never the server's (tests).
  size_t withdrawalWork() const { return withdrawalWork_; }

 private:
  enum class Role { Fresh, Lobby, Host, WaitingRelay, Spliced };
  struct Conn {
    Role role = Role::Fresh;
    Peer peer;
    uint64_t table = 0;  // Host: its table; WaitingRelay, Spliced: the table asked for
    std::string ticket;  // WaitingRelay
    int64_t deadline = 0;
    bool counted = false;  // a joiner: counts against its table's relays
    bool closing = false;  // refused or timed out: nothing more is read
  };
  struct Table {
    uint64_t id = 0;
    ConnId host = 0;
    std::string code, secret, seen;
    lobbywire::TableEntry entry;
    bool isPrivate = false;
    std::vector<std::string> direct;  // reachable addresses, IPv6 first
    std::string line;                 // its line in a listing
    std::shared_ptr<RelayBudget> budget;
    int relays = 0;                   // waiting or spliced
    std::vector<std::pair<std::string, int>> joiners;  // relays by joining address
    std::vector<ConnId> waiting;      // joiners waiting for the host's leg
    uint64_t draw = 0;                // its place in the listing's turns
    Bucket states, stuns;
    tables::TableState held;          // a state line over the rate, folded
    int over = 0;                     // lines folded since one was taken
  };
  // What is counted about one address or block.
  struct Address {
    int connections = 0, tables = 0;
    Bucket connects, failed;
    // The address only (not its blocks).
    Bucket requests, strikes, log;
    int unlogged = 0, probes = 0;
    Scope scope = Scope::Address;
    std::string shown;  // printable, once something about it was not logged
  };
  struct Pending {
    ConnId joiner;
    uint64_t table;
  };
  struct ProbeJob {
    ConnId host = 0;
    std::string address, key;
    int port = 0;
  };

  Address& scope(const std::string& key, Scope s, int64_t now);
  template <typename F>
  void eachScope(const Peer& p, F&& f);  // f(Address&, const ScopeBounds&), creating none
  void firstLine(ConnId id, Conn& c, const lobbywire::Message& m, int64_t now);
  void registerTable(ConnId id, Conn& c, const lobbywire::Message& m, int64_t now);
  void hostLine(ConnId id, Conn& c, const lobbywire::Message& m, int64_t now);
  void applyState(Table& t, tables::TableState s);
  void lobbyRequest(ConnId id, Conn& c, const lobbywire::Message& m, int64_t now);
  void list(ConnId id, int from, int64_t now);
  void lookup(ConnId id, Conn& c, const lobbywire::Message& m, int64_t now);
  void connect(ConnId id, Conn& c, const lobbywire::Message& m, int64_t now);
  void relayLeg(ConnId id, Conn& c, const lobbywire::Message& m);
  void stun(ConnId id, Conn& c, const lobbywire::Message& m, int64_t now);
  // Whether a code may be looked up for `c` at all: false once it, or a block
  // of it, missed too often, or the whole server has seen too many misses
  // and it is one of those that missed often.
  bool mayLookUp(const Conn& c, int64_t now);
  // Counts a miss: a guessed code (charged everywhere) or a line that is not
  // the protocol (charged to the address alone).
  void missed(const Conn& c, int64_t now, bool guess);
  Table* byCode(const std::string& code);
  void withdraw(uint64_t tableId, const Peer& host, int64_t now);
  void relist(Table& t);
  void queueProbe(ConnId host, const Peer& at, int port);
  void startProbes();
  // Answers `why` and closes. An error goes only when it is no larger than
  // the line it answers: garbage gets nothing but the close.
  void refuse(ConnId id, std::string_view why);
  void answerError(ConnId id, std::string_view why);
  void closeConn(ConnId id);
  void endRelay(Conn& c);
  void unwait(ConnId id, Conn& c);
  void logAbout(const Peer& p, std::string line, int64_t now);
  void say(const std::string& s) {
    if (log_) log_(s);
  }

  CoreOutput& out_;
  Limits limits_;
  Log log_;
  std::unordered_map<ConnId, Conn> conns_;
  std::unordered_map<uint64_t, Table> tables_;
  std::unordered_map<std::string, uint64_t> codes_;
  std::unordered_map<std::string, Address> addresses_;  // by scope key
  std::unordered_map<std::string, Pending> pending_;    // by ticket
  Listing listing_;
  std::vector<uint64_t> heldStates_;  // tables with a folded state line
  std::unordered_map<ProbeId, ProbeJob> probing_;
  std::unordered_map<std::string, std::deque<ProbeJob>> probeQueue_;  // by probed address
  std::deque<std::string> probeTurns_;  // addresses with probes queued, in turn
  ProbeId nextProbe_ = 1;
  uint64_t nextTable_ = 1;
  Bucket failedGlobal_, logGlobal_;
  size_t withdrawalWork_ = 0;
  ConnId askedBy_ = 0;  // whose line is being answered, and its size
  size_t asked_ = 0;
  int webPort_ = 0;
};

}  // namespace ombrix::lobbyd
