#include "net/wsock.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <cerrno>
#include <cstdio>
#include <utility>

namespace ombrix::net {

int wsaFromErrno(int err) {
  switch (err) {
    case 0:
      return 0;
    case EINTR:
      return 10004;
    case EBADF:
      return 10009;
    case EACCES:
      return 10013;
    case EFAULT:
      return 10014;
    case EINVAL:
      return 10022;
    case EMFILE:
    case ENFILE:
      return 10024;
    case EAGAIN:
      return 10035;  // EWOULDBLOCK is the same value here
    case EINPROGRESS:
      return 10036;
    case EALREADY:
      return 10037;
    case ENOTSOCK:
      return 10038;
    case EDESTADDRREQ:
      return 10039;
    case EMSGSIZE:
      return 10040;
    case EPROTOTYPE:
      return 10041;
    case ENOPROTOOPT:
      return 10042;
    case EPROTONOSUPPORT:
      return 10043;
    case ESOCKTNOSUPPORT:
      return 10044;
    case EOPNOTSUPP:
      return 10045;
    case EPFNOSUPPORT:
      return 10046;
    case EAFNOSUPPORT:
      return 10047;
    case EADDRINUSE:
      return 10048;
    case EADDRNOTAVAIL:
      return 10049;
    case ENETDOWN:
      return 10050;
    case ENETUNREACH:
      return 10051;
    case ENETRESET:
      return 10052;
    case ECONNABORTED:
      return 10053;
    case ECONNRESET:
      return 10054;
    case ENOBUFS:
      return 10055;
    case EISCONN:
      return 10056;
    case ENOTCONN:
      return 10057;
    case ESHUTDOWN:
    case EPIPE:
      return 10058;
    case ETOOMANYREFS:
      return 10059;
    case ETIMEDOUT:
      return 10060;
    case ECONNREFUSED:
      return 10061;
    case ELOOP:
      return 10062;
    case ENAMETOOLONG:
      return 10063;
    case EHOSTDOWN:
      return 10064;
    case EHOSTUNREACH:
      return 10065;
    case ENOTEMPTY:
      return 10066;
    case EUSERS:
      return 10068;
    case EDQUOT:
      return 10069;
    case ESTALE:
      return 10070;
    case EREMOTE:
      return 10071;
    // No Windows Sockets counterpart: a code above every named one, so the
    // report still carries the errno (as code - 15000) and reads "UNKNOWN ERROR".
    default:
      return 15000 + err;
  }
}

std::string socketErrorName(int code) {
  struct Name {
    int code;
    const char* name;
  };
  static constexpr Name kNames[] = {
      {10004, "WSAEINTR"},           {10009, "WSAEBADF"},        {10013, "WSAEACCES"},
      {10014, "WSAEFAULT"},          {10022, "WSAEINVAL"},       {10024, "WSAEMFILE"},
      {10035, "WSAEWOULDBLOCK"},     {10036, "WSAEINPROGRESS"},  {10037, "WSAEALREADY"},
      {10038, "WSAENOTSOCK"},        {10039, "WSAEDESTADDRREQ"}, {10040, "WSAEMSGSIZE"},
      {10041, "WSAEPROTOTYPE"},      {10042, "WSAENOPROTOOPT"},  {10043, "WSAEPROTONOSUPPORT"},
      {10044, "WSAESOCKTNOSUPPORT"}, {10045, "WSAEOPNOTSUPP"},   {10046, "WSAEPFNOSUPPORT"},
      {10047, "WSAEAFNOSUPPORT"},    {10048, "WSAEADDRINUSE"},   {10049, "WSAEADDRNOTAVAIL"},
      {10050, "WSAENETDOWN"},        {10051, "WSAENETUNREACH"},  {10052, "WSAENETRESET"},
      {10053, "WSAECONNABORTED"},    {10054, "WSAECONNRESET"},   {10055, "WSAENOBUFS"},
      {10056, "WSAEISCONN"},         {10057, "WSAENOTCONN"},     {10058, "WSAESHUTDOWN"},
      {10059, "WSAETOOMANYREFS"},    {10060, "WSAETIMEDOUT"},    {10061, "WSAECONNREFUSED"},
      {10062, "WSAELOOP"},           {10063, "WSAENAMETOOLONG"}, {10064, "WSAEHOSTDOWN"},
      {10065, "WSAEHOSTUNREACH"},    {10066, "WSAENOTEMPTY"},    {10067, "WSAEPROCLIM"},
      {10068, "WSAEUSERS"},          {10069, "WSAEDQUOT"},       {10070, "WSAESTALE"},
      {10071, "WSAEREMOTE"},         {10091, "WSASYSNOTREADY"},  {10092, "WSAVERNOTSUPPORTED"},
      {10093, "WSANOTINITIALISED"},  {10101, "WSAEDISCON"},      {11001, "WSAHOST_NOT_FOUND"},
      {11002, "WSATRY_AGAIN"},       {11003, "WSANO_RECOVERY"},  {11004, "WSANO_DATA"},
  };
  for (const Name& n : kNames)
    if (n.code == code) return n.name;
  return "UNKNOWN ERROR";
}

bool findDeadLines(int fd, const DeadLineTimes& t) {
  const int on = 1;
  const unsigned timeout = static_cast<unsigned>(t.userTimeoutMs);
  return ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on) == 0 &&
         ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &t.idleS, sizeof t.idleS) == 0 &&
         ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &t.intervalS, sizeof t.intervalS) == 0 &&
         ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &t.probes, sizeof t.probes) == 0 &&
         ::setsockopt(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &timeout, sizeof timeout) == 0;
}

class Notifier::Impl {
 public:
  Impl(int fd, Deliver d)
      : fd_(fd),
        deliver_(std::move(d)),
        read_(fd, QSocketNotifier::Read),
        write_(fd, QSocketNotifier::Write) {
    read_.setEnabled(false);
    write_.setEnabled(false);
    QObject::connect(&read_, &QSocketNotifier::activated, [this] { readable(); });
    QObject::connect(&write_, &QSocketNotifier::activated, [this] { writable(); });
  }

  void select(int events) {
    events_ = events;
    if (closed_) return;
    read_.setEnabled((events & (FD_READ | FD_ACCEPT | FD_CLOSE)) != 0);
    write_.setEnabled(connecting_ || (writeWanted_ && (events & FD_WRITE)));
  }
  void connecting() {
    connecting_ = true;
    write_.setEnabled(true);
    read_.setEnabled(false);  // nothing to read before the connect is done
  }
  void wantWrite() {
    writeWanted_ = true;
    if (!closed_ && (events_ & FD_WRITE)) write_.setEnabled(true);
  }

 private:
  void readable() {
    if (events_ & FD_ACCEPT) return deliver_(FD_ACCEPT, 0);
    // A datagram socket has no end of stream: every readiness is a datagram.
    if (!(events_ & FD_CLOSE)) return deliver_(FD_READ, 0);
    char probe;
    const ssize_t n = ::recv(fd_, &probe, 1, MSG_PEEK | MSG_DONTWAIT);
    if (n > 0) {
      if (events_ & FD_READ) deliver_(FD_READ, 0);
      return;
    }
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
    // The end of the stream, orderly or not: one FD_CLOSE and then silence.
    const int error = n == 0 ? 0 : wsaFromErrno(errno);
    closed_ = true;
    read_.setEnabled(false);
    write_.setEnabled(false);
    if (events_ & FD_CLOSE) deliver_(FD_CLOSE, error);
  }
  void writable() {
    write_.setEnabled(false);
    if (connecting_) {
      connecting_ = false;
      int err = 0;
      socklen_t len = sizeof err;
      ::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &err, &len);
      if (err != 0) {
        // A failed connect: the error is all there is.
        closed_ = true;
        read_.setEnabled(false);
        if (events_ & FD_CONNECT) deliver_(FD_CONNECT, wsaFromErrno(err));
        return;
      }
      read_.setEnabled((events_ & (FD_READ | FD_CLOSE)) != 0);
      if (events_ & FD_CONNECT) deliver_(FD_CONNECT, 0);
      if (events_ & FD_WRITE) deliver_(FD_WRITE, 0);
      return;
    }
    writeWanted_ = false;
    if (events_ & FD_WRITE) deliver_(FD_WRITE, 0);
  }

  int fd_;
  Deliver deliver_;
  QSocketNotifier read_, write_;
  int events_ = 0;
  bool connecting_ = false, writeWanted_ = false, closed_ = false;
};

Notifier::Notifier(int fd, Deliver deliver) : impl_(std::make_unique<Impl>(fd, std::move(deliver))) {}
Notifier::~Notifier() = default;
void Notifier::select(int events) { impl_->select(events); }
void Notifier::connecting() { impl_->connecting(); }
void Notifier::wantWrite() { impl_->wantWrite(); }

void post(std::function<void()> f) { QTimer::singleShot(0, QCoreApplication::instance(), std::move(f)); }

}  // namespace ombrix::net

namespace ombrix::net {
namespace {
std::function<void(const std::string&)>& sink() {
  static std::function<void(const std::string&)> s;
  return s;
}
}  // namespace
void setUnhandledErrorSink(std::function<void(const std::string&)> s) { sink() = std::move(s); }
void reportUnhandled(const std::string& what) {
  if (sink())
    sink()(what);
  else
    std::fprintf(stderr, "error: %s\n", what.c_str());
}
}  // namespace ombrix::net
