// The address words a player or a lobby gives the game: a host name or an
// IPv4 address, an IPv6 address in brackets, each with an optional ":PORT";
// an IPv6 address may also stand bare, without a port.
//
//   ombrix.example.org   10.0.0.5:7800   [fe80::1]:7772   ::1
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace ombrix::tables {

// Where a table listens unless it says otherwise.
inline constexpr int kGamePort = 7772;
// Longest host name DNS allows.
inline constexpr size_t kMaxHostBytes = 253;

struct Endpoint {
  std::string host;  // without brackets
  int port = 0;
  bool operator==(const Endpoint&) const = default;
};

// Nothing when the words name no address: an empty host, characters no
// host name or address has, a port that is not 1 to 65535.
std::optional<Endpoint> parseAddress(std::string_view text, int defaultPort = kGamePort);

// The words back: the port only when it is not `defaultPort` (0: always),
// an IPv6 address in brackets when a port follows.
std::string joinAddress(const Endpoint& endpoint, int defaultPort = kGamePort);

}  // namespace ombrix::tables
