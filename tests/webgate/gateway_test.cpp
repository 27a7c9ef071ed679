// A web door's gateway alone, on a test clock: what a browser is served, the
// WebSocket that carries the game's lines, and each bound on what a browser
// may send.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/wsframes.h"
#include "webgate/gateway.h"
#include "webgate/text.h"

namespace ombrix::webgate {
namespace {

using test::clientFrame;
using test::takeFrame;
using test::upgradeRequest;

Site testSite() {
  Site s;
  s.add("/index.html", "text/html; charset=utf-8", "<!doctype html><title>Ombrix</title>" + std::string(2000, ' '));
  s.add("/app.js", "text/javascript; charset=utf-8", "console.log(1)");
  return s;
}

struct Browser {
  Site site = testSite();
  Limits limits;
  int64_t now = 1000;
  std::unique_ptr<Gateway> gate;
  std::vector<std::string> lines;
  std::string out;
  explicit Browser(Limits l = {}) : limits(l) {
    gate = std::make_unique<Gateway>(site, limits, now);
    gate->onUpgrade = [](std::string_view path) { return path == "/ws"; };
    gate->onLine = [this](std::string_view line) { lines.emplace_back(line); };
  }
  std::string send(const std::string& bytes) {
    gate->receive(bytes, now);
    return drain();
  }
  std::string drain() {
    while (!gate->pending().empty()) {
      out += gate->pending();
      gate->written(gate->pending().size());
    }
    std::string o;
    o.swap(out);
    return o;
  }
  std::string ws() {
    const std::string answer = send(upgradeRequest("/ws"));
    EXPECT_NE(answer.find("101 Switching Protocols"), std::string::npos) << answer;
    return answer;
  }
};

TEST(WebGateway, ServesThePageItsFilesAndAnInviteCodesPage) {
  Browser b;
  std::string r = b.send("GET / HTTP/1.1\r\nHost: t\r\nAccept-Encoding: gzip, deflate\r\n\r\n");
  EXPECT_EQ(r.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << r;
  EXPECT_NE(r.find("Content-Encoding: gzip"), std::string::npos);
  EXPECT_NE(r.find("text/html"), std::string::npos);
  const auto etag = r.substr(r.find("ETag: ") + 6, 18);
  // Two requests in one read are answered in order; the page is asked again
  // with its tag and not sent twice.
  r = b.send("GET /app.js HTTP/1.1\r\nHost: t\r\n\r\nGET /+K7QW3ZD HTTP/1.1\r\nHost: t\r\nIf-None-Match: " + etag +
             "\r\n\r\n");
  const size_t second = r.find("HTTP/1.1 304 Not Modified");
  ASSERT_NE(second, std::string::npos) << r;
  EXPECT_NE(r.find("console.log(1)"), std::string::npos);
  EXPECT_LT(r.find("console.log(1)"), second);
  r = b.send("HEAD /nothing-here HTTP/1.1\r\nHost: t\r\n\r\n");
  EXPECT_EQ(r.rfind("HTTP/1.1 404", 0), 0u);
  EXPECT_FALSE(b.gate->closing());
  r = b.send("POST / HTTP/1.1\r\nHost: t\r\nContent-Length: 0\r\n\r\n");
  EXPECT_EQ(r.rfind("HTTP/1.1 405", 0), 0u);
  EXPECT_TRUE(b.gate->closing());
}

TEST(WebGateway, APageThatIsNotBuiltSaysSo) {
  Site empty = Site::load("/nonexistent", "");
  Gateway g(empty, Limits{}, 0);
  g.receive("GET / HTTP/1.1\r\nHost: t\r\n\r\n", 0);
  EXPECT_EQ(std::string(g.pending()).rfind("HTTP/1.1 503", 0), 0u);
}

TEST(WebGateway, RequestsOverTheirBoundsAreAnsweredAndClosed) {
  {
    Browser b;
    const std::string r = b.send("GET / HTTP/1.1\r\nHost: t\r\nCookie: " + std::string(9000, 'a') + "\r\n\r\n");
    EXPECT_EQ(r.rfind("HTTP/1.1 431", 0), 0u) << r.substr(0, 40);
    EXPECT_TRUE(b.gate->closing());
    EXPECT_EQ(b.gate->why(), "a request over its size");
  }
  {
    Browser b;
    std::string req = "GET / HTTP/1.1\r\nHost: t\r\n";
    for (int i = 0; i < 60; ++i) req += "X-" + std::to_string(i) + ": 1\r\n";
    EXPECT_EQ(b.send(req + "\r\n").rfind("HTTP/1.1 431", 0), 0u);
    EXPECT_EQ(b.gate->why(), "a request with too many headers");
  }
  {
    Browser b;
    EXPECT_EQ(b.send("GET / HTTP/1.1\r\nHost: t\r\nContent-Length: 5\r\n\r\nhello").rfind("HTTP/1.1 413", 0), 0u);
    EXPECT_TRUE(b.gate->closing());
  }
  {
    Browser b;
    EXPECT_EQ(b.send("\x16\x03\x01 not http at all\r\n\r\n").rfind("HTTP/1.1 400", 0), 0u);
    EXPECT_TRUE(b.gate->closing());
  }
  {
    // An upgrade to anything but the table's WebSocket is not found.
    Browser b;
    EXPECT_EQ(b.send(upgradeRequest("/elsewhere")).rfind("HTTP/1.1 404", 0), 0u);
  }
}

TEST(WebGateway, BytesASecondWaitThenClose) {
  Limits l;
  Browser b(l);
  b.ws();
  // A burst within its budget goes through at once.
  const std::string chat = clientFrame("CMD_chat+2+" + std::string(900, 'x') + "|clBlack");
  std::string burst;
  for (int i = 0; i < 60; ++i) burst += chat;  // about 56 KB
  b.send(burst);
  EXPECT_EQ(b.lines.size(), 60u);
  // Past it the rest waits for the budget and goes on as it refills.
  std::string more;
  for (int i = 0; i < 20; ++i) more += chat;  // 18 KB more
  b.send(more);
  EXPECT_LT(b.lines.size(), 80u);
  EXPECT_TRUE(b.gate->holding());
  b.now += 3000;
  b.gate->tick(b.now);
  EXPECT_EQ(b.lines.size(), 80u);
  EXPECT_FALSE(b.gate->closing());
  // What waits is bounded: a browser that keeps flooding is cut off.
  std::string flood;
  for (int i = 0; i < 90; ++i) flood += chat;
  b.send(flood);
  EXPECT_TRUE(b.gate->closing());
  EXPECT_EQ(b.gate->why(), "over its bytes a second");
}

TEST(WebGateway, FramesASecondAndAMessagesSizeAreBounded) {
  {
    Browser b;
    b.ws();
    std::string pings;
    for (int i = 0; i < 250; ++i) pings += clientFrame("", 9);
    const std::string answer = b.send(pings);
    EXPECT_TRUE(b.gate->closing());
    EXPECT_EQ(b.gate->why(), "over its frames a second");
    // It ends with a close frame saying so (1008, policy).
    std::string rest = answer;
    std::optional<test::ServerFrame> f, last;
    while ((f = takeFrame(rest))) last = f;
    ASSERT_TRUE(last);
    EXPECT_EQ(last->opcode, 8);
    EXPECT_EQ(last->payload.substr(0, 2), std::string("\x03\xF0", 2));
  }
  {
    Browser b;
    b.ws();
    b.send(clientFrame(std::string(5000, 'a')));
    EXPECT_TRUE(b.gate->closing());
    EXPECT_TRUE(b.lines.empty());
  }
  {
    // Fragments of one message count as the message.
    Browser b;
    b.ws();
    b.send(clientFrame(std::string(3000, 'a'), 1, false) + clientFrame(std::string(3000, 'b'), 0, true));
    EXPECT_TRUE(b.gate->closing());
    EXPECT_TRUE(b.lines.empty());
  }
  {
    Browser b;
    b.ws();
    b.send(clientFrame("\x01\x02", 2));
    EXPECT_TRUE(b.gate->closing());
    EXPECT_EQ(b.gate->why(), "a binary message");
  }
}

TEST(WebGateway, AWebSocketCarriesTheGamesLinesBothWays) {
  Browser b;
  const std::string answer = b.ws();
  // The handshake of RFC 6455's own example.
  EXPECT_NE(answer.find("Sec-WebSocket-Accept: s3pPLMBiTxaQ9kYGzzhZRbK+xOo="), std::string::npos);
  // A page's line in UTF-8 becomes the game's single-byte text: what the game
  // cannot carry is "?", a line break a space, and the byte 255 never passes.
  b.send(clientFrame("CMD_chat+2+caf\xC3\xA9 \xC3\xBF\n\xF0\x9F\x98\x80|clRed"));
  ASSERT_EQ(b.lines.size(), 1u);
  EXPECT_EQ(b.lines[0], "CMD_chat+2+caf\xE9 ? ?|clRed");
  // Fragments make one line; a ping is answered.
  std::string r = b.send(clientFrame("CMD_bid+2", 1, false) + clientFrame("+3", 0, true) + clientFrame("hi", 9));
  ASSERT_EQ(b.lines.size(), 2u);
  EXPECT_EQ(b.lines[1], "CMD_bid+2+3");
  auto pong = takeFrame(r);
  ASSERT_TRUE(pong);
  EXPECT_EQ(pong->opcode, 10);
  EXPECT_EQ(pong->payload, "hi");
  // An announcement in the game's text arrives as one UTF-8 text message.
  b.gate->sendLine("CMD_newplayerinfo+2+Ren\xE9");
  r = b.drain();
  auto text = takeFrame(r);
  ASSERT_TRUE(text);
  EXPECT_EQ(text->opcode, 1);
  EXPECT_EQ(text->payload, "CMD_newplayerinfo+2+Ren\xC3\xA9");
  // The game's end closes it normally.
  b.gate->endGame();
  r = b.drain();
  auto close = takeFrame(r);
  ASSERT_TRUE(close);
  EXPECT_EQ(close->opcode, 8);
  EXPECT_EQ(close->payload.substr(0, 2), std::string("\x03\xE8", 2));
  EXPECT_TRUE(b.gate->closing());
}

TEST(WebGateway, ASilentBrowserIsPingedThenLetGo) {
  Browser b;
  b.ws();
  b.now += 11000;
  b.gate->tick(b.now);
  std::string r = b.drain();
  auto ping = takeFrame(r);
  ASSERT_TRUE(ping);
  EXPECT_EQ(ping->opcode, 9);
  // An answer keeps it; silence past its bound does not.
  b.send(clientFrame("", 10));
  b.now += 20000;
  b.gate->tick(b.now);
  EXPECT_FALSE(b.gate->closing());
  b.now += 31000;
  b.gate->tick(b.now);
  EXPECT_TRUE(b.gate->closing());
  EXPECT_EQ(b.gate->why(), "silent");
  // An idle page connection goes too, without a word.
  Browser idle;
  idle.send("GET / HTTP/1.1\r\nHost: t\r\n\r\n");
  idle.now += 31000;
  idle.gate->tick(idle.now);
  EXPECT_TRUE(idle.gate->closing());
}

TEST(WebGateway, TextBothWays) {
  EXPECT_EQ(latin1ToUtf8("a\xE9\xFF"), "a\xC3\xA9\xC3\xBF");
  // Broken, overlong and cut sequences are "?" each.
  EXPECT_EQ(utf8ToLine("\xC3"), "?");
  EXPECT_EQ(utf8ToLine("\xC0\xAF"), "?");
  EXPECT_EQ(utf8ToLine("\xE2\x82"), "??");
  EXPECT_EQ(utf8ToLine("\xE2\x82\xAC!"), "?!");
  EXPECT_EQ(utf8ToLine("a\r\nb"), "a  b");
}

}  // namespace
}  // namespace ombrix::webgate
