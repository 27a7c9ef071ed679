// What the lobby server counts its bounds by, and the bounds themselves.
//
// An address on the internet is not a person: one home shares an IPv4
// address among its machines, and owns an IPv6 /64 whole, and a /56 or a
// /48 around it; a carrier's NAT puts many homes behind one IPv4 address.
// So every bound is kept at the address (an IPv4 address, an IPv6 /64) and
// again, larger, at the blocks around it (IPv6 /56 and /48): an attacker
// with a block gets a block's worth, not one address's worth per /64. An
// IPv4 /24 holds many unrelated homes and is bounded by nothing; it only
// spreads the listing (lobbyd/listing.h).
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace ombrix::lobbyd {

// Bounds of one scope. 0: not bounded there.
struct ScopeBounds {
  int connections = 0;  // open at once
  int tables = 0;       // registered at once
  // New connections: a burst, then a rate.
  double connectBurst = 0, connectPerSecond = 0;
  // Failed look-ups (a code no table has): a burst, then a rate. Over it,
  // nothing is looked up for the scope at all, a live code included, so the
  // answer tells a guesser nothing.
  double failedBurst = 0, failedPerSecond = 0;
};

struct Limits {
  // One address (an IPv4 address, an IPv6 /64): a home behind one NAT may
  // host a few tables, each with its relay legs, and run lobbies besides.
  ScopeBounds address{100, 8, 60, 10, 10, 1.0 / 6};
  // The IPv6 blocks a home is given: several machines and /64s, one home.
  // A /48 may also be a provider's, split into /56s for its customers.
  ScopeBounds net56{200, 16, 120, 20, 40, 4.0 / 6};
  ScopeBounds net48{400, 32, 240, 40, 160, 16.0 / 6};
  size_t maxTables = 100000;
  // When the server holds this many connections, an address that already
  // holds crowdedPerAddress gets no more: what is left is kept for the
  // addresses that hold few, so many attacking addresses cannot take the
  // last of the server's connections from everyone else.
  size_t crowdedAt = 24000;
  int crowdedPerAddress = 8;
  int64_t firstLineMs = 10000;  // to say what the connection is for
  int64_t idleMs = 60000;       // a lobby between two listings (it lists every few seconds)
  int64_t relayWaitMs = 15000;  // for the host's relay leg to come
  int listPage = 100;           // tables in one answer: a page is about 17 KB
  // Requests of a lobby (list, look-up) per address: a burst, then a rate.
  double requestsBurst = 30, requestsPerSecond = 5;
  // Failed look-ups of the whole server (31^7 codes against the many
  // addresses of a botnet). It is charged only by addresses within their own
  // budget, and when it is spent only addresses that have missed often
  // (their strikes spent) are refused: a look-up from an address that
  // missed a few times at most is always answered.
  double failedGlobalBurst = 200, failedGlobalPerSecond = 20;
  double strikes = 3, strikesPerSecond = 1.0 / 600;  // a few typing errors in ten minutes
  int relaysPerTable = 10;  // nine slots, and one refused with "CMD_full+"
  // Relays of one table from one joining address: the other seats and a
  // watcher from one home. More than that is someone keeping others out.
  int relaysPerJoiner = 4;
  // Relayed bytes of one table, both ways together. A table at the host's
  // whole dispatch rate sends a relayed seat under 4 KB a second.
  double relayBytesPerSecond = 32 * 1024, relayBurstBytes = 64 * 1024;
  // A host's state lines: a table changes a few times a second at most (the
  // game reads its state twice a second). Lines over the rate are folded
  // into the last one; a host that goes on sending statesFlood more is not
  // a table's and is cut off.
  double statesBurst = 20, statesPerSecond = 5;
  int statesFlood = 100;
  // Probes of hosts' ports at once, and from one probed address; more wait
  // their turn, each address in turn, so no address keeps another's waiting.
  int probes = 256, probesPerAddress = 4;
  // A table's stuns (its host showing its other address): one a registration
  // is what a host does; a few more allow a mapping that came late.
  double stunsBurst = 3, stunsPerSecond = 1.0 / 60;
  // Log lines about one address, and about all of them: a burst, then a rate.
  double logBurst = 20, logPerSecond = 0.2;
  double logGlobalBurst = 200, logGlobalPerSecond = 20;
};

// A token bucket: `burst` at most, refilled at `rate` a second. Tokens may
// go below zero where a cost is charged as a debt.
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
  bool full(double burst, double rate, int64_t now) {
    refill(burst, rate, now);
    return tokens >= burst;
  }
};

// The scopes a bound is kept at.
enum class Scope : uint8_t { Address, Net56, Net48 };
const ScopeBounds& boundsOf(const Limits& l, Scope s);

// A client's address as the server sees it.
struct Peer {
  std::string address;  // printable: "198.51.100.7", "2001:db8::5" (a mapped IPv4 address unmapped)
  // What the limits count by: an IPv4 address, or an IPv6 address's /64,
  // which one home or one machine owns whole.
  std::string key;
  bool v6 = false;
  // The blocks around it, each naming its scope: an IPv6 address's /56 and
  // /48; none for IPv4.
  struct Block {
    Scope scope;
    std::string key;
  };
  std::array<Block, 2> blocks{};
  int blockCount = 0;
  // The block the listing spreads tables over: an IPv4 /24, an IPv6 /48.
  std::string spread;
  static Peer of(std::string_view printable);
};

}  // namespace ombrix::lobbyd
