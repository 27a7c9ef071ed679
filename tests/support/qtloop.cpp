#include "tests/support/qtloop.h"

#include <sys/socket.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>

#include "protocol/commands.h"
#include "tests/support/recorder.h"

namespace ombrix::test {

bool waitFor(const std::function<bool()>& done, int timeoutMs) {
  QDeadlineTimer deadline(timeoutMs);
  while (!done()) {
    if (deadline.hasExpired()) return done();
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
  }
  return true;
}

ProtocolClient::ProtocolClient(int port, const std::string& host) {
  sock.setHostName(host);
  sock.setPortName(std::to_string(port));
  sock.OnRead = [this](net::TAsyncSock* s, int) {
    framer_.feed(s->Receive(), [this](std::string_view m) {
      received.emplace_back(m);
      if (commandOf(m) == "CMD_sendlogininfo") slot_ = std::atoi(std::string(m.substr(18)).c_str());
      return true;
    });
  };
  sock.OnEnd = [this](net::TAsyncSock*, net::EndReason) { closed_ = true; };
  sock.Open();
}

ProtocolClient::~ProtocolClient() { sock.OnEnd = nullptr; }

void ProtocolClient::send(const std::string& message) { sock.Send(message + wire::kTerminator); }

bool ProtocolClient::waitForCommand(const std::string& name, int timeoutMs) {
  return waitFor([&] { return !with(name).empty(); }, timeoutMs);
}

std::vector<std::string> ProtocolClient::with(const std::string& name) const {
  std::vector<std::string> out;
  for (const auto& m : received)
    if (commandOf(m) == name) out.push_back(m);
  return out;
}

void ProtocolClient::close() { sock.Close(); }

void ProtocolClient::reset() {
  linger l{1, 0};
  const int fd = sock.Handle();
  ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
  sock.Close();
}

}  // namespace ombrix::test
