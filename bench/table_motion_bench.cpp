// The table on a real display (run it on Xvfb, bench/table_motion.sh), side
// by side in one run:
//  - frame times while tricks are played and gathered, with the motion on,
//    against the same tricks with it off (the frames the table draws anyway);
//  - the time of each step of a resize to twice the design size and back;
//  - the first render of each installed deck, whole, at 1x and 2x;
//  - memory at rest (a solo game waiting for the player's bid) with the
//    motion on, against today's table without it, each in a process of its own.
#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "app/hostbinding.h"
#include "client/tablewindow.h"
#include "client/flights.h"
#include "client/tablemotion.h"
#include "host/hostsockets.h"
#include "ui/cardpictures.h"
#include "windows/lasttrickform.h"
#include "windows/scoreform.h"
#include "windows/spylistform.h"

using namespace ombrix;

namespace {

constexpr int kTricksTimed = 6;       // tricks played with the motion on, then as many off
constexpr int kResizeSteps = 40;      // each way
constexpr int kRestRuns = 3;          // processes per side for the memory at rest
constexpr QSize kDesign(790, 520);
constexpr int kWaitMs = 120000;

double percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, static_cast<size_t>(p / 100 * static_cast<double>(v.size())))];
}

// Times every repaint of the table window: what one frame costs on the GUI thread.
class TimedApp : public QApplication {
 public:
  using QApplication::QApplication;
  QObject* watched = nullptr;
  std::vector<double>* frames = nullptr;
  bool notify(QObject* o, QEvent* e) override {
    if (o != watched || e->type() != QEvent::UpdateRequest || !frames) return QApplication::notify(o, e);
    QElapsedTimer t;
    t.start();
    const bool r = QApplication::notify(o, e);
    frames->push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
    return r;
  }
};

bool waitFor(const std::function<bool()>& done, int ms = kWaitMs) {
  QElapsedTimer t;
  t.start();
  while (!done()) {
    if (t.elapsed() > ms) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  }
  return true;
}

// A solo game at this table, seat 1 played by the computer.
struct Game {
  explicit Game(bool animate) : host(7, 1.0), binding(host) {
    table.settingsFile = dir.filePath("quarrowlobby.ini");
    QFile ini(table.settingsFile);
    if (ini.open(QIODevice::WriteOnly))
      ini.write(QByteArray("[Ombrix]\nAnimateCards=") + (animate ? "1" : "0") + "\nPlaysounds=false\n");
    ini.close();
    table.attach(new windows::Tscore(&table), new windows::Tlasttrick(&table), new windows::Tspylist(&table),
                 &binding);
    table.hostPort = "0";
    table.resize(kDesign);
    table.show();
    table.processparams({});
  }
  bool start(bool watch) {
    if (!waitFor([&] { return table.model().loggedIn(); })) return false;
    table.button_startClick();
    if (watch) {
      // Seat 1 to the computer, as a player who only watches.
      table.findChild<QAction*>("JustWatch1")->setChecked(false);
      table.JustWatch1Click();
    }
    return true;
  }
  QTemporaryDir dir;
  HostSockets host;
  HostBinding binding;
  client::Tchat table;
};

long rssKb() {
  QFile f("/proc/self/status");
  if (!f.open(QIODevice::ReadOnly)) return 0;
  for (const QByteArray& line : f.readAll().split('\n'))
    if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').value(0).toLong();
  return 0;
}

// A child: a solo game up to the player's first bid, then at rest; prints its memory.
int rest(bool animate) {
  Game g(animate);
  if (!g.start(false)) return 1;
  if (!waitFor([&] { return g.table.model().round() == 1 && g.table.findChild<QWidget*>("edit_bid")->isVisible(); }))
    return 1;
  QElapsedTimer t;
  t.start();
  waitFor([&] { return t.elapsed() > 1500; });  // the deal's flights landed, the deck drawn
  std::printf("%ld\n", rssKb());
  return 0;
}

// Frame times of `tricks` tricks from the first card of round 2.
void tricks(TimedApp& app, bool animate, std::vector<double>& cost, std::vector<double>& gaps) {
  Game g(animate);
  app.watched = &g.table;
  if (!g.start(true)) return;
  const client::TableModel& m = g.table.model();
  if (!waitFor([&] { return m.round() >= 2 && m.inTrick() == 1; })) return;
  std::vector<double> frames;
  app.frames = &frames;
  QElapsedTimer clock;
  clock.start();
  qint64 last = -1;
  // The motion's own frames (its timer), apart from what the table draws anyway.
  g.table.motion().flights().onFrame = [&] {
    const qint64 now = clock.nsecsElapsed();
    if (last >= 0 && now - last < 100'000'000) gaps.push_back(static_cast<double>(now - last) / 1e6);
    last = now;
  };
  // Tricks taken, counted across rounds (a round starts its counts at 0).
  int taken = 0, sum = 0, round = m.round();
  waitFor([&] {
    int now = 0;
    for (int s = 1; s <= 4; ++s) now += m.tricks(s);
    if (m.round() != round) round = m.round(), sum = 0;
    taken += std::max(0, now - sum);
    sum = now;
    return taken >= kTricksTimed;
  });
  app.frames = nullptr;
  app.watched = nullptr;
  g.table.motion().flights().onFrame = nullptr;
  cost = frames;
}

void resize(TimedApp& app, std::vector<double>& steps) {
  Game g(true);
  if (!g.start(true)) return;
  if (!waitFor([&] { return g.table.model().round() >= 2; })) return;
  std::vector<double> frames;
  app.watched = &g.table;
  app.frames = &frames;
  for (int k = 0; k <= 2 * kResizeSteps; ++k) {
    const double f = 1.0 + double(k <= kResizeSteps ? k : 2 * kResizeSteps - k) / kResizeSteps;
    QElapsedTimer t;
    t.start();
    g.table.resize((QSizeF(kDesign) * f).toSize());
    const size_t drawn = frames.size();
    waitFor([&] { return frames.size() > drawn; }, 2000);
    steps.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
  }
  app.frames = nullptr;
  app.watched = nullptr;
}

void line(const char* what, const std::vector<double>& v) {
  std::printf("%-40s n=%-5zu p50 %7.2f ms  p99 %7.2f ms  max %7.2f ms\n", what, v.size(), percentile(v, 50),
              percentile(v, 99), v.empty() ? 0.0 : *std::max_element(v.begin(), v.end()));
}

void decks() {
  auto& pictures = ui::CardPictures::instance();
  std::printf("\nfirst render of each deck, all 53 pictures (ms): 1x at 71x96, then 2x at 142x192\n");
  for (const ui::CardDeck& d : pictures.decks()) {
    pictures.setStyle({d.id, d.id});
    double ms[2] = {0, 0};
    for (int scale = 1; scale <= 2; ++scale) {
      const QSize size(ui::CardPictures::kWidth * scale, ui::CardPictures::kHeight * scale);
      QElapsedTimer t;
      t.start();
      pictures.prepare(size, 1.0);
      // Asked again while waiting, as a window showing them would.
      const bool ok = waitFor(
          [&] {
            pictures.prepare(size, 1.0);
            return pictures.ready(size, 1.0) || pictures.style().faces != d.id;
          },
          300000);
      ms[scale - 1] = ok && pictures.style().faces == d.id ? static_cast<double>(t.nsecsElapsed()) / 1e6 : -1;
    }
    std::printf("  %-28s %10.0f %10.0f\n", qPrintable(d.id), ms[0], ms[1]);
    std::fflush(stdout);
  }
  QElapsedTimer t;
  t.start();
  for (int n = 0; n <= 52; ++n) ui::CardPictures::drawnCard(n, QSize(71, 96), 1.0);
  std::printf("  %-28s %10.1f\n", "drawn (53 in code)", static_cast<double>(t.nsecsElapsed()) / 1e6);
}

long medianRest(const QString& self, bool animate) {
  std::vector<double> kb;
  for (int r = 0; r < kRestRuns; ++r) {
    QProcess p;
    p.start(self, {"--rest", animate ? "on" : "off"});
    p.waitForFinished(kWaitMs);
    kb.push_back(p.readAllStandardOutput().trimmed().toDouble());
  }
  return static_cast<long>(percentile(kb, 50));
}

}  // namespace

int main(int argc, char** argv) {
  TimedApp app(argc, argv);
  const QStringList args = app.arguments();
  if (args.size() > 2 && args[1] == "--rest") return rest(args[2] == "on");
  const bool decksOnly = args.contains("--decks"), skipDecks = args.contains("--no-decks");
  if (!decksOnly) {
    std::vector<double> costOn, gapsOn, costOff, gapsOff, steps;
    tricks(app, true, costOn, gapsOn);
    tricks(app, false, costOff, gapsOff);
    std::printf("%d tricks from round 2, the table window's frames:\n", kTricksTimed);
    line("frame cost, motion on", costOn);
    line("frame cost, motion off (peer)", costOff);
    line("time between the motion's frames", gapsOn);
    resize(app, steps);
    std::printf("\nresize 790x520 -> 1580x1040 -> 790x520, %d steps each way:\n", kResizeSteps);
    line("each step, resized and drawn", steps);
    const long on = medianRest(args[0], true), off = medianRest(args[0], false);
    std::printf("\nmemory at rest (median of %d processes): motion on %ld KiB, today's table (off) %ld KiB, "
                "ratio %.3f\n",
                kRestRuns, on, off, off ? double(on) / double(off) : 0.0);
  }
  if (!skipDecks) decks();
  return 0;
}
