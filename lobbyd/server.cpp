#include "lobbyd/server.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace ombrix::lobbyd {

using namespace lobbywire;

namespace {

// One read takes at most this much; a relay's read is also held to its
// table's budget.
constexpr size_t kReadChunk = 16 * 1024;
// Accepts in one turn of the loop, so a burst of connections cannot hold it.
constexpr int kAcceptsPerTurn = 64;
// A listener out of descriptors tries again after this long, unless a
// connection closes first.
constexpr int64_t kStarvedMs = 200;
// A relay out of budget is looked at again this often.
constexpr int64_t kPaceMs = 20;
constexpr int64_t kSweepMs = 1000;

// Idle connections to hosts and lobbies cross home routers whose NAT forgets
// a quiet connection after a few minutes; keepalives both keep the mapping
// and find a peer that vanished (its table is then withdrawn).
void keepAlive(int fd) {
  const int on = 1, idle = 60, interval = 15, count = 4;
  ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
  ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
  ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
  ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &count, sizeof count);
  // Game messages are small and each is awaited.
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  // What the kernel holds for a peer counts against the machine too: a
  // table's traffic and a page of a listing need far less than the
  // buffers the kernel would grow for a fast reader.
  const int sendBuffer = 64 * 1024;
  ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &sendBuffer, sizeof sendBuffer);
}

std::string printable(const sockaddr_storage& a) {
  char text[INET6_ADDRSTRLEN] = {};
  if (a.ss_family == AF_INET6)
    ::inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6&>(a).sin6_addr, text, sizeof text);
  else
    ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in&>(a).sin_addr, text, sizeof text);
  return text;
}

}  // namespace

LobbyServer::LobbyServer(Reactor& loop, Limits limits, ServerLimits server, LobbyCore::Log log)
    : loop_(loop), core_(*this, limits, std::move(log)), limits_(server) {}

LobbyServer::~LobbyServer() {
  *alive_ = false;
  for (auto& [id, c] : conns_) {
    loop_.unwatch(c->fd);
    ::close(c->fd);
  }
  for (int fd : {listenFd_, webFd_})
    if (fd >= 0) {
      loop_.unwatch(fd);
      ::close(fd);
    }
  for (uint64_t t : {acceptTimer_, sweepTimer_, paceTimer_}) loop_.cancel(t);
}

int LobbyServer::openListener(const std::string& bind, int port, int& boundPort) {
  sockaddr_storage addr{};
  socklen_t len = 0;
  int family = AF_INET6;
  if (bind.empty()) {
    auto& a6 = reinterpret_cast<sockaddr_in6&>(addr);
    a6.sin6_family = AF_INET6;
    a6.sin6_addr = in6addr_any;
    a6.sin6_port = htons(static_cast<uint16_t>(port));
    len = sizeof a6;
  } else {
    addrinfo hints{}, *res = nullptr;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    hints.ai_socktype = SOCK_STREAM;
    const std::string service = std::to_string(port);
    const std::string host = bind.size() > 2 && bind.front() == '[' && bind.back() == ']' ? bind.substr(1, bind.size() - 2) : bind;
    if (::getaddrinfo(host.c_str(), service.c_str(), &hints, &res) != 0 || !res)
      throw std::runtime_error("no such address: " + bind);
    std::memcpy(&addr, res->ai_addr, res->ai_addrlen);
    len = res->ai_addrlen;
    family = res->ai_family;
    ::freeaddrinfo(res);
  }
  int fd = ::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0 && bind.empty()) {
    // No IPv6 on this machine: IPv4 alone.
    auto& a4 = reinterpret_cast<sockaddr_in&>(addr);
    a4 = {};
    a4.sin_family = AF_INET;
    a4.sin_addr.s_addr = htonl(INADDR_ANY);
    a4.sin_port = htons(static_cast<uint16_t>(port));
    len = sizeof a4;
    fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  }
  if (fd < 0) throw std::runtime_error(std::strerror(errno));
  const int on = 1, off = 0;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  if (addr.ss_family == AF_INET6) ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, bind.empty() ? &off : &on, sizeof off);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), len) != 0 || ::listen(fd, 511) != 0) {
    const int err = errno;
    ::close(fd);
    throw std::runtime_error(std::strerror(err));
  }
  sockaddr_storage bound{};
  socklen_t blen = sizeof bound;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &blen);
  boundPort = ntohs(bound.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6&>(bound).sin6_port
                                                : reinterpret_cast<sockaddr_in&>(bound).sin_port);
  return fd;
}

void LobbyServer::listen(const std::string& bind, int port) {
  const int fd = openListener(bind, port, port_);
  listenFd_ = fd;
  accepting_ = true;
  loop_.watch(fd, Reactor::kReadable, [this](int, int) { onAccept(); });
  std::weak_ptr<bool> alive = alive_;
  // A sweep once a second, for as long as the server lives.
  struct Sweeper {
    static void arm(LobbyServer* s, std::weak_ptr<bool> alive) {
      s->sweepTimer_ = s->loop_.after(kSweepMs, [s, alive] {
        if (alive.expired()) return;
        s->sweep();
        arm(s, alive);
      });
    }
  };
  Sweeper::arm(this, alive);
}

// --- The web door ------------------------------------------------------------------

// A browser's side of a connection: its gateway, and once its WebSocket asks
// for a table, the code it asked for and whether the core counts it.
struct LobbyServer::Conn::Web {
  std::unique_ptr<webgate::Gateway> gate;
  Peer peer;
  std::string connectTo;  // asked for, not yet told to the core
  bool inCore = false;
};

namespace {
// Close codes a page reads as the reason it cannot join (4000-4999 are the
// application's own).
uint16_t refusalCode(std::string_view error) {
  if (error == "unknown") return 4404;
  if (error == "busy" || error == "full") return 4429;
  if (error == "no answer") return 4504;
  return 4400;
}
}  // namespace

void LobbyServer::listenWeb(const std::string& bind, int port, const webgate::Site& site, webgate::Limits limits,
                            WebLimits web) {
  site_ = &site;
  webLimits_ = limits;
  web_ = web;
  webFd_ = openListener(bind, port, webPort_);
  core_.setWebPort(webPort_);
  loop_.watch(webFd_, Reactor::kReadable, [this](int, int) { onWebAccept(); });
}

size_t LobbyServer::webFootprint() const {
  size_t n = 0;
  for (const auto& [id, c] : conns_)
    if (c->web) n += sizeof(Conn) + sizeof(Conn::Web) + c->web->gate->footprint() + c->in.capacity() + c->out.capacity();
  return n;
}

void LobbyServer::onWebAccept() {
  for (int i = 0; i < kAcceptsPerTurn; ++i) {
    sockaddr_storage peer{};
    socklen_t len = sizeof peer;
    const int fd = ::accept4(webFd_, reinterpret_cast<sockaddr*>(&peer), &len, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) return;
    const Peer p = Peer::of(printable(peer));
    // Over a bound of the web door's own: closed without a word.
    if (conns_.size() >= limits_.maxConnections || webCount_ >= web_.maxConnections ||
        webPerAddress_[p.key] >= web_.perAddress) {
      if (webPerAddress_[p.key] == 0) webPerAddress_.erase(p.key);
      ::close(fd);
      continue;
    }
    keepAlive(fd);
    ++webPerAddress_[p.key];
    ++webCount_;
    const ConnId id = nextId_++;
    auto c = std::make_unique<Conn>();
    c->id = id;
    c->fd = fd;
    c->web = std::make_unique<Conn::Web>();
    c->web->peer = p;
    c->web->gate = std::make_unique<webgate::Gateway>(*site_, webLimits_, loop_.now());
    Conn::Web* w = c->web.get();
    w->gate->onUpgrade = [w](std::string_view path) {
      // "/ws/+CODE": the table is asked for once the answer has gone.
      if (path.substr(0, 4) != "/ws/" || !webgate::isCodePath(path.substr(3))) return false;
      const auto code = readCode(path.substr(4));
      if (!code) return false;
      w->connectTo = *code;
      return true;
    };
    Conn* raw = c.get();
    w->gate->onLine = [this, raw](std::string_view line) {
      std::string bytes(line);
      bytes += '\xFF';
      if (raw->partner) {
        if (Conn* p = find(raw->partner)) {
          raw->firstBytesDue = 0;
          // The table's relay budget counts the page's lines too.
          raw->budget->bucket.tokens -= static_cast<double>(bytes.size());
          p->out += bytes;
          flush(*p);
        }
      } else {
        // Waiting for the table: kept for the stream, as a lobby's bytes are.
        raw->in += bytes;
        if (raw->in.size() > kMaxLine) raw->web->gate->endGame();
      }
    };
    conns_.emplace(id, std::move(c));
    loop_.watch(fd, Reactor::kReadable, [this, id](int, int mask) { onEvent(id, mask); });
  }
}

void LobbyServer::readWeb(Conn& c) {
  const ConnId id = c.id;
  char buf[kReadChunk];
  const ssize_t n = ::recv(c.fd, buf, sizeof buf, 0);
  if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) return drop(id);
  if (n < 0 || c.closing) return;
  c.web->gate->receive(std::string_view(buf, static_cast<size_t>(n)), loop_.now());
  if (!find(id)) return;
  pumpWeb(c);
}

void LobbyServer::pumpWeb(Conn& c) {
  const ConnId id = c.id;
  Conn::Web& w = *c.web;
  if (!w.connectTo.empty() && w.gate->phase() == webgate::Gateway::Phase::WebSocket) {
    // The browser's WebSocket joins the table as a lobby's connection does:
    // counted against its own address, looked up, relayed.
    const std::string code = std::move(w.connectTo);
    w.connectTo.clear();
    if (!core_.opened(id, w.peer, loop_.now())) {
      w.gate->refuse(4429, "busy");
    } else {
      w.inCore = true;
      std::string ask = connectLine(code);
      ask.pop_back();  // its line break
      core_.line(id, ask, loop_.now());
      if (!find(id)) return;
    }
  }
  // Up to a relay's buffer at a time, for as long as the socket takes it.
  for (;;) {
    while (!w.gate->pending().empty() && c.out.size() - c.outAt < limits_.relayBuffer) {
      c.out.append(w.gate->pending());
      w.gate->written(w.gate->pending().size());
    }
    if (!flush(c)) return drop(id);
    if (!find(id)) return;
    if (w.gate->pending().empty() || c.outAt < c.out.size()) break;
  }
  if (w.gate->closing() && w.gate->pending().empty() && !c.closing) close(id);
  else updateMask(c);
}

// What the core says to a browser's WebSocket: that it is spliced (the
// table's bytes follow), or why not.
void LobbyServer::webAnswer(Conn& c, std::string_view lines) {
  size_t at = 0;
  while (at < lines.size()) {
    size_t end = lines.find('\n', at);
    if (end == std::string_view::npos) end = lines.size();
    const auto m = parseLine(lines.substr(at, end - at), false);
    if (m && m->op == Op::Error) c.web->gate->refuse(refusalCode(m->error), m->error);
    at = end + 1;
  }
  pumpWeb(c);
}

LobbyServer::Conn* LobbyServer::find(ConnId id) {
  auto it = conns_.find(id);
  return it == conns_.end() ? nullptr : it->second.get();
}

void LobbyServer::pauseAccepting(int64_t ms) {
  if (!accepting_) return;
  accepting_ = false;
  loop_.setMask(listenFd_, Reactor::kNone);
  if (ms > 0) {
    std::weak_ptr<bool> alive = alive_;
    acceptTimer_ = loop_.after(ms, [this, alive] {
      if (alive.expired()) return;
      acceptTimer_ = 0;
      if (conns_.size() < limits_.maxConnections) {
        accepting_ = true;
        loop_.setMask(listenFd_, Reactor::kReadable);
      }
    });
  }
}

void LobbyServer::onAccept() {
  for (int i = 0; i < kAcceptsPerTurn; ++i) {
    if (conns_.size() >= limits_.maxConnections) return pauseAccepting(0);
    sockaddr_storage peer{};
    socklen_t len = sizeof peer;
    const int fd = ::accept4(listenFd_, reinterpret_cast<sockaddr*>(&peer), &len, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
      if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) pauseAccepting(kStarvedMs);
      return;
    }
    keepAlive(fd);
    const ConnId id = nextId_++;
    if (!core_.opened(id, Peer::of(printable(peer)), loop_.now())) {
      ::close(fd);  // over its address's bound: not a byte more
      continue;
    }
    auto c = std::make_unique<Conn>();
    c->id = id;
    c->fd = fd;
    conns_.emplace(id, std::move(c));
    loop_.watch(fd, Reactor::kReadable, [this, id](int, int mask) { onEvent(id, mask); });
  }
}

void LobbyServer::onEvent(ConnId id, int mask) {
  Conn* c = find(id);
  if (!c) return;
  if (mask & Reactor::kWritable) {
    if (!flush(*c)) return drop(id);
    c = find(id);
    if (!c) return;
    if (c->closing && c->outAt == c->out.size()) return drop(id);
    // A browser's answers wait in its gateway for room (the deck is larger
    // than a relay's buffer).
    if (c->web && !c->closing) {
      pumpWeb(*c);
      if (!(c = find(id))) return;
    }
  }
  if (mask & Reactor::kReadable) {
    if (c->web) readWeb(*c);
    else if (c->partner) readRelay(*c);
    else readLines(*c);
  }
  if ((c = find(id))) updateMask(*c);
}

void LobbyServer::readLines(Conn& c) {
  const ConnId id = c.id;
  char buf[4096];
  const ssize_t n = ::recv(c.fd, buf, sizeof buf, 0);
  if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) return drop(id);
  if (n < 0) return;
  if (c.closing) return;  // refused: what follows is not read
  c.in.append(buf, static_cast<size_t>(n));
  if (core_.holding(id)) {
    // Waiting for its relay: what comes is the stream's, kept for it.
    if (c.in.size() > kMaxLine) close(id);
    return;
  }
  size_t start = 0;
  for (;;) {
    const size_t nl = c.in.find('\n', start);
    if (nl == std::string::npos) break;
    const std::string line = c.in.substr(start, nl - start);
    start = nl + 1;
    core_.line(id, line, loop_.now());
    Conn* again = find(id);
    if (!again || again->closing) return;
    if (core_.holding(id)) {
      c.in.erase(0, start);
      return;
    }
    if (again->partner) {
      // Spliced by that very line: what came after it is the stream's.
      const std::string rest = c.in.substr(start);
      c.in = std::string();
      if (!rest.empty()) {
        Conn* p = find(c.partner);
        if (p && p->web) {
          // A browser's: the game's bytes go as its text messages.
          p->web->gate->fromGame(rest);
          pumpWeb(*p);
        } else if (p) {
          p->out += rest;
          flush(*p);
        }
      }
      return;
    }
  }
  c.in.erase(0, start);
  if (c.in.size() > kMaxLine) {
    // Not the protocol: no answer, the connection ends.
    c.in = std::string();
    close(id);
    return;
  }
  // A connection at rest keeps no buffer.
  if (c.in.empty() && c.in.capacity() > 256) c.in = std::string();
}

void LobbyServer::readRelay(Conn& c) {
  Conn* p = find(c.partner);
  if (!p) return drop(c.id);
  if (p->out.size() - p->outAt >= limits_.relayBuffer) {
    c.waitingPartner = true;
    return;
  }
  const Limits& l = core_.limits();
  auto& bucket = c.budget->bucket;
  bucket.refill(l.relayBurstBytes, l.relayBytesPerSecond, loop_.now());
  const size_t allowed = std::min(kReadChunk, static_cast<size_t>(std::max(0.0, bucket.tokens)));
  if (allowed == 0) {
    c.waitingBudget = true;
    paced_.push_back(c.id);
    if (!paceTimer_) {
      std::weak_ptr<bool> alive = alive_;
      paceTimer_ = loop_.after(kPaceMs, [this, alive] {
        if (!alive.expired()) paceRelays();
      });
    }
    return;
  }
  char buf[kReadChunk];
  const ssize_t n = ::recv(c.fd, buf, allowed, 0);
  if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) return drop(c.id);
  if (n < 0) return;
  bucket.tokens -= static_cast<double>(n);
  c.firstBytesDue = 0;
  if (p->web) {
    // The table's bytes, a line a text message.
    p->web->gate->fromGame(std::string_view(buf, static_cast<size_t>(n)));
    pumpWeb(*p);
    return;
  }
  if (p->outAt == p->out.size()) {
    // The usual case: the other side takes it at once, no copy kept.
    const ssize_t w = ::send(p->fd, buf, static_cast<size_t>(n), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (w < 0 && errno != EAGAIN) {
      close(p->id);
      return;
    }
    const size_t taken = w < 0 ? 0 : static_cast<size_t>(w);
    if (taken < static_cast<size_t>(n)) {
      p->out.assign(buf + taken, static_cast<size_t>(n) - taken);
      p->outAt = 0;
      if (!p->stalledSince) p->stalledSince = loop_.now();
      updateMask(*p);
    }
    return;
  }
  p->out.append(buf, static_cast<size_t>(n));
  updateMask(*p);
}

void LobbyServer::paceRelays() {
  paceTimer_ = 0;
  auto waiting = std::move(paced_);
  paced_.clear();
  for (ConnId id : waiting)
    if (Conn* c = find(id)) {
      c->waitingBudget = false;
      updateMask(*c);
    }
}

bool LobbyServer::flush(Conn& c) {
  while (c.outAt < c.out.size()) {
    const ssize_t w = ::send(c.fd, c.out.data() + c.outAt, c.out.size() - c.outAt, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (w < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN) {
        if (!c.stalledSince) c.stalledSince = loop_.now();
        updateMask(c);
        return true;
      }
      return false;
    }
    c.outAt += static_cast<size_t>(w);
    c.stalledSince = c.outAt < c.out.size() ? loop_.now() : 0;
  }
  c.out = std::string();
  c.outAt = 0;
  c.stalledSince = 0;
  // The side that feeds this one may read again.
  if (c.partner)
    if (Conn* p = find(c.partner); p && p->waitingPartner) {
      p->waitingPartner = false;
      updateMask(*p);
    }
  updateMask(c);
  return true;
}

void LobbyServer::updateMask(Conn& c) {
  int mask = Reactor::kNone;
  const bool held = c.web && c.web->gate->holding();
  if (!c.closing && !c.waitingBudget && !c.waitingPartner && !held) mask |= Reactor::kReadable;
  if (c.outAt < c.out.size()) mask |= Reactor::kWritable;
  loop_.setMask(c.fd, mask);
}

void LobbyServer::send(ConnId id, std::string_view bytes) {
  Conn* c = find(id);
  if (!c || (c->closing && c->out.empty())) return;
  if (c->web) return webAnswer(*c, bytes);
  if (c->out.size() - c->outAt + bytes.size() > limits_.outputCap) {
    // It does not read what it asks for: cut off, nothing more sent.
    c->out = std::string();
    c->outAt = 0;
    close(id);
    core_.note(id, "a connection that does not read its answers was cut off", loop_.now());
    return;
  }
  c->out.append(bytes);
  if (!flush(*c)) close(id);
}

void LobbyServer::close(ConnId id) {
  Conn* c = find(id);
  if (!c) return;
  if (c->web && !c->closing) {
    c->web->gate->endGame();
    c->closing = true;
    while (!c->web->gate->pending().empty()) {
      c->out.append(c->web->gate->pending());
      c->web->gate->written(c->web->gate->pending().size());
    }
    flush(*c);
    if (!(c = find(id))) return;
  }
  c->closing = true;
  if (c->outAt == c->out.size()) {
    // Nothing to flush: gone once this turn's work is done.
    std::weak_ptr<bool> alive = alive_;
    loop_.after(0, [this, alive, id] {
      if (!alive.expired() && find(id)) drop(id);
    });
  }
  updateMask(*c);
}

void LobbyServer::drop(ConnId id) {
  auto it = conns_.find(id);
  if (it == conns_.end()) return;
  std::unique_ptr<Conn> c = std::move(it->second);
  conns_.erase(it);
  loop_.unwatch(c->fd);
  ::close(c->fd);
  if (!accepting_ && listenFd_ >= 0 && conns_.size() < limits_.maxConnections) {
    accepting_ = true;
    loop_.cancel(acceptTimer_);
    acceptTimer_ = 0;
    loop_.setMask(listenFd_, Reactor::kReadable);
  }
  // The other leg of a relay ends too, once it has what was on its way.
  if (c->partner)
    if (Conn* p = find(c->partner)) {
      p->partner = 0;
      close(p->id);
    }
  if (c->web) {
    --webCount_;
    if (--webPerAddress_[c->web->peer.key] == 0) webPerAddress_.erase(c->web->peer.key);
    if (!c->web->inCore) return;
  }
  core_.closed(id, loop_.now());
}

void LobbyServer::splice(ConnId joiner, ConnId hostLeg, std::shared_ptr<RelayBudget> budget) {
  Conn* ca = find(joiner);
  Conn* cb = find(hostLeg);
  if (!ca || !cb) {
    if (ca) close(joiner);
    if (cb) close(hostLeg);
    return;
  }
  ca->partner = hostLeg;
  cb->partner = joiner;
  ca->budget = cb->budget = std::move(budget);
  // What the host's leg sent after its first line, in the same read, is
  // carried over by readLines; what the joiner sent while it waited is
  // passed on now, and counts as its first bytes.
  if (!ca->in.empty()) {
    cb->out += ca->in;
    ca->in = std::string();
    flush(*cb);
  } else {
    ca->firstBytesDue = loop_.now() + limits_.relayFirstBytesMs;
  }
  updateMask(*ca);
  updateMask(*cb);
}

void LobbyServer::probe(ProbeId probe, const std::string& address, int port) {
  std::weak_ptr<bool> alive = alive_;
  auto report = [this, alive, probe](bool ok) {
    if (alive.expired()) return;
    core_.probed(probe, ok);
  };
  sockaddr_storage a{};
  socklen_t len;
  if (address.find(':') != std::string::npos) {
    auto& a6 = reinterpret_cast<sockaddr_in6&>(a);
    a6.sin6_family = AF_INET6;
    a6.sin6_port = htons(static_cast<uint16_t>(port));
    if (::inet_pton(AF_INET6, address.c_str(), &a6.sin6_addr) != 1) port = 0;
    len = sizeof a6;
  } else {
    auto& a4 = reinterpret_cast<sockaddr_in&>(a);
    a4.sin_family = AF_INET;
    a4.sin_port = htons(static_cast<uint16_t>(port));
    if (::inet_pton(AF_INET, address.c_str(), &a4.sin_addr) != 1) port = 0;
    len = sizeof a4;
  }
  // The core bounds how many run at once; a socket refused here (out of
  // descriptors) is a probe that reached nothing.
  const int fd = port ? ::socket(a.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0) : -1;
  if (fd < 0) {
    loop_.after(0, [report] { report(false); });
    return;
  }
  const int rc = ::connect(fd, reinterpret_cast<sockaddr*>(&a), len);
  if (rc != 0 && errno != EINPROGRESS) {
    ::close(fd);
    loop_.after(0, [report] { report(false); });
    return;
  }
  // Whichever comes first, the answer or the time limit, ends the probe.
  auto timer = std::make_shared<uint64_t>(0);
  auto finish = [this, alive, fd, timer, report](bool ok) {
    if (alive.expired()) {
      ::close(fd);  // the server went first; its loop outlived it
      return;
    }
    loop_.unwatch(fd);
    loop_.cancel(*timer);
    ::close(fd);
    report(ok);
  };
  loop_.watch(fd, Reactor::kWritable, [fd, finish](int, int) {
    int err = 0;
    socklen_t l = sizeof err;
    ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &l);
    finish(err == 0);
  });
  *timer = loop_.after(limits_.probeMs, [finish] { finish(false); });
}

void LobbyServer::sweep() {
  const int64_t now = loop_.time();
  core_.tick(now);
  std::vector<ConnId> stalled, silent, web;
  for (auto& [id, c] : conns_) {
    if (c->web) web.push_back(id);
    if (c->stalledSince && now - c->stalledSince > limits_.stallMs) stalled.push_back(id);
    if (c->firstBytesDue && now >= c->firstBytesDue) silent.push_back(id);
  }
  // Pings, idle pages, input held back for its budget.
  for (ConnId id : web)
    if (Conn* c = find(id)) {
      c->web->gate->tick(now);
      pumpWeb(*c);
    }
  // A reader that stopped reading: what it was sent is dropped with it.
  for (ConnId id : stalled) drop(id);
  // A joiner that never spoke: its relay, and the host's leg, end.
  for (ConnId id : silent)
    if (Conn* c = find(id)) {
      c->firstBytesDue = 0;
      core_.note(id, "a relay whose joiner sent nothing was ended", now);
      close(id);
    }
}

}  // namespace ombrix::lobbyd
