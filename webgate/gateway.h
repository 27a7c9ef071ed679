// One browser's connection to a web door, apart from its socket: HTTP
// requests (parsed by http-parser) for the web table's files, then, once the
// page asks for it, a WebSocket (framed by wslay) whose text messages are
// the game's lines, one message a line. The transport (the host's door on
// the Qt loop, the lobby server's on its epoll loop) feeds it bytes and
// writes what it has to say; the game's side of a WebSocket is the
// transport's.
//
// Everything a browser sends is a stranger's: the request's size and
// headers, a message's size, frames and bytes a second are bounded, and a
// browser over a bound is closed.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "webgate/site.h"

struct http_parser;
struct wslay_event_context;

namespace ombrix::webgate {

struct Limits {
  // The request line and its headers: a browser's are under 2 KB.
  size_t maxRequestBytes = 8192;
  size_t maxHeaders = 48;
  // One message of the page: the longest is a chat line.
  size_t maxMessageBytes = 4096;
  // Bytes from the browser a second, after a burst: the page sends a few
  // lines a second at most, and a browser's requests for the page are a few
  // KB. Over it the input waits; past maxHeldBytes waiting it is closed.
  size_t bytesPerSecond = 8192, burstBytes = 65536, maxHeldBytes = 65536;
  // Frames a second, after a burst (control frames count).
  size_t framesPerSecond = 50, burstFrames = 200;
  // What may wait to be written before no further request is read: the
  // deck is the largest answer.
  size_t maxPendingOutput = 8 << 20;
  // What the page may leave unread of the game's lines: the host's own
  // bound on a table that stops reading.
  size_t maxUnsentBytes = 1 << 20;
  // An HTTP connection idle this long is closed; a WebSocket is pinged
  // after pingMs of silence and closed after deadMs (a phone gone to
  // sleep sends no close, and its seat should go to the computer).
  int64_t httpIdleMs = 30000, pingMs = 10000, deadMs = 30000;
};

class Gateway {
 public:
  enum class Phase { Http, WebSocket, Closed };

  // A WebSocket asked for at `path`: true takes it, and the transport opens
  // the game's side. False answers 404.
  std::function<bool(std::string_view path)> onUpgrade;
  // One message of the page, as a line of the game (no terminator).
  std::function<void(std::string_view line)> onLine;

  Gateway(const Site& site, const Limits& limits, int64_t nowMs);
  ~Gateway();
  Gateway(const Gateway&) = delete;
  Gateway& operator=(const Gateway&) = delete;

  // Bytes from the browser.
  void receive(std::string_view bytes, int64_t nowMs);
  // The clock moved: held input goes on as the budget refills, a quiet
  // WebSocket is pinged, an idle or dead one closed.
  void tick(int64_t nowMs);
  // One announcement of the game (its bytes, no terminator) to the page.
  void sendLine(std::string_view line);
  // The game's side ended: the WebSocket is closed with a normal close.
  void endGame();

  Phase phase() const { return phase_; }
  // Nothing more will be read or said: close once the output is written.
  bool closing() const { return closing_; }
  // Why it closes, for a log ("" when the browser simply left).
  const std::string& why() const { return why_; }
  // Whether input is held back for want of budget or room to answer.
  bool holding() const { return !held_.empty(); }

  // What is to be written, front first: the transport writes pending()
  // and reports how much went with written().
  std::string_view pending() const;
  void written(size_t n);
  size_t pendingBytes() const { return pendingBytes_; }
  // Bytes this connection holds of its own (buffers, not the site's files).
  size_t footprint() const;

 private:
  struct Request;
  struct Chunk {
    std::shared_ptr<const std::string> data;
    size_t offset = 0;
  };
  void takeBytes(int64_t nowMs);
  void http(std::string_view bytes);
  void answer();
  void respond(int status, std::string_view reason, std::string_view extraHeaders = {},
               std::shared_ptr<const std::string> body = nullptr, bool head = false);
  void upgrade();
  void fail(int status, std::string_view reason, std::string why);
  void wsReceive();
  void wsFlush();
  void closeWs(uint16_t code, std::string why);
  void queue(std::string bytes);
  void queue(std::shared_ptr<const std::string> bytes);
  bool refill(int64_t nowMs);

  // The parser's and wslay's callbacks.
  static int onUrl(http_parser* p, const char* at, size_t n);
  static int onHeaderField(http_parser* p, const char* at, size_t n);
  static int onHeaderValue(http_parser* p, const char* at, size_t n);
  static int onHeadersComplete(http_parser* p);
  static int onMessageComplete(http_parser* p);

  const Site& site_;
  Limits limits_;
  Phase phase_ = Phase::Http;
  bool closing_ = false;
  std::string why_;
  std::unique_ptr<http_parser> parser_;
  std::unique_ptr<Request> request_;
  wslay_event_context* ws_ = nullptr;
  std::string held_;  // input not yet taken (over the budget, or waiting for room)
  std::string wsIn_;  // input for wslay
  std::deque<Chunk> out_;
  size_t pendingBytes_ = 0;
  double byteBudget_, frameBudget_;
  int64_t budgetAt_, lastHeard_;
  bool pinged_ = false;
  friend struct WsCallbacks;
};

// The Sec-WebSocket-Accept of a key.
std::string acceptKey(std::string_view key);

}  // namespace ombrix::webgate
