// Host names and addresses: which texts are addresses, and name look-ups
// made on a thread of their own so that the event loop never waits for a
// name server (which can take many seconds when none answers).
#pragma once

#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ombrix::net {

// A whole dotted-decimal IPv4 address: four decimal numbers 0 to 255, each
// of one to three digits, read as decimal ("010.0.0.1" is 10.0.0.1, never
// octal). Anything else ("4players.example", "127.1", "0x7f.0.0.1") is not.
std::optional<in_addr> dottedDecimal(std::string_view text);

// Every address of `name` (`family` AF_INET, AF_INET6 or AF_UNSPEC for
// both), ports 0, in the resolver's order; empty when it has none. Blocks
// for as long as the resolver takes. A text the system would read as a
// number but that is not a whole dotted-decimal address has none: a host
// name is never all digits and dots.
std::vector<sockaddr_storage> resolveNow(const std::string& name, int family = AF_UNSPEC);

// resolveNow on a thread of its own; `done` runs on the event loop's thread
// with the answer. The caller checks there that what asked is still alive.
void resolveLater(const std::string& name, int family,
                  std::function<void(std::vector<sockaddr_storage>)> done);

// The system's resolver (getaddrinfo), replaceable by a test; called on the
// look-up's thread. nullptr puts the system's back.
using ResolveFunction = int (*)(const char* name, const char* service, const addrinfo* hints, addrinfo** res);
void setResolveFunction(ResolveFunction f);

}  // namespace ombrix::net
