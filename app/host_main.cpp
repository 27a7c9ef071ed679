// ombrix-host: hosts one table without any window.
//
//   ombrix-host [--port N] [--seed N] [--time-scale X]
//
// Slot 1 is simply the first connection, and its departure hands its seat
// to the computer like any other's. One line on standard error for each
// connection, log-in, departure and game end; Ctrl-C or SIGTERM stops it
// cleanly, closing every connection.
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "engine/random.h"
#include "net/asyncsock.h"
#include "protocol/hostwindow.h"

namespace {
int g_signalPipe[2] = {-1, -1};
void onSignal(int) {
  const char c = 1;
  (void)!::write(g_signalPipe[1], &c, 1);
}
int usage() {
  std::fprintf(stderr, "usage: ombrix-host [--port N] [--seed N] [--time-scale X]\n");
  return 2;
}
}  // namespace

int main(int argc, char** argv) {
  std::string port = "7772";
  uint64_t seed = ombrix::Random::timeOfDaySeed();
  double scale = 1.0;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (i + 1 >= argc) return usage();
    if (a == "--port")
      port = argv[++i];
    else if (a == "--seed")
      seed = std::strtoull(argv[++i], nullptr, 10);
    else if (a == "--time-scale")
      scale = std::atof(argv[++i]);
    else
      return usage();
  }
  if (scale <= 0) return usage();
  QCoreApplication app(argc, argv);

  // Signals reach the event loop through a pipe, so the stop runs on the
  // loop's thread like everything else.
  if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) != 0) return 1;
  QSocketNotifier stopper(g_signalPipe[0], QSocketNotifier::Read);
  QObject::connect(&stopper, &QSocketNotifier::activated, [&] {
    std::fprintf(stderr, "ombrix-host: stopping\n");
    app.quit();
  });
  std::signal(SIGINT, onSignal);
  std::signal(SIGTERM, onSignal);

  ombrix::HostWindow host(seed, scale);
  host.server().slotOneIsOwnPlayer = false;  // no player of its own: slot 1 is a remote table
  host.log = [](std::string_view line) {
    std::fprintf(stderr, "ombrix-host: %.*s\n", static_cast<int>(line.size()), line.data());
  };
  try {
    host.listen(port);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "ombrix-host: cannot listen on port %s: %s\n", port.c_str(), e.what());
    return 1;
  }
  return app.exec();
}
