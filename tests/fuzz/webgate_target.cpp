#include "tests/fuzz/webgate_target.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/fuzz/fuzz_input.h"
#include "tests/support/wsframes.h"
#include "webgate/gateway.h"

namespace ombrix::fuzz {

namespace {

[[noreturn]] void broken(const char* what) {
  std::fprintf(stderr, "web gateway: %s\n", what);
  std::abort();
}

const webgate::Site& site() {
  static const webgate::Site s = [] {
    webgate::Site x;
    x.add("/index.html", "text/html; charset=utf-8", std::string(3000, 'p'));
    x.add("/app.js", "text/javascript; charset=utf-8", "js");
    return x;
  }();
  return s;
}

// Requests a browser might send, to start from and break.
const char* const kRequests[] = {
    "GET / HTTP/1.1\r\nHost: t\r\nAccept-Encoding: gzip\r\n\r\n",
    "GET /app.js HTTP/1.1\r\nHost: t\r\nIf-None-Match: \"x\"\r\n\r\n",
    "HEAD /+K7QW3ZD HTTP/1.1\r\nHost: t\r\n\r\n",
    "GET /ws HTTP/1.1\r\nHost: t\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
    "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n",
    "POST / HTTP/1.1\r\nContent-Length: 3\r\n\r\nabc",
    "GET / HTTP/1.0\r\n\r\n",
};

// Pieces of requests, for requests put together from them.
const char* const kMethods[] = {"GET", "HEAD", "POST", "PUT", "OPTIONS", "CONNECT", "G\x01T", ""};
const char* const kHeaders[] = {"Host", "Upgrade", "Connection", "Sec-WebSocket-Key", "Sec-WebSocket-Version",
                                "Content-Length", "Transfer-Encoding", "Accept-Encoding", "If-None-Match", "X"};

// A request from pieces: a method, a path and headers, with the input's
// bytes in each.
std::string assembled(Input& in) {
  std::string r = kMethods[in.byte() % std::size(kMethods)];
  r += " /" + in.bytes(in.byte() % 24) + (in.byte() % 4 ? " HTTP/1.1\r\n" : " HTTP/1.0\r\n");
  for (int n = in.byte() % 8; n > 0; --n)
    r += std::string(kHeaders[in.byte() % std::size(kHeaders)]) + ": " + in.bytes(in.byte() % 32) + "\r\n";
  if (in.byte() % 4) r += "\r\n";
  return r;
}

}  // namespace

int driveWebGate(const uint8_t* data, size_t size, WebGateInput kind) {
  Input in(data, size);
  webgate::Limits limits;
  // Tight bounds, so an input of a few hundred bytes reaches every one.
  limits.maxRequestBytes = 256;
  limits.maxHeaders = 6;
  limits.maxMessageBytes = 64;
  limits.bytesPerSecond = 200;
  limits.burstBytes = limits.maxHeldBytes = 600;
  limits.framesPerSecond = 5;
  limits.burstFrames = 12;
  limits.maxPendingOutput = 8000;
  limits.maxUnsentBytes = 2000;
  int64_t now = 0;
  webgate::Gateway g(site(), limits, now);
  size_t lines = 0;
  g.onUpgrade = [&](std::string_view path) { return path == "/ws" || in.byte() % 2; };
  g.onLine = [&](std::string_view line) {
    ++lines;
    for (const char c : line)
      if (c == '\xFF' || c == '\n' || c == '\r') broken("a line carries a terminator or a line break");
    if (line.size() > limits.maxMessageBytes) broken("a line over the message bound");
  };
  if (kind == WebGateInput::Frames) {
    g.receive(kRequests[3], now);
    if (g.phase() != webgate::Gateway::Phase::WebSocket) broken("a browser's upgrade refused");
  }
  while (in.more()) {
    int op = in.byte() % 8;
    // Requests: what would be a frame is a request from pieces. Frames: what
    // would be a request is a frame.
    if (kind == WebGateInput::Requests && op == 2) op = 8;
    if (kind == WebGateInput::Frames && op == 0) op = 2;
    switch (op) {
      case 0:
        g.receive(kRequests[in.byte() % std::size(kRequests)], now);
        break;
      case 1:
        g.receive(in.bytes(in.byte() % 64), now);
        break;
      case 8: {
        // Whole or in two pieces.
        const std::string r = assembled(in);
        const size_t cut = in.byte() % (r.size() + 1);
        g.receive(r.substr(0, cut), now);
        g.receive(r.substr(cut), now);
        break;
      }
      case 2: {
        // A frame as a browser builds it, of any opcode, whole or cut.
        const std::string payload = in.bytes(in.byte() % 80);
        std::string f = test::clientFrame(payload, in.byte() % 16, in.byte() % 4 != 0);
        if (in.byte() % 5 == 0) f.resize(in.byte() % (f.size() + 1));
        g.receive(f, now);
        break;
      }
      case 3:
        now += in.byte() * 137;
        g.tick(now);
        break;
      case 4:
        // The game's lines, whole, or as bytes that come as they come.
        if (in.byte() % 2) g.sendLine(in.bytes(in.byte() % 100));
        else g.fromGame(in.bytes(in.byte() % 100));
        break;
      case 5: {
        // The browser takes some of what it was sent.
        const size_t before = g.pendingBytes();
        const size_t n = std::min<size_t>(g.pending().size(), in.byte() * 97u);
        g.written(n);
        if (g.pendingBytes() != before - n) broken("output not counted");
        break;
      }
      case 6:
        if (const int end = in.byte() % 8; end == 0) g.endGame();
        else if (end == 1) g.refuse(4404, "unknown");
        break;
      case 7:
        // Takes all of it.
        while (!g.pending().empty()) g.written(g.pending().size());
        break;
    }
    // What waits either way stays within its bounds.
    if (g.pendingBytes() > limits.maxPendingOutput + 4096 + site().bytes())
      broken("output over its bound");
    if (g.footprint() > 64 * 1024 + g.pendingBytes()) broken("a gateway holds more than its bounds");
  }
  // Nothing said after a close is read.
  if (g.closing()) {
    const size_t before = lines;
    g.receive(test::clientFrame("CMD_chat+1+late|clRed"), now);
    if (lines != before) broken("a line read after the close");
  }
  return 0;
}

}  // namespace ombrix::fuzz
