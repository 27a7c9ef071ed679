#include "webgate/gateway.h"

#include <http_parser.h>
#include <nettle/base64.h>
#include <nettle/sha1.h>
#include <wslay/wslay.h>

#include <algorithm>
#include <cctype>
#include <map>

#include "webgate/text.h"

namespace ombrix::webgate {

namespace {

std::string lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

bool hasToken(std::string_view list, std::string_view token) {
  const std::string l = lower(list);
  size_t at = 0;
  while (at <= l.size()) {
    size_t end = l.find(',', at);
    if (end == std::string::npos) end = l.size();
    std::string_view t(l.data() + at, end - at);
    while (!t.empty() && (t.front() == ' ' || t.front() == '\t')) t.remove_prefix(1);
    while (!t.empty() && (t.back() == ' ' || t.back() == '\t')) t.remove_suffix(1);
    if (t == token) return true;
    at = end + 1;
  }
  return false;
}

// WebSocket close codes (RFC 6455).
constexpr uint16_t kNormal = 1000, kUnsupported = 1003, kPolicy = 1008;

}  // namespace

std::string acceptKey(std::string_view key) {
  static constexpr std::string_view kGuid = "258EAFA5-E914-47DA-95CA-C5AB0DC85B11";
  sha1_ctx ctx;
  sha1_init(&ctx);
  sha1_update(&ctx, key.size(), reinterpret_cast<const uint8_t*>(key.data()));
  sha1_update(&ctx, kGuid.size(), reinterpret_cast<const uint8_t*>(kGuid.data()));
  uint8_t digest[SHA1_DIGEST_SIZE];
  sha1_digest(&ctx, sizeof digest, digest);
  char out[BASE64_ENCODE_RAW_LENGTH(SHA1_DIGEST_SIZE) + 1] = {};
  base64_encode_raw(out, sizeof digest, digest);
  return std::string(out, BASE64_ENCODE_RAW_LENGTH(SHA1_DIGEST_SIZE));
}

struct Gateway::Request {
  std::string url, field;
  std::map<std::string, std::string> headers;  // lower-case names; repeated ones joined by ","
  size_t bytes = 0, count = 0;
  bool inValue = false, tooLarge = false, tooMany = false;
};

// wslay's callbacks, friends of the gateway.
struct WsCallbacks {
  static ssize_t recv(wslay_event_context_ptr ctx, uint8_t* buf, size_t len, int, void* user) {
    auto* g = static_cast<Gateway*>(user);
    if (g->wsIn_.empty()) {
      wslay_event_set_error(ctx, WSLAY_ERR_WOULDBLOCK);
      return -1;
    }
    const size_t n = std::min(len, g->wsIn_.size());
    std::copy_n(g->wsIn_.data(), n, buf);
    g->wsIn_.erase(0, n);
    return static_cast<ssize_t>(n);
  }
  static ssize_t send(wslay_event_context_ptr, const uint8_t* data, size_t len, int, void* user) {
    static_cast<Gateway*>(user)->queue(std::string(reinterpret_cast<const char*>(data), len));
    return static_cast<ssize_t>(len);
  }
  static void frameStart(wslay_event_context_ptr, const wslay_event_on_frame_recv_start_arg* arg, void* user) {
    auto* g = static_cast<Gateway*>(user);
    g->frameBudget_ -= 1;
    if (g->frameBudget_ < 0 && g->why_.empty()) g->why_ = "over its frames a second";
    if (arg->payload_length > g->limits_.maxMessageBytes && g->why_.empty()) g->why_ = "a frame over its size";
  }
  static void message(wslay_event_context_ptr, const wslay_event_on_msg_recv_arg* arg, void* user) {
    auto* g = static_cast<Gateway*>(user);
    if (arg->opcode == WSLAY_TEXT_FRAME) {
      if (g->onLine && g->why_.empty())
        g->onLine(utf8ToLine(std::string_view(reinterpret_cast<const char*>(arg->msg), arg->msg_length)));
    } else if (arg->opcode == WSLAY_BINARY_FRAME) {
      if (g->why_.empty()) g->why_ = "a binary message";
    }
  }
};

Gateway::Gateway(const Site& site, const Limits& limits, int64_t nowMs)
    : site_(site),
      limits_(limits),
      parser_(std::make_unique<http_parser>()),
      request_(std::make_unique<Request>()),
      byteBudget_(static_cast<double>(limits.burstBytes)),
      frameBudget_(static_cast<double>(limits.burstFrames)),
      budgetAt_(nowMs),
      lastHeard_(nowMs) {
  http_parser_init(parser_.get(), HTTP_REQUEST);
  parser_->data = this;
}

Gateway::~Gateway() {
  if (ws_) wslay_event_context_free(ws_);
}

bool Gateway::refill(int64_t nowMs) {
  if (nowMs <= budgetAt_) return false;
  const double s = static_cast<double>(nowMs - budgetAt_) / 1000.0;
  budgetAt_ = nowMs;
  byteBudget_ = std::min<double>(static_cast<double>(limits_.burstBytes), byteBudget_ + s * limits_.bytesPerSecond);
  frameBudget_ = std::min<double>(static_cast<double>(limits_.burstFrames), frameBudget_ + s * limits_.framesPerSecond);
  return true;
}

void Gateway::receive(std::string_view bytes, int64_t nowMs) {
  if (closing_) return;
  if (!bytes.empty()) {
    lastHeard_ = nowMs;
    pinged_ = false;
  }
  held_.append(bytes);
  if (held_.size() > limits_.maxHeldBytes) {
    held_.clear();
    closing_ = true;
    why_ = "over its bytes a second";
    return;
  }
  refill(nowMs);
  takeBytes(nowMs);
}

void Gateway::tick(int64_t nowMs) {
  if (closing_) return;
  refill(nowMs);
  if (!held_.empty()) takeBytes(nowMs);
  if (closing_) return;
  const int64_t quiet = nowMs - lastHeard_;
  if (phase_ == Phase::Http && quiet > limits_.httpIdleMs) {
    closing_ = true;
  } else if (phase_ == Phase::WebSocket) {
    if (quiet > limits_.deadMs) {
      closing_ = true;
      why_ = "silent";
    } else if (quiet > limits_.pingMs && !pinged_) {
      pinged_ = true;
      wslay_event_msg ping{WSLAY_PING, nullptr, 0};
      wslay_event_queue_msg(ws_, &ping);
      wsFlush();
    }
  }
}

void Gateway::takeBytes(int64_t) {
  while (!held_.empty() && !closing_) {
    if (phase_ == Phase::Http && pendingBytes_ > limits_.maxPendingOutput) return;  // goes on once written
    const size_t n = std::min(held_.size(), static_cast<size_t>(std::max(0.0, byteBudget_)));
    if (n == 0) return;
    byteBudget_ -= static_cast<double>(n);
    std::string chunk = held_.substr(0, n);
    held_.erase(0, n);
    if (phase_ == Phase::Http) {
      http(chunk);
    } else if (phase_ == Phase::WebSocket) {
      wsIn_ += chunk;
      wsReceive();
    }
  }
}

// --- HTTP --------------------------------------------------------------------

namespace {

Gateway* of(http_parser* p) { return static_cast<Gateway*>(p->data); }

}  // namespace

int Gateway::onUrl(http_parser* p, const char* at, size_t n) {
  Request& r = *of(p)->request_;
  r.bytes += n;
  if (r.bytes > of(p)->limits_.maxRequestBytes) return r.tooLarge = true, 1;
  r.url.append(at, n);
  return 0;
}

int Gateway::onHeaderField(http_parser* p, const char* at, size_t n) {
  Gateway* g = of(p);
  Request& r = *g->request_;
  r.bytes += n + 4;  // the colon, the space and the line's end
  if (r.bytes > g->limits_.maxRequestBytes) return r.tooLarge = true, 1;
  if (r.inValue || r.count == 0) {
    if (++r.count > g->limits_.maxHeaders) return r.tooMany = true, 1;
    r.field.clear();
    r.inValue = false;
  }
  r.field += lower(std::string_view(at, n));
  return 0;
}

int Gateway::onHeaderValue(http_parser* p, const char* at, size_t n) {
  Gateway* g = of(p);
  Request& r = *g->request_;
  r.bytes += n;
  if (r.bytes > g->limits_.maxRequestBytes) return r.tooLarge = true, 1;
  std::string& v = r.headers[r.field];
  if (!r.inValue && !v.empty()) v += ',';
  r.inValue = true;
  v.append(at, n);
  return 0;
}

int Gateway::onHeadersComplete(http_parser* p) {
  // Nothing the page asks for carries a body.
  if ((p->flags & F_CHUNKED) || (p->content_length > 0 && p->content_length != ULLONG_MAX)) {
    of(p)->fail(413, "Payload Too Large", "a request with a body");
    return 2;
  }
  return 0;
}

int Gateway::onMessageComplete(http_parser* p) {
  Gateway* g = of(p);
  g->answer();
  *g->request_ = Request{};
  // One answer at a time while the output is long: the rest waits.
  if (g->pendingBytes_ > g->limits_.maxPendingOutput || g->closing_ || g->phase_ != Phase::Http)
    http_parser_pause(p, 1);
  return 0;
}

void Gateway::http(std::string_view bytes) {
  static const http_parser_settings settings = [] {
    http_parser_settings s{};
    s.on_url = &Gateway::onUrl;
    s.on_header_field = &Gateway::onHeaderField;
    s.on_header_value = &Gateway::onHeaderValue;
    s.on_headers_complete = &Gateway::onHeadersComplete;
    s.on_message_complete = &Gateway::onMessageComplete;
    return s;
  }();
  size_t at = 0;
  while (at < bytes.size() && !closing_ && phase_ == Phase::Http) {
    const size_t n = http_parser_execute(parser_.get(), &settings, bytes.data() + at, bytes.size() - at);
    at += n;
    const auto err = HTTP_PARSER_ERRNO(parser_.get());
    if (err == HPE_PAUSED) {
      http_parser_pause(parser_.get(), 0);
      if (phase_ == Phase::WebSocket) {
        // The HTTP side is done for good: a seat that may last hours keeps
        // nothing of it.
        parser_.reset();
        request_.reset();
        held_.shrink_to_fit();
        wsIn_.append(bytes.substr(at));
        wsReceive();
        return;
      }
      if (closing_) return;
      if (pendingBytes_ > limits_.maxPendingOutput) {
        held_.insert(0, bytes.substr(at));  // the rest waits for room
        return;
      }
      continue;
    }
    if (err != HPE_OK) {
      if (closing_) return;  // answered already (a body)
      if (request_->tooLarge) fail(431, "Request Header Fields Too Large", "a request over its size");
      else if (request_->tooMany) fail(431, "Request Header Fields Too Large", "a request with too many headers");
      else fail(400, "Bad Request", std::string("not HTTP (") + http_errno_name(err) + ")");
      return;
    }
    if (parser_->upgrade && phase_ == Phase::Http) {
      // An upgrade that was not a WebSocket's, already answered.
      closing_ = true;
      return;
    }
    if (n == 0) break;
  }
}

void Gateway::fail(int status, std::string_view reason, std::string why) {
  if (closing_) return;
  why_ = std::move(why);
  respond(status, reason, "Connection: close\r\n");
  closing_ = true;
}

void Gateway::queue(std::string bytes) {
  if (bytes.empty()) return;
  queue(std::make_shared<const std::string>(std::move(bytes)));
}

void Gateway::queue(std::shared_ptr<const std::string> bytes) {
  if (!bytes || bytes->empty()) return;
  pendingBytes_ += bytes->size();
  out_.push_back({std::move(bytes), 0});
}

void Gateway::respond(int status, std::string_view reason, std::string_view extraHeaders,
                      std::shared_ptr<const std::string> body, bool head) {
  std::string h = "HTTP/1.1 " + std::to_string(status) + " " + std::string(reason) + "\r\n";
  h += "Content-Length: " + std::to_string(body ? body->size() : 0) + "\r\n";
  h += "X-Content-Type-Options: nosniff\r\n";
  h += extraHeaders;
  h += "\r\n";
  queue(std::move(h));
  if (!head) queue(std::move(body));
}

void Gateway::answer() {
  const Request& r = *request_;
  const auto method = static_cast<http_method>(parser_->method);
  std::string path = r.url.substr(0, r.url.find_first_of("?#"));
  const auto header = [&r](const char* name) -> std::string {
    const auto it = r.headers.find(name);
    return it == r.headers.end() ? std::string() : it->second;
  };
  const bool keepAlive = http_should_keep_alive(parser_.get()) != 0;
  const std::string connection = keepAlive ? "" : "Connection: close\r\n";
  if (parser_->upgrade && hasToken(header("upgrade"), "websocket")) {
    const std::string key = header("sec-websocket-key");
    if (method != HTTP_GET || key.size() != 24 || header("sec-websocket-version") != "13" ||
        !hasToken(header("connection"), "upgrade"))
      return fail(400, "Bad Request", "not a WebSocket's request");
    if (!onUpgrade || !onUpgrade(path)) return fail(404, "Not Found", "");
    respond(101, "Switching Protocols",
            "Upgrade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Accept: " + acceptKey(key) + "\r\n");
    upgrade();
    return;
  }
  if (method != HTTP_GET && method != HTTP_HEAD) {
    why_ = "a method it does not serve";
    respond(405, "Method Not Allowed", "Allow: GET, HEAD\r\nConnection: close\r\n");
    closing_ = true;
    return;
  }
  const bool head = method == HTTP_HEAD;
  const Asset* a = site_.find(path);
  if (!a && (path == "/" || isCodePath(path)) && !site_.problem().empty()) {
    respond(503, "Service Unavailable", "Content-Type: text/plain; charset=utf-8\r\n" + connection,
            std::make_shared<const std::string>(site_.problem() + "\n"), head);
  } else if (!a) {
    respond(404, "Not Found", "Content-Type: text/plain; charset=utf-8\r\n" + connection,
            std::make_shared<const std::string>("not found\n"), head);
  } else {
    std::string common = "ETag: " + a->etag + "\r\nCache-Control: " +
                         (a->keep ? "public, max-age=604800" : "no-cache") + "\r\n" + connection;
    const std::string seen = header("if-none-match");
    if (!seen.empty() && (seen == a->etag || hasToken(seen, lower(a->etag)))) {
      respond(304, "Not Modified", common, nullptr, true);
    } else {
      const bool gz = a->gzip && hasToken(header("accept-encoding"), "gzip");
      if (a->gzip) common += "Vary: Accept-Encoding\r\n";
      if (gz) common += "Content-Encoding: gzip\r\n";
      respond(200, "OK", "Content-Type: " + a->type + "\r\n" + common, gz ? a->gzip : a->plain, head);
    }
  }
  if (!keepAlive) closing_ = true;
}

// --- WebSocket ---------------------------------------------------------------

void Gateway::upgrade() {
  static const wslay_event_callbacks callbacks = {
      &WsCallbacks::recv, &WsCallbacks::send, nullptr, &WsCallbacks::frameStart, nullptr, nullptr,
      &WsCallbacks::message};
  if (wslay_event_context_server_init(&ws_, &callbacks, this) != 0) {
    ws_ = nullptr;
    closing_ = true;
    why_ = "out of memory";
    return;
  }
  wslay_event_config_set_max_recv_msg_length(ws_, limits_.maxMessageBytes);
  phase_ = Phase::WebSocket;
}

void Gateway::wsReceive() {
  if (!ws_ || closing_) return;
  const int r = wslay_event_recv(ws_);
  if (!why_.empty()) {
    closeWs(why_ == "a binary message" ? kUnsupported : kPolicy, why_);
    return;
  }
  if (r != 0) {
    closing_ = true;
    why_ = "a broken WebSocket frame";
    return;
  }
  wsFlush();
}

void Gateway::wsFlush() {
  if (!ws_) return;
  if (wslay_event_want_write(ws_)) wslay_event_send(ws_);
  // Closed both ways (or the browser's close answered): nothing more.
  if ((wslay_event_get_close_received(ws_) && wslay_event_get_close_sent(ws_)) ||
      (!wslay_event_want_read(ws_) && !wslay_event_want_write(ws_)))
    closing_ = true;
}

void Gateway::closeWs(uint16_t code, std::string why) {
  if (why_.empty()) why_ = std::move(why);
  if (ws_ && !wslay_event_get_close_sent(ws_)) {
    wslay_event_queue_close(ws_, code, nullptr, 0);
    wslay_event_send(ws_);
  }
  closing_ = true;
}

void Gateway::sendLine(std::string_view line) {
  if (phase_ != Phase::WebSocket || closing_ || !ws_) return;
  // The host's own bound on what a table has not taken.
  if (pendingBytes_ > limits_.maxUnsentBytes) {
    closing_ = true;
    why_ = "not reading";
    return;
  }
  const std::string text = latin1ToUtf8(line);
  wslay_event_msg msg{WSLAY_TEXT_FRAME, reinterpret_cast<const uint8_t*>(text.data()), text.size()};
  wslay_event_queue_msg(ws_, &msg);
  wsFlush();
}

void Gateway::fromGame(std::string_view bytes) {
  size_t start = 0;
  for (;;) {
    const size_t end = bytes.find('\xFF', start);
    if (end == std::string_view::npos) break;
    if (gameIn_.empty()) {
      sendLine(bytes.substr(start, end - start));
    } else {
      gameIn_.append(bytes.substr(start, end - start));
      sendLine(gameIn_);
      gameIn_.clear();
    }
    start = end + 1;
  }
  gameIn_.append(bytes.substr(start));
  if (gameIn_.size() > limits_.maxGameRemainder) {
    gameIn_ = std::string();
    closeWs(kPolicy, "a message of the game without end");
  }
}

void Gateway::refuse(uint16_t code, std::string_view reason) {
  if (phase_ != Phase::WebSocket || !ws_) {
    closing_ = true;
    return;
  }
  if (!wslay_event_get_close_sent(ws_)) {
    // A close frame's reason is at most 123 bytes.
    const std::string r(reason.substr(0, 120));
    wslay_event_queue_close(ws_, code, reinterpret_cast<const uint8_t*>(r.data()), r.size());
    wslay_event_send(ws_);
  }
  closing_ = true;
}

void Gateway::endGame() {
  if (phase_ == Phase::WebSocket) closeWs(kNormal, "");
  closing_ = true;
}

std::string_view Gateway::pending() const {
  if (out_.empty()) return {};
  const Chunk& c = out_.front();
  return std::string_view(*c.data).substr(c.offset);
}

void Gateway::written(size_t n) {
  while (n > 0 && !out_.empty()) {
    Chunk& c = out_.front();
    const size_t left = c.data->size() - c.offset;
    const size_t k = std::min(n, left);
    c.offset += k;
    n -= k;
    pendingBytes_ -= k;
    if (c.offset == c.data->size()) out_.pop_front();
  }
}

size_t Gateway::footprint() const {
  size_t n = sizeof(*this) + (parser_ ? sizeof(http_parser) + sizeof(Request) : 0) + held_.capacity() +
             wsIn_.capacity() + gameIn_.capacity();
  for (const Chunk& c : out_)
    if (c.data.use_count() == 1) n += c.data->capacity();
  return n;
}

}  // namespace ombrix::webgate
