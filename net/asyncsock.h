// TAsyncSock: one non-blocking TCP socket whose network events arrive as
// handler calls on the user-interface thread. Every connection of the game
// is one.
//
// Soft events are reported as fixed English texts through OnInfo, for the
// log; a connection's end is reported through OnEnd with a typed reason
// (every Close of a socket that is not listening, after OnInfo's "Socket
// Closed"). Misuse and hard failures raise ESockException with fixed texts.
#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace ombrix::net {

class Notifier;

enum TSocketInfo { siLookup = 0, siConnect, siClose, siListen, siReceive, siSend, siAccept, siError };

// Why a connection ended.
enum class EndReason {
  Orderly,   // closed: by the peer once its data was read, or by this side
  Reset,     // broken: a reset or an abort, the network or the peer's host unreachable
  TimedOut,  // a dead line: the keepalive or the user timeout found it (net/wsock.h)
  Refused,   // never made: nobody listened there
};
// The reason an error code ends a connection by; nothing for a code that
// does not end one (a name not found, a descriptor short).
std::optional<EndReason> endReasonOf(int code);
// A connection that broke under its users (a reset or a dead line).
inline bool broken(std::optional<EndReason> r) { return r == EndReason::Reset || r == EndReason::TimedOut; }

class ESockException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TAsyncSock;

using TNotifyEvent = std::function<void(TAsyncSock* sender)>;
using TNotifyReadEvent = std::function<void(TAsyncSock* sender, int count)>;
using TNotifyInfoEvent = std::function<void(TAsyncSock* sender, TSocketInfo info, const std::string& msg)>;
using TNotifyEndEvent = std::function<void(TAsyncSock* sender, EndReason why)>;

class TAsyncSock {
 public:
  static constexpr size_t kReceiveArea = 32768;  // most one receive call takes

  TAsyncSock();
  ~TAsyncSock();
  TAsyncSock(const TAsyncSock&) = delete;
  TAsyncSock& operator=(const TAsyncSock&) = delete;

  // --- Properties -------------------------------------------------------------
  const std::string& HostName() const { return host_; }
  void setHostName(const std::string& name);
  const std::string& PortName() const { return port_; }
  void setPortName(const std::string& name);
  bool Listen() const { return listen_; }
  void setListen(bool on);

  TNotifyEvent OnConnect, OnDisconnect, OnWrite, OnAccept;
  TNotifyInfoEvent OnInfo;
  TNotifyReadEvent OnRead;
  // The connection is over and its handle closed, with why: the break an
  // error report told before the Close, else Orderly.
  TNotifyEndEvent OnEnd;

  int Tag = 0;
  bool Connected() const { return connected_; }
  // Once an error report or the peer's close said the connection is over,
  // why (kept through its Close, until the next Open); nothing before.
  // A break arrives as an error report alone and the handle stays open:
  // the user closes it.
  std::optional<EndReason> EndedBy() const { return end_; }

  // --- Operations -----------------------------------------------------------
  bool Open();
  bool Close();
  bool Send(const std::string& text);
  std::string Receive() { return ReceiveCount(-1); }
  std::string ReceiveCount(int n);
  bool Accept(TAsyncSock*& newSock);

  // Resolution, with the process-wide host name cache. LookupName answers
  // with an IPv4 address; Open also takes IPv6 addresses ("2001:db8::1",
  // with or without brackets) and names of either family, trying each
  // address of a name in turn until one connects. An address is a whole
  // dotted-decimal one (net/resolver.h) or an IPv6 literal; every other
  // text is a name. Open looks a name up off the loop's thread and reports a name that has no address as an error
  // ("Host Lookup - Could Not Find Host Entry") once the answer is in.
  uint32_t LookupName(const std::string& name);
  uint16_t LookupPort(const std::string& name);
  static std::string SocketErrorName(int code);

  // --- Beyond the component, for this system's own needs -----------------------
  // The local port once bound (a listener on port "0" learns its port here).
  int LocalPort() const;
  // The system handle, -1 when there is none (for socket options).
  int Handle() const { return fd_; }
  // The code of the last error report, 0 if none.
  int LastError() const { return lastError_; }
  // Bytes handed to Send that the network has not taken yet.
  size_t SendQueued() const { return sendQueue_.size(); }
  // Destroys this socket once control is back in the event loop; safe from
  // inside one of its own handlers.
  void deleteLater();
  // Resolver calls made by the process so far (the cache saves them).
  static int resolverCalls();
  // How long a listener that ran out of descriptors waits before it tries
  // again when no socket of this process frees one meanwhile.
  static constexpr int kStarvedRetryMs = 200;

 private:
  TAsyncSock(TAsyncSock* listener, int handle);
  void applyEvents();
  void notification(int event, int error);
  void info(TSocketInfo kind, const std::string& text);
  // An error report, with what it says of the connection's end.
  void error(int code, const std::string& text);
  void acceptInto(TAsyncSock*& newSock);
  // As with the asynchronous select, an accept notification is not raised
  // again until Accept is called: a connection nobody takes cannot spin
  // the loop.
  void pauseEvents(bool& paused);
  void resumeEvents(bool& paused);
  // Accept failed for want of a descriptor: wait until one is freed.
  void starve();
  friend void descriptorFreed();
  // The addresses Open tries, in order: one for an address, every address of
  // a name (as the resolver orders them, IPv6 first where it is usable).
  std::vector<sockaddr_storage> streamTargets(const std::string& name, uint16_t port);
  bool connectNext();  // the next of targets_, false when none is left
  // An Open of a name: the resolver is asked on a thread of its
  // own, and the connection made from the loop once it answers.
  void lookUp(uint16_t port);
  static constexpr int kHostNotFound = 11001;  // WSAHOST_NOT_FOUND
  uint64_t lookups_ = 0;  // counts look-ups started and cancelled; an answer carries its number

  int fd_ = -1;
  std::string host_, port_;
  bool listen_ = false, connected_ = false;
  std::string receiveQueue_, sendQueue_;
  sockaddr_storage peer_{};
  std::vector<sockaddr_storage> targets_;  // the addresses not yet tried
  int lastError_ = 0;
  std::optional<EndReason> end_;
  bool acceptsPaused_ = false;
  std::unique_ptr<Notifier> notifier_;
  TAsyncSock* owner_ = nullptr;     // the listener that accepted this socket
  std::set<TAsyncSock*> accepted_;  // sockets this listener still owns
};

// Frees a socket once control is back in the event loop, silently: safe from
// inside its own handlers.
void retire(std::unique_ptr<TAsyncSock>& sock);

}  // namespace ombrix::net
