// TAsyncSock: properties, non-blocking stream operation and notifications.
#include "net/asyncsock.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <map>
#include <utility>
#include <vector>

#include "net/resolver.h"
#include "net/wsock.h"

namespace ombrix::net {

namespace {

// The process-wide host name cache: names compared without regard to case,
// entries only ever added. A name keeps every address the resolver gave, of
// either family, in the resolver's order.
std::vector<std::pair<std::string, std::vector<sockaddr_storage>>>& hostCache() {
  static std::vector<std::pair<std::string, std::vector<sockaddr_storage>>> cache;
  return cache;
}
int g_resolverCalls = 0;

bool sameName(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

// Live sockets by serial, so that a deferred deletion finds out whether the
// socket is still there (its listener may have freed it meanwhile).
std::map<uint64_t, TAsyncSock*>& liveSockets() {
  static std::map<uint64_t, TAsyncSock*> live;
  return live;
}
uint64_t g_nextSerial = 1;
std::map<const TAsyncSock*, uint64_t>& serials() {
  static std::map<const TAsyncSock*, uint64_t> s;
  return s;
}

// Game messages are small and each one is awaited: Nagle's coalescing with
// the peer's delayed acknowledgement would hold them back by tens of ms.
void noDelay(int fd) {
  const int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

void setNonBlocking(int fd, bool on) {
  const int flags = ::fcntl(fd, F_GETFL, 0);
  ::fcntl(fd, F_SETFL, on ? flags | O_NONBLOCK : flags & ~O_NONBLOCK);
}

// Notifiers and sockets retired during an event are freed once control is
// back in the loop (the retiring code may be running inside them), and at
// the latest when the application object goes away.
std::vector<std::unique_ptr<Notifier>>& retiredNotifiers() {
  static std::vector<std::unique_ptr<Notifier>> v;
  return v;
}
std::vector<uint64_t>& doomedSockets() {
  static std::vector<uint64_t> v;
  return v;
}
bool g_sweepPosted = false;

void sweep() {
  g_sweepPosted = false;
  auto notifiers = std::move(retiredNotifiers());
  retiredNotifiers().clear();
  notifiers.clear();
  auto doomed = std::move(doomedSockets());
  doomedSockets().clear();
  for (uint64_t serial : doomed) {
    auto it = liveSockets().find(serial);
    if (it != liveSockets().end()) delete it->second;
  }
}

void scheduleSweep() {
  static const bool registered = [] {
    qAddPostRoutine(sweep);
    return true;
  }();
  (void)registered;
  if (g_sweepPosted) return;
  g_sweepPosted = true;
  post(sweep);
}

// Listeners waiting for a descriptor, by serial.
std::set<uint64_t>& starvedListeners() {
  static std::set<uint64_t> s;
  return s;
}

// An IPv6 address as text, without the brackets of the "[v6]:PORT" form.
std::string unbracketed(const std::string& name) {
  if (name.size() > 2 && name.front() == '[' && name.back() == ']') return name.substr(1, name.size() - 2);
  return name;
}

// A peer's address as the host shows it: dotted for IPv4, also when it came
// to an IPv6 listener as a mapped address.
std::string printable(const sockaddr_storage& a) {
  char text[INET6_ADDRSTRLEN] = {};
  if (a.ss_family == AF_INET6) {
    const auto& a6 = reinterpret_cast<const sockaddr_in6&>(a);
    if (IN6_IS_ADDR_V4MAPPED(&a6.sin6_addr)) {
      in_addr v4;
      std::memcpy(&v4, a6.sin6_addr.s6_addr + 12, 4);
      ::inet_ntop(AF_INET, &v4, text, sizeof text);
    } else {
      ::inet_ntop(AF_INET6, &a6.sin6_addr, text, sizeof text);
    }
  } else {
    ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in&>(a).sin_addr, text, sizeof text);
  }
  return text;
}

socklen_t lengthOf(const sockaddr_storage& a) {
  return a.ss_family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
}

void setPort(sockaddr_storage& a, uint16_t port) {
  if (a.ss_family == AF_INET6) reinterpret_cast<sockaddr_in6&>(a).sin6_port = port;
  else reinterpret_cast<sockaddr_in&>(a).sin_port = port;
}

sockaddr_storage v4Address(uint32_t address) {
  sockaddr_storage a{};
  auto& a4 = reinterpret_cast<sockaddr_in&>(a);
  a4.sin_family = AF_INET;
  a4.sin_addr.s_addr = address;
  return a;
}

// The cached addresses of a name, or nullptr.
const std::vector<sockaddr_storage>* cached(const std::string& name) {
  for (const auto& [known, addrs] : hostCache())
    if (sameName(known, name)) return &addrs;
  return nullptr;
}

const std::vector<sockaddr_storage>& remember(const std::string& name, std::vector<sockaddr_storage> addrs) {
  if (const auto* known = cached(name)) return *known;
  hostCache().emplace_back(name, std::move(addrs));
  return hostCache().back().second;
}

// Every address of a name, from the cache or the resolver (which may block).
const std::vector<sockaddr_storage>& resolved(const std::string& name) {
  if (const auto* known = cached(name)) return *known;
  ++g_resolverCalls;
  std::vector<sockaddr_storage> addrs = resolveNow(name);
  if (addrs.empty()) throw ESockException("Host Lookup - Could Not Find Host Entry");
  return remember(name, std::move(addrs));
}

// An address rather than a name: nothing to look up.
bool isLiteral(const std::string& name) {
  return name.empty() || name.find(':') != std::string::npos || dottedDecimal(name).has_value();
}

bool outOfDescriptors(int err) { return err == EMFILE || err == ENFILE || err == ENOBUFS || err == ENOMEM; }

void retire(std::unique_ptr<Notifier>& n) {
  if (!n) return;
  n->select(0);
  retiredNotifiers().push_back(std::move(n));
  scheduleSweep();
}

}  // namespace

std::optional<EndReason> endReasonOf(int code) {
  switch (code) {
    case WSAETIMEDOUT:
      return EndReason::TimedOut;
    case WSAECONNREFUSED:
      return EndReason::Refused;
    case 10050:  // WSAENETDOWN
    case 10051:  // WSAENETUNREACH
    case 10052:  // WSAENETRESET
    case WSAECONNABORTED:
    case WSAECONNRESET:
    case 10057:  // WSAENOTCONN
    case WSAESHUTDOWN:
    case 10064:  // WSAEHOSTDOWN
    case 10065:  // WSAEHOSTUNREACH
    case 10101:  // WSAEDISCON
      return EndReason::Reset;
    default:
      return std::nullopt;
  }
}

// A descriptor of this process was closed: listeners waiting for one try again.
void descriptorFreed() {
  if (starvedListeners().empty()) return;
  const auto waiting = std::move(starvedListeners());
  starvedListeners().clear();
  for (uint64_t serial : waiting) {
    auto it = liveSockets().find(serial);
    if (it != liveSockets().end()) it->second->resumeEvents(it->second->acceptsPaused_);
  }
}

TAsyncSock::TAsyncSock() {
  const uint64_t serial = g_nextSerial++;
  liveSockets()[serial] = this;
  serials()[this] = serial;
}

TAsyncSock::TAsyncSock(TAsyncSock* listener, int handle) : TAsyncSock() {
  owner_ = listener;
  listener->accepted_.insert(this);
  fd_ = handle;
  OnRead = listener->OnRead;
  OnWrite = listener->OnWrite;
  OnDisconnect = listener->OnDisconnect;
  OnInfo = listener->OnInfo;
  OnEnd = listener->OnEnd;
  applyEvents();
  connected_ = true;
}

TAsyncSock::~TAsyncSock() {
  if (listen_ || connected_) {
    OnInfo = nullptr;  // nobody is left to tell
    OnEnd = nullptr;
    Close();
  } else if (fd_ >= 0) {
    ::close(fd_);
    descriptorFreed();
  }
  retire(notifier_);
  for (TAsyncSock* child : std::set<TAsyncSock*>(accepted_)) {
    child->owner_ = nullptr;
    delete child;
  }
  if (owner_) owner_->accepted_.erase(this);
  auto it = serials().find(this);
  if (it != serials().end()) {
    liveSockets().erase(it->second);
    serials().erase(it);
  }
}

void TAsyncSock::deleteLater() {
  doomedSockets().push_back(serials()[this]);
  scheduleSweep();
}

int TAsyncSock::resolverCalls() { return g_resolverCalls; }

std::string TAsyncSock::SocketErrorName(int code) { return socketErrorName(code); }

void TAsyncSock::info(TSocketInfo kind, const std::string& text) {
  if (!OnInfo) return;
  try {
    OnInfo(this, kind, text);
  } catch (...) {
    throw ESockException("Error here");
  }
}

void TAsyncSock::error(int code, const std::string& text) {
  lastError_ = code;
  end_ = endReasonOf(code);
  info(siError, text);
}

// --- Properties ----------------------------------------------------------------

void TAsyncSock::setHostName(const std::string& name) {
  host_ = name;
  if (connected_) info(siLookup, "Setting HostName While Connected Has No Effect");
}

void TAsyncSock::setPortName(const std::string& name) {
  port_ = name;
  if (connected_) info(siLookup, "Setting PortName While Connected Has No Effect");
}

void TAsyncSock::applyEvents() {
  if (fd_ < 0) return;
  const int events = listen_ ? FD_ACCEPT : (FD_READ | FD_WRITE | FD_CONNECT | FD_CLOSE);
  setNonBlocking(fd_, true);
  if (!notifier_) notifier_ = std::make_unique<Notifier>(fd_, [this](int e, int err) { notification(e, err); });
  notifier_->select(listen_ && acceptsPaused_ ? 0 : events);
}

void TAsyncSock::pauseEvents(bool& paused) {
  paused = true;
  if (notifier_) notifier_->select(0);
}

void TAsyncSock::resumeEvents(bool& paused) {
  if (!paused) return;
  paused = false;
  applyEvents();
}

void TAsyncSock::starve() {
  const uint64_t serial = serials()[this];
  starvedListeners().insert(serial);
  // Descriptors may also come free outside the sockets (files, other
  // processes): try again after a while, a few times a second at most.
  QTimer::singleShot(kStarvedRetryMs, QCoreApplication::instance(), [serial] {
    if (!starvedListeners().erase(serial)) return;
    auto it = liveSockets().find(serial);
    if (it != liveSockets().end()) it->second->resumeEvents(it->second->acceptsPaused_);
  });
}

// --- Notifications ---------------------------------------------------------------

void TAsyncSock::notification(int event, int error) {
  try {
    if (error > 10000 && event == FD_CONNECT && !targets_.empty() && connectNext()) return;
    if (error > 10000) return this->error(error, "Error #" + std::to_string(error) + " (" + socketErrorName(error) + ")");
    switch (event) {
      case FD_READ: {
        char area[kReceiveArea];
        const ssize_t n = ::recv(fd_, area, sizeof area, MSG_DONTWAIT);
        if (n > 0) receiveQueue_.append(area, static_cast<size_t>(n));
        info(siReceive, "Non-Blocking Incoming Data");
        if (OnRead) OnRead(this, static_cast<int>(receiveQueue_.size()));
        break;
      }
      case FD_WRITE:
        if (!sendQueue_.empty()) Send("");
        info(siSend, "Non-Blocking Outgoing Data");
        if (OnWrite) OnWrite(this);
        break;
      case FD_ACCEPT:
        pauseEvents(acceptsPaused_);  // until Accept
        if (OnAccept) OnAccept(this);
        break;
      case FD_CONNECT:
        connected_ = true;
        info(siConnect, "Non-Blocking Socket Connected");
        if (OnConnect) OnConnect(this);
        break;
      case FD_CLOSE:
        end_ = EndReason::Orderly;
        if (OnDisconnect) OnDisconnect(this);
        Close();
        break;
      default:
        break;
    }
  } catch (const std::exception& e) {
    reportUnhandled(e.what());
  }
}

// --- Operations ------------------------------------------------------------------

bool TAsyncSock::Open() {
  if (fd_ >= 0) return connected_;
  end_.reset();  // a new connection has not ended
  const uint16_t port = LookupPort(port_);
  if (!isLiteral(host_) && !cached(host_)) {
    lookUp(port);
    return false;
  }
  targets_ = streamTargets(host_, port);
  connectNext();
  return connected_;
}

std::vector<sockaddr_storage> TAsyncSock::streamTargets(const std::string& name, uint16_t port) {
  std::vector<sockaddr_storage> out;
  const std::string bare = unbracketed(name);
  if (bare.find(':') != std::string::npos) {
    info(siLookup, "Lookup Of Host " + name);
    sockaddr_storage a{};
    auto& a6 = reinterpret_cast<sockaddr_in6&>(a);
    a6.sin6_family = AF_INET6;
    if (::inet_pton(AF_INET6, bare.c_str(), &a6.sin6_addr) != 1)
      throw ESockException("Host Lookup - Could Not Find Host Entry");
    out.push_back(a);
  } else if (isLiteral(name)) {
    out.push_back(v4Address(LookupName(name)));
  } else {
    info(siLookup, "Lookup Of Host " + name);
    out = resolved(name);
  }
  for (auto& a : out) setPort(a, port);
  return out;
}

void TAsyncSock::lookUp(uint16_t port) {
  info(siLookup, "Lookup Of Host " + host_);
  ++g_resolverCalls;
  const uint64_t serial = serials()[this], ticket = ++lookups_;
  resolveLater(host_, AF_UNSPEC, [serial, ticket, port, name = host_](std::vector<sockaddr_storage> addrs) {
    auto it = liveSockets().find(serial);
    // Closed, opened again or gone meanwhile: the answer is nobody's.
    if (it == liveSockets().end() || it->second->lookups_ != ticket || it->second->fd_ >= 0) return;
    TAsyncSock* s = it->second;
    try {
      if (addrs.empty()) return s->error(kHostNotFound, "Host Lookup - Could Not Find Host Entry");
      s->targets_ = remember(name, std::move(addrs));
      for (auto& a : s->targets_) setPort(a, port);
      s->connectNext();
    } catch (const std::exception& e) {
      reportUnhandled(e.what());
    }
  });
}

bool TAsyncSock::connectNext() {
  while (!targets_.empty()) {
    const sockaddr_storage a = targets_.front();
    targets_.erase(targets_.begin());
    if (fd_ >= 0) {
      // The address before did not answer: its socket gives way silently.
      retire(notifier_);
      ::close(fd_);
      fd_ = -1;
    }
    fd_ = ::socket(a.ss_family, SOCK_STREAM, 0);
    if (fd_ < 0) {
      if (!targets_.empty()) continue;
      const int code = wsaFromErrno(errno);
      error(code, "Error #" + std::to_string(code) + " (" + socketErrorName(code) + ")");
      return false;
    }
    applyEvents();
    noDelay(fd_);
    const int rc = ::connect(fd_, reinterpret_cast<const sockaddr*>(&a), lengthOf(a));
    if (rc == 0 || errno == EINPROGRESS) {
      notifier_->connecting();
      return true;
    }
    if (!targets_.empty()) continue;
    // Refused at once (loopback does this): still report it as the
    // completion of the connect, from the event loop.
    const int code = wsaFromErrno(errno);
    notifier_->select(0);
    const uint64_t serial = serials()[this];
    post([serial, code] {
      auto it = liveSockets().find(serial);
      if (it != liveSockets().end()) it->second->notification(FD_CONNECT, code);
    });
    return true;
  }
  return false;
}

bool TAsyncSock::Close() {
  bool ok = false;
  ++lookups_;  // a look-up under way answers no one now
  try {
    retire(notifier_);
    ok = fd_ >= 0 && ::close(fd_) == 0;
    fd_ = -1;
    connected_ = false;
    // A socket opened again must never send the old connection's bytes.
    sendQueue_.clear();
    acceptsPaused_ = false;
    starvedListeners().erase(serials()[this]);
    if (ok) descriptorFreed();
    const bool wasListening = listen_;
    listen_ = false;
    if (!wasListening) {
      end_ = end_.value_or(EndReason::Orderly);
      info(siClose, "Socket Closed");
      if (OnEnd) OnEnd(this, *end_);
    }
  } catch (...) {
  }
  return ok;
}

void TAsyncSock::setListen(bool on) {
  const bool was = listen_;
  if (fd_ >= 0 && !listen_) {
    listen_ = false;
    throw ESockException("Listen - Socket Already In Use");
  }
  if (!on) {
    // Close reports "Socket Closed" only for a socket that is not listening.
    listen_ = false;
    Close();
    info(siListen, "Listening Stopped");
    return;
  }
  if (was) {
    info(siListen, "Listening Already Running");
    return;
  }
  // A listener binds to its HostName when one is set (a host that serves one
  // network only); without one, to every IPv6 and IPv4 address at once.
  sockaddr_storage addr{};
  bool everywhere = host_.empty();
  if (everywhere) {
    auto& a6 = reinterpret_cast<sockaddr_in6&>(addr);
    a6.sin6_family = AF_INET6;
    a6.sin6_addr = in6addr_any;
  } else {
    addr = streamTargets(host_, 0).front();
  }
  listen_ = true;
  fd_ = ::socket(addr.ss_family, SOCK_STREAM, 0);
  if (fd_ < 0 && everywhere) {
    addr = v4Address(htonl(INADDR_ANY));  // a machine without IPv6
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
  }
  const int yes = 1, no = 0;
  // A restarted host must get its port back while old connections linger.
  ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  if (addr.ss_family == AF_INET6) ::setsockopt(fd_, IPPROTO_IPV6, IPV6_V6ONLY, everywhere ? &no : &yes, sizeof no);
  setPort(addr, LookupPort(port_));
  applyEvents();
  listen_ = false;
  if (::bind(fd_, reinterpret_cast<sockaddr*>(&addr), lengthOf(addr)) != 0) {
    if (notifier_) notifier_->select(0);  // an unbound socket would wake the loop for ever
    throw ESockException("Listen - Error Binding Socket");
  }
  if (::listen(fd_, 5) != 0) {
    if (notifier_) notifier_->select(0);
    throw ESockException("Listen - Error Starting Listen");
  }
  listen_ = true;
  notifier_->select(FD_ACCEPT);
  info(siListen, "Listening Started");
}

bool TAsyncSock::Accept(TAsyncSock*& newSock) {
  if (!listen_) throw ESockException("Accept - Socket Not In Listening Mode");
  acceptInto(newSock);
  return newSock != nullptr;
}

void TAsyncSock::acceptInto(TAsyncSock*& newSock) {
  newSock = nullptr;
  socklen_t len = sizeof peer_;
  const int h = ::accept(fd_, reinterpret_cast<sockaddr*>(&peer_), &len);
  if (h < 0 && outOfDescriptors(errno)) {
    starve();  // the connection stays pending; accept notifications wait
  } else {
    resumeEvents(acceptsPaused_);
  }
  if (h < 0) {
    info(siAccept, "Could Not Accept Connection");
    return;
  }
  noDelay(h);
  newSock = new TAsyncSock(this, h);
  newSock->setPortName(port_);
  newSock->setHostName(printable(peer_));
  info(siAccept, "Created New TAsyncSock Structure");
}

bool TAsyncSock::Send(const std::string& text) {
  if (fd_ < 0) throw ESockException("Send - Socket Not Connected");
  if (listen_) throw ESockException("Send - Cannot Send On A Listener Socket");
  sendQueue_ += text;
  if (sendQueue_.empty()) return true;
  info(siSend, "Non-Blocking Outgoing Data");
  const ssize_t n = ::send(fd_, sendQueue_.data(), sendQueue_.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
  if (n > 0) sendQueue_.erase(0, static_cast<size_t>(n));
  // What the kernel would not take waits for the next FD_WRITE.
  if (!sendQueue_.empty() && notifier_) notifier_->wantWrite();
  return true;
}

std::string TAsyncSock::ReceiveCount(int n) {
  if (fd_ < 0 && receiveQueue_.empty()) throw ESockException("Receive - Socket Not Connected");
  if (listen_) throw ESockException("Receive - Cannot Receive On A Listener Socket");
  // A zero-length read asks for nothing: no wait, no network call.
  if (n == 0) return {};
  if (n < 0 || static_cast<size_t>(n) >= receiveQueue_.size())
    return std::exchange(receiveQueue_, std::string());
  std::string head = receiveQueue_.substr(0, static_cast<size_t>(n));
  receiveQueue_.erase(0, static_cast<size_t>(n));
  return head;
}

uint32_t TAsyncSock::LookupName(const std::string& name) {
  if (name.empty()) return htonl(INADDR_ANY);
  info(siLookup, "Lookup Of Host " + name);
  if (const auto a = dottedDecimal(name)) return a->s_addr;
  for (const auto& a : resolved(name))
    if (a.ss_family == AF_INET) return reinterpret_cast<const sockaddr_in&>(a).sin_addr.s_addr;
  throw ESockException("Host Lookup - Could Not Find Host Entry");
}

uint16_t TAsyncSock::LookupPort(const std::string& name) {
  info(siLookup, "Lookup Of Port " + name);
  if (!name.empty() && name[0] >= '0' && name[0] <= '9') {
    size_t used = 0;
    long value = -1;
    try {
      value = std::stol(name, &used);
    } catch (...) {
      used = 0;
    }
    if (used != name.size() || value < 0 || value > 65535)
      throw std::invalid_argument("'" + name + "' is not a valid integer value");
    return htons(static_cast<uint16_t>(value));
  }
  const servent* s = ::getservbyname(name.c_str(), "tcp");
  if (!s) throw ESockException("Port Lookup - Could Not Find Service Entry");
  return static_cast<uint16_t>(s->s_port);
}

int TAsyncSock::LocalPort() const {
  sockaddr_storage a{};
  socklen_t len = sizeof a;
  if (fd_ < 0 || ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len) != 0) return 0;
  return ntohs(a.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6&>(a).sin6_port
                                       : reinterpret_cast<sockaddr_in&>(a).sin_port);
}

void retire(std::unique_ptr<TAsyncSock>& sock) {
  if (!sock) return;
  TAsyncSock* s = sock.release();
  s->OnInfo = nullptr;
  s->OnRead = nullptr;
  s->OnConnect = nullptr;
  s->OnDisconnect = nullptr;
  s->OnWrite = nullptr;
  s->OnEnd = nullptr;
  if (s->Handle() >= 0) s->Close();
  s->deleteLater();
}

}  // namespace ombrix::net
