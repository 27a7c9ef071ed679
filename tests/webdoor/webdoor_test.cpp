// The host's web door: a browser's WebSocket is an ordinary
// table to the host, and a desktop table beside it sees nothing new.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "host/hostsockets.h"
#include "protocol/commands.h"
#include "tests/support/qtloop.h"
#include "tests/support/rawbrowser.h"
#include "webdoor/webdoor.h"

namespace ombrix::test {
namespace {

webgate::Site site() {
  webgate::Site s;
  s.add("/index.html", "text/html; charset=utf-8", "<!doctype html>");
  return s;
}

TEST(WebDoor, ABrowserSeatIsAnOrdinaryTableToTheHost) {
  HostSockets host(7);
  host.listen("0", "127.0.0.1");
  web::WebDoor door(site(), host);
  door.listen("0", "127.0.0.1");
  EXPECT_EQ(door.link(), "http://127.0.0.1:" + std::to_string(door.port()) + "/");

  ProtocolClient desk(host.port());
  ASSERT_TRUE(desk.waitForCommand("CMD_sendlogininfo"));
  desk.send("CMD_logininfo+1+1.0.14+Desk");
  ASSERT_TRUE(desk.waitForCommand("CMD_newplayerinfo"));

  RawBrowser page(door.port());
  ASSERT_TRUE(page.connected());
  page.sock.Send(upgradeRequest("/ws"));
  EXPECT_EQ(page.message(), "CMD_sendlogininfo+2");
  page.sock.Send(clientFrame("CMD_logininfo+2+1.0.14+Ren\xC3\xA9") + clientFrame(""));
  EXPECT_EQ(page.message(), "CMD_newplayerinfo+2+Ren\xC3\xA9");
  ASSERT_TRUE(waitFor([&] { return desk.with("CMD_newplayerinfo").size() == 2; }));
  // The desktop table reads the name in its own single-byte text.
  EXPECT_EQ(desk.with("CMD_newplayerinfo").back(), "CMD_newplayerinfo+2+Ren\xE9");
  EXPECT_EQ(page.message(), "CMD_existingplayers+1+Desk");
  // Chat both ways, through the host.
  page.sock.Send(clientFrame("CMD_chat+2+hello|clRed"));
  ASSERT_TRUE(desk.waitForCommand("CMD_chat"));
  EXPECT_EQ(desk.with("CMD_chat").back(), "CMD_chat+Ren\xE9 chats: hello|clRed");
  EXPECT_EQ(page.message(), "CMD_chat+Ren\xC3\xA9 chats: hello|clRed");
  // Nothing else reached the desktop table: no command it does not know.
  for (const auto& m : desk.received) EXPECT_EQ(m.rfind("CMD_", 0), 0u) << m;

  // The page's line drops: the host sees a departure, as of any table.
  page.sock.Close();
  ASSERT_TRUE(desk.waitForCommand("CMD_playerdisconnected"));
  EXPECT_EQ(desk.with("CMD_playerdisconnected").back(), "CMD_playerdisconnected+2+Ren\xE9");
  ASSERT_TRUE(waitFor([&] { return door.connections() == 0; }));
}

// The host's own rules reach a browser's seat held in this process: a
// full table turns it away, and slot 1 removes it like any table.
TEST(WebDoor, TheHostsRulesHoldABrowsersSeat) {
  HostSockets host(7);
  host.listen("0", "127.0.0.1");
  web::WebDoor door(site(), host);
  door.listen("0", "127.0.0.1");
  ProtocolClient desk(host.port());
  ASSERT_TRUE(desk.waitForCommand("CMD_sendlogininfo"));
  desk.send("CMD_logininfo+1+1.0.14+Desk");
  RawBrowser page(door.port());
  ASSERT_TRUE(page.connected());
  page.sock.Send(upgradeRequest("/ws"));
  EXPECT_EQ(page.message(), "CMD_sendlogininfo+2");
  page.sock.Send(clientFrame("CMD_logininfo+2+1.0.14+Page"));
  ASSERT_TRUE(waitFor([&] { return desk.with("CMD_newplayerinfo").size() == 2; }));

  std::vector<std::unique_ptr<ProtocolClient>> others;
  for (int slot = 3; slot <= kLastSlot; ++slot) {
    others.push_back(std::make_unique<ProtocolClient>(host.port()));
    ASSERT_TRUE(others.back()->waitForCommand("CMD_sendlogininfo"));
  }
  RawBrowser late(door.port());
  ASSERT_TRUE(late.connected());
  late.sock.Send(upgradeRequest("/ws"));
  EXPECT_EQ(late.message(), "CMD_full+");
  EXPECT_EQ(late.message(), std::nullopt);
  EXPECT_EQ(late.closeCode, 1000);
  ASSERT_TRUE(waitFor([&] { return late.closed; }));

  // Removed by slot 1: told with a normal close, and a departure to the others.
  std::string kick;
  wire::build::kickhim(kick, 1, 2);
  desk.send(kick);
  while (page.message()) {
  }
  EXPECT_EQ(page.closeCode, 1000);
  ASSERT_TRUE(desk.waitForCommand("CMD_playerdisconnected"));
  EXPECT_EQ(desk.with("CMD_playerdisconnected").back(), "CMD_playerdisconnected+2+Page");
  // The seat is free for the next table.
  ProtocolClient next(host.port());
  ASSERT_TRUE(next.waitForCommand("CMD_sendlogininfo"));
  EXPECT_EQ(next.received.front(), "CMD_sendlogininfo+2");
  ASSERT_TRUE(waitFor([&] { return door.connections() == 0; }));
}

TEST(WebDoor, OneAddressHoldsABoundedNumberOfConnections) {
  HostSockets host(7);
  host.listen("0", "127.0.0.1");
  web::WebDoor door(site(), host);
  door.listen("0", "127.0.0.1");
  std::vector<std::unique_ptr<RawBrowser>> pages;
  for (size_t i = 0; i < web::WebDoor::kPerAddress; ++i) {
    pages.push_back(std::make_unique<RawBrowser>(door.port()));
    ASSERT_TRUE(pages.back()->connected());
  }
  ASSERT_TRUE(waitFor([&] { return door.connections() == web::WebDoor::kPerAddress; }));
  RawBrowser over(door.port());
  ASSERT_TRUE(waitFor([&] { return over.closed; }));
  // The others are still served.
  pages[0]->sock.Send("GET / HTTP/1.1\r\nHost: t\r\n\r\n");
  ASSERT_TRUE(waitFor([&] { return pages[0]->in.find("<!doctype html>") != std::string::npos; }));
  // One let go makes room for another.
  pages.pop_back();
  ASSERT_TRUE(waitFor([&] { return door.connections() == web::WebDoor::kPerAddress - 1; }));
  RawBrowser again(door.port());
  again.sock.Send("GET / HTTP/1.1\r\nHost: t\r\n\r\n");
  ASSERT_TRUE(waitFor([&] { return again.in.find("200 OK") != std::string::npos; }));
}

}  // namespace
}  // namespace ombrix::test
