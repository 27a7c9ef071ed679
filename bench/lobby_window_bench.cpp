// The lobby window's start and its memory at rest, against a bare Qt
// Widgets window of the same elements (qt_window_peer) measured in the same
// run, each started RUNS times in turn: the time from starting the program
// to its window shown (the line "window shown" on standard error), and its
// resident memory two seconds later.
//
//   lobby_window_bench RUNS OMBRIX_LOBBY QT_WINDOW_PEER
// (QT_QPA_PLATFORM chooses the display: offscreen, or xcb under Xvfb.)
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int kRestMs = 2000;

struct Sample {
  double startMs = -1;
  double rssMiB = -1;
};

double residentMiB(qint64 pid) {
  QFile f(QString("/proc/%1/status").arg(pid));
  if (!f.open(QIODevice::ReadOnly)) return -1;
  for (const QByteArray& line : f.readAll().split('\n'))
    if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
  return -1;
}

Sample measure(const QString& program) {
  QProcess p;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("QT_LOGGING_RULES", "ombrix.lobby.info=true");
  p.setProcessEnvironment(env);
  p.setProcessChannelMode(QProcess::MergedChannels);
  QElapsedTimer clock;
  clock.start();
  p.start(program, {});
  Sample s;
  QByteArray err;
  while (p.waitForReadyRead(20000) || p.state() == QProcess::Running) {
    err += p.readAll();
    if (err.contains("window shown")) {
      s.startMs = clock.nsecsElapsed() / 1e6;
      break;
    }
    if (clock.elapsed() > 20000) break;
  }
  if (s.startMs >= 0) {
    QThread::msleep(kRestMs);  // at rest: nothing on the network, nothing clicked
    s.rssMiB = residentMiB(p.processId());
  }
  p.terminate();
  if (!p.waitForFinished(5000)) p.kill();
  return s;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  if (argc != 4) {
    std::fprintf(stderr, "usage: lobby_window_bench RUNS OMBRIX_LOBBY QT_WINDOW_PEER\n");
    return 2;
  }
  const int runs = std::atoi(argv[1]);
  std::vector<double> start[2], rss[2];
  for (int run = 0; run < runs; ++run)
    for (int k = 0; k < 2; ++k) {
      const Sample s = measure(argv[2 + k]);
      if (s.startMs < 0 || s.rssMiB < 0) {
        std::fprintf(stderr, "%s: no window shown\n", argv[2 + k]);
        return 1;
      }
      start[k].push_back(s.startMs);
      rss[k].push_back(s.rssMiB);
    }
  std::printf("window start (to shown) and resident memory at rest, median of %d runs\n", runs);
  std::printf("  ombrix-lobby        %7.1f ms  %6.1f MiB\n", median(start[0]), median(rss[0]));
  std::printf("  bare Qt window      %7.1f ms  %6.1f MiB\n", median(start[1]), median(rss[1]));
  std::printf("  ratio lobby/peer    %7.3f     %6.3f\n", median(start[0]) / median(start[1]),
              median(rss[0]) / median(rss[1]));
  return 0;
}
