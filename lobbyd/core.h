// LobbyCore: what the lobby server does with its connections, apart from
// the sockets. The transport (lobbyd/server.*, or a test, or the fuzzer)
// reports connections opened and closed and the lines they send; the core
// answers through CoreOutput. Time is passed in, so a test runs it on any
// clock.
//
// It holds the registry (every table, its invite code, the public listing),
// the relay tickets that pair a joiner with a host's second connection, and
// every bound the server keeps against the internet: connections and tables
// per address, failed code look-ups per address and in all, list requests,
// relays per table, and how long each kind of connection may idle.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "lobbyd/wire.h"

namespace ombrix::lobby {

using ConnId = uint64_t;

// A client's address as the server sees it.
struct Peer {
  std::string address;  // printable: "198.51.100.7", "2001:db8::5" (a mapped IPv4 address unmapped)
  // What the limits count by: an IPv4 address, or an IPv6 address's /64,
  // which one home or one machine owns whole.
  std::string key;
  bool v6 = false;
  static Peer of(std::string_view printable);
};

struct Limits {
  // A home behind one NAT address may host a few tables, each with its
  // relay legs, and run lobbies besides.
  int connectionsPerAddress = 100;
  int tablesPerAddress = 8;
  size_t maxTables = 100000;
  int64_t firstLineMs = 10000;  // to say what the connection is for
  int64_t idleMs = 60000;       // a lobby between two listings (it lists every few seconds)
  int64_t relayWaitMs = 15000;  // for the host's relay leg to come
  int listPage = 100;           // tables in one answer: a page is about 17 KB
  // Requests of a lobby (list, look-up) per address: a burst, then a rate.
  double requestsBurst = 30, requestsPerSecond = 5;
  // Failed look-ups (unknown or malformed codes): 31^7 codes against a few
  // per minute per address, and a ceiling for the whole server against many
  // addresses at once.
  double failedBurst = 10, failedPerSecond = 1.0 / 6;
  double failedGlobalBurst = 200, failedGlobalPerSecond = 20;
  int relaysPerTable = 10;  // nine slots, and one refused with "CMD_full+"
  // Relayed bytes of one table, both ways together. A table at the host's
  // whole dispatch rate sends a relayed seat under 4 KB a second.
  double relayBytesPerSecond = 32 * 1024, relayBurstBytes = 64 * 1024;
};

// A token bucket: `burst` at most, refilled at `rate` a second.
struct Bucket {
  double tokens = 0;
  int64_t at = 0;
  void init(double burst, int64_t now) {
    tokens = burst;
    at = now;
  }
  void refill(double burst, double rate, int64_t now) {
    if (now > at) tokens = std::min(burst, tokens + rate * static_cast<double>(now - at) / 1000.0);
    at = now;
  }
  bool take(double burst, double rate, int64_t now, double n = 1) {
    refill(burst, rate, now);
    if (tokens < n) return false;
    tokens -= n;
    return true;
  }
};

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
  // Tries a TCP connection to address:port and reports probed(). The
  // address is one the server saw the host come from.
  virtual void probe(ConnId host, const std::string& address, int port) = 0;
  // From now on the two connections are one stream, byte for byte, paced by
  // the budget; no more lines are read from either.
  virtual void splice(ConnId a, ConnId b, std::shared_ptr<RelayBudget> budget) = 0;
};

class LobbyCore {
 public:
  using Log = std::function<void(std::string_view)>;
  LobbyCore(CoreOutput& out, Limits limits, Log log = {});

  // A connection came from `peer`. False: over the per-address bound; the
  // transport closes it at once and reports nothing more of it.
  bool opened(ConnId id, const Peer& peer, int64_t now);
  void line(ConnId id, std::string_view text, int64_t now);
  void closed(ConnId id, int64_t now);
  void probed(ConnId host, const std::string& address, bool reachable);
  // Timeouts; the transport calls it about once a second.
  void tick(int64_t now);

  const Limits& limits() const { return limits_; }
  size_t tables() const { return tables_.size(); }
  size_t publicTables() const { return publicCount_; }
  size_t connections() const { return conns_.size(); }
  size_t addresses() const { return addresses_.size(); }
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

 private:
  enum class Role { Fresh, Lobby, Host, WaitingRelay, Spliced };
  struct Conn {
    Role role = Role::Fresh;
    std::string key, address;
    uint64_t table = 0;  // Host: its table; WaitingRelay: the table asked for
    std::string ticket;  // WaitingRelay
    int64_t deadline = 0;
    bool counted = false;  // a joiner: counts against its table's relays
    bool closing = false;  // refused or timed out: nothing more is read
  };
  struct Table {
    uint64_t id = 0;
    ConnId host = 0;
    std::string code, secret, key, seen;
    TableState state;
    bool isPrivate = false;
    std::vector<std::string> direct;  // reachable addresses, IPv6 first
    std::string line;                 // its line in a listing
    std::shared_ptr<RelayBudget> budget;
    int relays = 0;  // waiting or spliced
  };
  struct Address {
    int connections = 0, tables = 0;
    Bucket requests, failed;
  };
  struct Pending {
    ConnId joiner;
    uint64_t table;
  };

  void firstLine(ConnId id, Conn& c, const Message& m, int64_t now);
  void registerTable(ConnId id, Conn& c, const Message& m, int64_t now);
  void lobbyRequest(ConnId id, Conn& c, const Message& m, int64_t now);
  void list(ConnId id, int from, int64_t now);
  void lookup(ConnId id, Conn& c, const Message& m, int64_t now);
  void connect(ConnId id, Conn& c, const Message& m, int64_t now);
  void relayLeg(ConnId id, Conn& c, const Message& m);
  void stun(ConnId id, Conn& c, const Message& m);
  bool failure(Conn& c, int64_t now);  // counts a failed look-up; false when over the bound
  Table* byCode(const std::string& code);
  void withdraw(uint64_t tableId);
  void relist(Table& t);
  // Answers `why` and closes. An error goes only when it is no larger than
  // the line it answers: garbage gets nothing but the close.
  void refuse(ConnId id, std::string_view why);
  void answerError(ConnId id, std::string_view why);
  void closeConn(ConnId id);
  void endRelay(Conn& c);
  void say(const std::string& s) {
    if (log_) log_(s);
  }

  CoreOutput& out_;
  Limits limits_;
  Log log_;
  std::unordered_map<ConnId, Conn> conns_;
  std::unordered_map<uint64_t, Table> tables_;
  std::unordered_map<std::string, uint64_t> codes_;
  std::unordered_map<std::string, Address> addresses_;
  std::unordered_map<std::string, Pending> pending_;  // by ticket
  // The listing's order: waiting tables first, each kind oldest first.
  std::set<std::pair<int, uint64_t>> order_;
  std::vector<uint64_t> snapshot_;  // order_ as a vector, for paging
  bool snapshotDirty_ = true;
  int64_t snapshotAt_ = 0;
  size_t publicCount_ = 0;
  uint64_t nextTable_ = 1;
  Bucket failedGlobal_;
  ConnId askedBy_ = 0;  // whose line is being answered, and its size
  size_t asked_ = 0;
};

}  // namespace ombrix::lobby
