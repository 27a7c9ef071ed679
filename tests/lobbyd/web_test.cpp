// The lobby server's web door over real sockets: a browser opens a host's
// server link and its WebSocket reaches the table through the relay, as a
// joining lobby's connection does; what the door bounds of its own.
#include <gtest/gtest.h>

#include "app/hostlobby.h"
#include "lobbyd/server.h"
#include "tests/lobbyd/server_thread.h"
#include "tests/support/qtloop.h"
#include "tests/support/rawbrowser.h"

namespace ombrix::lobbyd {

using namespace lobbywire;
namespace {

using test::clientFrame;
using test::RawBrowser;
using test::upgradeRequest;
using test::waitFor;

ServerThread::Options withWeb(size_t perAddress = 16) {
  ServerThread::Options o;
  o.web = true;
  o.webLimits.perAddress = perAddress;
  return o;
}

TEST(LobbyWeb, ABrowserJoinsByTheServersLinkThroughTheRelay) {
  ServerThread server({}, {}, withWeb());
  HostSockets host(7, 1.0);
  host.server().slotOneIsOwnPlayer = false;
  host.listen("0", "127.0.0.1");
  std::vector<std::string> log;
  app::HostLobby lobby(host, server.address(), true, "127.0.0.1", "Ann's table",
                       [&](std::string_view l) { log.emplace_back(l); });
  std::string link;
  ASSERT_TRUE(waitFor([&] {
    for (const auto& l : log)
      if (l.rfind("web link: ", 0) == 0) link = l.substr(10);
    return !link.empty();
  }, 15000));
  const std::string code = link.substr(link.rfind('/') + 1);
  EXPECT_EQ(link, "http://127.0.0.1:" + std::to_string(server.webPort()) + "/" + code);

  // The link's page is the web table's.
  RawBrowser page(server.webPort());
  ASSERT_TRUE(page.connected());
  page.sock.Send("GET /" + code + " HTTP/1.1\r\nHost: s\r\n\r\n");
  ASSERT_TRUE(waitFor([&] { return page.in.find("<title>Ombrix</title>") != std::string::npos; }));

  // Its WebSocket is a seat at the table, through the relay.
  RawBrowser seat(server.webPort());
  ASSERT_TRUE(seat.connected());
  seat.sock.Send(upgradeRequest("/ws/" + code));
  EXPECT_EQ(seat.message(), "CMD_sendlogininfo+1");
  seat.sock.Send(clientFrame("CMD_logininfo+1+1.0.14+Web") + clientFrame(""));
  EXPECT_EQ(seat.message(), "CMD_newplayerinfo+1+Web");
  ASSERT_TRUE(waitFor([&] { return host.server().slots[1].name == "Web"; }));

  // A code no table has is refused with its reason.
  RawBrowser lost(server.webPort());
  ASSERT_TRUE(lost.connected());
  lost.sock.Send(upgradeRequest("/ws/+ZZZZZZZ"));
  EXPECT_FALSE(lost.message());
  EXPECT_EQ(lost.closeCode, 4404);

  // The page's line drops: the table sees the seat leave.
  seat.sock.Close();
  ASSERT_TRUE(waitFor([&] { return !host.server().slots[1].inUse; }));
}

TEST(LobbyWeb, OneAddressHoldsABoundedNumberOfWebConnections) {
  ServerThread server({}, {}, withWeb(3));
  std::vector<std::unique_ptr<RawBrowser>> pages;
  for (int i = 0; i < 3; ++i) {
    pages.push_back(std::make_unique<RawBrowser>(server.webPort()));
    ASSERT_TRUE(pages.back()->connected());
  }
  // Each is served (so each is counted) before the next comes.
  for (auto& p : pages) {
    p->sock.Send("GET / HTTP/1.1\r\nHost: s\r\n\r\n");
    ASSERT_TRUE(waitFor([&] { return p->in.find("200 OK") != std::string::npos; }));
  }
  RawBrowser over(server.webPort());
  ASSERT_TRUE(waitFor([&] { return over.closed; }));
  EXPECT_TRUE(over.in.empty());
  // One gone makes room.
  pages.pop_back();
  RawBrowser again(server.webPort());
  ASSERT_TRUE(waitFor([&] {
    if (again.closed) return true;
    if (again.sock.Connected() && again.in.empty()) again.sock.Send("GET / HTTP/1.1\r\nHost: s\r\n\r\n");
    return again.in.find("200 OK") != std::string::npos;
  }));
  EXPECT_FALSE(again.closed);
}

}  // namespace
}  // namespace ombrix::lobbyd
