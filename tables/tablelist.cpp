#include "tables/tablelist.h"

#include <algorithm>
#include <tuple>

#include "tables/address.h"

namespace ombrix::tables {

namespace {

std::string folded(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

void jsonString(std::string& out, std::string_view s) {
  static const char* const kHex = "0123456789abcdef";
  out += '"';
  for (char ch : s) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += ch;
    } else if (c < 0x20 || c == 0x7F) {
      out += "\\u00";
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += ch;
    }
  }
  out += '"';
}

}  // namespace

bool listedBefore(const ListedTable& a, const ListedTable& b) {
  const bool aw = a.state.stage == Stage::Waiting, bw = b.state.stage == Stage::Waiting;
  if (aw != bw) return aw;
  const std::string an = folded(a.name), bn = folded(b.name);
  return std::tie(an, a.name, a.host, a.port, a.source, a.key) < std::tie(bn, b.name, b.host, b.port, b.source, b.key);
}

int TableList::indexOf(std::string_view source, std::string_view key) const {
  for (size_t i = 0; i < tables_.size(); ++i)
    if (tables_[i].source == source && tables_[i].key == key) return static_cast<int>(i);
  return -1;
}

TableList::Change TableList::put(ListedTable table) {
  const int at = indexOf(table.source, table.key);
  Change change = Change::Added;
  if (at >= 0) {
    if (tables_[at] == table) return Change::Unchanged;
    tables_.erase(tables_.begin() + at);
    change = Change::Updated;
  } else if (countOf(table.source) >= kMaxTables) {
    return Change::Refused;
  }
  const auto pos = std::upper_bound(tables_.begin(), tables_.end(), table, listedBefore);
  tables_.insert(pos, std::move(table));
  return change;
}

size_t TableList::countOf(std::string_view source) const {
  return static_cast<size_t>(
      std::count_if(tables_.begin(), tables_.end(), [&](const ListedTable& t) { return t.source == source; }));
}

bool TableList::remove(std::string_view source, std::string_view key) {
  const int at = indexOf(source, key);
  if (at < 0) return false;
  tables_.erase(tables_.begin() + at);
  return true;
}

size_t TableList::removeSource(std::string_view source) {
  return std::erase_if(tables_, [&](const ListedTable& t) { return t.source == source; });
}

std::string plainLine(const ListedTable& t) {
  return t.name + '\t' + (t.code.empty() ? joinAddress({t.host, t.port}, 0) : t.code) + '\t' + std::to_string(t.state.players) + "/" +
         std::to_string(kSeats) + '\t' + std::to_string(t.state.watchers) + "/" + std::to_string(kWatchers) + '\t' +
         stageText(t.state) + '\t' + t.state.version;
}

std::string jsonLine(const ListedTable& t) {
  std::string out = "{\"name\":";
  jsonString(out, t.name);
  out += ",\"host\":";
  jsonString(out, t.host);
  out += ",\"port\":" + std::to_string(t.port);
  out += ",\"players\":" + std::to_string(t.state.players);
  out += ",\"watchers\":" + std::to_string(t.state.watchers);
  out += ",\"state\":";
  jsonString(out, t.state.stage == Stage::Playing ? "playing" : "waiting");
  out += ",\"round\":" + std::to_string(t.state.round);
  out += ",\"version\":";
  jsonString(out, t.state.version);
  // Only a table of house rules has them, as a script would test for them.
  if (!t.state.rules.empty() && t.state.rules != "design") {
    out += ",\"rules\":";
    jsonString(out, t.state.rules);
  }
  out += ",\"source\":";
  jsonString(out, t.source);
  if (!t.code.empty()) {
    out += ",\"code\":";
    jsonString(out, t.code);
  }
  out += '}';
  return out;
}

}  // namespace ombrix::tables
