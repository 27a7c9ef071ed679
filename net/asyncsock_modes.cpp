// The modes of TAsyncSock that this game never selects: blocking receive,
// datagrams and the stream object. They are part of the component.
#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "net/asyncsock.h"
#include "net/wsock.h"

namespace ombrix::net {

bool TAsyncSock::waitReadable() {
  pollfd p{fd_, POLLIN, 0};
  const int ms = BlockingTimeout < 0 ? -1 : BlockingTimeout * 1000;
  int rc;
  do rc = ::poll(&p, 1, ms);
  while (rc < 0 && errno == EINTR);
  return rc > 0;
}

void TAsyncSock::receiveBlocking(int n) {
  // A wait that times out receives nothing rather than blocking for ever.
  if (!waitReadable()) return;
  info(siReceive, "Blocking Incoming Data");
  char area[kReceiveArea];
  const size_t want = n < 0 || static_cast<size_t>(n) > kReceiveArea ? kReceiveArea : static_cast<size_t>(n);
  const ssize_t got = ::recv(fd_, area, want, 0);
  if (got == 0) {
    info(siClose, "Socket Disconnected On Receive");
    Close();
    if (OnDisconnect) OnDisconnect(this);
    return;
  }
  if (got < 0) {
    const int code = wsaFromErrno(errno);
    receiveQueue_.clear();
    info(siError, "Socket Error On Receive");
    throw ESockException("Receive - Socket Error " + socketErrorName(code));
  }
  receiveQueue_.append(area, static_cast<size_t>(got));
}

bool TAsyncSock::SendDatagram(const std::string& text, const std::string& host) {
  if (fd_ < 0) throw ESockException("SendDatagram - Socket Not Connected");
  if (type_ == stStream) throw ESockException("SendDatagram - Datagram Send Not Supported On Stream Sockets");
  setHostName(host);
  if (!text.empty())
    ::sendto(fd_, text.data(), text.size(), MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&target_),
             sizeof target_);
  return true;
}

bool TAsyncSock::ReceiveDatagram(std::string& text, std::string& host) {
  if (fd_ < 0) throw ESockException("ReceiveDatagram - Socket Not Connected");
  if (type_ == stStream)
    throw ESockException("ReceiveDatagram - Datagram Receive Not Supported On Stream Sockets");
  resumeEvents(readsPaused_);  // the read is made: the next datagram may be told
  if (!waitReadable()) return false;
  char area[kReceiveArea];
  socklen_t len = sizeof peer_;
  const ssize_t got =
      ::recvfrom(fd_, area, sizeof area, MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&peer_), &len);
  if (got < 0) return false;
  text.assign(area, static_cast<size_t>(got));
  char dotted[INET_ADDRSTRLEN] = {};
  ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in&>(peer_).sin_addr, dotted, sizeof dotted);
  host = dotted;
  return true;
}

long TAsyncSockStream::Read(void* buffer, long count) {
  // The caller's buffer holds `count` bytes: nothing is taken for a count of
  // 0 or less, and ReceiveCount never hands back more than it was asked.
  if (count <= 0) return 0;
  const int n = count > INT_MAX ? INT_MAX : static_cast<int>(count);
  const std::string got = sock_.ReceiveCount(n);
  std::memcpy(buffer, got.data(), got.size());
  return static_cast<long>(got.size());
}

long TAsyncSockStream::Write(const void* buffer, long count) {
  if (count <= 0) return 0;
  sock_.Send(std::string(static_cast<const char*>(buffer), static_cast<size_t>(count)));
  return count;
}

}  // namespace ombrix::net
