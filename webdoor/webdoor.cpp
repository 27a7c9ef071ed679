#include "webdoor/webdoor.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <utility>

#include "protocol/commands.h"

namespace ombrix::web {

using net::TAsyncSock;

namespace {
// How often the gateways look at their clocks: pings, idle pages, held input.
constexpr int kTickMs = 250;
// What may wait in a browser's socket before its gateway's output waits.
constexpr size_t kSocketBacklog = 256 * 1024;

// The peer's address as the bound counts it: an IPv6 /64 is one household.
std::string peerKey(int fd) {
  sockaddr_storage ss{};
  socklen_t len = sizeof ss;
  if (::getpeername(fd, reinterpret_cast<sockaddr*>(&ss), &len) != 0) return "?";
  char text[INET6_ADDRSTRLEN] = {};
  if (ss.ss_family == AF_INET) {
    ::inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(&ss)->sin_addr, text, sizeof text);
    return text;
  }
  in6_addr a = reinterpret_cast<sockaddr_in6*>(&ss)->sin6_addr;
  if (IN6_IS_ADDR_V4MAPPED(&a)) {
    ::inet_ntop(AF_INET, &a.s6_addr[12], text, sizeof text);
    return text;
  }
  std::fill(a.s6_addr + 8, a.s6_addr + 16, 0);
  ::inet_ntop(AF_INET6, &a, text, sizeof text);
  return std::string(text) + "/64";
}

bool isPrivate4(uint32_t host) {
  return (host >> 24) == 10 || (host >> 20) == (172 << 4 | 1) || (host >> 16) == (192 << 8 | 168);
}
}  // namespace

int64_t nowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

std::string lanAddress(const std::string& bound) {
  if (!bound.empty() && bound != "0.0.0.0" && bound != "::" && bound != "[::]")
    return bound.find(':') != std::string::npos && bound.front() != '[' ? "[" + bound + "]" : bound;
  ifaddrs* list = nullptr;
  std::string privateV4, otherV4, globalV6;
  if (::getifaddrs(&list) == 0) {
    for (ifaddrs* i = list; i; i = i->ifa_next) {
      if (!i->ifa_addr || !(i->ifa_flags & IFF_UP) || (i->ifa_flags & IFF_LOOPBACK)) continue;
      char text[INET6_ADDRSTRLEN] = {};
      if (i->ifa_addr->sa_family == AF_INET) {
        const in_addr a = reinterpret_cast<sockaddr_in*>(i->ifa_addr)->sin_addr;
        ::inet_ntop(AF_INET, &a, text, sizeof text);
        std::string& slot = isPrivate4(ntohl(a.s_addr)) ? privateV4 : otherV4;
        if (slot.empty()) slot = text;
      } else if (i->ifa_addr->sa_family == AF_INET6 && globalV6.empty()) {
        const in6_addr& a = reinterpret_cast<sockaddr_in6*>(i->ifa_addr)->sin6_addr;
        if (IN6_IS_ADDR_LINKLOCAL(&a) || IN6_IS_ADDR_LOOPBACK(&a)) continue;
        ::inet_ntop(AF_INET6, &a, text, sizeof text);
        globalV6 = std::string("[") + text + "]";
      }
    }
    ::freeifaddrs(list);
  }
  if (!privateV4.empty()) return privateV4;
  if (!otherV4.empty()) return otherV4;
  if (!globalV6.empty()) return globalV6;
  char host[HOST_NAME_MAX + 1] = {};
  if (::gethostname(host, sizeof host - 1) == 0 && host[0]) return host;
  return "localhost";
}

// One browser's connection: its socket, its gateway, and once it asks for
// the WebSocket, the line the host holds it by.
struct WebDoor::Visitor : HostSockets::Line {
  WebDoor* door = nullptr;
  std::unique_ptr<TAsyncSock> sock;
  std::unique_ptr<webgate::Gateway> gate;
  std::string address;
  std::string toHost;  // the page's lines, each with its terminator, not yet handed over
  bool wantsSeat = false, seated = false, dropped = false;

  void write(std::string_view bytes) override {
    gate->fromGame(bytes);
    door->pump(this);
  }
  size_t unsent() const override { return gate->pendingBytes() + (sock ? sock->SendQueued() : 0); }
  // The host closed the seat (a removal, a full table, its end): the page is
  // told with a normal close.
  void hangUp() override {
    gate->endGame();
    door->pump(this);
  }
};

WebDoor::WebDoor(webgate::Site site, HostSockets& host, webgate::Limits limits)
    : site_(std::move(site)), host_(host), limits_(limits) {
  listener_.OnAccept = [this](TAsyncSock*) { accept(); };
  tick_.setInterval(kTickMs);
  QObject::connect(&tick_, &QTimer::timeout, [this] {
    const int64_t now = nowMs();
    for (auto it = visitors_.begin(); it != visitors_.end();) {
      Visitor* v = (it++)->get();
      if (v->dropped) continue;
      v->gate->tick(now);
      settle(v);
    }
  });
}

WebDoor::~WebDoor() {
  *life_ = 1;
  for (auto& v : visitors_) {
    net::retire(v->sock);
    host_.lineEnded(*v);  // a departure, as of a table whose line drops
  }
}

void WebDoor::listen(const std::string& port, const std::string& address) {
  address_ = address;
  listener_.setHostName(address);
  listener_.setPortName(port);
  listener_.setListen(true);
  tick_.start();
}

std::string WebDoor::link() const { return "http://" + lanAddress(address_) + ":" + std::to_string(port()) + "/"; }

size_t WebDoor::footprint() const {
  size_t n = 0;
  for (const auto& v : visitors_)
    n += sizeof(Visitor) + v->gate->footprint() + v->toHost.capacity() + (v->sock ? v->sock->SendQueued() : 0);
  return n;
}

void WebDoor::accept() {
  TAsyncSock* ns = nullptr;
  if (!listener_.Accept(ns) || !ns) return;
  std::unique_ptr<TAsyncSock> sock(ns);
  const std::string address = peerKey(sock->Handle());
  if (visitors_.size() >= kMaxConnections || perAddress_[address] >= kPerAddress) {
    if (perAddress_[address] == 0) perAddress_.erase(address);
    net::retire(sock);  // refused: closed without a word
    return;
  }
  ++perAddress_[address];
  auto v = std::make_unique<Visitor>();
  Visitor* raw = v.get();
  v->door = this;
  v->address = address;
  v->sock = std::move(sock);
  v->gate = std::make_unique<webgate::Gateway>(site_, limits_, nowMs());
  // The seat is taken once the gateway has answered the upgrade, so that
  // the host's first line follows the answer.
  v->gate->onUpgrade = [raw](std::string_view path) {
    if (path != "/ws") return false;
    raw->wantsSeat = true;
    return true;
  };
  v->gate->onLine = [raw](std::string_view line) {
    raw->toHost.append(line);
    raw->toHost += wire::kTerminator;
  };
  v->sock->OnRead = [this, raw](TAsyncSock*, int) { read(raw); };
  v->sock->OnWrite = [this, raw](TAsyncSock*) { settle(raw); };
  v->sock->OnInfo = [this, raw](TAsyncSock* s, net::TSocketInfo kind, const std::string&) {
    if (kind == net::siError && net::broken(s->EndedBy())) drop(raw);
  };
  v->sock->OnEnd = [this, raw](TAsyncSock*, net::EndReason) { drop(raw); };
  visitors_.push_back(std::move(v));
}

void WebDoor::read(Visitor* v) {
  std::string bytes;
  try {
    bytes = v->sock->Receive();
  } catch (const net::ESockException&) {
    return drop(v);
  }
  v->gate->receive(bytes, nowMs());
  settle(v);
}

void WebDoor::settle(Visitor* v) {
  if (v->dropped) return;
  // Room again: input held back for it goes on.
  if (v->gate->holding() && v->sock->SendQueued() < kSocketBacklog) v->gate->tick(nowMs());
  if (v->wantsSeat && !v->seated) {
    v->seated = true;
    if (!host_.arrive(*v)) v->gate->endGame();  // the table is full, and the page was told
  }
  if (!v->toHost.empty()) {
    const std::string lines = std::exchange(v->toHost, std::string());
    host_.fromLine(*v, lines);
  }
  pump(v);
}

void WebDoor::pump(Visitor* v) {
  if (v->dropped) return;
  try {
    while (v->sock->SendQueued() < kSocketBacklog) {
      const std::string_view out = v->gate->pending();
      if (out.empty()) break;
      v->sock->Send(std::string(out));
      v->gate->written(out.size());
    }
  } catch (const net::ESockException&) {
    return drop(v);
  }
  if (v->gate->closing() && v->gate->pendingBytes() == 0 && v->sock->SendQueued() == 0) {
    if (!v->gate->why().empty()) say("web: " + v->address + " closed: " + v->gate->why());
    drop(v);
  }
}

void WebDoor::drop(Visitor* v) {
  if (v->dropped) return;
  v->dropped = true;
  net::retire(v->sock);
  if (--perAddress_[v->address] == 0) perAddress_.erase(v->address);
  std::weak_ptr<int> life = life_;
  // The host hears of it from the loop, as of a table whose socket ends,
  // never from inside one of its own calls of the line.
  net::post([this, life, v] {
    if (life.expired()) return;
    host_.lineEnded(*v);
    for (auto it = visitors_.begin(); it != visitors_.end(); ++it)
      if (it->get() == v) {
        visitors_.erase(it);
        return;
      }
  });
}

}  // namespace ombrix::web
