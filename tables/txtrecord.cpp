#include "tables/txtrecord.h"

#include <algorithm>
#include <array>

namespace ombrix::tables {

namespace {

bool sameKey(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

// A small decimal number: digits only, no sign, no spaces, at most three.
std::optional<int> number(std::string_view v) {
  if (v.empty() || v.size() > 3) return std::nullopt;
  int n = 0;
  for (char c : v) {
    if (c < '0' || c > '9') return std::nullopt;
    n = n * 10 + (c - '0');
  }
  return n;
}

bool isVersion(std::string_view v) {
  if (v.empty() || v.size() > kMaxVersionBytes) return false;
  for (char c : v) {
    const bool ok = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '.' ||
                    c == '-' || c == '+' || c == '~';
    if (!ok) return false;
  }
  return true;
}

std::optional<TableState> fail(std::string* why, const char* reason) {
  if (why) *why = reason;
  return std::nullopt;
}

}  // namespace

std::vector<std::string> txtRecord(const TableState& state) {
  std::vector<std::string> out = {
      "v=" + state.version,
      "players=" + std::to_string(state.players),
      "watchers=" + std::to_string(state.watchers),
      std::string("state=") + (state.stage == Stage::Playing ? "playing" : "waiting"),
      "round=" + std::to_string(state.stage == Stage::Playing ? state.round : 0),
  };
  if (state.stage == Stage::Playing && state.length != Length::None)
    out.push_back(std::string("game=") + (state.length == Length::Half ? "half" : "full"));
  // Only a variant says so: the record of a table of the design's rules is as it was.
  if (!state.rules.empty() && state.rules != "design") out.push_back("rules=" + state.rules);
  return out;
}

std::vector<std::string_view> txtStrings(std::string_view rdata) {
  std::vector<std::string_view> out;
  size_t at = 0;
  while (at < rdata.size() && out.size() < kMaxTxtStrings) {
    const size_t length = static_cast<unsigned char>(rdata[at]);
    if (length > rdata.size() - at - 1) break;
    out.push_back(rdata.substr(at + 1, length));
    at += 1 + length;
  }
  return out;
}

std::optional<TableState> readTxt(const std::vector<std::string_view>& strings, std::string* why) {
  constexpr std::array<std::string_view, 7> kKeys = {"v", "players", "watchers", "state", "round", "game", "rules"};
  std::array<std::optional<std::string_view>, kKeys.size()> value;
  const size_t n = strings.size() < kMaxTxtStrings ? strings.size() : kMaxTxtStrings;
  for (size_t i = 0; i < n; ++i) {
    const std::string_view s = strings[i];
    if (s.size() > kMaxTxtString) continue;
    const size_t eq = s.find('=');
    if (eq == std::string_view::npos || eq == 0) continue;  // a flag, or no key
    for (size_t k = 0; k < kKeys.size(); ++k)
      if (!value[k] && sameKey(s.substr(0, eq), kKeys[k])) value[k] = s.substr(eq + 1);
  }
  const auto& [v, players, watchers, stage, round, game, houseRules] = value;

  TableState t;
  if (!v || !isVersion(*v)) return fail(why, "no version");
  t.version.assign(*v);
  const auto p = players ? number(*players) : std::nullopt;
  if (!p || *p > kSeats) return fail(why, "players out of range");
  t.players = *p;
  const auto w = watchers ? number(*watchers) : std::nullopt;
  if (!w || *w > kWatchers) return fail(why, "watchers out of range");
  t.watchers = *w;
  if (!stage || (*stage != "waiting" && *stage != "playing")) return fail(why, "no state");
  t.stage = *stage == "playing" ? Stage::Playing : Stage::Waiting;
  // House rules are shown as told, if they read as a LIST: lower-case words, "=" and ",".
  if (houseRules && houseRules->size() <= kMaxRulesText &&
      std::all_of(houseRules->begin(), houseRules->end(),
                  [](char c) { return (c >= 'a' && c <= 'z') || c == '=' || c == ','; }))
    t.rules.assign(*houseRules);
  if (t.stage == Stage::Waiting) return t;  // round and game mean nothing yet

  if (game && *game == "full") t.length = Length::Full;
  else if (game && *game == "half") t.length = Length::Half;
  else if (game) return fail(why, "unknown game");
  const auto r = round ? number(*round) : std::nullopt;
  if (!r || *r < 1 || *r > roundsOf(t.length)) return fail(why, "round out of range");
  t.round = *r;
  return t;
}

}  // namespace ombrix::tables
