// The pieces both ends of the game use to talk to the lobby server, on the
// Qt event loop over TAsyncSock: a connection that speaks lines of the
// lobby protocol, and a splice that joins two connections byte for byte.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "base/timer.h"
#include "lobbywire/wire.h"
#include "net/asyncsock.h"

namespace ombrix::lobbyclient {

// The event loop's timers, for the pieces here that are given none.
TimerFactory& loopTimers();

using net::retire;

// One connection to the lobby server, reading lines of the protocol.
class LineLink {
 public:
  LineLink() = default;
  ~LineLink();
  LineLink(const LineLink&) = delete;
  LineLink& operator=(const LineLink&) = delete;

  std::function<void()> onConnected;
  std::function<void(const lobbywire::Message&)> onMessage;
  // The connection is gone (refused, lost, closed by the server, or a line
  // that is not the protocol's); `why` says which. Called once.
  std::function<void(const std::string& why)> onClosed;

  void open(const lobbywire::HostPort& server);
  void send(const std::string& line);
  void close();
  bool connected() const { return sock_ && sock_->Connected(); }
  // AF_INET or AF_INET6 once connected, 0 before.
  int family() const;
  // Stops reading lines: the socket, and what came after the last line
  // read, become the caller's (a relay from here on).
  std::unique_ptr<net::TAsyncSock> takeRaw(std::string& leftover);

 private:
  void read();
  void lost(const std::string& why);
  std::unique_ptr<net::TAsyncSock> sock_;
  std::string in_;
};

// Two connections as one stream. Ends (and frees both) when either side
// closes, once what was on its way to the other has been handed over; or
// when one side stops taking what the other sends.
class Splice {
 public:
  // Most one side may be sent and not yet take: a stalled game table. The
  // host itself closes a table at 1 MB; the relay holds no more.
  static constexpr size_t kMaxQueued = 1 << 20;
  // How long an ended stream may take to hand over what was on its way.
  static constexpr int kFlushMs = 5000;

  // The flush's timer comes from `timers` (the event loop's when none is
  // given; a test's virtual clock), which outlives the splice.
  Splice(std::unique_ptr<net::TAsyncSock> a, std::unique_ptr<net::TAsyncSock> b, const std::string& toA = {},
         const std::string& toB = {}, TimerFactory* timers = nullptr);
  ~Splice();
  Splice(const Splice&) = delete;
  Splice& operator=(const Splice&) = delete;

  // Called once, from the event loop, when the stream has ended.
  std::function<void()> onEnded;
  bool ended() const { return ended_; }

 private:
  void pass(net::TAsyncSock* from, net::TAsyncSock* to);
  void sideClosed(net::TAsyncSock* gone, net::TAsyncSock* other);
  void end();
  void finished();  // both sides closed: tell the owner
  std::unique_ptr<net::TAsyncSock> a_, b_;
  std::unique_ptr<Timer> flush_;
  bool ended_ = false, told_ = false;
  std::shared_ptr<int> life_ = std::make_shared<int>(0);
};

}  // namespace ombrix::lobbyclient
