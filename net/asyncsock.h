// TAsyncSock: one IPv4 socket whose network events arrive as handler calls
// on the user-interface thread. Every TCP connection of the game is one.
//
// Soft events are reported as fixed English texts through OnInfo (callers
// compare them: "Socket Closed" is how a lost connection is recognised);
// misuse and hard failures raise ESockException with fixed texts.
#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace ombrix::net {

class Notifier;

enum TSocketType { stStream = 0, stDatagram = 1 };
enum TLineBreak { lbCRLF = 0, lbCR = 1, lbLF = 2, lbSmart = 3 };
enum TSocketInfo { siLookup = 0, siConnect, siClose, siListen, siReceive, siSend, siAccept, siError };

class ESockException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TAsyncSock;
class TAsyncSockStream;

using TNotifyEvent = std::function<void(TAsyncSock* sender)>;
using TNotifyReadEvent = std::function<void(TAsyncSock* sender, int count)>;
using TNotifyAutoEvent = std::function<void(TAsyncSock* sender, TAsyncSock* newSock)>;
using TNotifyInfoEvent = std::function<void(TAsyncSock* sender, TSocketInfo info, const std::string& msg)>;

class TAsyncSock {
 public:
  static constexpr size_t kReceiveArea = 32768;  // most one receive call takes

  TAsyncSock();
  ~TAsyncSock();
  TAsyncSock(const TAsyncSock&) = delete;
  TAsyncSock& operator=(const TAsyncSock&) = delete;

  // --- Properties -------------------------------------------------------------
  TSocketType SocketType() const { return type_; }
  void setSocketType(TSocketType t);
  const std::string& HostName() const { return host_; }
  void setHostName(const std::string& name);
  const std::string& PortName() const { return port_; }
  void setPortName(const std::string& name);
  bool Blocking() const { return blocking_; }
  void setBlocking(bool b);
  bool AutoAccept = false;
  bool Listen() const { return listen_; }
  void setListen(bool on);
  TLineBreak LineBreak = lbSmart;  // stored only
  int BlockingTimeout = 0;         // seconds; negative waits without limit

  TNotifyEvent OnConnect, OnDisconnect, OnWrite, OnAccept;
  TNotifyInfoEvent OnInfo;
  TNotifyReadEvent OnRead;
  TNotifyAutoEvent OnAutoAccept;

  int Tag = 0;
  bool Connected() const { return connected_; }

  // --- Operations -----------------------------------------------------------
  bool Open();
  bool Close();
  bool Send(const std::string& text);
  std::string Receive() { return ReceiveCount(-1); }
  std::string ReceiveCount(int n);
  bool Accept(TAsyncSock*& newSock);
  bool SendDatagram(const std::string& text, const std::string& host);
  bool ReceiveDatagram(std::string& text, std::string& host);
  TAsyncSockStream& Stream() { return *stream_; }

  // Resolution, with the process-wide host name cache. LookupName answers
  // with an IPv4 address; Open also takes IPv6 addresses ("2001:db8::1",
  // with or without brackets) and names of either family, trying each
  // address of a name in turn until one connects.
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
  friend class TAsyncSockStream;
  TAsyncSock(TAsyncSock* listener, int handle);
  void applyBlocking();
  void notification(int event, int error);
  void info(TSocketInfo kind, const std::string& text);
  void acceptInto(TAsyncSock*& newSock, bool reports);
  // As with the asynchronous select, an accept or datagram notification is
  // not raised again until the call it asks for (Accept, ReceiveDatagram) is
  // made: a connection or datagram nobody takes cannot spin the loop.
  void pauseEvents(bool& paused);
  void resumeEvents(bool& paused);
  // Accept failed for want of a descriptor: wait until one is freed.
  void starve();
  friend void descriptorFreed();
  bool waitReadable();
  void receiveBlocking(int n);
  void sendDatagramNow(const std::string& text);
  // The addresses Open tries, in order: one for an address, every address of
  // a name (as the resolver orders them, IPv6 first where it is usable).
  std::vector<sockaddr_storage> streamTargets(const std::string& name, uint16_t port);
  bool connectNext();  // the next of targets_, false when none is left

  int fd_ = -1;
  TSocketType type_ = stStream;
  std::string host_, port_;
  bool blocking_ = false, listen_ = false, connected_ = false;
  std::string receiveQueue_, sendQueue_;
  sockaddr_in target_{};
  sockaddr_storage peer_{};
  std::vector<sockaddr_storage> targets_;  // a stream's addresses not yet tried
  int lastError_ = 0;
  bool acceptsPaused_ = false, readsPaused_ = false;
  std::unique_ptr<Notifier> notifier_;
  std::unique_ptr<TAsyncSockStream> stream_;
  TAsyncSock* owner_ = nullptr;     // the listener that accepted this socket
  std::set<TAsyncSock*> accepted_;  // sockets this listener still owns
};

// A stream bound to the socket: reads take ReceiveCount, writes Send.
class TAsyncSockStream {
 public:
  explicit TAsyncSockStream(TAsyncSock& sock) : sock_(sock) {}
  long Read(void* buffer, long count);
  long Write(const void* buffer, long count);
  long Seek(long, int) { return 0; }

 private:
  TAsyncSock& sock_;
};

// Frees a socket once control is back in the event loop, silently: safe from
// inside its own handlers.
void retire(std::unique_ptr<TAsyncSock>& sock);

}  // namespace ombrix::net
