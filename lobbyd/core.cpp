#include "lobbyd/core.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cstring>

namespace ombrix::lobby {

namespace {
// A listing's order is rebuilt at most this often: with thousands of tables
// changing state, each listing would otherwise sort them again. A table's
// own line is always current; only its place may be this late.
constexpr int64_t kSnapshotMs = 250;
// Answers to a refused or broken request are these short texts only.
// Kept to a word: an answer is never larger than the line it answers.
constexpr std::string_view kBadRequest = "bad";
constexpr std::string_view kSlowDown = "slow";
constexpr std::string_view kNoSuchTable = "unknown";
}  // namespace

Peer Peer::of(std::string_view printable) {
  Peer p;
  std::string text(printable);
  in6_addr a6{};
  in_addr a4{};
  if (::inet_pton(AF_INET6, text.c_str(), &a6) == 1) {
    if (IN6_IS_ADDR_V4MAPPED(&a6)) {
      std::memcpy(&a4, a6.s6_addr + 12, 4);
      char dotted[INET_ADDRSTRLEN];
      ::inet_ntop(AF_INET, &a4, dotted, sizeof dotted);
      p.address = dotted;
      p.key.assign(reinterpret_cast<const char*>(&a4), 4);
    } else {
      p.address = text;
      p.v6 = true;
      p.key.assign(reinterpret_cast<const char*>(a6.s6_addr), 8);
      p.key.push_back('6');
    }
  } else {
    p.address = text;
    if (::inet_pton(AF_INET, text.c_str(), &a4) == 1) p.key.assign(reinterpret_cast<const char*>(&a4), 4);
    else p.key = text;
  }
  return p;
}

LobbyCore::LobbyCore(CoreOutput& out, Limits limits, Log log)
    : out_(out), limits_(limits), log_(std::move(log)) {
  failedGlobal_.init(limits_.failedGlobalBurst, 0);
}

bool LobbyCore::opened(ConnId id, const Peer& peer, int64_t now) {
  auto [it, fresh] = addresses_.try_emplace(peer.key);
  Address& a = it->second;
  if (fresh) {
    a.requests.init(limits_.requestsBurst, now);
    a.failed.init(limits_.failedBurst, now);
  }
  if (a.connections >= limits_.connectionsPerAddress) return false;
  ++a.connections;
  Conn& c = conns_[id];
  c.key = peer.key;
  c.address = peer.address;
  c.deadline = now + limits_.firstLineMs;
  return true;
}

void LobbyCore::refuse(ConnId id, std::string_view why) {
  answerError(id, why);
  closeConn(id);
}

void LobbyCore::answerError(ConnId id, std::string_view why) {
  const std::string answer = errorLine(why);
  // The line being answered, when it is this connection's; otherwise the
  // first line that made it wait (a connect), longer than any error.
  if (id != askedBy_ || answer.size() <= asked_) out_.send(id, answer);
}

void LobbyCore::closeConn(ConnId id) {
  auto it = conns_.find(id);
  if (it != conns_.end()) it->second.closing = true;
  out_.close(id);
}

void LobbyCore::line(ConnId id, std::string_view text, int64_t now) {
  auto it = conns_.find(id);
  if (it == conns_.end()) return;
  Conn& c = it->second;
  // Nothing more is read as lines once refused, relayed or waiting for a relay.
  if (c.closing || c.role == Role::Spliced || c.role == Role::WaitingRelay) return;
  askedBy_ = id;
  asked_ = text.size() + 1;
  struct Done {
    LobbyCore& core;
    ~Done() { core.askedBy_ = 0; }
  } done{*this};
  if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
  auto m = parseLine(text, c.role == Role::Fresh);
  if (!m) {
    // A malformed code is a guess like any other.
    if (c.role != Role::Host) failure(c, now);
    refuse(id, kBadRequest);
    return;
  }
  if (c.role == Role::Fresh) {
    if (m->version != kProtocolVersion)
      return refuse(id, "version");
    firstLine(id, c, *m, now);
  } else if (c.role == Role::Host) {
    if (m->op != Op::State) return refuse(id, kBadRequest);
    Table& t = tables_.at(c.table);
    const bool wasPlaying = t.state.playing;
    TableState s = t.state;
    s.players = m->table.players;
    s.watchers = m->table.watchers;
    s.playing = m->table.playing;
    s.round = m->table.round;
    s.full = m->table.full;
    t.state = s;
    if (wasPlaying != s.playing && !t.isPrivate) {
      order_.erase({wasPlaying, t.id});
      order_.insert({s.playing, t.id});
      snapshotDirty_ = true;
    }
    relist(t);
  } else {
    lobbyRequest(id, c, *m, now);
  }
}

void LobbyCore::firstLine(ConnId id, Conn& c, const Message& m, int64_t now) {
  switch (m.op) {
    case Op::Register:
      return registerTable(id, c, m, now);
    case Op::List:
    case Op::Lookup:
      c.role = Role::Lobby;
      return lobbyRequest(id, c, m, now);
    case Op::Connect:
      return connect(id, c, m, now);
    case Op::Relay:
      return relayLeg(id, c, m);
    case Op::Stun:
      return stun(id, c, m);
    default:
      return refuse(id, kBadRequest);
  }
}

void LobbyCore::registerTable(ConnId id, Conn& c, const Message& m, int64_t now) {
  Address& a = addresses_.at(c.key);
  // Each registration costs a probe of the host, each relay a leg the host
  // opens: both are requests like a listing.
  if (!a.requests.take(limits_.requestsBurst, limits_.requestsPerSecond, now)) return refuse(id, kSlowDown);
  if (a.tables >= limits_.tablesPerAddress || tables_.size() >= limits_.maxTables)
    return refuse(id, "full");
  Table t;
  t.id = nextTable_++;
  t.host = id;
  do t.code = makeCode();
  while (codes_.count(t.code));
  t.secret = makeTicket();
  t.key = c.key;
  t.seen = c.address;
  t.state = m.table;
  if (t.state.name.empty()) t.state.name = "Ombrix table";
  t.isPrivate = m.isPrivate;
  t.budget = std::make_shared<RelayBudget>();
  t.budget->bucket.init(limits_.relayBurstBytes, now);
  ++a.tables;
  c.role = Role::Host;
  c.table = t.id;
  c.deadline = 0;  // a registration lasts as long as its connection
  codes_[t.code] = t.id;
  if (!t.isPrivate) {
    order_.insert({t.state.playing, t.id});
    ++publicCount_;
    snapshotDirty_ = true;
  }
  const std::string code = t.code, secret = t.secret;
  const int port = t.state.port;
  say("table " + code + " registered from " + c.address + " port " + std::to_string(port) +
      (t.isPrivate ? " (private): " : ": ") + t.state.name);
  auto& stored = tables_.emplace(t.id, std::move(t)).first->second;
  relist(stored);
  out_.send(id, registeredLine(code, secret));
  out_.probe(id, c.address, port);
}

void LobbyCore::relist(Table& t) {
  if (t.isPrivate) return;
  t.line = tableLine(t.state, t.code, t.direct);
  t.line.shrink_to_fit();
}

void LobbyCore::lobbyRequest(ConnId id, Conn& c, const Message& m, int64_t now) {
  if (m.op != Op::List && m.op != Op::Lookup) return refuse(id, kBadRequest);
  Address& a = addresses_.at(c.key);
  if (!a.requests.take(limits_.requestsBurst, limits_.requestsPerSecond, now)) return refuse(id, kSlowDown);
  c.deadline = now + limits_.idleMs;
  if (m.op == Op::List) return list(id, m.from, now);
  lookup(id, c, m, now);
}

void LobbyCore::list(ConnId id, int from, int64_t now) {
  if (snapshotDirty_ && (snapshot_.empty() || now - snapshotAt_ >= kSnapshotMs || now < snapshotAt_)) {
    snapshot_.clear();
    snapshot_.reserve(order_.size());
    for (const auto& [playing, tableId] : order_) snapshot_.push_back(tableId);
    snapshotDirty_ = false;
    snapshotAt_ = now;
  }
  std::string answer;
  int sent = 0;
  size_t i = static_cast<size_t>(std::max(0, from));
  for (; i < snapshot_.size() && sent < limits_.listPage; ++i) {
    auto t = tables_.find(snapshot_[i]);
    if (t == tables_.end() || t->second.isPrivate) continue;
    answer += t->second.line;
    ++sent;
  }
  const int next = i < snapshot_.size() ? static_cast<int>(i) : 0;
  answer += endLine(static_cast<int>(publicCount_), next);
  out_.send(id, answer);
}

bool LobbyCore::failure(Conn& c, int64_t now) {
  auto it = addresses_.find(c.key);
  const bool mine = it != addresses_.end() && it->second.failed.take(limits_.failedBurst, limits_.failedPerSecond, now);
  const bool all = failedGlobal_.take(limits_.failedGlobalBurst, limits_.failedGlobalPerSecond, now);
  return mine && all;
}

LobbyCore::Table* LobbyCore::byCode(const std::string& code) {
  auto it = codes_.find(code);
  return it == codes_.end() ? nullptr : &tables_.at(it->second);
}

void LobbyCore::lookup(ConnId id, Conn& c, const Message& m, int64_t now) {
  // Once over the bound for failures, no code is looked up at all, known
  // or not: the answer must tell nothing.
  Address& a = addresses_.at(c.key);
  a.failed.refill(limits_.failedBurst, limits_.failedPerSecond, now);
  failedGlobal_.refill(limits_.failedGlobalBurst, limits_.failedGlobalPerSecond, now);
  if (a.failed.tokens < 1 || failedGlobal_.tokens < 1) return refuse(id, kSlowDown);
  Table* t = m.code.empty() ? nullptr : byCode(m.code);
  if (!t) {
    failure(c, now);
    answerError(id, kNoSuchTable);
    return;
  }
  out_.send(id, tableLine(t->state, t->code, t->direct));
}

void LobbyCore::connect(ConnId id, Conn& c, const Message& m, int64_t now) {
  Address& a = addresses_.at(c.key);
  a.failed.refill(limits_.failedBurst, limits_.failedPerSecond, now);
  failedGlobal_.refill(limits_.failedGlobalBurst, limits_.failedGlobalPerSecond, now);
  if (a.failed.tokens < 1 || failedGlobal_.tokens < 1 ||
      !a.requests.take(limits_.requestsBurst, limits_.requestsPerSecond, now))
    return refuse(id, kSlowDown);
  Table* t = m.code.empty() ? nullptr : byCode(m.code);
  if (!t) {
    failure(c, now);
    return refuse(id, kNoSuchTable);
  }
  if (t->relays >= limits_.relaysPerTable) return refuse(id, "busy");
  std::string ticket = makeTicket();
  pending_[ticket] = {id, t->id};
  ++t->relays;
  c.counted = true;
  c.role = Role::WaitingRelay;
  c.table = t->id;
  c.ticket = ticket;
  c.deadline = now + limits_.relayWaitMs;
  out_.send(t->host, relayRequestLine(ticket));
}

void LobbyCore::relayLeg(ConnId id, Conn& c, const Message& m) {
  auto p = pending_.find(m.ticket);
  if (m.ticket.empty() || p == pending_.end()) return refuse(id, kNoSuchTable);
  const ConnId joiner = p->second.joiner;
  const uint64_t tableId = p->second.table;
  pending_.erase(p);
  Conn& j = conns_.at(joiner);
  j.role = Role::Spliced;
  j.ticket.clear();
  j.deadline = 0;
  c.role = Role::Spliced;
  c.table = tableId;
  c.deadline = 0;
  auto t = tables_.find(tableId);
  // The host's own registration may have gone meanwhile: the relay still
  // joins two live connections, on a budget of its own.
  std::shared_ptr<RelayBudget> budget;
  if (t != tables_.end()) {
    budget = t->second.budget;
  } else {
    budget = std::make_shared<RelayBudget>();
    budget->bucket.init(limits_.relayBurstBytes, 0);
  }
  out_.send(joiner, splicedLine());
  out_.splice(joiner, id, budget);
}

void LobbyCore::stun(ConnId id, Conn& c, const Message& m) {
  Table* t = m.code.empty() ? nullptr : byCode(m.code);
  // The secret proves the table's own host is asking: anyone else could
  // otherwise point joiners at an address of their choosing.
  if (!t || m.ticket != t->secret) return refuse(id, kBadRequest);
  closeConn(id);
  if (c.address != t->seen) out_.probe(t->host, c.address, t->state.port);
}

void LobbyCore::probed(ConnId host, const std::string& address, bool reachable) {
  auto c = conns_.find(host);
  if (c == conns_.end() || c->second.role != Role::Host) return;
  Table& t = tables_.at(c->second.table);
  const std::string direct = joinHostPort(address, t.state.port);
  if (reachable && t.direct.size() < 4 && std::find(t.direct.begin(), t.direct.end(), direct) == t.direct.end()) {
    // IPv6 first: where both ends have it, it needs no NAT.
    if (address.find(':') != std::string::npos) t.direct.insert(t.direct.begin(), direct);
    else t.direct.push_back(direct);
    relist(t);
  }
  out_.send(host, directLine(t.direct));
}

void LobbyCore::endRelay(Conn& c) {
  if (!c.counted) return;
  c.counted = false;
  auto t = tables_.find(c.table);
  if (t != tables_.end() && t->second.relays > 0) --t->second.relays;
}

void LobbyCore::closed(ConnId id, int64_t now) {
  (void)now;
  auto it = conns_.find(id);
  if (it == conns_.end()) return;
  Conn c = std::move(it->second);
  conns_.erase(it);
  auto a = addresses_.find(c.key);
  if (a != addresses_.end()) --a->second.connections;
  switch (c.role) {
    case Role::Host:
      withdraw(c.table);
      break;
    case Role::WaitingRelay:
      pending_.erase(c.ticket);
      endRelay(c);
      break;
    case Role::Spliced:
      // Both legs of a relay report their close; the joiner's carries the count.
      endRelay(c);
      break;
    default:
      break;
  }
}

void LobbyCore::withdraw(uint64_t tableId) {
  auto it = tables_.find(tableId);
  if (it == tables_.end()) return;
  Table& t = it->second;
  say("table " + t.code + " withdrawn: " + t.state.name);
  if (!t.isPrivate) {
    order_.erase({t.state.playing, t.id});
    --publicCount_;
    snapshotDirty_ = true;
  }
  codes_.erase(t.code);
  auto a = addresses_.find(t.key);
  if (a != addresses_.end()) --a->second.tables;
  // Joiners still waiting for this host's relay leg wait in vain.
  for (auto p = pending_.begin(); p != pending_.end();) {
    if (p->second.table == tableId) {
      const ConnId joiner = p->second.joiner;
      Conn& j = conns_.at(joiner);
      j.ticket.clear();
      j.counted = false;
      j.table = 0;
      j.deadline = 0;
      j.role = Role::Lobby;
      p = pending_.erase(p);
      refuse(joiner, kNoSuchTable);
    } else {
      ++p;
    }
  }
  tables_.erase(it);
}

void LobbyCore::tick(int64_t now) {
  std::vector<ConnId> late;
  for (const auto& [id, c] : conns_)
    if (c.deadline && now >= c.deadline) late.push_back(id);
  for (ConnId id : late) {
    Conn& c = conns_.at(id);
    c.deadline = 0;
    if (c.role == Role::WaitingRelay) {
      pending_.erase(c.ticket);
      c.ticket.clear();
      endRelay(c);
      c.table = 0;
      c.role = Role::Lobby;
      refuse(id, "no answer");
    } else {
      closeConn(id);
    }
  }
  // Addresses with nothing open and nothing owed are forgotten.
  for (auto it = addresses_.begin(); it != addresses_.end();) {
    Address& a = it->second;
    a.failed.refill(limits_.failedBurst, limits_.failedPerSecond, now);
    a.requests.refill(limits_.requestsBurst, limits_.requestsPerSecond, now);
    if (a.connections == 0 && a.tables == 0 && a.failed.tokens >= limits_.failedBurst &&
        a.requests.tokens >= limits_.requestsBurst)
      it = addresses_.erase(it);
    else
      ++it;
  }
}

std::string LobbyCore::codeOf(ConnId host) const {
  auto c = conns_.find(host);
  if (c == conns_.end() || c->second.role != Role::Host) return {};
  return tables_.at(c->second.table).code;
}

bool LobbyCore::consistent(std::string* why) const {
  auto fail = [&](const char* w) {
    if (why) *why = w;
    return false;
  };
  std::unordered_map<std::string, std::pair<int, int>> counted;
  for (const auto& [id, c] : conns_) {
    ++counted[c.key].first;
    if (c.role == Role::Host) {
      auto t = tables_.find(c.table);
      if (t == tables_.end() || t->second.host != id) return fail("a host without its table");
    }
    if (c.role == Role::WaitingRelay && !pending_.count(c.ticket)) return fail("a joiner without its ticket");
  }
  size_t pub = 0;
  std::unordered_map<uint64_t, int> relays;
  for (const auto& [id, c] : conns_)
    if (c.counted) ++relays[c.table];
  for (const auto& [tid, t] : tables_) {
    ++counted[t.key].second;
    if (!t.isPrivate) ++pub;
    if (codes_.count(t.code) != 1 || codes_.at(t.code) != tid) return fail("a code that names another table");
    if (!readCode(t.code) || t.state.name.size() > kMaxNameBytes) return fail("a malformed table");
    if (t.relays > limits_.relaysPerTable) return fail("too many relays");
    if (t.relays != relays[tid]) return fail("a table's relay count");
  }
  if (pub != publicCount_ || order_.size() != pub) return fail("the public count");
  if (codes_.size() != tables_.size()) return fail("codes without tables");
  for (const auto& [key, n] : counted) {
    auto a = addresses_.find(key);
    if (a == addresses_.end() || a->second.connections != n.first || a->second.tables != n.second)
      return fail("an address's counts");
    if (n.first > limits_.connectionsPerAddress || n.second > limits_.tablesPerAddress) return fail("over a bound");
  }
  for (const auto& [key, a] : addresses_)
    if (!counted.count(key) && (a.connections || a.tables)) return fail("counts of nobody");
  for (const auto& [ticket, p] : pending_)
    if (!conns_.count(p.joiner)) return fail("a ticket without its joiner");
  return true;
}

}  // namespace ombrix::lobby
