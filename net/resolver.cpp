#include "net/resolver.h"

#include <arpa/inet.h>

#include <QCoreApplication>
#include <QMetaObject>
#include <atomic>
#include <cstring>
#include <thread>

namespace ombrix::net {

namespace {
std::atomic<ResolveFunction> g_resolve{nullptr};
}  // namespace

void setResolveFunction(ResolveFunction f) { g_resolve = f; }

std::optional<in_addr> dottedDecimal(std::string_view text) {
  uint32_t address = 0;
  int parts = 0;
  size_t i = 0;
  while (parts < 4) {
    int value = 0, digits = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9' && digits < 4; ++i, ++digits)
      value = value * 10 + (text[i] - '0');
    if (digits == 0 || digits > 3 || value > 255) return std::nullopt;
    address = address << 8 | static_cast<uint32_t>(value);
    if (++parts < 4) {
      if (i >= text.size() || text[i] != '.') return std::nullopt;
      ++i;
    }
  }
  if (i != text.size()) return std::nullopt;
  in_addr a{};
  a.s_addr = htonl(address);
  return a;
}

std::vector<sockaddr_storage> resolveNow(const std::string& name, int family) {
  std::vector<sockaddr_storage> out;
  if (const auto a = dottedDecimal(name)) {
    if (family != AF_INET6) {
      sockaddr_storage s{};
      auto& a4 = reinterpret_cast<sockaddr_in&>(s);
      a4.sin_family = AF_INET;
      a4.sin_addr = *a;
      out.push_back(s);
    }
    return out;
  }
  // The resolver reads "127.1" or "0x7f000001" as numbers before it asks
  // anyone; as a name such a text names nothing.
  if (in_addr numeric{}; ::inet_aton(name.c_str(), &numeric)) return out;
  addrinfo hints{}, *res = nullptr;
  hints.ai_family = family;
  hints.ai_socktype = SOCK_STREAM;
  const ResolveFunction resolve = g_resolve.load();
  if ((resolve ? resolve : ::getaddrinfo)(name.c_str(), nullptr, &hints, &res) != 0 || !res) return out;
  for (const addrinfo* r = res; r; r = r->ai_next) {
    if (r->ai_family != AF_INET && r->ai_family != AF_INET6) continue;
    if (r->ai_addrlen > sizeof(sockaddr_storage)) continue;
    sockaddr_storage a{};
    std::memcpy(&a, r->ai_addr, r->ai_addrlen);
    if (a.ss_family == AF_INET6)
      reinterpret_cast<sockaddr_in6&>(a).sin6_port = 0;
    else
      reinterpret_cast<sockaddr_in&>(a).sin_port = 0;
    out.push_back(a);
  }
  ::freeaddrinfo(res);
  return out;
}

void resolveLater(const std::string& name, int family, std::function<void(std::vector<sockaddr_storage>)> done) {
  std::thread([name, family, done = std::move(done)]() mutable {
    std::vector<sockaddr_storage> found = resolveNow(name, family);
    // Queued to the loop's thread; an application already gone takes nothing.
    if (QCoreApplication* app = QCoreApplication::instance())
      QMetaObject::invokeMethod(
          app, [done = std::move(done), found = std::move(found)]() mutable { done(std::move(found)); },
          Qt::QueuedConnection);
  }).detach();
}

}  // namespace ombrix::net
