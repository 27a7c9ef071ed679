#include "net/stopsignals.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>

namespace ombrix::net {

namespace {
constexpr int kSignals[2] = {SIGINT, SIGTERM};
int g_pipe[2] = {-1, -1};  // [0] read by the loop, [1] written by the handler

void onSignal(int signal) {
  const int saved = errno;  // a handler must leave errno as it found it
  const unsigned char c = static_cast<unsigned char>(signal);
  (void)!::write(g_pipe[1], &c, 1);
  errno = saved;
}
}  // namespace

StopSignals::StopSignals(std::function<void(int)> onStop) : onStop_(std::move(onStop)) {
  if (g_pipe[0] >= 0) return;  // another one is in charge
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_pipe) != 0) return;
  // A burst of signals must never block the handler.
  ::fcntl(g_pipe[1], F_SETFL, ::fcntl(g_pipe[1], F_GETFL) | O_NONBLOCK);
  notifier_ = std::make_unique<QSocketNotifier>(g_pipe[0], QSocketNotifier::Read);
  QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] { received(); });
  struct sigaction action {};
  action.sa_handler = onSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int k = 0; k < 2; ++k) ::sigaction(kSignals[k], &action, &previous_[k]);
}

StopSignals::~StopSignals() {
  if (!notifier_) return;
  for (int k = 0; k < 2; ++k) ::sigaction(kSignals[k], &previous_[k], nullptr);
  notifier_.reset();
  ::close(g_pipe[0]);
  ::close(g_pipe[1]);
  g_pipe[0] = g_pipe[1] = -1;
}

void StopSignals::received() {
  unsigned char c = 0;
  if (::read(g_pipe[0], &c, 1) == 1 && onStop_) onStop_(c);
}

}  // namespace ombrix::net
