// The lobby server against what an attacker does, over real sockets: each
// 127.x address another home, and inside the test network (testnet.h) the
// blocks of 2001:db8::/32. Deadlines run on the server's virtual clock.
#include <gtest/gtest.h>
#include <poll.h>

#include <memory>

#include "tests/lobbyd/client.h"
#include "tests/lobbyd/server_thread.h"
#include "tests/lobbyd/testnet.h"

namespace ombrix::lobbyd {

using namespace lobbywire;
namespace {

using lobbytest::Client;

struct Host {
  std::unique_ptr<Client> link;
  std::string code, secret;
};

Host registerFrom(int port, const std::string& from, const TableEntry& t, const std::string& to = "127.0.0.1") {
  Host h;
  h.link = std::make_unique<Client>(port, from, to);
  h.link->send(registerLine(t, false));
  const Message m = h.link->message();
  h.code = m.code;
  h.secret = m.ticket;
  return h;
}

// A port nothing listens on: the server's probes of the tests' tables are
// refused at once, and reach no game that happens to run here.
int closedPort() {
  static const int port = [] {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(fd);
    return ntohs(a.sin_port);
  }();
  return port;
}

TableEntry named(const std::string& name, int players = 0, int port = closedPort()) {
  TableEntry t;
  t.name = name;
  t.state.players = players;
  t.port = port;
  return t;
}

Message lookUp(int port, const std::string& from, const std::string& code, const std::string& to = "127.0.0.1") {
  Client c(port, from, to);
  c.send(lookupLine(code));
  return c.message();
}

// Which of two connections speaks first (within a few seconds): 0, 1, or -1.
int firstToSpeak(const Client& a, const Client& b) {
  pollfd p[2] = {{a.fd, POLLIN, 0}, {b.fd, POLLIN, 0}};
  if (!a.in.empty()) return 0;
  if (::poll(p, 2, 5000) <= 0) return -1;
  return p[0].revents ? 0 : 1;
}

// Whether the server ends the connection within a few seconds.
bool ends(Client& c) {
  pollfd p{c.fd, POLLIN, 0};
  for (;;) {
    if (::poll(&p, 1, 5000) <= 0) return false;
    char buf[4096];
    const ssize_t n = ::recv(c.fd, buf, sizeof buf, 0);
    if (n <= 0) return true;
  }
}

TEST(LobbyServerAttacks, GuessersAreTurnedAwayWhileAPlayersLiveCodeIsAlwaysLookedUp) {
  Limits limits;
  limits.address.connectBurst = 20;
  limits.address.connectPerSecond = 0.001;  // nothing refills while the test runs
  limits.failedGlobalBurst = 30;
  limits.failedGlobalPerSecond = 0.001;
  ServerThread server(limits);
  const int port = server.port();
  Host ann = registerFrom(port, "127.0.0.1", named("Ann's table"));
  ASSERT_EQ(ann.code.size(), 8u);

  // One address opens connections as fast as it can, each with a line that
  // is not the protocol: beyond its rate they are closed unread...
  int answered = 0;
  for (int i = 0; i < 300; ++i) {
    Client c(port, "127.0.0.66");
    c.send(R"({"lobby":1,"op":"lookup","code":"+0"})" "\n");
    answered += c.message().op == Op::Error;
  }
  EXPECT_EQ(answered, 20);
  // ...and what it sent spent its own budget, not the server's.
  EXPECT_EQ(lookUp(port, "127.0.2.1", ann.code).code, ann.code);

  // Forty addresses guessing three codes each spend the whole server's
  // budget of misses.
  for (int a = 1; a <= 40; ++a)
    for (int g = 0; g < 3; ++g) ASSERT_EQ(lookUp(port, "127.0.1." + std::to_string(a), "+2222222").error, "unknown");
  // Now an address that kept missing waits, whatever it asks...
  EXPECT_EQ(lookUp(port, "127.0.1.1", ann.code).error, "slow");
  // ...while a player who never missed, or missed once, is answered.
  EXPECT_EQ(lookUp(port, "127.0.2.2", ann.code).code, ann.code);
  EXPECT_EQ(lookUp(port, "127.0.2.3", "+2222223").error, "unknown");
  EXPECT_EQ(lookUp(port, "127.0.2.3", ann.code).code, ann.code);
}

TEST(LobbyServerAttacks, SilentRelaysEndAndOneAddressHoldsFewOfATablesRelays) {
  ServerLimits serverLimits;
  ServerThread server(Limits{}, serverLimits, {.virtualTime = true});
  const int port = server.port();
  Host ann = registerFrom(port, "127.0.0.1", named("Ann's table", 1));
  ann.link->next(Op::Direct);  // the probe's answer, before any relay is asked for
  struct Relay {
    std::unique_ptr<Client> joiner, leg;
    std::string refused;
  };
  // A joiner asks; the host, like a real one, opens its leg and its game
  // greets the newcomer.
  auto join = [&](const std::string& from) {
    Relay r;
    r.joiner = std::make_unique<Client>(port, from);
    r.joiner->send(connectLine(ann.code));
    if (firstToSpeak(*r.joiner, *ann.link) != 1) {
      r.refused = r.joiner->message().error;
      return r;
    }
    const Message ask = ann.link->next(Op::Relay);
    r.leg = std::make_unique<Client>(port, "127.0.0.1");
    r.leg->send(relayLine(ask.ticket) + "CMD_sendlogininfo+2\xff");
    EXPECT_EQ(r.joiner->message().op, Op::Spliced);
    EXPECT_EQ(r.joiner->bytes(20), "CMD_sendlogininfo+2\xff");
    return r;
  };
  std::vector<Relay> relays;
  int busy = 0;
  for (const char* from : {"127.0.3.1", "127.0.3.1", "127.0.3.1", "127.0.3.1", "127.0.3.1", "127.0.3.1",
                           "127.0.3.2", "127.0.3.2", "127.0.3.2", "127.0.3.2", "127.0.3.3", "127.0.3.3",
                           "127.0.3.3"}) {
    Relay r = join(from);
    if (r.leg) relays.push_back(std::move(r));
    else busy += r.refused == "busy";
  }
  // Four from one address at most; ten for the table.
  ASSERT_EQ(relays.size(), 10u);
  EXPECT_EQ(busy, 3);
  EXPECT_EQ(join("127.0.3.9").refused, "busy");

  // One of them plays; the others never say a word, and their time passes.
  relays[0].joiner->send("CMD_logininfo+2+1.0.14+Zed\xff");
  EXPECT_EQ(relays[0].leg->bytes(27), "CMD_logininfo+2+1.0.14+Zed\xff");
  server.advance(serverLimits.relayFirstBytesMs);
  for (size_t i = 1; i < relays.size(); ++i) {
    EXPECT_TRUE(ends(*relays[i].joiner)) << i;
    EXPECT_TRUE(ends(*relays[i].leg)) << i;  // the host's slot is freed with it
  }
  relays[0].leg->send("CMD_chat+Zed chats: hi\xff");
  EXPECT_EQ(relays[0].joiner->bytes(23), "CMD_chat+Zed chats: hi\xff");
  // A real joiner gets in.
  Relay real = join("127.0.3.9");
  EXPECT_TRUE(real.leg) << real.refused;
}

TEST(LobbyServerAttacks, NoOneTakesTheListingOverByRegisteringFirst) {
  ServerThread server;
  const int port = server.port();
  // Thirteen addresses with eight tables each, in thirteen blocks, first.
  std::vector<Host> fakes;
  for (int a = 0; a < 13; ++a)
    for (int t = 0; t < 8; ++t)
      fakes.push_back(registerFrom(port, "127.4." + std::to_string(a) + ".1", named("FREE CHIPS at " + std::to_string(a))));
  ASSERT_EQ(fakes.back().code.size(), 8u);
  // Then real tables: one as a headless host registers it, and one with a
  // player waiting.
  Host ann = registerFrom(port, "127.5.0.1", named("Ann's table"));
  Host bob = registerFrom(port, "127.5.0.2", named("Bob's table", 1));
  // Listings after the order's next rebuild (it may lag a quarter second).
  std::vector<std::string> names;
  for (int tries = 0; tries < 200; ++tries) {
    Client lobby(port, "127.0.9.1");
    lobby.send(listLine(0));
    names.clear();
    for (Message m; (m = lobby.message()).op == Op::Table;) names.push_back(m.table.name);
    if (names.size() == 100 && std::find(names.begin(), names.end(), "Ann's table") != names.end()) break;
  }
  ASSERT_EQ(names.size(), 100u);
  // A table with a player waiting comes first, and the empty ones take turns
  // by block: Ann's is among every block's first.
  EXPECT_EQ(names[0], "Bob's table");
  EXPECT_LE(std::find(names.begin(), names.end(), "Ann's table") - names.begin(), 14);
  // The first fourteen are fourteen blocks' tables.
  std::set<std::string> firstTurn(names.begin() + 1, names.begin() + 15);
  EXPECT_EQ(firstTurn.size(), 14u);
}

TEST(LobbyServerAttacks, AnIPv6BlockCountsAsOneHome) {
  if (const char* why = lobbytest::enterTestNetwork()) GTEST_SKIP() << why;
  Limits limits;
  limits.address = {4, 2, 100, 1000, 10, 1.0 / 6};
  limits.net56 = {8, 3, 200, 1000, 20, 1.0 / 6};
  limits.net48 = {16, 4, 30, 0.001, 6, 0.001};
  ServerThread server(limits, {}, {.bind = "::"});
  const int port = server.port();
  const std::string to = "2001:db8::1";
  std::vector<std::unique_ptr<Client>> held;
  // How many of `n` connections from `from` the server keeps (each asks for
  // the listing: an answer means it was let in).
  auto hold = [&](const std::string& from, int n) {
    int kept = 0;
    for (int i = 0; i < n; ++i) {
      auto c = std::make_unique<Client>(port, from, to);
      c->send(listLine(0));
      if (c->next(Op::End).op == Op::End) {
        held.push_back(std::move(c));
        ++kept;
      }
    }
    return kept;
  };
  // Six /64s of one /56: the /56 holds eight, not twenty-four.
  int in56 = 0;
  for (int n = 1; n <= 6; ++n) in56 += hold("2001:db8:1:10" + std::to_string(n) + "::1", 4);
  EXPECT_EQ(in56, 8);
  // Its /48: sixteen in all, however many /56s ask.
  int in48 = in56;
  for (int n = 2; n <= 5; ++n) in48 += hold("2001:db8:1:" + std::to_string(n) + "00::1", 4);
  EXPECT_EQ(in48, 16);
  // Another home is let in.
  EXPECT_EQ(hold("2001:db8:2:100::1", 4), 4);
  held.clear();

  // Tables: the /48's four, from any of its /56s.
  std::vector<Host> tables;
  for (int n = 1; n <= 3; ++n) tables.push_back(registerFrom(port, "2001:db8:1:" + std::to_string(n) + "00::7", named("T"), to));
  tables.push_back(registerFrom(port, "2001:db8:1:400::7", named("T"), to));
  EXPECT_EQ(tables.back().code.size(), 8u);
  Client fifth(port, "2001:db8:1:500::7", to);
  fifth.send(registerLine(named("T"), false));
  EXPECT_EQ(fifth.message().error, "full");

  // Guesses spread over the /48's /64s count as the /48's: after its six, a
  // /64 that never guessed waits too; another /48 does not.
  const std::string live = tables[0].code;
  for (int n = 1; n <= 6; ++n) EXPECT_EQ(lookUp(port, "2001:db8:1:" + std::to_string(n) + "01::9", "+2222222", to).error, "unknown");
  EXPECT_EQ(lookUp(port, "2001:db8:1:701::9", live, to).error, "slow");
  EXPECT_EQ(lookUp(port, "2001:db8:3::9", live, to).code, live);

  // New connections: thirty from the /48 in all, however many /64s open them.
  int opened = 0;
  for (int n = 1; n <= 40; ++n) {
    Client c(port, "2001:db8:1:8" + std::to_string(n % 10) + std::to_string(n / 10) + "::1", to);
    c.send(listLine(0));
    opened += c.next(Op::End).op == Op::End;
  }
  // The sixteen held, five registrations and seven look-ups above were new
  // connections of it too.
  EXPECT_EQ(opened, 30 - 16 - 5 - 7);
}

TEST(LobbyServerAttacks, AHostsStateLinesAreFoldedAndAFloodIsCutOff) {
  ServerThread server(Limits{}, {}, {.virtualTime = true});
  const int port = server.port();
  Host ann = registerFrom(port, "127.0.0.1", named("Ann's table", 1));
  // Thirty changes at once: the first twenty are taken, the rest folded into
  // the last, which is taken on the server's next tick.
  std::string lines;
  for (int i = 1; i <= 30; ++i) lines += stateLine(named("", i == 20 ? 2 : i == 30 ? 3 : 1));
  ann.link->send(lines);
  int asked = 0;
  auto players = [&] { return lookUp(port, "127.0.8." + std::to_string(++asked), ann.code).table.state.players; };
  // The lines are read by the server's loop, the look-ups on other connections.
  while (asked < 50 && players() != 2) {
  }
  EXPECT_EQ(players(), 2);
  server.advance(1000);
  EXPECT_EQ(players(), 3);
  // A host that pushes state lines without end is cut off.
  lines.clear();
  for (int i = 0; i < 5000; ++i) lines += stateLine(named("", 1 + i % 3));
  ann.link->send(lines);
  EXPECT_EQ(ann.link->next(Op::Error).error, "slow");
  EXPECT_EQ(lookUp(port, "127.0.0.2", ann.code).error, "unknown");
}

// A port whose SYNs are dropped, as a firewall does: its listener's queue is
// full and never accepted from.
struct BlackHole {
  BlackHole() {
    fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    socklen_t len = sizeof a;
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(fd, 0);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    port = ntohs(a.sin_port);
    for (auto& f : fill) {
      f = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
      a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      ::connect(f, reinterpret_cast<sockaddr*>(&a), sizeof a);
    }
  }
  ~BlackHole() {
    for (int f : fill) ::close(f);
    ::close(fd);
  }
  int fd, port;
  int fill[2];
};

TEST(LobbyServerAttacks, StunsCannotKeepTheProbesBusy) {
  BlackHole hole;
  Limits limits;
  limits.probes = 9;
  ServerThread server(limits, {}, {.virtualTime = true});
  const int port = server.port();
  // A table whose port drops the probe, and its holder stunning from three
  // hundred addresses, each a probe that would hang its full time.
  Host ann = registerFrom(port, "127.0.6.1", named("Ann's table", 1, hole.port));
  int slow = 0;
  for (int n = 0; n < 300; ++n) {
    Client stun(port, "127.0.7" + std::to_string(n / 250) + "." + std::to_string(n % 250 + 1));
    stun.send(stunLine(ann.code, ann.secret));
    slow += stun.message().error == "slow";
  }
  EXPECT_EQ(slow, 300 - static_cast<int>(limits.stunsBurst));
  // One address with eight such tables has four probed at a time.
  std::vector<Host> held;
  for (int t = 0; t < 8; ++t) held.push_back(registerFrom(port, "127.0.6.3", named("Held", 1, hole.port)));
  // A host anyone can reach is still probed, at once, and offered directly.
  int listener = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  socklen_t len = sizeof a;
  ::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a);
  ::listen(listener, 8);
  ::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len);
  Host bob = registerFrom(port, "127.0.6.2", named("Bob's table", 1, ntohs(a.sin_port)));
  EXPECT_EQ(bob.link->next(Op::Direct).direct,
            std::vector<std::string>{"127.0.6.2:" + std::to_string(ntohs(a.sin_port))});
  ::close(listener);
}

}  // namespace
}  // namespace ombrix::lobbyd
