// The host's web door over loopback: a browser's WebSocket is an ordinary
// table to the host, and a desktop table beside it sees nothing new.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "host/hostwindow.h"
#include "tests/support/qtloop.h"
#include "tests/support/wsframes.h"
#include "webdoor/webdoor.h"

namespace ombrix::test {
namespace {

// A browser's connection to the door, as bytes.
struct RawBrowser {
  net::TAsyncSock sock;
  std::string in;
  bool closed = false;
  explicit RawBrowser(int port) {
    sock.setHostName("127.0.0.1");
    sock.setPortName(std::to_string(port));
    sock.OnRead = [this](net::TAsyncSock* s, int) { in += s->Receive(); };
    sock.OnInfo = [this](net::TAsyncSock*, net::TSocketInfo, const std::string& text) {
      if (text == "Socket Closed") closed = true;
    };
    sock.OnDisconnect = [this](net::TAsyncSock*) { closed = true; };
    sock.Open();
  }
  bool connected() { return waitFor([this] { return sock.Connected() || closed; }) && sock.Connected(); }
  // The next text message, once the upgrade's answer is read.
  std::optional<std::string> message() {
    std::optional<std::string> got;
    waitFor([&] {
      const size_t head = in.find("\r\n\r\n");
      if (in.rfind("HTTP/1.1 101", 0) == 0 && head != std::string::npos) in.erase(0, head + 4);
      if (in.rfind("HTTP/", 0) == 0) return false;
      while (auto f = takeFrame(in))
        if (f->opcode == 1) return (got = f->payload), true;
      return false;
    });
    return got;
  }
};

webgate::Site site() {
  webgate::Site s;
  s.add("/index.html", "text/html; charset=utf-8", "<!doctype html>");
  return s;
}

TEST(WebDoor, ABrowserSeatIsAnOrdinaryTableToTheHost) {
  HostWindow host(7);
  host.listen("0", "127.0.0.1");
  web::WebDoor door(site(), "127.0.0.1", host.port());
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

TEST(WebDoor, OneAddressHoldsABoundedNumberOfConnections) {
  HostWindow host(7);
  host.listen("0", "127.0.0.1");
  web::WebDoor door(site(), "127.0.0.1", host.port());
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
