// Running the Qt event loop in tests: until a condition holds, never by
// sleeping. Also a protocol client over a real TAsyncSock.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "net/asyncsock.h"
#include "protocol/framing.h"

namespace ombrix::test {

// Processes events until `done()` holds or `timeoutMs` of real time passed.
bool waitFor(const std::function<bool()>& done, int timeoutMs = 10000);

// A table window's connection, reduced to the protocol: it connects, frames
// what arrives and sends whole messages.
class ProtocolClient {
 public:
  explicit ProtocolClient(int port, const std::string& host = "127.0.0.1");
  ~ProtocolClient();

  void send(const std::string& message);  // adds the terminator
  bool waitForCommand(const std::string& name, int timeoutMs = 10000);
  // Messages received so far whose command name is `name`.
  std::vector<std::string> with(const std::string& name) const;
  int slot() const { return slot_; }
  bool closed() const { return closed_; }
  void close();
  // Closes with a reset (SO_LINGER 0) instead of an orderly close.
  void reset();

  std::vector<std::string> received;
  net::TAsyncSock sock;

 private:
  wire::Framer framer_;
  int slot_ = 0;
  bool closed_ = false;
};

}  // namespace ombrix::test
