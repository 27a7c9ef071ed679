// How long a new table takes to show in the lobby's list: from the start of
// `ombrix-host` to its table reported by the lobby's browser (the code
// `ombrix-lobby --list` and the window run), against the same moment seen by
// `avahi-browse -rp _ombrix._tcp`, avahi's own browser, measured in the same
// runs. Both are browsing before the host starts; each run hosts a table of
// a new name. Then a table connects to the host, and the time until the
// lobby's browser reports the seat taken is the record following the table
// (avahi-browse resolves a service once and does not report later records).
// Needs an avahi-daemon: run it through bench/lan_discovery.sh, which makes a
// sandbox with one.
//
//   lan_discovery_bench RUNS OMBRIX_HOST
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <algorithm>
#include <cstdio>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <QRegularExpression>
#include <functional>

#include "dnssd/browser.h"
#include "dnssd/publisher.h"

namespace {

constexpr int kPatienceMs = 20000;
constexpr int kSettleMs = 4000;

bool waitFor(const std::function<bool()>& done, int timeoutMs) {
  QDeadlineTimer deadline(timeoutMs);
  while (!done()) {
    if (deadline.hasExpired()) return false;
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
  }
  return true;
}

double percentile(std::vector<double> v, double p) {
  std::sort(v.begin(), v.end());
  const size_t i = std::min(v.size() - 1, static_cast<size_t>(p * (v.size() - 1) + 0.5));
  return v[i];
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  if (argc != 3) {
    std::fprintf(stderr, "usage: lan_discovery_bench RUNS OMBRIX_HOST\n");
    return 2;
  }
  const int runs = std::atoi(argv[1]);
  const QString hostProgram = argv[2];
  std::vector<double> ours, peer, follow;
  for (int run = 1; run <= runs; ++run) {
    const QString name = QString("bench-%1").arg(run);
    ombrix::dnssd::LanBrowser lan;
    double seenOurs = -1, seenPeer = -1, seated = -1;
    QElapsedTimer clock;
    lan.onSeen = [&](const ombrix::tables::ListedTable& t) {
      if (t.name != name.toStdString()) return;
      if (seenOurs < 0) seenOurs = clock.nsecsElapsed() / 1e6;
      if (seated < 0 && t.state.players == 1) seated = clock.nsecsElapsed() / 1e6;
    };
    lan.start();
    QProcess avahi;
    QByteArray pending;
    QObject::connect(&avahi, &QProcess::readyReadStandardOutput, [&] {
      pending += avahi.readAllStandardOutput();
      qsizetype nl;
      while ((nl = pending.indexOf('\n')) >= 0) {
        const QByteArray line = pending.left(nl);
        pending.remove(0, nl + 1);
        if (seenPeer < 0 && line.startsWith("=;") && line.contains(";" + name.toUtf8() + ";"))
          seenPeer = clock.nsecsElapsed() / 1e6;
      }
    });
    avahi.start("avahi-browse", {"-rpk", "_ombrix._tcp"});
    if (!avahi.waitForStarted() ||
        !waitFor([&] { return lan.available(); }, kPatienceMs)) {
      std::fprintf(stderr, "no avahi-daemon to browse (run bench/lan_discovery.sh)\n");
      return 1;
    }
    QProcess host;
    clock.start();
    host.start(hostProgram, {"--port", "0", "--name", name});
    if (!waitFor([&] { return seenOurs >= 0 && seenPeer >= 0; }, kPatienceMs)) {
      std::fprintf(stderr, "run %d: the table was not seen (lobby %.0f, avahi-browse %.0f)\n", run, seenOurs, seenPeer);
      return 1;
    }
    ours.push_back(seenOurs);
    peer.push_back(seenPeer);
    // A table sits down once the new record's first announcements are over
    // (mDNS repeats a new record for its first seconds, and sends a record
    // again no sooner than a second after it last did): a connection takes seat 1.
    waitFor([] { return false; }, kSettleMs);
    const auto port = QRegularExpression("listening on port (\\d+)").match(host.readAllStandardError()).captured(1);
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(port.toInt()));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const double sat = clock.nsecsElapsed() / 1e6;
    if (port.isEmpty() || ::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0 ||
        !waitFor([&] { return seated >= 0; }, kPatienceMs)) {
      std::fprintf(stderr, "run %d: the seat taken was not seen\n", run);
      return 1;
    }
    ::close(fd);
    follow.push_back(seated - sat);
    std::printf("run %2d: lobby %7.1f ms   avahi-browse %7.1f ms   seat taken seen after %6.1f ms\n", run, seenOurs,
                seenPeer, seated - sat);
    host.terminate();
    host.waitForFinished();
    avahi.terminate();
    avahi.waitForFinished();
  }
  const double m = percentile(ours, 0.5), mp = percentile(peer, 0.5);
  const double p = percentile(ours, 0.99), pp = percentile(peer, 0.99);
  std::printf("\nfrom ombrix-host start to its table, %d runs\n", runs);
  std::printf("  lobby (--list's browser)  median %7.1f ms  p99 %7.1f ms\n", m, p);
  std::printf("  avahi-browse -rp (peer)   median %7.1f ms  p99 %7.1f ms\n", mp, pp);
  std::printf("  ratio lobby/peer          median %7.3f     p99 %7.3f\n", m / mp, p / pp);
  std::printf("the record following a seat taken: median %.1f ms, p99 %.1f ms (the host folds changes of %d ms)\n",
              percentile(follow, 0.5), percentile(follow, 0.99), ombrix::dnssd::TablePublisher::kCoalesceMs);
  return 0;
}
