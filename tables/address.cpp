#include "tables/address.h"

namespace ombrix::tables {

namespace {

constexpr int kMaxPort = 65535;

std::string_view trimmed(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

std::optional<int> port(std::string_view s) {
  if (s.empty() || s.size() > 5) return std::nullopt;
  int n = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return std::nullopt;
    n = n * 10 + (c - '0');
  }
  if (n < 1 || n > kMaxPort) return std::nullopt;
  return n;
}

bool isHostName(std::string_view s) {
  if (s.empty() || s.size() > kMaxHostBytes || s.front() == '-' || s.front() == '.') return false;
  for (char c : s) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                    c == '.' || c == '_';
    if (!ok) return false;
  }
  return true;
}

// Hexadecimal groups, colons, a dotted IPv4 tail, and a zone after "%".
bool isIPv6(std::string_view s) {
  if (s.size() < 2 || s.size() > 64 || s.find(':') == std::string_view::npos) return false;
  const size_t zone = s.find('%');
  const std::string_view address = s.substr(0, zone);
  for (char c : address) {
    const bool ok = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') || c == ':' || c == '.';
    if (!ok) return false;
  }
  return zone == std::string_view::npos || isHostName(s.substr(zone + 1));
}

}  // namespace

std::optional<Endpoint> parseAddress(std::string_view text, int defaultPort) {
  text = trimmed(text);
  if (text.starts_with('[')) {
    const size_t close = text.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    const std::string_view host = text.substr(1, close - 1), rest = text.substr(close + 1);
    if (!isIPv6(host)) return std::nullopt;
    if (rest.empty()) return Endpoint{std::string(host), defaultPort};
    if (!rest.starts_with(':')) return std::nullopt;
    const auto p = port(rest.substr(1));
    if (!p) return std::nullopt;
    return Endpoint{std::string(host), *p};
  }
  const size_t colon = text.find(':');
  if (colon == std::string_view::npos) {
    if (!isHostName(text)) return std::nullopt;
    return Endpoint{std::string(text), defaultPort};
  }
  if (text.find(':', colon + 1) != std::string_view::npos) {  // a bare IPv6 address
    if (!isIPv6(text)) return std::nullopt;
    return Endpoint{std::string(text), defaultPort};
  }
  const std::string_view host = text.substr(0, colon);
  const auto p = port(text.substr(colon + 1));
  if (!p || !isHostName(host)) return std::nullopt;
  return Endpoint{std::string(host), *p};
}

std::string joinAddress(const Endpoint& endpoint, int defaultPort) {
  const bool v6 = endpoint.host.find(':') != std::string::npos;
  if (endpoint.port == defaultPort && defaultPort != 0) return endpoint.host;
  return (v6 ? "[" + endpoint.host + "]" : endpoint.host) + ":" + std::to_string(endpoint.port);
}

}  // namespace ombrix::tables
