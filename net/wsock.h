// A thin socket layer in the shape the socket component expects: POSIX
// sockets underneath, errors as Windows Sockets codes, and readiness turned
// into the five notifications (accept, connect, read, write, close),
// delivered on the thread that runs the Qt event loop.
//
// Semantics kept from the asynchronous-select model:
//  * FD_CONNECT once, when a non-blocking connect finishes, with its error
//    code (0 on success); FD_WRITE follows a successful connect once;
//  * FD_READ while data is waiting (level-triggered: reading re-arms it);
//  * FD_CLOSE once, after all data has been read: error 0 for an orderly
//    close, WSAECONNRESET and the like for a broken one; nothing after it;
//  * FD_WRITE when the kernel can take more after a send fell short (the
//    caller asks for it with wantWrite());
//  * FD_ACCEPT while a connection is waiting on a listener.
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace ombrix::net {

enum FdEvent : int { FD_READ = 1, FD_WRITE = 2, FD_OOB = 4, FD_ACCEPT = 8, FD_CONNECT = 16, FD_CLOSE = 32 };

constexpr int WSAEINTR = 10004;
constexpr int WSAEWOULDBLOCK = 10035;
constexpr int WSAEINPROGRESS = 10036;
constexpr int WSAECONNABORTED = 10053;
constexpr int WSAECONNRESET = 10054;
constexpr int WSAESHUTDOWN = 10058;
constexpr int WSAETIMEDOUT = 10060;
constexpr int WSAECONNREFUSED = 10061;

// The Windows Sockets code for a POSIX errno (or resolver failure).
int wsaFromErrno(int err);
// The symbolic name of a code, "UNKNOWN ERROR" for codes without one.
std::string socketErrorName(int code);

// A peer whose line went silent (a cable pulled, a machine switched off)
// sends no reset; without these a connection waits for it for ever, or for
// the kernel's retransmissions to run out (about a quarter of an hour).
// Keepalive probes find an idle dead line; the user timeout ends one that
// has data unacknowledged that long. Either way the connection is reported
// broken (WSAETIMEDOUT). False when the system refused an option.
struct DeadLineTimes {
  int idleS;          // silence before the first probe
  int intervalS;      // between probes
  int probes;         // unanswered probes before the line is dead
  int userTimeoutMs;  // data unacknowledged this long: dead
};
bool findDeadLines(int fd, const DeadLineTimes& t);

// Watches one descriptor and delivers FdEvents. Must be created and used on
// the event loop's thread.
class Notifier {
 public:
  using Deliver = std::function<void(int event, int error)>;
  Notifier(int fd, Deliver deliver);
  ~Notifier();
  Notifier(const Notifier&) = delete;
  Notifier& operator=(const Notifier&) = delete;

  // Registers the events of interest (0 cancels), as WSAAsyncSelect does.
  void select(int events);
  // A connect is in progress: report FD_CONNECT when it finishes.
  void connecting();
  // A send fell short: report FD_WRITE once the kernel can take more.
  void wantWrite();

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

// Runs `f` on the event loop's thread once control returns to it.
void post(std::function<void()> f);

}  // namespace ombrix::net

namespace ombrix::net {
// Where an exception that escaped an event handler goes: the program shows
// it and goes on. Defaults to standard error.
void setUnhandledErrorSink(std::function<void(const std::string&)> sink);
void reportUnhandled(const std::string& what);
}  // namespace ombrix::net
