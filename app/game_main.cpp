// ombrix: the game. Without parameters a solo game against three computer
// players; with name, host address and "true" (or another word) it hosts or
// joins a networked game for the lobby program (a hosted table is announced
// on the local network under the player's name; a solo game never is).
// A hosted table is registered with a lobby server when the lobby adds
// "--lobby-server HOST[:PORT]" (and "--private", "--no-port-mapping") after
// its three words; the invite code and how the server reaches the table go
// back to the lobby over its link. --help and --version answer without a desktop. SIGINT and SIGTERM close
// the table as File > Exit does; a solo game left open is saved then and
// offered again at the next start.
//
//   OMBRIX_TIME_SCALE=X    run the in-process host's timers X times faster
//   OMBRIX_HOST_PORT=N     host on port N instead of 7772 (0: any free port; tests)
//   OMBRIX_SCREENSHOT=F,MS[,NAME[,BUTTON]] save a picture of the table window (or
//                          the window of that object name, e.g. Tdownload) to F after
//                          MS ms, first clicking its button BUTTON (e.g. button_chart)
//   OMBRIX_WINDOW=WxH      with OMBRIX_SCREENSHOT: the table window that large for the picture
//   OMBRIX_FRAMES=DIR,N,MS with OMBRIX_AUTOPLAY: N pictures of the table, one every MS ms,
//                          from the first card of a trick in round 2 (a trick in motion)
//   OMBRIX_AUTOPLAY=1      start a full game and play seat 1 on the hint's advice, as
//                          its player would (demonstrations and the README's screenshot)
//   OMBRIX_KEYPLAY=R       start a full game and play seat 1 by key presses; with
//                          OMBRIX_SCREENSHOT the picture is taken at a turn of round R
//                          or later with a choice of cards, the mark moved (MS: give up)
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <cstdio>
#include <vector>

#include "app/commandline.h"
#include "app/hostlobby.h"
#include "app/webhost.h"
#include "client/tablewindow.h"
#include "client/previnst.h"
#include "client/tablehint.h"
#include "client/tablekeys.h"
#include "dnssd/publisher.h"
#include "engine/random.h"
#include "net/stopsignals.h"
#include "ui/userfiles.h"
#include "app/hostbinding.h"
#include "host/hostsockets.h"
#include "widgets/art.h"
#include "windows/aboutform.h"
#include "windows/downloadform.h"
#include "windows/startform.h"
#include "windows/helpform.h"
#include "windows/lasttrickform.h"
#include "windows/phrasesform.h"
#include "windows/scoreform.h"
#include "windows/spylistform.h"
#include "windows/tallylistform.h"

using namespace ombrix;

namespace {
// The name of the desktop entry, so a desktop matches the window to it.
constexpr const char* kDesktopEntry = OMBRIX_APP_ID;

QStringList words(int argc, char** argv) {
  QStringList out;
  for (int i = 0; i < argc; ++i) out << QString::fromLocal8Bit(argv[i]);
  return out;
}

// A key press as the keyboard would send it, to the focused element.
void press(int key, const QString& text = {}) {
  if (QWidget* w = QApplication::focusWidget()) {
    QKeyEvent e(QEvent::KeyPress, key, Qt::NoModifier, text);
    QCoreApplication::sendEvent(w, &e);
  }
}

// Plays seat 1 by keys: out of the chat input, bids of one, the marked card.
// In round `round` the mark is walked along the hand and the table pictured.
void keyPlay(client::Tchat& table, std::vector<QWidget*> offers, int round, const QString& shot) {
  auto* poll = new QTimer(&table);
  auto* chatInput = table.findChild<QLineEdit*>("mychat");
  auto* bidBox = table.findChild<QLineEdit*>("edit_bid");
  auto* bidButton = table.findChild<QPushButton*>("button_bid");
  QObject::connect(poll, &QTimer::timeout, &table, [=, &table, started = false]() mutable {
    const client::TableModel& model = table.model();
    if (!model.loggedIn()) return;
    if (!started) {
      // The lobby's offer stands aside; the table has the keyboard.
      for (QWidget* w : offers) w->hide();
      table.activateWindow();
      table.button_startClick();
      started = true;
      return;
    }
    if (!table.isActiveWindow()) return table.activateWindow();
    if (QApplication::focusWidget() == chatInput) press(Qt::Key_Escape);
    if (QApplication::focusWidget() == bidBox && bidButton->isVisible())
      return press(Qt::Key_1, "1"), press(Qt::Key_Return);
    if (!model.myTurn() || !table.keys().marked()) return;
    // A turn with a choice shows the mark best.
    if (model.round() < round || client::markable(table).size() < 3) return press(Qt::Key_Return);
    poll->stop();
    press(Qt::Key_Right);
    press(Qt::Key_Right);
    QApplication::processEvents();
    if (!shot.isEmpty()) table.grab().save(shot.section(',', 0, 0));
    QApplication::quit();
  });
  poll->start(50);
}

// Plays seat 1 as its player would, on the hint's advice: the bid it puts
// in the bid box, the card it raises. The table shows a person at play.
void hintPlay(client::Tchat& table, std::vector<QWidget*> offers) {
  auto* poll = new QTimer(&table);
  auto* bidBox = table.findChild<QLineEdit*>("edit_bid");
  auto* bidButton = table.findChild<QPushButton*>("button_bid");
  QObject::connect(poll, &QTimer::timeout, &table, [=, &table, started = false,
                                                    asked = uint64_t{0}]() mutable {
    const client::TableModel& model = table.model();
    if (!model.loggedIn()) return;
    if (!started) {
      for (QWidget* w : offers) w->hide();  // a demonstration has no choice to make
      table.button_startClick();
      started = true;
      return;
    }
    client::TableHint& hint = table.hint();
    if (hint.thinking()) return;
    const bool bidding = bidButton->isVisible() && bidButton->isEnabled();
    if (!bidding && !model.myTurn()) return;
    if (asked != model.serial()) {  // a new decision: the hint first
      asked = model.serial();
      if (bidding) bidBox->clear();
      hint.ask();
      return;
    }
    if (bidding) return bidButton->click();
    client::CardImage* card = hint.hinted();
    if (!card) card = table.keys().marked();  // no advice: the card the mark is on
    if (card) table.cardimagesMouseDown(card, Qt::LeftButton);
  });
  poll->start(50);
}

// A moment for the window to lay itself out before the picture.
constexpr int kSettleMs = 300;

// The table area's design width, and where the chat column starts in it:
// the recorded pictures show the play, not the chat.
constexpr double kAreaWidth = 782, kChatLeft = 545;

// Pictures of the table area, one every `ms`, from the first card of a trick
// in round 2 or later until `count` are taken; then the program ends.
void recordTrick(client::Tchat& table, const QString& spec) {
  const QStringList parts = spec.split(',');
  const QString folder = parts.value(0);
  const int count = parts.value(1, "100").toInt(), ms = parts.value(2, "40").toInt();
  auto* poll = new QTimer(&table);
  poll->setTimerType(Qt::PreciseTimer);
  QObject::connect(poll, &QTimer::timeout, &table, [&table, poll, folder, count, ms, taken = -1]() mutable {
    if (taken < 0) {
      // The table at the size asked for, set once its stored size is read (at
      // the log-in) and well before the pictures, so its cards are drawn by then.
      const QStringList size = qEnvironmentVariable("OMBRIX_WINDOW").split('x');
      if (table.model().round() >= 1 && size.size() == 2 && table.size() != QSize(size[0].toInt(), size[1].toInt()))
        table.setGeometry(0, 0, size[0].toInt(), size[1].toInt());
      if (table.model().round() < 2 || table.model().inTrick() != 1) return;
      taken = 0;
      poll->setInterval(ms);
    }
    QWidget* area = table.findChild<QWidget*>("tableArea");
    const QRect part(QPoint(), QSize(qRound(area->width() * kChatLeft / kAreaWidth), area->height()));
    area->grab(part).save(QString("%1/frame%2.png").arg(folder).arg(taken, 3, 10, QChar('0')));
    if (++taken >= count) QApplication::quit();
  });
  poll->start(2);
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication::setApplicationName("Ombrix");
  QCoreApplication::setApplicationVersion(app::versionText());
  if (app::asksHelpOrVersion(words(argc, argv))) {
    QCoreApplication core(argc, argv);
    QCommandLineParser parser;
    app::describeGameOptions(parser);
    parser.process(core);  // prints the answer and ends the program
    return 0;
  }
  QApplication app(argc, argv);
  QString error;
  const std::optional<QStringList> params = app::gameWords(app.arguments(), &error);
  if (!params) {
    std::fprintf(stderr, "%s\n", qPrintable(error));
    return 2;
  }
  QGuiApplication::setDesktopFileName(kDesktopEntry);
  QApplication::setWindowIcon(widgets::appIcon());
  client::PrevInstance instance;
  if (instance.running()) return 0;

  const double scale = qEnvironmentVariableIsSet("OMBRIX_TIME_SCALE")
                           ? qEnvironmentVariable("OMBRIX_TIME_SCALE").toDouble()
                           : 1.0;
  // The windows, once each, in their order; the table window first.
  client::Tchat table;
  if (qEnvironmentVariableIsSet("OMBRIX_HOST_PORT"))
    table.hostPort = qEnvironmentVariable("OMBRIX_HOST_PORT").toStdString();
  windows::Thelp help(&table);
  windows::Tabout about(&table);
  table.attachHelp(&help, &about);
  windows::Tlasttrick lastTrick(&table);
  windows::Tscore score(&table);
  HostSockets host(Random::timeOfDaySeed(), scale > 0 ? scale : 1.0);
  host.log = [](std::string_view line) { qInfo("host: %.*s", static_cast<int>(line.size()), line.data()); };
  windows::Ttallylist tally(&table);  // reads the tally file now, writes it when the program ends
  windows::Tspylist spies(&table);
  windows::Tphrases phrases(&table);
  windows::Tdownload download(&table);
  windows::Tstart start(&table);  // a solo start's choices, when our lobby is beside the game
  // A solo game is saved beside the tally and offered again at the next
  // start; a demonstration neither offers nor leaves one.
  const bool demonstration = qEnvironmentVariableIsSet("OMBRIX_AUTOPLAY") || qEnvironmentVariableIsSet("OMBRIX_KEYPLAY");
  HostBinding binding(host, demonstration ? std::string()
                                          : ui::userFile(kSaveFileName, ui::FileKind::Data).toStdString());
  table.attach(&score, &lastTrick, &spies, &binding, &tally, &phrases);
  table.attachDownload(&download);
  table.attachStart(&start);
  instance.onActivate = [&table] {
    table.showNormal();
    table.raise();
    table.activateWindow();
  };
  // The lobby needs the desktop's one game for a table: this one closes as
  // File > Exit does, so a solo game is saved.
  instance.onClose = [&table] { table.close(); };

  // A session ending, a shutdown or Ctrl-C: the table closes as File > Exit
  // does, and the windows' data (the tally) is saved as the program ends.
  // What the window system already sent (a move just made) is taken in
  // first, so the geometry saved is the one on the screen.
  net::StopSignals stop([&table](int) {
    QCoreApplication::processEvents();
    table.close();
  });

  // A networked table hosted here is announced on the local network, and
  // registered with a lobby server when the lobby names one.
  std::unique_ptr<dnssd::TablePublisher> announcement;
  std::unique_ptr<app::HostLobby> lobbyServer;
  std::unique_ptr<web::WebDoor> webDoor;
  table.show();
  QTimer::singleShot(0, &table, [&table, &host, &announcement, &lobbyServer, &webDoor, words = *params] {
    const app::HostWords hosting = app::hostWords(words);
    // Before the table logs in, so its first announcement names them.
    if (!hosting.rules.design()) host.server().setRules(hosting.rules);
    table.processparams(words);
    if (words.size() < 3 || words[2] != "true" || host.port() <= 0) return;
    const auto toChat = [&table](std::string_view line) {
      QString text = QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size()));
      if (!text.isEmpty()) text[0] = text[0].toUpper();
      table.addlinetochat(text);
    };
    announcement = std::make_unique<dnssd::TablePublisher>(words[0].toStdString(), host.port(),
                                                           host.server().publicState(),
                                                           [toChat](const std::string& line) { toChat(line); });
    host.server().onPublicChange = [&announcement](const tables::TableState& s) { announcement->update(s); };
    // The web table beside it: the link goes to the chat pane and the lobby.
    webDoor = app::openWebDoor(host, {}, {}, QCoreApplication::applicationFilePath().toStdString(),
                               [&table, toChat](std::string_view line) {
                                 toChat(line);
                                 if (line.starts_with("web link: ")) table.connection().tellLobby("web " + std::string(line.substr(10)));
                               });
    // Browsers coming and going are the log's, not the chat's.
    if (webDoor) webDoor->log = host.log;
    const app::HostWords& server = hosting;
    if (server.address.isEmpty()) return;
    try {
      lobbyServer = std::make_unique<app::HostLobby>(
          host, server.address.toStdString(), server.isPrivate, std::string(), words[0].toStdString(),
          [&table, toChat](std::string_view line) {
            toChat(line);
            if (line.starts_with("web link: ")) table.connection().tellLobby("web " + std::string(line.substr(10)));
            else if (!line.starts_with("invite code: ")) table.connection().tellLobby("status " + std::string(line));
          },
          server.portMapping);
      lobbyServer->onCode = [&table](const std::string& code) { table.connection().tellLobby("code " + code); };
    } catch (const std::exception& e) {
      const std::string line = std::string("not registered with the lobby server: ") + e.what();
      toChat(line);
      table.connection().tellLobby("status " + line);
    }
  });

  if (qEnvironmentVariableIsSet("OMBRIX_AUTOPLAY")) hintPlay(table, {&download, &start});

  if (qEnvironmentVariableIsSet("OMBRIX_FRAMES")) recordTrick(table, qEnvironmentVariable("OMBRIX_FRAMES"));

  const QString shot = qEnvironmentVariable("OMBRIX_SCREENSHOT");
  if (qEnvironmentVariableIsSet("OMBRIX_KEYPLAY"))
    keyPlay(table, {&download, &start}, qEnvironmentVariableIntValue("OMBRIX_KEYPLAY"), shot);
  if (!shot.isEmpty()) {
    const QStringList parts = shot.split(',');
    QTimer::singleShot(parts.value(1, "3000").toInt(), &table, [&table, &app, parts] {
      QWidget* window = parts.size() > 2 ? table.findChild<QWidget*>(parts[2]) : &table;
      if (qEnvironmentVariableIsSet("OMBRIX_KEYPLAY")) {
        qWarning("the moment for the picture never came");
        window = nullptr;
      }
      if (!window) return app.quit();
      // The table at another size for the picture (its stored size was read at the log-in).
      const QStringList size = qEnvironmentVariable("OMBRIX_WINDOW").split('x');
      if (window == &table && size.size() == 2) table.setGeometry(0, 0, size[0].toInt(), size[1].toInt());
      if (parts.size() > 3)
        if (auto* button = window->findChild<QAbstractButton*>(parts[3])) button->click();
      window->show();
      window->raise();
      QTimer::singleShot(kSettleMs, window, [window, &app, file = parts[0]] {
        window->grab().save(file);
        app.quit();
      });
    });
  }
  const int status = app.exec();
  host.server().onPublicChange = nullptr;
  lobbyServer.reset();  // withdrawn, and the router's port given back
  webDoor.reset();
  announcement.reset();
  return status;
}
