// What the lobby server does against peers that break the rules, over real
// sockets: plain blocking clients, the server in its own thread.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <utility>

#include "tests/lobbyd/client.h"
#include "tests/lobbyd/server_thread.h"

namespace ombrix::lobbyd {

using namespace lobbywire;
namespace {

using lobbytest::Client;
using lobbytest::withoutBreak;

TEST(LobbyServerBounds, WhatIsNotTheProtocolEndsTheConnectionAndGetsNoLargerAnswerThanItSent) {
  ServerThread server;
  Client endless(server.hostPort().port);
  endless.send(std::string(kMaxLine + 10, 'x'));
  EXPECT_EQ(endless.drain(), 0u);
  Client garbage(server.hostPort().port);
  garbage.send("GET / HTTP/1.0\r\n\r\n");
  EXPECT_EQ(garbage.drain(), 0u);
  Client wrongTurn(server.hostPort().port);
  const std::string ask = R"({"lobby":1,"op":"state","name":"a long enough request to be answered"})";
  wrongTurn.send(ask + "\n");
  const std::string answer = wrongTurn.line();
  EXPECT_EQ(parseLine(answer, false)->error, "bad");
  EXPECT_LE(answer.size(), ask.size());
  EXPECT_EQ(wrongTurn.line(), "");
}

TEST(LobbyServerBounds, AListerThatStopsReadingIsCutOff) {
  Limits limits;
  limits.address = {1000, 200, 1000, 1000, 10, 1};
  limits.requestsBurst = 10000;
  limits.logBurst = 1000;
  ServerLimits cap;
  cap.outputCap = 32 * 1024;
  ServerThread server(limits, cap);
  std::vector<std::unique_ptr<Client>> hosts;
  TableEntry t;
  t.name = std::string(60, 'n');
  for (int i = 0; i < 100; ++i) {
    hosts.push_back(std::make_unique<Client>(server.hostPort().port));
    hosts.back()->send(registerLine(t, false));
    ASSERT_EQ(parseLine(hosts.back()->line(), false)->op, Op::Registered);
  }
  // Every listing is about 20 KB; the lister reads none of them.
  Client stalled(server.hostPort().port, {}, "127.0.0.1", 4096);
  std::string asks = listLine(0);
  for (int i = 0; i < 200; ++i) asks += withoutBreak(listLine(0)).replace(1, 10, "") + "\n";
  stalled.send(asks);
  // Cut off: what it gets is far less than the 200 listings it asked for,
  // and the server goes on serving others. It reads only once the server
  // has given up on it; reading earlier would make it a reader after all.
  ASSERT_TRUE(server.waitLogged("does not read its answers"));
  EXPECT_LT(stalled.drain(), 200u * 20000u / 4);  // the kernel buffers hold a few pages
  Client next(server.hostPort().port);
  next.send(listLine(0));
  EXPECT_EQ(parseLine(next.line(), false)->op, Op::Table);
}

TEST(LobbyServerBounds, ARelayMovesNoFasterThanItsTablesBudget) {
  Limits limits;
  limits.relayBytesPerSecond = 100 * 1000;
  limits.relayBurstBytes = 20 * 1000;
  ServerThread server(limits);
  Client host(server.hostPort().port);
  host.send(registerLine(TableEntry{}, true));
  const auto registered = parseLine(host.line(), false);
  Client joiner(server.hostPort().port);
  joiner.send(connectLine(registered->code));
  std::string ask;
  do ask = host.line();
  while (parseLine(ask, false)->op != Op::Relay);
  Client leg(server.hostPort().port);
  leg.send(relayLine(parseLine(ask, false)->ticket) + "first bytes");
  EXPECT_EQ(parseLine(joiner.line(), false)->op, Op::Spliced);
  std::string got = std::exchange(joiner.in, std::string());  // read with the line before
  while (got.size() < 11) {
    char b[64];
    const ssize_t n = ::recv(joiner.fd, b, sizeof b, 0);
    ASSERT_GT(n, 0);
    got.append(b, static_cast<size_t>(n));
  }
  EXPECT_EQ(got, "first bytes");  // what followed the leg's first line, whole

  // 120 KB against a 20 KB burst and 100 KB a second: a second at least.
  const auto start = std::chrono::steady_clock::now();
  const std::string block(120 * 1000, 'b');
  std::thread writer([&] { leg.send(block); });
  size_t total = joiner.in.size();
  char buf[65536];
  while (total < block.size()) {
    const ssize_t n = ::recv(joiner.fd, buf, sizeof buf, 0);
    ASSERT_GT(n, 0);
    total += static_cast<size_t>(n);
  }
  writer.join();
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_GE(seconds, 0.95);
}

}  // namespace
}  // namespace ombrix::lobbyd
