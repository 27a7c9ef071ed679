// A browser's connection to a web door, as bytes over a real socket on the
// test's Qt loop: what it is sent is gathered, and text messages are read
// once the upgrade's answer has gone by.
#pragma once

#include <optional>
#include <string>

#include "net/asyncsock.h"
#include "tests/support/qtloop.h"
#include "tests/support/wsframes.h"

namespace ombrix::test {

struct RawBrowser {
  net::TAsyncSock sock;
  std::string in;
  bool closed = false;
  explicit RawBrowser(int port) {
    sock.setHostName("127.0.0.1");
    sock.setPortName(std::to_string(port));
    sock.OnRead = [this](net::TAsyncSock* s, int) { in += s->Receive(); };
    sock.OnEnd = [this](net::TAsyncSock*, net::EndReason) { closed = true; };
    sock.OnDisconnect = [this](net::TAsyncSock*) { closed = true; };
    sock.Open();
  }
  bool connected() { return waitFor([this] { return sock.Connected() || closed; }) && sock.Connected(); }
  // The close frame's code once one came (0 before).
  int closeCode = 0;
  // The next text message, once the upgrade's answer is read; nothing when
  // a close frame comes first.
  std::optional<std::string> message() {
    std::optional<std::string> got;
    waitFor([&] {
      const size_t head = in.find("\r\n\r\n");
      if (in.rfind("HTTP/1.1 101", 0) == 0 && head != std::string::npos) in.erase(0, head + 4);
      if (in.rfind("HTTP/", 0) == 0) return false;
      while (auto f = takeFrame(in)) {
        if (f->opcode == 1) return (got = f->payload), true;
        if (f->opcode == 8 && f->payload.size() >= 2)
          closeCode = (static_cast<uint8_t>(f->payload[0]) << 8) | static_cast<uint8_t>(f->payload[1]);
        if (f->opcode == 8) return true;
      }
      return false;
    });
    return got;
  }
};

}  // namespace ombrix::test
