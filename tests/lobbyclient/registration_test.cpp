// A host's registration and its relays on their own: a registration that
// loses its server, its pauses on a virtual clock, and a relay whose table
// stops reading.
#include "lobbyclient/registration.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <string>
#include <vector>

#include "base/virtualclock.h"
#include "lobbyclient/lobbylink.h"
#include "tests/lobbyd/server_thread.h"
#include "tests/support/qtloop.h"

namespace ombrix::lobbyclient {

using namespace lobbywire;
using namespace lobbyd;
namespace {

using test::waitFor;

TEST(Registration, ALostServerIsTriedAgainAtGrowingPausesAndTheServerBackGivesANewCode) {
  VirtualClock clock;
  auto server = std::make_unique<ServerThread>();
  const int port = server->port();
  TableEntry table;
  table.name = "Ann";
  table.state.players = 1;
  HostRegistration registration({"127.0.0.1", port}, {"127.0.0.1", 7772}, table, false, &clock);
  std::vector<std::string> codes, log;
  registration.onCode = [&](const std::string& c) { codes.push_back(c); };
  registration.log = [&](std::string_view l) { log.emplace_back(l); };
  registration.start();
  ASSERT_TRUE(waitFor([&] { return codes.size() == 1; }));

  server.reset();
  ASSERT_TRUE(waitFor([&] { return log.size() == 1; }));
  EXPECT_TRUE(log[0].starts_with("withdrawn from the lobby server: ")) << log[0];
  EXPECT_TRUE(log[0].ends_with("; trying again in 5 s")) << log[0];
  EXPECT_TRUE(registration.code().empty());

  // Nobody answers: each try comes after a pause twice the last, up to a
  // minute, and only then.
  std::vector<int64_t> pauses;
  for (size_t tries = 1; tries <= 5; ++tries) {
    const int64_t from = clock.now();
    ASSERT_TRUE(clock.step());
    pauses.push_back(clock.now() - from);
    ASSERT_TRUE(waitFor([&] { return log.size() == tries + 1; }));
    EXPECT_TRUE(log.back().starts_with("not registered: cannot reach the lobby server")) << log.back();
  }
  EXPECT_EQ(pauses, (std::vector<int64_t>{5000, 10000, 20000, 40000, 60000}));
  EXPECT_TRUE(log.back().ends_with("trying again in 60 s")) << log.back();

  // The server is back where it was: the next try registers anew.
  ServerThread::Options same;
  same.port = port;
  server = std::make_unique<ServerThread>(Limits{}, ServerLimits{}, same);
  const int64_t from = clock.now();
  ASSERT_TRUE(clock.step());
  EXPECT_EQ(clock.now() - from, 60000);
  ASSERT_TRUE(waitFor([&] { return codes.size() == 2; }));
  EXPECT_NE(codes[1], codes[0]);
  EXPECT_EQ(registration.code(), codes[1]);

  // Registered, the pauses start again from the first.
  server.reset();
  ASSERT_TRUE(waitFor([&] { return log.back().starts_with("withdrawn"); }));
  EXPECT_TRUE(log.back().ends_with("trying again in 5 s")) << log.back();
}

// A listener on loopback whose connections are never read, with a small
// receive buffer: a table that stopped reading.
struct Stalled {
  Stalled() {
    fd = ::socket(AF_INET, SOCK_STREAM, 0);
    const int small = 4096;
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(fd, 1);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    port = ntohs(a.sin_port);
  }
  ~Stalled() {
    if (peer >= 0) ::close(peer);
    ::close(fd);
  }
  // Reads what reaches it, to the end (an orderly close or a reset); the
  // count of bytes, or -1 when nothing came for ten seconds short of the end.
  long long drain() {
    if (peer < 0) peer = ::accept(fd, nullptr, nullptr);
    long long total = 0;
    char buf[65536];
    pollfd p{peer, POLLIN, 0};
    while (::poll(&p, 1, 10000) > 0) {
      const ssize_t n = ::recv(peer, buf, sizeof buf, 0);
      if (n == 0 || (n < 0 && errno == ECONNRESET)) return total;
      if (n < 0) return -1;
      total += n;
    }
    return -1;
  }
  int fd = -1, peer = -1, port = 0;
};

std::unique_ptr<net::TAsyncSock> connectTo(int port) {
  auto s = std::make_unique<net::TAsyncSock>();
  s->setHostName("127.0.0.1");
  s->setPortName(std::to_string(port));
  s->Open();
  return s;
}

TEST(Relay, ATableThatStopsReadingIsCutAtTheBoundAndTheRestGoesWithinTheFlush) {
  VirtualClock clock;
  Stalled table;
  // The game's listener, whose side of the relay sends far more than the
  // bound while the table reads nothing.
  net::TAsyncSock listener;
  listener.setHostName("127.0.0.1");
  listener.setPortName("0");
  net::TAsyncSock* game = nullptr;  // owned by the listener
  bool gameClosed = false;
  listener.OnAccept = [&](net::TAsyncSock* l) {
    if (!l->Accept(game)) return;
    // Closed with the game's bytes unread: a reset, or the orderly end.
    game->OnInfo = [&](net::TAsyncSock*, net::TSocketInfo kind, const std::string&) {
      if (kind == net::siError) gameClosed = true;
    };
    game->OnEnd = [&](net::TAsyncSock*, net::EndReason) { gameClosed = true; };
  };
  listener.setListen(true);
  auto toTable = connectTo(table.port), toGame = connectTo(listener.LocalPort());
  ASSERT_TRUE(waitFor([&] { return toTable->Connected() && toGame->Connected() && game; }));
  const int small = 4096;
  ::setsockopt(toTable->Handle(), SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
  net::TAsyncSock* tableLeg = toTable.get();
  Splice splice(std::move(toTable), std::move(toGame), {}, {}, &clock);
  bool told = false;
  splice.onEnded = [&] { told = true; };

  constexpr size_t kSent = 4 * Splice::kMaxQueued;
  game->Send(std::string(kSent, 'x'));
  ASSERT_TRUE(waitFor([&] { return splice.ended(); }));
  EXPECT_LE(tableLeg->SendQueued(), Splice::kMaxQueued);
  EXPECT_GT(tableLeg->SendQueued(), 0u) << "the bound was never reached";
  // The game's side is closed at once, as a departure; the table's gets
  // what is queued for it until the flush's time is up, then the end.
  EXPECT_TRUE(waitFor([&] { return gameClosed; }));
  clock.advance(Splice::kFlushMs - 1);
  EXPECT_FALSE(told);
  EXPECT_GE(tableLeg->Handle(), 0);
  clock.advance(1);
  ASSERT_TRUE(waitFor([&] { return told; }));
  const long long reached = table.drain();
  EXPECT_GE(reached, 0) << "the table's connection did not end";
  EXPECT_LT(reached, static_cast<long long>(kSent));
}

}  // namespace
}  // namespace ombrix::lobbyclient
