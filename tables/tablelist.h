// The tables a lobby knows of, from every source (the local network now,
// a lobby server later): bounded, one entry per table of a source, kept in
// the order the lobby shows them.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "tables/tablestate.h"

namespace ombrix::tables {

// A table's name is at most one DNS label long.
inline constexpr size_t kMaxNameBytes = 63;

struct ListedTable {
  std::string source;  // "lan", or "server" (a lobby server's)
  std::string key;     // names the table within its source (not shown)
  std::string code;    // a lobby server's table: its invite code, joined by
  std::string name;    // cleaned (cleantext.h)
  std::string host;    // where to join: an address or a host name
  int port = 0;
  TableState state;

  bool operator==(const ListedTable&) const = default;
};

// Waiting tables first (a seat is to be had), then by name, address, port.
bool listedBefore(const ListedTable& a, const ListedTable& b);

class TableList {
 public:
  // A few hundred from each source: every table a person could read
  // through, and a flood of announcements costs the lobby a bounded
  // amount. Each source is bounded on its own, so a flood on the local
  // network cannot hide a lobby server's tables, nor the other way round.
  static constexpr size_t kMaxTables = 200;

  enum class Change { Added, Updated, Unchanged, Refused };
  // Adds or replaces the table with the same source and key; Refused when
  // it is new and its source has kMaxTables already.
  Change put(ListedTable table);
  size_t countOf(std::string_view source) const;
  bool remove(std::string_view source, std::string_view key);
  // Every table of that source (it went away).
  size_t removeSource(std::string_view source);

  const std::vector<ListedTable>& tables() const { return tables_; }
  int indexOf(std::string_view source, std::string_view key) const;
  size_t size() const { return tables_.size(); }

 private:
  std::vector<ListedTable> tables_;  // always in listedBefore order
};

// Where tables come from. A source reports through the three callbacks on
// the thread that runs it; a model subscribes by setting them.
class TableSource {
 public:
  virtual ~TableSource() = default;
  virtual std::string_view id() const = 0;

  std::function<void(const ListedTable&)> onSeen;  // new or changed
  std::function<void(const std::string& key)> onGone;
  // Whether the source can list tables now, and if not, why, in words for a person.
  std::function<void(bool available, const std::string& why)> onAvailability;
};

// One table as a line of text: the name, host:port (a lobby server's table:
// its code), players x/4, watchers y/5, "waiting" or the round, the
// version, separated by tabs.
std::string plainLine(const ListedTable& t);
// One table as one JSON object on a line: name, host, port, players,
// watchers, state, round, version, a table of house rules' rules, source, and
// a lobby server's table's code.
std::string jsonLine(const ListedTable& t);

}  // namespace ombrix::tables
