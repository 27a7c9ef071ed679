// Plain blocking clients of the lobby server for its tests, from any local
// address: each 127.x address stands in for another home, and inside the
// test network (testnet.h) every address of 2001:db8::/32 too.
#pragma once

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "lobbywire/wire.h"

namespace ombrix::lobbytest {

using namespace ombrix::lobbywire;

// A blocking client that gives up after a few seconds rather than hang.
struct Client {
  // `from`: the local address to come from ("" for the usual one); `to`
  // the server's address.
  Client(int port, const std::string& from = {}, const std::string& to = "127.0.0.1", int receiveBuffer = 0) {
    const bool v6 = to.find(':') != std::string::npos;
    fd = ::socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM, 0);
    if (receiveBuffer) ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    timeval tv{10, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    sockaddr_storage a{};
    socklen_t len;
    auto fill = [&](const std::string& host, int p) {
      a = {};
      if (v6) {
        auto& a6 = reinterpret_cast<sockaddr_in6&>(a);
        a6.sin6_family = AF_INET6;
        a6.sin6_port = htons(static_cast<uint16_t>(p));
        EXPECT_EQ(::inet_pton(AF_INET6, host.c_str(), &a6.sin6_addr), 1) << host;
        len = sizeof a6;
      } else {
        auto& a4 = reinterpret_cast<sockaddr_in&>(a);
        a4.sin_family = AF_INET;
        a4.sin_port = htons(static_cast<uint16_t>(p));
        EXPECT_EQ(::inet_pton(AF_INET, host.c_str(), &a4.sin_addr), 1) << host;
        len = sizeof a4;
      }
    };
    if (!from.empty()) {
      fill(from, 0);
      EXPECT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&a), len), 0) << from << ": " << std::strerror(errno);
    }
    fill(to, port);
    connected = ::connect(fd, reinterpret_cast<sockaddr*>(&a), len) == 0;
    EXPECT_TRUE(connected) << std::strerror(errno);
  }
  ~Client() { ::close(fd); }
  Client(const Client&) = delete;
  Client& operator=(const Client&) = delete;

  bool send(const std::string& s) const { return ::send(fd, s.data(), s.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(s.size()); }
  // One line, without its line break; "" at the end of the stream.
  std::string line() {
    for (;;) {
      const size_t nl = in.find('\n');
      if (nl != std::string::npos) {
        std::string l = in.substr(0, nl);
        in.erase(0, nl + 1);
        return l;
      }
      char buf[4096];
      const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
      if (n <= 0) return {};
      in.append(buf, static_cast<size_t>(n));
    }
  }
  // The next line as a message (op Unknown at the end of the stream).
  Message message() {
    auto m = parseLine(line(), false);
    return m.value_or(Message{});
  }
  // The next message of this kind, skipping others; op Unknown at the end.
  Message next(Op op) {
    for (;;) {
      Message m = message();
      if (m.op == op || m.op == Op::Unknown) return m;
    }
  }
  // Reads until the server closes; the bytes read.
  size_t drain() {
    size_t total = in.size();
    char buf[65536];
    for (ssize_t n; (n = ::recv(fd, buf, sizeof buf, 0)) > 0;) total += static_cast<size_t>(n);
    return total;
  }
  // Whether the server closed the connection without a byte more.
  bool closedSilently() { return drain() == 0; }
  // Bytes of the stream (a relay), `n` of them.
  std::string bytes(size_t n) {
    std::string got = std::move(in);
    in.clear();
    char buf[4096];
    while (got.size() < n) {
      const ssize_t r = ::recv(fd, buf, sizeof buf, 0);
      if (r <= 0) break;
      got.append(buf, static_cast<size_t>(r));
    }
    return got;
  }

  int fd;
  bool connected = false;
  std::string in;
};

inline std::string withoutBreak(std::string s) {
  s.pop_back();
  return s;
}

}  // namespace ombrix::lobbytest
