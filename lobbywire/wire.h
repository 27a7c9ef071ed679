// The lobby server's protocol: lines of JSON, one object a line, each with
// an "op". The first line of every connection names the protocol version
// ("lobby": 1) and what the connection is for; docs/lobby-protocol.md tells
// the whole exchange. Everything both ends need lives here: the table's
// state and its cleaning, invite codes, and HOST[:PORT] addresses.
//
// Pure C++, no sockets: the server, its fuzzer and the game's side of the
// protocol all parse and build through these functions.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/random.h"
#include "tables/address.h"
#include "tables/tablelist.h"
#include "tables/tablestate.h"

namespace ombrix::lobbywire {

constexpr int kProtocolVersion = 1;
// The port the server listens on unless told otherwise (the game's is 7772).
constexpr int kDefaultServerPort = 7773;
// The longest line either side accepts. A register line with the longest
// name and every field is under 400 bytes; a table line of a listing with
// four direct addresses under 600.
constexpr size_t kMaxLine = 1024;
// A table's name is an instance name on the local network too.
using tables::kMaxNameBytes;
constexpr size_t kMaxVersionBytes = 16;
constexpr int kMaxPlayers = tables::kSeats, kMaxWatchers = tables::kWatchers, kMaxRound = tables::kFullRounds;

// --- Invite codes ---------------------------------------------------------------
// "+" and seven characters from 31 capitals and digits, without 0/O, 1/I/L
// that a reader mixes up: 31^7 is about 2^34.7 codes.
constexpr std::string_view kCodeAlphabet = "23456789ABCDEFGHJKMNPQRSTUVWXYZ";
constexpr int kCodeLength = 7;

using ombrix::secureRandom;
// A new random code, "+XXXXXXX".
std::string makeCode();
// A code as a person typed it ("+abc2def", " ABC2DEF "): the "+" optional,
// letters of either case, spaces around. The canonical "+XXXXXXX", or nothing.
std::optional<std::string> readCode(std::string_view typed);
// A random secret as 32 hexadecimal digits (relay tickets).
std::string makeTicket();

// --- The table -------------------------------------------------------------------
// What a table says of itself: where it is reached, and its public state as
// every lobby lists it (the fields of its DNS-SD record).
inline constexpr size_t kMaxRules = 64;  // the longest house rules' LIST
// A line that leaves the version out is from a host of this protocol's first
// version, which is the game's.
inline constexpr std::string_view kDefaultVersion = "1.0.14";
struct TableEntry {
  std::string name;
  int port = 7772;
  // Its rules are empty for the design's (a reader that does not know the
  // field skips it).
  tables::TableState state{.version = std::string(kDefaultVersion), .rules = {}};
  bool operator==(const TableEntry&) const = default;
};

// A name as shown to everyone, cleaned as every lobby cleans it
// (tables::cleanText): valid UTF-8 (bad bytes become U+FFFD), control
// characters and line breaks as spaces, no marks that turn the text's
// direction or hide themselves, runs of spaces as one, trimmed, at most
// kMaxNameBytes bytes cut at a character's edge; empty when nothing is left.
std::string cleanName(std::string_view raw);
// A version text: printable ASCII only, at most kMaxVersionBytes.
std::string cleanVersion(std::string_view raw);

// --- Addresses --------------------------------------------------------------------
// One parser for every HOST[:PORT] either end reads (tables/address.h): a
// name, a dotted IPv4 address, "[2001:db8::1]:PORT" or a bare IPv6 address.
using HostPort = tables::Endpoint;
// A "HOST:PORT" the server hands out (a table's direct address): the port
// is never left out.
std::optional<HostPort> readDirect(std::string_view text);
// The form the game's ADDRESS takes: "1.2.3.4:7772", "[2001:db8::1]:7772".
std::string joinHostPort(std::string_view host, int port);

// --- Messages ---------------------------------------------------------------------
enum class Op {
  Unknown,
  // client -> server
  Register,  // a host's first line: its table; the connection is its registration
  State,     // later lines of a registration: the table's live state
  List,      // the public tables, a page at a time
  Lookup,    // one table by its code
  Connect,   // relay me to the table with this code
  Relay,     // a host's relay leg, answering a ticket
  Stun,      // a host shows the server its address of the other family
  // server -> client
  Registered, Direct, Table, End, Error, Spliced,
};

struct Message {
  Op op = Op::Unknown;
  int version = 0;    // "lobby" on a first line; 0 elsewhere
  TableEntry table;   // Register, State, Table
  bool isPrivate = false;
  std::string code;   // Lookup, Connect, Registered, Table, Stun
  std::string ticket; // Relay (and the relay request to a host), Registered's secret, Stun
  int from = 0;       // List: the first table wanted; End: the next one
  int port = 0;       // Stun: the port to be probed at, when not the table's own (0)
  int count = 0;      // End: public tables in all
  std::vector<std::string> direct;  // Direct, Table: "HOST:PORT" addresses to try first
  std::string error;  // Error
  int web = 0;        // Registered: the server's web port (its page for the code), 0 for none
};

// One line, without its line break. Nothing when it is not a JSON object
// with a known "op", or a field is of the wrong type or out of range; a
// table's name and version come back cleaned. `first` asks for the
// connection's first line, which must carry "lobby".
std::optional<Message> parseLine(std::string_view line, bool first);

// Lines, each ending with '\n'.
std::string registerLine(const TableEntry& t, bool isPrivate);
std::string stateLine(const TableEntry& t);
std::string listLine(int from);
std::string lookupLine(std::string_view code);
std::string connectLine(std::string_view code);
std::string relayLine(std::string_view ticket);  // a host's relay leg's first line
// `port`: the port to probe at that address, when not the registered one
// (a router's mapping that came after the registration); 0 leaves it out.
std::string stunLine(std::string_view code, std::string_view secret, int port = 0);
// `web`: the port the server serves the web table on, left out when 0.
std::string registeredLine(std::string_view code, std::string_view secret, int web = 0);
std::string directLine(const std::vector<std::string>& addresses);
std::string relayRequestLine(std::string_view ticket);  // to a host: open a leg
std::string tableLine(const TableEntry& t, std::string_view code, const std::vector<std::string>& direct);
std::string endLine(int count, int next);
std::string errorLine(std::string_view error);
std::string splicedLine();

}  // namespace ombrix::lobbywire
