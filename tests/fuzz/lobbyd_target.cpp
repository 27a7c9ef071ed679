#include "tests/fuzz/lobbyd_target.h"

#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "lobbyd/core.h"
#include "tests/fuzz/fuzz_input.h"

namespace ombrix::fuzz {

using namespace ombrix::lobbywire;
using namespace ombrix::lobbyd;

namespace {

[[noreturn]] void broken(const std::string& what) {
  std::fprintf(stderr, "lobby fuzzer: %s\n", what.c_str());
  std::abort();
}

constexpr int kConns = 24;
// Two in one IPv6 /64, a third in its /56, one IPv4 address mapped into IPv6.
const char* const kAddresses[] = {"198.51.100.7", "203.0.113.9", "2001:db8:5:5::1", "2001:db8:5:5::2",
                                  "::ffff:198.51.100.7", "2001:db8:5:6::1"};

// The transport, reduced to what the checks need: what was asked of it.
struct Transport : CoreOutput {
  std::set<ConnId> toClose;
  std::vector<ProbeId> probes;
  std::vector<std::pair<ConnId, ConnId>> splices;
  std::vector<std::string> codes, tickets, secrets;
  ConnId answering = 0;  // the connection whose line is being handled
  size_t asked = 0;      // and that line's size
  size_t sentNow = 0;    // bytes sent to it while handling it

  void send(ConnId id, std::string_view bytes) override {
    // The largest answer: a page of a listing and its end line.
    const size_t most = 100 * kMaxLine + 64;
    if (bytes.size() > most) broken("an answer over its bound");
    if (id == answering) {
      sentNow += bytes.size();
      if (bytes.find("\"op\":\"error\"") != std::string_view::npos && sentNow > asked)
        broken("an error larger than the line it answers");
    }
    size_t start = 0;
    for (size_t nl; (nl = bytes.find('\n', start)) != std::string_view::npos; start = nl + 1) {
      const std::string_view line = bytes.substr(start, nl - start);
      if (line.size() > kMaxLine) broken("a line over kMaxLine");
      auto m = parseLine(line, false);
      if (!m) broken("a line the protocol does not read: " + std::string(line));
      if (m->op == Op::Registered) {
        codes.push_back(m->code);
        secrets.push_back(m->ticket);
      }
      if (m->op == Op::Relay) tickets.push_back(m->ticket);
    }
    if (start != bytes.size()) broken("an answer not ending its line");
  }
  void close(ConnId id) override { toClose.insert(id); }
  void probe(ProbeId probe, const std::string&, int port) override {
    if (port < 1 || port > 65535) broken("a probe of no port");
    probes.push_back(probe);
  }
  void splice(ConnId a, ConnId b, std::shared_ptr<RelayBudget> budget) override {
    if (a == b || !budget) broken("a splice of one connection");
    splices.emplace_back(a, b);
  }
};

std::string pick(Input& in, const std::vector<std::string>& known, size_t randomLength) {
  if (!known.empty() && in.byte() % 4 != 0) return known[in.byte() % known.size()];
  return in.bytes(randomLength);
}

std::string jsonText(const std::string& raw) {
  // Raw bytes as a JSON string: quotes and backslashes escaped, the rest as
  // they come (invalid UTF-8 included, which the parser must refuse).
  std::string s = "\"";
  for (char c : raw) {
    if (c == '"' || c == '\\') s.push_back('\\');
    if (c == '\n') {
      s += "\\n";
      continue;
    }
    s.push_back(c);
  }
  return s + "\"";
}

std::string line(Input& in, Transport& t) {
  const std::string lobby = in.byte() % 8 ? R"("lobby":1,)" : R"("lobby":)" + std::to_string(in.byte()) + ",";
  switch (in.byte() % 9) {
    case 0: {
      TableEntry s;
      s.name = in.bytes(in.byte() % 80);
      s.state.players = in.byte() % 5;
      s.state.watchers = in.byte() % 6;
      s.state.stage = in.byte() % 2 ? tables::Stage::Playing : tables::Stage::Waiting;
      s.state.round = in.byte() % 21;
      s.port = 1 + in.byte() * 251 % 65535;
      std::string l = registerLine(s, in.byte() % 2);
      l.pop_back();
      return l;
    }
    case 1:
      return R"({"op":"state","players":)" + std::to_string(in.byte() % 7) + R"(,"watchers":)" +
             std::to_string(in.byte() % 7) + R"(,"state":")" + (in.byte() % 2 ? "playing" : "waiting") +
             R"(","round":)" + std::to_string(in.byte() % 22) + "}";
    case 2:
      return "{" + lobby + R"("op":"list","from":)" + std::to_string(in.byte() * 7) + "}";
    case 3:
      return "{" + lobby + R"("op":"lookup","code":)" + jsonText(pick(in, t.codes, 9)) + "}";
    case 4:
      return "{" + lobby + R"("op":"connect","code":)" + jsonText(pick(in, t.codes, 9)) + "}";
    case 5:
      return "{" + lobby + R"("op":"relay","ticket":)" + jsonText(pick(in, t.tickets, 32)) + "}";
    case 6:
      return "{" + lobby + R"("op":"stun","code":)" + jsonText(pick(in, t.codes, 9)) +
             R"(,"secret":)" + jsonText(pick(in, t.secrets, 32)) + "}";
    case 7:
      return R"({"op":"list"})";
    default:
      return in.bytes(in.byte() % 64);
  }
}

}  // namespace

int driveLobby(const uint8_t* data, size_t size) {
  Input in(data, size);
  Transport t;
  Limits limits;
  limits.address.connections = 6;  // small, so the fuzzer reaches every bound
  limits.address.tables = 3;
  limits.net56.connections = 8;
  limits.net48.tables = 4;
  limits.address.connectBurst = 12;
  limits.relaysPerTable = 3;
  limits.relaysPerJoiner = 2;
  limits.listPage = 4;
  limits.probes = 3;
  limits.probesPerAddress = 2;
  limits.statesBurst = 3;
  limits.statesFlood = 4;
  limits.crowdedAt = 16;
  limits.crowdedPerAddress = 3;
  LobbyCore core(t, limits);
  std::map<int, ConnId> open;  // slot -> connection
  std::set<ConnId> refused;
  ConnId next = 1;
  int64_t now = 1000;
  std::string why;
  while (in.more()) {
    const int slot = in.byte() % kConns;
    switch (in.byte() % 8) {
      case 0:
        if (!open.count(slot)) {
          const ConnId id = next++;
          if (core.opened(id, Peer::of(kAddresses[in.byte() % 6]), now)) open[slot] = id;
        }
        break;
      case 1:
      case 2:
        if (open.count(slot)) {
          const std::string l = line(in, t);
          t.answering = open[slot];
          t.asked = l.size() + 1;
          t.sentNow = 0;
          core.line(open[slot], l, now);
          t.answering = 0;
        }
        break;
      case 3:
        if (open.count(slot)) {
          core.closed(open[slot], now);
          open.erase(slot);
        }
        break;
      case 4:
        now += in.byte() * 250;
        core.tick(now);
        break;
      case 5:
        if (!t.probes.empty()) {
          const ProbeId p = t.probes.back();
          t.probes.pop_back();
          core.probed(p, in.byte() % 2);
        }
        break;
      case 6:
        // The transport closes what it was asked to.
        for (auto it = open.begin(); it != open.end();) {
          if (t.toClose.count(it->second)) {
            core.closed(it->second, now);
            it = open.erase(it);
          } else {
            ++it;
          }
        }
        t.toClose.clear();
        break;
      default:
        // A relay ends: both its legs go.
        if (!t.splices.empty()) {
          const auto [a, b] = t.splices.back();
          t.splices.pop_back();
          for (auto it = open.begin(); it != open.end();) {
            if (it->second == a || it->second == b) {
              core.closed(it->second, now);
              it = open.erase(it);
            } else {
              ++it;
            }
          }
        }
        break;
    }
    if (!core.consistent(&why)) broken(why);
    if (core.connections() != open.size()) broken("connections the core holds that the transport does not");
    if (t.codes.size() > 4096) t.codes.erase(t.codes.begin(), t.codes.begin() + 2048);
  }
  for (const auto& [slot, id] : open) core.closed(id, now);
  if (!core.consistent(&why)) broken(why);
  if (core.tables() != 0 || core.connections() != 0) broken("something outlived its connection");
  return 0;
}

}  // namespace ombrix::fuzz
