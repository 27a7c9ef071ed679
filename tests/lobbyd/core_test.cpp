// The lobby server's core on a test clock, with the transport replaced by a
// recorder: registrations, the listing, codes, relay tickets and the bounds.
#include <gtest/gtest.h>

#include <map>

#include "lobbyd/core.h"
#include "tests/lobbyd/client.h"

namespace ombrix::lobbyd {

using namespace lobbywire;
namespace {

using lobbytest::withoutBreak;

struct Recorder : CoreOutput {
  std::map<ConnId, std::vector<std::string>> sent;
  std::set<ConnId> closedIds;
  std::vector<std::pair<ProbeId, std::string>> probes;
  std::vector<std::pair<ConnId, ConnId>> splices;
  void send(ConnId id, std::string_view b) override {
    // A listing comes as one piece of several lines.
    size_t s = 0;
    for (size_t nl; (nl = b.find('\n', s)) != std::string_view::npos; s = nl + 1)
      sent[id].emplace_back(b.substr(s, nl - s));
  }
  void close(ConnId id) override { closedIds.insert(id); }
  void probe(ProbeId p, const std::string& a, int) override { probes.emplace_back(p, a); }
  void splice(ConnId a, ConnId b, std::shared_ptr<RelayBudget>) override { splices.emplace_back(a, b); }
  Message last(ConnId id) {
    EXPECT_FALSE(sent[id].empty());
    auto m = parseLine(sent[id].empty() ? "" : sent[id].back(), false);
    EXPECT_TRUE(m) << sent[id].back();
    return m.value_or(Message{});
  }
};

class Core : public ::testing::Test {
 protected:
  Recorder out;
  LobbyCore core{out, Limits{}};
  ConnId next = 1;
  int64_t now = 1000;

  ConnId open(const std::string& address = "198.51.100.7") {
    const ConnId id = next++;
    EXPECT_TRUE(core.opened(id, Peer::of(address), now));
    return id;
  }
  // A host's registration; returns its connection and code.
  std::pair<ConnId, std::string> host(const std::string& name, bool isPrivate = false,
                                      const std::string& address = "198.51.100.7") {
    const ConnId id = open(address);
    TableEntry t;
    t.name = name;
    std::string reg = registerLine(t, isPrivate);
    reg.pop_back();
    core.line(id, reg, now);
    auto m = parseLine(out.sent[id].at(0), false);
    EXPECT_TRUE(m && m->op == Op::Registered);
    return {id, m ? m->code : ""};
  }
  // The secret the server gave the table registered on `host`.
  std::string secretOf(ConnId host) {
    auto m = parseLine(out.sent[host].at(0), false);
    return m ? m->ticket : "";
  }
  std::vector<std::string> listNames(ConnId lobby) {
    out.sent[lobby].clear();
    core.line(lobby, R"({"op":"list"})", now);
    std::vector<std::string> names;
    for (const auto& l : out.sent[lobby]) {
      auto m = parseLine(l, false);
      if (m && m->op == Op::Table) names.push_back(m->table.name);
    }
    return names;
  }
  void expectConsistent() {
    std::string why;
    EXPECT_TRUE(core.consistent(&why)) << why;
  }
};

TEST_F(Core, PublicTablesAreListedPrivateOnesFoundByCodeAndBothWithdrawnWithTheirConnection) {
  auto [ann, annCode] = host("Ann");
  auto [bob, bobCode] = host("Bob", /*isPrivate=*/true);
  EXPECT_NE(annCode, bobCode);
  EXPECT_EQ(out.probes.size(), 2u);  // each host's port is tried from the address it came from
  EXPECT_EQ(out.probes[0].second, "198.51.100.7");

  const ConnId lobby = open("203.0.113.9");
  core.line(lobby, R"({"lobby":1,"op":"lookup","code":")" + bobCode + "\"}", now);
  EXPECT_EQ(out.last(lobby).table.name, "Bob");
  EXPECT_EQ(listNames(lobby), std::vector<std::string>{"Ann"});
  // Codes are read back without regard to case, the "+" optional.
  std::string lower = bobCode.substr(1);
  for (char& ch : lower) ch = static_cast<char>(std::tolower(ch));
  core.line(lobby, R"({"op":"lookup","code":")" + lower + "\"}", now);
  EXPECT_EQ(out.last(lobby).code, bobCode);

  // A reachable host: its address is offered, and the host is told.
  core.probed(out.probes[0].first, true);
  EXPECT_EQ(out.last(ann).direct, std::vector<std::string>{"198.51.100.7:7772"});
  // House rules chosen between games are listed from the next state line.
  core.line(ann, R"({"op":"state","players":2,"watchers":1,"state":"playing","round":3,"game":"half","rules":"hook"})",
            now);
  core.line(lobby, R"({"op":"lookup","code":")" + annCode + "\"}", now);
  const Message seen = out.last(lobby);
  EXPECT_EQ(seen.table.state.rules, "hook");
  EXPECT_EQ(seen.table.state.players, 2);
  EXPECT_EQ(seen.table.state.stage, tables::Stage::Playing);
  EXPECT_EQ(seen.table.state.round, 3);
  EXPECT_EQ(seen.table.state.length, tables::Length::Half);
  EXPECT_EQ(seen.direct, std::vector<std::string>{"198.51.100.7:7772"});

  // A mapping the host's router made after it registered: shown with its
  // port, probed there from the address the table came from.
  out.probes.clear();
  const ConnId shown = open("198.51.100.7");
  core.line(shown, withoutBreak(stunLine(annCode, secretOf(ann), 40123)), now);
  ASSERT_EQ(out.probes.size(), 1u);
  core.probed(out.probes[0].first, true);
  EXPECT_EQ(out.last(ann).direct, (std::vector<std::string>{"198.51.100.7:7772", "198.51.100.7:40123"}));

  // Waiting tables come first in a listing.
  host("Cleo");
  now += 1000;
  EXPECT_EQ(listNames(lobby), (std::vector<std::string>{"Cleo", "Ann"}));

  core.closed(ann, now);
  core.closed(bob, now);
  now += 1000;
  EXPECT_EQ(listNames(lobby), std::vector<std::string>{"Cleo"});
  core.line(lobby, R"({"op":"lookup","code":")" + bobCode + "\"}", now);
  EXPECT_EQ(out.last(lobby).error, "unknown");
  expectConsistent();
}

TEST_F(Core, ARelayPairsTheJoinerWithTheHostsSecondConnectionByItsTicket) {
  auto [h, code] = host("Ann");
  const ConnId joiner = open("203.0.113.9");
  core.line(joiner, R"({"lobby":1,"op":"connect","code":")" + code + "\"}", now);
  EXPECT_TRUE(core.holding(joiner));
  const Message ask = out.last(h);
  ASSERT_EQ(ask.op, Op::Relay);
  ASSERT_EQ(ask.ticket.size(), 32u);

  const ConnId stranger = open("192.0.2.1");
  core.line(stranger, R"({"lobby":1,"op":"relay","ticket":"00000000000000000000000000000000"})", now);
  EXPECT_TRUE(out.closedIds.count(stranger));
  EXPECT_TRUE(out.splices.empty());

  const ConnId leg = open("198.51.100.7");
  core.line(leg, R"({"lobby":1,"op":"relay","ticket":")" + ask.ticket + "\"}", now);
  ASSERT_EQ(out.splices.size(), 1u);
  EXPECT_EQ(out.splices[0], std::make_pair(joiner, leg));
  EXPECT_EQ(out.last(joiner).op, Op::Spliced);
  // The ticket is spent.
  const ConnId again = open("198.51.100.7");
  core.line(again, R"({"lobby":1,"op":"relay","ticket":")" + ask.ticket + "\"}", now);
  EXPECT_TRUE(out.closedIds.count(again));
  expectConsistent();

  // A host that never answers: the joiner is told, and its place freed.
  const ConnId late = open("203.0.113.10");
  core.line(late, R"({"lobby":1,"op":"connect","code":")" + code + "\"}", now);
  now += core.limits().relayWaitMs;
  core.tick(now);
  EXPECT_EQ(out.last(late).error, "no answer");
  expectConsistent();
  // A host that goes while a joiner waits.
  const ConnId waiting = open("203.0.113.11");
  core.line(waiting, R"({"lobby":1,"op":"connect","code":")" + code + "\"}", now);
  core.closed(h, now);
  EXPECT_EQ(out.last(waiting).error, "unknown");
  expectConsistent();
}

TEST_F(Core, TheBoundsHold) {
  // Connections and tables per address (an IPv6 /64 counts as one).
  const ScopeBounds& a = core.limits().address;
  for (int i = 0; i < a.tables; ++i) host("T" + std::to_string(i), false, "2001:db8:1:1::" + std::to_string(i + 1));
  auto extra = open("2001:db8:1:1::99");
  core.line(extra, registerLine(TableEntry{}, false).substr(0, registerLine(TableEntry{}, false).size() - 1), now);
  EXPECT_EQ(out.last(extra).error, "full");
  for (int i = a.tables + 1; i < a.connections; ++i) {
    now += static_cast<int64_t>(1000 / a.connectPerSecond);  // within the rate of new connections
    open("2001:db8:1:1::5");
  }
  EXPECT_FALSE(core.opened(next++, Peer::of("2001:db8:1:1:ffff::1"), now));
  EXPECT_TRUE(core.opened(next++, Peer::of("2001:db8:1:2::1"), now));
  expectConsistent();

  // Failed look-ups: a few, then nothing is looked up at all, a real code
  // included, until the bucket refills.
  auto [h, code] = host("Real", false, "198.51.100.20");
  const ConnId guesser = open("203.0.113.50");
  core.line(guesser, R"({"lobby":1,"op":"lookup","code":"+2222222"})", now);
  for (int i = 1; i < a.failedBurst; ++i)
    core.line(guesser, R"({"op":"lookup","code":"+2222223"})", now);
  core.line(guesser, R"({"op":"lookup","code":")" + code + "\"}", now);
  EXPECT_EQ(out.last(guesser).error, "slow");
  EXPECT_TRUE(out.closedIds.count(guesser));
  // Reconnecting does not reset it; time does.
  const ConnId back = open("203.0.113.50");
  core.line(back, R"({"lobby":1,"op":"lookup","code":")" + code + "\"}", now);
  EXPECT_EQ(out.last(back).error, "slow");
  now += static_cast<int64_t>(1000 / a.failedPerSecond) + 1;
  const ConnId later = open("203.0.113.50");
  core.line(later, R"({"lobby":1,"op":"lookup","code":")" + code + "\"}", now);
  EXPECT_EQ(out.last(later).table.name, "Real");

  // Other protocol versions, broken lines and a host speaking out of turn;
  // an answer is never larger than the line it answers.
  const ConnId v2 = open("203.0.113.60");
  core.line(v2, R"({"lobby":2,"op":"list","from":0,"filter":"waiting"})", now);
  EXPECT_EQ(out.last(v2).error, "version");
  const ConnId v3 = open("203.0.113.60");
  core.line(v3, R"({"lobby":3,"op":"list"})", now);
  EXPECT_TRUE(out.sent[v3].empty());
  EXPECT_TRUE(out.closedIds.count(v3));
  const ConnId noVersion = open("203.0.113.61");
  core.line(noVersion, R"({"op":"list"})", now);
  EXPECT_TRUE(out.sent[noVersion].empty());
  EXPECT_TRUE(out.closedIds.count(noVersion));
  core.line(h, R"({"op":"list"})", now);
  EXPECT_TRUE(out.closedIds.count(h));
  core.closed(h, now);

  // A connection that never says what it is for goes.
  const ConnId silent = open("203.0.113.70");
  now += core.limits().firstLineMs;
  core.tick(now);
  EXPECT_TRUE(out.closedIds.count(silent));
  expectConsistent();
}

// Names are cleaned as every lobby cleans them, before they reach a listing
// or the log, and the log says only so much about one address.
TEST_F(Core, NamesAreCleanedAsTheLobbyDoesAndTheLogIsBoundedPerAddress) {
  std::vector<std::string> log;
  LobbyCore logged{out, Limits{}, [&](std::string_view l) { log.emplace_back(l); }};
  ConnId id = 1000;
  auto registerAs = [&](const std::string& address, const std::string& name) {
    const ConnId c = id++;
    EXPECT_TRUE(logged.opened(c, Peer::of(address), now));
    TableEntry t;
    t.name = name;
    logged.line(c, withoutBreak(registerLine(t, false)), now);
    return c;
  };
  // A right-to-left override, zero-width spaces, a word joiner and a blank
  // Hangul filler: the name reads as what it is.
  const ConnId fake = registerAs("198.51.100.1", "\u202E\u200BFREE\u2060 CHIPS\u3164\u200B\u202C");
  auto m = parseLine(out.sent[fake].at(0), false);
  ASSERT_TRUE(m && m->op == Op::Registered);
  const ConnId lobby = id++;
  logged.opened(lobby, Peer::of("203.0.113.9"), now);
  logged.line(lobby, withoutBreak(lookupLine(m->code)), now);
  EXPECT_EQ(out.last(lobby).table.name, "FREE CHIPS");
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].substr(log[0].find(": ") + 2), "FREE CHIPS");

  // One address registering and withdrawing without end: a burst of lines,
  // then a few a minute; others are logged as ever, and what was left out
  // is counted.
  const Limits& l = logged.limits();
  for (int i = 0; i < 100; ++i) {
    now += 200;  // within its rate of requests
    logged.closed(registerAs("198.51.100.2", "Churn"), now);
  }
  const auto about = [&](const std::string& what) {
    return std::count_if(log.begin(), log.end(), [&](const std::string& line) { return line.find(what) != std::string::npos; });
  };
  const double allowed = l.logBurst + 100 * 0.2 * l.logPerSecond;
  EXPECT_LE(about("Churn"), static_cast<long>(allowed) + 1);
  registerAs("198.51.100.3", "Quiet");
  EXPECT_EQ(about("Quiet"), 1);
  now += 600000;
  registerAs("198.51.100.2", "Back");
  EXPECT_NE(log.back().find("Back"), std::string::npos);
  EXPECT_NE(log.back().find(" lines about this address before, not logged)"), std::string::npos);
}

// A withdrawal costs its own table's waiting joiners, however many wait for
// other tables.
TEST_F(Core, AWithdrawalLooksOnlyAtItsOwnTablesJoiners) {
  std::vector<std::pair<ConnId, std::string>> hosts;
  for (int t = 0; t < 50; ++t) hosts.push_back(host("T" + std::to_string(t), false, "198.51.100." + std::to_string(t + 1)));
  for (int t = 0; t < 50; ++t)
    for (int j = 0; j < core.limits().relaysPerTable; ++j) {
      const ConnId joiner = open("203.0." + std::to_string(t) + "." + std::to_string(j + 1));
      core.line(joiner, withoutBreak(connectLine(hosts[t].second)), now);
      ASSERT_TRUE(core.holding(joiner));
    }
  const size_t before = core.withdrawalWork();
  core.closed(hosts[7].first, now);
  EXPECT_EQ(core.withdrawalWork() - before, static_cast<size_t>(core.limits().relaysPerTable));
  expectConsistent();
}

TEST(LobbyWire, CodesNamesAndAddresses) {
  for (int i = 0; i < 200; ++i) {
    const std::string c = makeCode();
    ASSERT_EQ(c.size(), 8u);
    ASSERT_EQ(readCode(c), c);
  }
  EXPECT_EQ(readCode(" +abc2def "), "+ABC2DEF");
  EXPECT_EQ(readCode("ABC2DEF"), "+ABC2DEF");
  EXPECT_FALSE(readCode("+ABC2DE0"));   // 0, O, 1, I, L are not in codes
  EXPECT_FALSE(readCode("+ABCIDEF"));
  EXPECT_FALSE(readCode("+ABC2DEFG"));

  EXPECT_EQ(cleanName("  Ann\r\n\tand\x01 Bob  "), "Ann and Bob");
  EXPECT_EQ(cleanName("caf\xC3\xA9 \xFF"), "caf\xC3\xA9 \xEF\xBF\xBD");
  EXPECT_EQ(cleanName("a\xE2\x80\xA8" "b"), "a b");  // a line separator
  const std::string longName = cleanName(std::string(40, 'x') + std::string(20, '\xC3') + "\xA9" + std::string(30, 'y'));
  EXPECT_LE(longName.size(), kMaxNameBytes);
  EXPECT_EQ(cleanName(std::string(70, '\xE2')).size() % 3, 0u);  // whole replacement characters only

  // Addresses are tables::parseAddress's (tested there); a direct address names its port.
  auto hp = readDirect("[2001:db8::1]:7780");
  ASSERT_TRUE(hp);
  EXPECT_EQ(hp->host, "2001:db8::1");
  EXPECT_EQ(hp->port, 7780);
  EXPECT_FALSE(readDirect("198.51.100.7"));
  EXPECT_FALSE(readDirect("[2001:db8::1]"));
  EXPECT_EQ(joinHostPort("2001:db8::1", 7772), "[2001:db8::1]:7772");

  // Numbers out of range, wrong types, and a table's fields as they come back.
  EXPECT_FALSE(parseLine(R"({"lobby":1,"op":"register","players":5})", true));
  EXPECT_FALSE(parseLine(R"({"lobby":1,"op":"register","round":"3"})", true));
  EXPECT_FALSE(parseLine(R"({"lobby":1,"op":"register","state":"sleeping"})", true));
  EXPECT_FALSE(parseLine(R"([1,2,3])", true));
  TableEntry t;
  t.name = "Ann";
  t.state.players = 4;
  t.state.watchers = 5;
  t.state.stage = tables::Stage::Playing;
  t.state.round = 20;
  t.state.length = tables::Length::Half;
  t.state.rules = "hook,scoring=penalty,rounds=downup";
  std::string reg = registerLine(t, true);
  auto m = parseLine(reg.substr(0, reg.size() - 1), true);
  ASSERT_TRUE(m);
  EXPECT_EQ(m->table, t);
  EXPECT_TRUE(m->isPrivate);
}

}  // namespace
}  // namespace ombrix::lobbyd
