#include "lobbyd/core.h"

#include <algorithm>

namespace ombrix::lobbyd {

using namespace lobbywire;

namespace {
// A listing's order is rebuilt at most this often (lobbyd/listing.h).
constexpr int64_t kListingMs = 250;
// Answers to a refused or broken request are these short texts only.
// Kept to a word: an answer is never larger than the line it answers.
constexpr std::string_view kBadRequest = "bad";
constexpr std::string_view kSlowDown = "slow";
constexpr std::string_view kNoSuchTable = "unknown";
constexpr std::string_view kBusy = "busy";
// Probes waiting for their turn, from one probed address: a home's tables
// and their stuns. More is refused.
constexpr size_t kProbesQueuedPerAddress = 32;
}  // namespace

LobbyCore::LobbyCore(CoreOutput& out, Limits limits, Log log)
    : out_(out), limits_(limits), log_(std::move(log)) {
  failedGlobal_.init(limits_.failedGlobalBurst, 0);
  logGlobal_.init(limits_.logGlobalBurst, 0);
}

LobbyCore::Address& LobbyCore::scope(const std::string& key, Scope s, int64_t now) {
  auto [it, fresh] = addresses_.try_emplace(key);
  Address& a = it->second;
  if (fresh) {
    a.scope = s;
    const ScopeBounds& b = boundsOf(limits_, s);
    a.connects.init(b.connectBurst, now);
    a.failed.init(b.failedBurst, now);
    a.requests.init(limits_.requestsBurst, now);
    a.strikes.init(limits_.strikes, now);
    a.log.init(limits_.logBurst, now);
  }
  return a;
}

template <typename F>
void LobbyCore::eachScope(const Peer& p, F&& f) {
  if (auto a = addresses_.find(p.key); a != addresses_.end()) f(a->second, limits_.address);
  for (int i = 0; i < p.blockCount; ++i)
    if (auto a = addresses_.find(p.blocks[i].key); a != addresses_.end()) f(a->second, boundsOf(limits_, p.blocks[i].scope));
}

bool LobbyCore::opened(ConnId id, const Peer& peer, int64_t now) {
  scope(peer.key, Scope::Address, now);
  for (int i = 0; i < peer.blockCount; ++i) scope(peer.blocks[i].key, peer.blocks[i].scope, now);
  bool allowed = true;
  eachScope(peer, [&](Address& a, const ScopeBounds& b) {
    if (b.connections && a.connections >= b.connections) allowed = false;
    if (b.connectBurst) {
      a.connects.refill(b.connectBurst, b.connectPerSecond, now);
      if (a.connects.tokens < 1) allowed = false;
    }
  });
  const Address& own = addresses_.at(peer.key);
  if (conns_.size() >= limits_.crowdedAt && own.connections >= limits_.crowdedPerAddress) allowed = false;
  if (!allowed) return false;
  eachScope(peer, [&](Address& a, const ScopeBounds& b) {
    ++a.connections;
    if (b.connectBurst) a.connects.tokens -= 1;
  });
  Conn& c = conns_[id];
  c.peer = peer;
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
    if (c.role != Role::Host) missed(c, now, /*guess=*/false);
    refuse(id, kBadRequest);
    return;
  }
  if (c.role == Role::Fresh) {
    if (m->version != kProtocolVersion) return refuse(id, "version");
    firstLine(id, c, *m, now);
  } else if (c.role == Role::Host) {
    hostLine(id, c, *m, now);
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
      return stun(id, c, m, now);
    default:
      return refuse(id, kBadRequest);
  }
}

void LobbyCore::registerTable(ConnId id, Conn& c, const Message& m, int64_t now) {
  Address& a = addresses_.at(c.peer.key);
  // Each registration costs a probe of the host, each relay a leg the host
  // opens: both are requests like a listing.
  if (!a.requests.take(limits_.requestsBurst, limits_.requestsPerSecond, now)) return refuse(id, kSlowDown);
  bool room = tables_.size() < limits_.maxTables;
  eachScope(c.peer, [&](Address& s, const ScopeBounds& b) {
    if (b.tables && s.tables >= b.tables) room = false;
  });
  if (!room) return refuse(id, "full");
  Table t;
  t.id = nextTable_++;
  t.host = id;
  do t.code = makeCode();
  while (codes_.count(t.code));
  t.secret = makeTicket();
  t.seen = c.peer.address;
  t.entry = m.table;
  if (t.entry.name.empty()) t.entry.name = "Ombrix table";
  t.isPrivate = m.isPrivate;
  t.budget = std::make_shared<RelayBudget>();
  t.budget->bucket.init(limits_.relayBurstBytes, now);
  t.draw = Listing::draw();
  t.states.init(limits_.statesBurst, now);
  t.stuns.init(limits_.stunsBurst, now);
  eachScope(c.peer, [](Address& s, const ScopeBounds&) { ++s.tables; });
  c.role = Role::Host;
  c.table = t.id;
  c.deadline = 0;  // a registration lasts as long as its connection
  codes_[t.code] = t.id;
  if (!t.isPrivate) listing_.put(t.id, Listing::kindOf(t.entry.state), c.peer.spread, t.draw);
  const std::string code = t.code, secret = t.secret;
  const int port = t.entry.port;
  logAbout(c.peer, "table " + code + " registered from " + c.peer.address + " port " + std::to_string(port) +
                       (t.isPrivate ? " (private): " : ": ") + t.entry.name, now);
  auto& stored = tables_.emplace(t.id, std::move(t)).first->second;
  relist(stored);
  out_.send(id, registeredLine(code, secret, webPort_));
  queueProbe(id, c.peer, port);
}

void LobbyCore::hostLine(ConnId id, Conn& c, const Message& m, int64_t now) {
  if (m.op != Op::State) return refuse(id, kBadRequest);
  Table& t = tables_.at(c.table);
  if (t.states.take(limits_.statesBurst, limits_.statesPerSecond, now)) {
    t.over = 0;
    return applyState(t, m.table.state);
  }
  // Over the rate: the latest state waits for the next tick; a host that
  // goes on and on is not a table's.
  if (t.over == 0) heldStates_.push_back(t.id);
  t.held = m.table.state;
  if (++t.over > limits_.statesFlood) refuse(id, kSlowDown);
}

void LobbyCore::applyState(Table& t, tables::TableState s) {
  // A state line names no version: the registered one stays.
  s.version = std::move(t.entry.state.version);
  t.entry.state = std::move(s);
  if (!t.isPrivate) listing_.put(t.id, Listing::kindOf(t.entry.state), {}, t.draw);
  relist(t);
}

void LobbyCore::relist(Table& t) {
  if (t.isPrivate) return;
  t.line = tableLine(t.entry, t.code, t.direct);
  t.line.shrink_to_fit();
}

void LobbyCore::lobbyRequest(ConnId id, Conn& c, const Message& m, int64_t now) {
  if (m.op != Op::List && m.op != Op::Lookup) return refuse(id, kBadRequest);
  Address& a = addresses_.at(c.peer.key);
  if (!a.requests.take(limits_.requestsBurst, limits_.requestsPerSecond, now)) return refuse(id, kSlowDown);
  c.deadline = now + limits_.idleMs;
  if (m.op == Op::List) return list(id, m.from, now);
  lookup(id, c, m, now);
}

void LobbyCore::list(ConnId id, int from, int64_t now) {
  const std::vector<uint64_t>& order = listing_.order(now, kListingMs);
  std::string answer;
  int sent = 0;
  size_t i = static_cast<size_t>(std::max(0, from));
  for (; i < order.size() && sent < limits_.listPage; ++i) {
    auto t = tables_.find(order[i]);
    if (t == tables_.end() || t->second.isPrivate) continue;
    answer += t->second.line;
    ++sent;
  }
  const int next = i < order.size() ? static_cast<int>(i) : 0;
  answer += endLine(static_cast<int>(listing_.size()), next);
  out_.send(id, answer);
}

bool LobbyCore::mayLookUp(const Conn& c, int64_t now) {
  bool may = true;
  eachScope(c.peer, [&](Address& a, const ScopeBounds& b) {
    if (!b.failedBurst) return;
    a.failed.refill(b.failedBurst, b.failedPerSecond, now);
    if (a.failed.tokens < 1) may = false;
  });
  if (!may) return false;
  failedGlobal_.refill(limits_.failedGlobalBurst, limits_.failedGlobalPerSecond, now);
  if (failedGlobal_.tokens >= 1) return true;
  // The whole server is being guessed at: only those who keep missing wait.
  Address& own = addresses_.at(c.peer.key);
  own.strikes.refill(limits_.strikes, limits_.strikesPerSecond, now);
  return own.strikes.tokens >= 1;
}

void LobbyCore::missed(const Conn& c, int64_t now, bool guess) {
  auto own = addresses_.find(c.peer.key);
  if (own == addresses_.end()) return;
  Address& a = own->second;
  const bool within = a.failed.take(limits_.address.failedBurst, limits_.address.failedPerSecond, now);
  // A line that is not the protocol cannot find a table: only its sender pays.
  if (!guess) return;
  for (int i = 0; i < c.peer.blockCount; ++i) {
    auto b = addresses_.find(c.peer.blocks[i].key);
    const ScopeBounds& bounds = boundsOf(limits_, c.peer.blocks[i].scope);
    if (b != addresses_.end() && bounds.failedBurst) b->second.failed.take(bounds.failedBurst, bounds.failedPerSecond, now);
  }
  a.strikes.take(limits_.strikes, limits_.strikesPerSecond, now);
  // Only a miss within the sender's own budget counts for the whole server:
  // one that is over its own cannot spend everyone else's.
  if (within) failedGlobal_.take(limits_.failedGlobalBurst, limits_.failedGlobalPerSecond, now);
}

LobbyCore::Table* LobbyCore::byCode(const std::string& code) {
  auto it = codes_.find(code);
  return it == codes_.end() ? nullptr : &tables_.at(it->second);
}

void LobbyCore::lookup(ConnId id, Conn& c, const Message& m, int64_t now) {
  // Refused or not before the code is looked at: the answer must tell a
  // guesser nothing.
  if (!mayLookUp(c, now)) return refuse(id, kSlowDown);
  Table* t = m.code.empty() ? nullptr : byCode(m.code);
  if (!t) {
    missed(c, now, /*guess=*/true);
    answerError(id, kNoSuchTable);
    return;
  }
  out_.send(id, tableLine(t->entry, t->code, t->direct));
}

void LobbyCore::connect(ConnId id, Conn& c, const Message& m, int64_t now) {
  Address& a = addresses_.at(c.peer.key);
  if (!mayLookUp(c, now) || !a.requests.take(limits_.requestsBurst, limits_.requestsPerSecond, now))
    return refuse(id, kSlowDown);
  Table* t = m.code.empty() ? nullptr : byCode(m.code);
  if (!t) {
    missed(c, now, /*guess=*/true);
    return refuse(id, kNoSuchTable);
  }
  if (t->relays >= limits_.relaysPerTable) return refuse(id, kBusy);
  auto from = std::find_if(t->joiners.begin(), t->joiners.end(), [&](const auto& j) { return j.first == c.peer.key; });
  if (from != t->joiners.end() && from->second >= limits_.relaysPerJoiner) return refuse(id, kBusy);
  if (from == t->joiners.end()) from = t->joiners.insert(t->joiners.end(), {c.peer.key, 0});
  ++from->second;
  std::string ticket = makeTicket();
  pending_[ticket] = {id, t->id};
  t->waiting.push_back(id);
  ++t->relays;
  c.counted = true;
  c.role = Role::WaitingRelay;
  c.table = t->id;
  c.ticket = ticket;
  c.deadline = now + limits_.relayWaitMs;
  out_.send(t->host, relayRequestLine(ticket));
}

void LobbyCore::unwait(ConnId id, Conn& c) {
  pending_.erase(c.ticket);
  c.ticket.clear();
  auto t = tables_.find(c.table);
  if (t == tables_.end()) return;
  auto& w = t->second.waiting;
  if (auto at = std::find(w.begin(), w.end(), id); at != w.end()) w.erase(at);
}

void LobbyCore::relayLeg(ConnId id, Conn& c, const Message& m) {
  auto p = pending_.find(m.ticket);
  if (m.ticket.empty() || p == pending_.end()) return refuse(id, kNoSuchTable);
  const ConnId joiner = p->second.joiner;
  const uint64_t tableId = p->second.table;
  Conn& j = conns_.at(joiner);
  unwait(joiner, j);
  j.role = Role::Spliced;
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

void LobbyCore::stun(ConnId id, Conn& c, const Message& m, int64_t now) {
  Table* t = m.code.empty() ? nullptr : byCode(m.code);
  // The secret proves the table's own host is asking: anyone else could
  // otherwise point joiners at an address of their choosing.
  if (!t || m.ticket != t->secret) return refuse(id, kBadRequest);
  // Each stun costs a probe that may wait its full time: a table gets a few,
  // and an address asks no faster than its other requests.
  Address& a = addresses_.at(c.peer.key);
  if (!t->stuns.take(limits_.stunsBurst, limits_.stunsPerSecond, now) ||
      !a.requests.take(limits_.requestsBurst, limits_.requestsPerSecond, now))
    return refuse(id, kSlowDown);
  closeConn(id);
  // Another port (a router's mapping that came late) is worth a look from
  // the address the table registered from too; its own port there was seen.
  if (m.port) queueProbe(t->host, c.peer, m.port);
  else if (c.peer.address != t->seen) queueProbe(t->host, c.peer, t->entry.port);
}

void LobbyCore::queueProbe(ConnId host, const Peer& at, int port) {
  auto& queue = probeQueue_[at.key];
  if (queue.size() >= kProbesQueuedPerAddress) {
    // The host hears at once that nothing more was reached.
    if (auto c = conns_.find(host); c != conns_.end() && c->second.role == Role::Host)
      out_.send(host, directLine(tables_.at(c->second.table).direct));
    return;
  }
  if (queue.empty()) probeTurns_.push_back(at.key);
  queue.push_back({host, at.address, at.key, port});
  startProbes();
}

void LobbyCore::startProbes() {
  // One probe of each address with probes waiting, in turn, within its
  // bound at once: an address whose probes hang keeps only itself waiting,
  // and a host behind many others waits one round of them.
  size_t idle = 0;
  while (!probeTurns_.empty() && probing_.size() < static_cast<size_t>(limits_.probes) && idle < probeTurns_.size()) {
    const std::string key = std::move(probeTurns_.front());
    probeTurns_.pop_front();
    auto queue = probeQueue_.find(key);
    if (queue == probeQueue_.end()) continue;
    Address& a = addresses_.at(key);
    bool started = false;
    while (!started && !queue->second.empty() && a.probes < limits_.probesPerAddress) {
      ProbeJob job = std::move(queue->second.front());
      queue->second.pop_front();
      auto c = conns_.find(job.host);
      if (c == conns_.end() || c->second.role != Role::Host) continue;  // withdrawn meanwhile
      const ProbeId id = nextProbe_++;
      ++a.probes;
      const std::string address = job.address;
      const int port = job.port;
      probing_.emplace(id, std::move(job));
      out_.probe(id, address, port);
      started = true;
    }
    if (queue->second.empty()) probeQueue_.erase(queue);
    else probeTurns_.push_back(key);
    idle = started ? 0 : idle + 1;
  }
}

void LobbyCore::probed(ProbeId probe, bool reachable) {
  auto job = probing_.find(probe);
  if (job == probing_.end()) return;
  const ProbeJob done = std::move(job->second);
  probing_.erase(job);
  if (auto a = addresses_.find(done.key); a != addresses_.end() && a->second.probes > 0) --a->second.probes;
  auto c = conns_.find(done.host);
  if (c != conns_.end() && c->second.role == Role::Host) {
    Table& t = tables_.at(c->second.table);
    const std::string direct = joinHostPort(done.address, done.port);
    if (reachable && t.direct.size() < 4 && std::find(t.direct.begin(), t.direct.end(), direct) == t.direct.end()) {
      // IPv6 first: where both ends have it, it needs no NAT.
      if (done.address.find(':') != std::string::npos) t.direct.insert(t.direct.begin(), direct);
      else t.direct.push_back(direct);
      relist(t);
    }
    out_.send(done.host, directLine(t.direct));
  }
  startProbes();
}

void LobbyCore::endRelay(Conn& c) {
  if (!c.counted) return;
  c.counted = false;
  auto t = tables_.find(c.table);
  if (t == tables_.end()) return;
  if (t->second.relays > 0) --t->second.relays;
  auto& j = t->second.joiners;
  auto from = std::find_if(j.begin(), j.end(), [&](const auto& e) { return e.first == c.peer.key; });
  if (from != j.end() && --from->second == 0) j.erase(from);
}

void LobbyCore::closed(ConnId id, int64_t now) {
  auto it = conns_.find(id);
  if (it == conns_.end()) return;
  switch (it->second.role) {
    case Role::WaitingRelay:
      unwait(id, it->second);
      endRelay(it->second);
      break;
    case Role::Spliced:
      // Both legs of a relay report their close; the joiner's carries the count.
      endRelay(it->second);
      break;
    default:
      break;
  }
  Conn c = std::move(it->second);
  conns_.erase(it);
  eachScope(c.peer, [](Address& a, const ScopeBounds&) { --a.connections; });
  if (c.role == Role::Host) withdraw(c.table, c.peer, now);
}

void LobbyCore::withdraw(uint64_t tableId, const Peer& host, int64_t now) {
  auto it = tables_.find(tableId);
  if (it == tables_.end()) return;
  Table& t = it->second;
  logAbout(host, "table " + t.code + " withdrawn: " + t.entry.name, now);
  if (!t.isPrivate) listing_.remove(t.id);
  codes_.erase(t.code);
  eachScope(host, [](Address& a, const ScopeBounds&) { --a.tables; });
  // Joiners still waiting for this host's relay leg wait in vain.
  const std::vector<ConnId> waiting = std::move(t.waiting);
  withdrawalWork_ += waiting.size();
  for (ConnId joiner : waiting) {
    auto j = conns_.find(joiner);
    if (j == conns_.end()) continue;
    pending_.erase(j->second.ticket);
    j->second.ticket.clear();
    j->second.counted = false;
    j->second.table = 0;
    j->second.deadline = 0;
    j->second.role = Role::Lobby;
    refuse(joiner, kNoSuchTable);
  }
  tables_.erase(it);
}

void LobbyCore::logAbout(const Peer& p, std::string line, int64_t now) {
  Address& a = scope(p.key, Scope::Address, now);
  const bool mine = a.log.take(limits_.logBurst, limits_.logPerSecond, now);
  if (!mine || !logGlobal_.take(limits_.logGlobalBurst, limits_.logGlobalPerSecond, now)) {
    if (mine) a.log.tokens += 1;  // not this address's doing
    if (a.unlogged++ == 0) a.shown = p.address;
    return;
  }
  if (a.unlogged)
    line += " (and " + std::to_string(a.unlogged) + " line" + (a.unlogged > 1 ? "s" : "") +
            " about this address before, not logged)";
  a.unlogged = 0;
  say(line);
}

void LobbyCore::note(ConnId id, std::string_view text, int64_t now) {
  auto c = conns_.find(id);
  if (c == conns_.end()) return say(std::string(text));
  logAbout(c->second.peer, std::string(text) + " (" + c->second.peer.address + ")", now);
}

void LobbyCore::tick(int64_t now) {
  std::vector<ConnId> late;
  for (const auto& [id, c] : conns_)
    if (c.deadline && now >= c.deadline) late.push_back(id);
  for (ConnId id : late) {
    Conn& c = conns_.at(id);
    c.deadline = 0;
    if (c.role == Role::WaitingRelay) {
      unwait(id, c);
      endRelay(c);
      c.table = 0;
      c.role = Role::Lobby;
      refuse(id, "no answer");
    } else {
      closeConn(id);
    }
  }
  // State lines held back by their rate: the latest of each, now.
  auto held = std::move(heldStates_);
  heldStates_.clear();
  for (uint64_t tableId : held) {
    auto t = tables_.find(tableId);
    if (t == tables_.end() || t->second.over == 0) continue;
    if (!t->second.states.take(limits_.statesBurst, limits_.statesPerSecond, now)) {
      heldStates_.push_back(tableId);
      continue;
    }
    t->second.over = 0;
    applyState(t->second, t->second.held);
  }
  // Addresses with nothing open, nothing owed and nothing to tell are forgotten.
  for (auto it = addresses_.begin(); it != addresses_.end();) {
    Address& a = it->second;
    const std::string& key = it->first;
    const ScopeBounds& b = boundsOf(limits_, a.scope);
    const bool rested = a.connects.full(b.connectBurst, b.connectPerSecond, now) &&
                        a.failed.full(b.failedBurst, b.failedPerSecond, now) &&
                        a.requests.full(limits_.requestsBurst, limits_.requestsPerSecond, now) &&
                        a.strikes.full(limits_.strikes, limits_.strikesPerSecond, now) &&
                        a.log.full(limits_.logBurst, limits_.logPerSecond, now);
    if (rested && a.unlogged && logGlobal_.take(limits_.logGlobalBurst, limits_.logGlobalPerSecond, now)) {
      say(std::to_string(a.unlogged) + " more line" + (a.unlogged > 1 ? "s" : "") + " about " + a.shown +
          " not logged");
      a.unlogged = 0;
    }
    if (a.connections == 0 && a.tables == 0 && a.probes == 0 && a.unlogged == 0 && rested && !probeQueue_.count(key))
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
  // What every scope should count, from the connections and tables themselves.
  struct Counted {
    int connections = 0, tables = 0;
    const ScopeBounds* bounds = nullptr;
  };
  std::unordered_map<std::string, Counted> counted;
  auto count = [&](const Peer& p, bool table) {
    auto add = [&](const std::string& key, const ScopeBounds& b) {
      Counted& n = counted[key];
      (table ? n.tables : n.connections)++;
      n.bounds = &b;
    };
    add(p.key, limits_.address);
    for (int i = 0; i < p.blockCount; ++i) add(p.blocks[i].key, boundsOf(limits_, p.blocks[i].scope));
  };
  std::unordered_map<uint64_t, int> relays, waiting;
  std::unordered_map<uint64_t, std::unordered_map<std::string, int>> joiners;
  for (const auto& [id, c] : conns_) {
    count(c.peer, false);
    if (c.role == Role::Host) {
      auto t = tables_.find(c.table);
      if (t == tables_.end() || t->second.host != id) return fail("a host without its table");
      count(c.peer, true);
    }
    if (c.role == Role::WaitingRelay) {
      if (!pending_.count(c.ticket)) return fail("a joiner without its ticket");
      ++waiting[c.table];
    }
    if (c.counted) {
      ++relays[c.table];
      ++joiners[c.table][c.peer.key];
    }
  }
  size_t pub = 0;
  for (const auto& [tid, t] : tables_) {
    if (!t.isPrivate) ++pub;
    if (codes_.count(t.code) != 1 || codes_.at(t.code) != tid) return fail("a code that names another table");
    if (!readCode(t.code) || t.entry.name.size() > kMaxNameBytes) return fail("a malformed table");
    if (t.relays > limits_.relaysPerTable) return fail("too many relays");
    if (t.relays != relays[tid]) return fail("a table's relay count");
    if (static_cast<int>(t.waiting.size()) != waiting[tid]) return fail("a table's waiting joiners");
    int byJoiner = 0;
    for (const auto& [key, n] : t.joiners) {
      if (n <= 0 || n > limits_.relaysPerJoiner || joiners[tid][key] != n) return fail("a table's relays by joiner");
      byJoiner += n;
    }
    if (byJoiner != t.relays) return fail("a table's relays by joiner");
  }
  if (pub != listing_.size()) return fail("the public count");
  if (codes_.size() != tables_.size()) return fail("codes without tables");
  for (const auto& [key, n] : counted) {
    auto a = addresses_.find(key);
    if (a == addresses_.end() || a->second.connections != n.connections || a->second.tables != n.tables)
      return fail("an address's counts");
    if ((n.bounds->connections && n.connections > n.bounds->connections) ||
        (n.bounds->tables && n.tables > n.bounds->tables))
      return fail("over a bound");
  }
  for (const auto& [key, a] : addresses_)
    if (!counted.count(key) && (a.connections || a.tables)) return fail("counts of nobody");
  for (const auto& [ticket, p] : pending_)
    if (!conns_.count(p.joiner)) return fail("a ticket without its joiner");
  std::unordered_map<std::string, int> probes;
  for (const auto& [id, job] : probing_) ++probes[job.key];
  if (probing_.size() > static_cast<size_t>(limits_.probes)) return fail("too many probes");
  for (const auto& [key, a] : addresses_)
    if (a.probes != probes[key] || a.probes > limits_.probesPerAddress) return fail("an address's probes");
  for (const auto& [key, q] : probeQueue_)
    if (q.empty() || q.size() > kProbesQueuedPerAddress ||
        std::find(probeTurns_.begin(), probeTurns_.end(), key) == probeTurns_.end())
      return fail("a probe queue out of turn");
  return true;
}

}  // namespace ombrix::lobbyd
