// ombrix: the game. Without parameters a solo game against three computer
// players; with name, host address and "true" (or another word) it hosts or
// joins a networked game for the lobby program.
//
//   OMBRIX_TIME_SCALE=X    run the in-process host's timers X times faster
//   OMBRIX_SCREENSHOT=F,MS[,NAME] save a picture of the table window (or the
//                          window of that object name, e.g. Tdownload) to F after MS ms
//   OMBRIX_AUTOPLAY=1      start a full game and let the computer play seat 1
//                          (demonstrations and the README's screenshot)
#include <QApplication>
#include <QTimer>

#include "client/chatform.h"
#include "client/previnst.h"
#include "engine/random.h"
#include "protocol/hostwindow.h"
#include "windows/aboutform.h"
#include "windows/downloadform.h"
#include "windows/helpform.h"
#include "windows/lasttrickform.h"
#include "windows/phrasesform.h"
#include "windows/scoreform.h"
#include "windows/spylistform.h"
#include "windows/tallylistform.h"

using namespace ombrix;

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  app.setApplicationName("Ombrix");
  client::PrevInstance instance;
  if (instance.running()) return 0;

  const double scale = qEnvironmentVariableIsSet("OMBRIX_TIME_SCALE")
                           ? qEnvironmentVariable("OMBRIX_TIME_SCALE").toDouble()
                           : 1.0;
  // The windows, once each, in their order; the table window first.
  client::Tchat table;
  windows::Thelp help(&table);
  windows::Tabout about(&table);
  table.attachHelp(&help, &about);
  windows::Tlasttrick lastTrick(&table);
  windows::Tscore score(&table);
  HostWindow host(Random::timeOfDaySeed(), scale > 0 ? scale : 1.0);
  host.log = [](std::string_view line) { qInfo("host: %.*s", static_cast<int>(line.size()), line.data()); };
  windows::Ttallylist tally(&table);  // reads the tally file now, writes it when the program ends
  windows::Tspylist spies(&table);
  windows::Tphrases phrases(&table);
  windows::Tdownload download(&table);
  table.attach(&score, &lastTrick, &spies, &host, &tally, &phrases);
  table.attachDownload(&download);
  instance.onActivate = [&table] {
    table.showNormal();
    table.raise();
    table.activateWindow();
  };

  table.show();
  QStringList params = app.arguments();
  params.removeFirst();
  QTimer::singleShot(0, &table, [&table, params] { table.processparams(params); });

  if (qEnvironmentVariableIsSet("OMBRIX_AUTOPLAY")) {
    auto* poll = new QTimer(&table);
    QObject::connect(poll, &QTimer::timeout, &table, [&table, poll] {
      if (!table.loggedIn) return;
      poll->stop();
      table.button_startClick();
      QTimer::singleShot(300, &table, [&table] {
        table.JustWatch1->setChecked(false);
        table.JustWatch1Click();
      });
    });
    poll->start(50);
  }

  const QString shot = qEnvironmentVariable("OMBRIX_SCREENSHOT");
  if (!shot.isEmpty()) {
    const QStringList parts = shot.split(',');
    QTimer::singleShot(parts.value(1, "3000").toInt(), &table, [&table, &app, parts] {
      QWidget* window = parts.size() > 2 ? table.findChild<QWidget*>(parts[2]) : &table;
      if (window) {
        window->show();
        window->grab().save(parts[0]);
      }
      app.quit();
    });
  }
  return app.exec();
}
