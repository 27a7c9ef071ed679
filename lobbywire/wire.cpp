#include "lobbywire/wire.h"

#include <nlohmann/json.hpp>

#include "base/random.h"
#include "tables/cleantext.h"

namespace ombrix::lobbywire {

using nlohmann::json;

// --- Codes ------------------------------------------------------------------------

std::string makeCode() {
  std::string code = "+";
  // Rejection sampling keeps every character equally likely: 248 = 8 * 31.
  unsigned char pool[32];
  size_t used = sizeof pool;
  while (code.size() < 1 + kCodeLength) {
    if (used == sizeof pool) {
      secureRandom(pool, sizeof pool);
      used = 0;
    }
    const unsigned char b = pool[used++];
    if (b < 248) code.push_back(kCodeAlphabet[b % kCodeAlphabet.size()]);
  }
  return code;
}

std::optional<std::string> readCode(std::string_view typed) {
  while (!typed.empty() && (typed.front() == ' ' || typed.front() == '\t')) typed.remove_prefix(1);
  while (!typed.empty() && (typed.back() == ' ' || typed.back() == '\t' || typed.back() == '\n' || typed.back() == '\r'))
    typed.remove_suffix(1);
  if (!typed.empty() && typed.front() == '+') typed.remove_prefix(1);
  if (typed.size() != kCodeLength) return std::nullopt;
  std::string code = "+";
  for (char c : typed) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (kCodeAlphabet.find(c) == std::string_view::npos) return std::nullopt;
    code.push_back(c);
  }
  return code;
}

std::string makeTicket() { return randomHex(16); }

// --- Cleaning ----------------------------------------------------------------------

// The lobby's own cleaning, so what the server shows and logs is what every
// lobby would show.
std::string cleanName(std::string_view raw) { return tables::cleanText(raw, kMaxNameBytes); }

std::string cleanVersion(std::string_view raw) {
  std::string out;
  for (char c : raw) {
    if (out.size() == kMaxVersionBytes) break;
    if (c > ' ' && c < 0x7F) out.push_back(c);
  }
  return out;
}

// --- Addresses ----------------------------------------------------------------------

std::optional<HostPort> readDirect(std::string_view text) {
  auto hp = tables::parseAddress(text, 0);
  if (!hp || hp->port == 0) return std::nullopt;
  return hp;
}

std::string joinHostPort(std::string_view host, int port) {
  return tables::joinAddress({std::string(host), port}, 0);
}

// --- Parsing --------------------------------------------------------------------------

namespace {

struct OpName {
  std::string_view name;
  Op op;
};
constexpr OpName kOps[] = {
    {"register", Op::Register}, {"state", Op::State},       {"list", Op::List},
    {"lookup", Op::Lookup},     {"connect", Op::Connect},   {"relay", Op::Relay},
    {"stun", Op::Stun},         {"registered", Op::Registered}, {"direct", Op::Direct},
    {"table", Op::Table},       {"end", Op::End},           {"error", Op::Error},
    {"spliced", Op::Spliced},
};

std::string_view opName(Op op) {
  for (const auto& o : kOps)
    if (o.op == op) return o.name;
  return "";
}

// A field that, when present, must have the right type and lie in range.
bool intField(const json& j, const char* key, int lo, int hi, int& out) {
  auto it = j.find(key);
  if (it == j.end()) return true;
  if (!it->is_number_integer()) return false;
  const auto v = it->get<int64_t>();
  if (v < lo || v > hi) return false;
  out = static_cast<int>(v);
  return true;
}

bool stringField(const json& j, const char* key, std::string& out, size_t most) {
  auto it = j.find(key);
  if (it == j.end()) return true;
  if (!it->is_string()) return false;
  const auto& s = it->get_ref<const std::string&>();
  if (s.size() > most) return false;
  out = s;
  return true;
}

bool tableFields(const json& j, TableEntry& t) {
  tables::TableState& s = t.state;
  std::string name, version = s.version, state = "waiting", game = "full", rules;
  if (!stringField(j, "name", name, kMaxLine) || !stringField(j, "version", version, kMaxLine) ||
      !stringField(j, "state", state, 16) || !stringField(j, "game", game, 16) ||
      !intField(j, "port", 1, 65535, t.port) || !intField(j, "players", 0, kMaxPlayers, s.players) ||
      !intField(j, "watchers", 0, kMaxWatchers, s.watchers) || !intField(j, "round", 0, kMaxRound, s.round) ||
      !stringField(j, "rules", rules, kMaxRules))
    return false;
  // A LIST is lower-case words, "=" and ","; anything else is no house rule a lobby shows.
  for (char c : rules)
    if (!((c >= 'a' && c <= 'z') || c == '=' || c == ',')) return false;
  s.rules = rules == "design" ? std::string() : rules;
  if (state != "waiting" && state != "playing") return false;
  if (game != "full" && game != "half") return false;
  t.name = cleanName(name);
  s.version = cleanVersion(version);
  s.stage = state == "playing" ? tables::Stage::Playing : tables::Stage::Waiting;
  // The kind of game is told only while one is played.
  s.length = s.stage == tables::Stage::Waiting ? tables::Length::None
             : game == "half"                   ? tables::Length::Half
                                                : tables::Length::Full;
  if (s.stage == tables::Stage::Waiting) s.round = 0;
  return true;
}

}  // namespace

std::optional<Message> parseLine(std::string_view line, bool first) {
  if (line.size() > kMaxLine) return std::nullopt;
  json j = json::parse(line.begin(), line.end(), nullptr, /*allow_exceptions=*/false);
  if (!j.is_object()) return std::nullopt;
  Message m;
  auto op = j.find("op");
  if (op == j.end() || !op->is_string()) return std::nullopt;
  for (const auto& o : kOps)
    if (o.name == op->get_ref<const std::string&>()) m.op = o.op;
  if (m.op == Op::Unknown) return std::nullopt;
  if (first) {
    if (!intField(j, "lobby", 1, 1000000, m.version) || m.version == 0) return std::nullopt;
  }
  if (!stringField(j, "ticket", m.ticket, 64) || !stringField(j, "secret", m.ticket, 64) ||
      !stringField(j, "error", m.error, 200) || !intField(j, "from", 0, 1 << 30, m.from) ||
      !intField(j, "count", 0, 1 << 30, m.count) || !intField(j, "next", 0, 1 << 30, m.from) ||
      !intField(j, "web", 0, 65535, m.web))
    return std::nullopt;
  if (m.op == Op::Stun && !intField(j, "port", 1, 65535, m.port)) return std::nullopt;
  if (auto c = j.find("code"); c != j.end()) {
    if (!c->is_string()) return std::nullopt;
    auto code = readCode(c->get_ref<const std::string&>());
    if (!code) return std::nullopt;
    m.code = *code;
  }
  if (auto p = j.find("private"); p != j.end()) {
    if (!p->is_boolean()) return std::nullopt;
    m.isPrivate = p->get<bool>();
  }
  if (auto d = j.find("direct"); d != j.end()) {
    if (!d->is_array() || d->size() > 4) return std::nullopt;
    for (const auto& a : *d) {
      if (!a.is_string() || !readDirect(a.get_ref<const std::string&>())) return std::nullopt;
      m.direct.push_back(a.get<std::string>());
    }
  }
  if ((m.op == Op::Register || m.op == Op::State || m.op == Op::Table) && !tableFields(j, m.table))
    return std::nullopt;
  return m;
}

// --- Building ---------------------------------------------------------------------------

namespace {

std::string finish(const json& j) {
  // Cleaned text is valid UTF-8 already; replace rather than throw all the same.
  return j.dump(-1, ' ', false, json::error_handler_t::replace) + "\n";
}

json first(Op op) { return json{{"lobby", kProtocolVersion}, {"op", opName(op)}}; }
json plain(Op op) { return json{{"op", opName(op)}}; }

void putTable(json& j, const TableEntry& t) {
  const tables::TableState& s = t.state;
  const bool playing = s.stage == tables::Stage::Playing;
  j["name"] = t.name;
  j["version"] = s.version;
  j["port"] = t.port;
  j["players"] = s.players;
  j["watchers"] = s.watchers;
  j["state"] = playing ? "playing" : "waiting";
  j["round"] = playing ? s.round : 0;
  // A game of unknown kind was a full one to this protocol's first readers.
  if (playing) j["game"] = s.length == tables::Length::Half ? "half" : "full";
  if (!s.rules.empty()) j["rules"] = s.rules;
}

}  // namespace

std::string registerLine(const TableEntry& t, bool isPrivate) {
  json j = first(Op::Register);
  putTable(j, t);
  j["private"] = isPrivate;
  return finish(j);
}

std::string stateLine(const TableEntry& t) {
  json j = plain(Op::State);
  putTable(j, t);
  j.erase("name");
  j.erase("port");
  j.erase("version");
  return finish(j);
}

std::string listLine(int from) {
  json j = first(Op::List);
  if (from) j["from"] = from;
  return finish(j);
}

std::string lookupLine(std::string_view code) {
  json j = first(Op::Lookup);
  j["code"] = code;
  return finish(j);
}

std::string connectLine(std::string_view code) {
  json j = first(Op::Connect);
  j["code"] = code;
  return finish(j);
}

std::string relayLine(std::string_view ticket) {
  json j = first(Op::Relay);
  j["ticket"] = ticket;
  return finish(j);
}

std::string stunLine(std::string_view code, std::string_view secret, int port) {
  json j = first(Op::Stun);
  j["code"] = code;
  j["secret"] = secret;
  if (port) j["port"] = port;
  return finish(j);
}

std::string registeredLine(std::string_view code, std::string_view secret, int web) {
  json j = plain(Op::Registered);
  j["code"] = code;
  j["secret"] = secret;
  if (web > 0) j["web"] = web;
  return finish(j);
}

std::string directLine(const std::vector<std::string>& addresses) {
  json j = plain(Op::Direct);
  j["direct"] = addresses;
  return finish(j);
}

std::string relayRequestLine(std::string_view ticket) {
  json j = plain(Op::Relay);
  j["ticket"] = ticket;
  return finish(j);
}

std::string tableLine(const TableEntry& t, std::string_view code, const std::vector<std::string>& direct) {
  json j = plain(Op::Table);
  putTable(j, t);
  j["code"] = code;
  if (!direct.empty()) j["direct"] = direct;
  return finish(j);
}

std::string endLine(int count, int next) {
  json j = plain(Op::End);
  j["count"] = count;
  if (next) j["next"] = next;
  return finish(j);
}

std::string errorLine(std::string_view error) {
  json j = plain(Op::Error);
  j["error"] = error;
  return finish(j);
}

std::string splicedLine() { return finish(plain(Op::Spliced)); }

}  // namespace ombrix::lobbywire
