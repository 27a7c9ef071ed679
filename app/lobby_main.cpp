// ombrix-lobby: find a table and sit down.
//
//   ombrix-lobby                                   the lobby window
//   ombrix-lobby --list [--wait SECONDS] [--json]  the tables on this network
//   ombrix-lobby --join ADDRESS[:PORT] --name NAME join a table, no window
//   ombrix-lobby --join [SERVER[:PORT]/]+CODE --name NAME
//                                                 join a table by its invite
//   ombrix-lobby --host --name NAME [--rules LIST] [--private] [--no-port-mapping]
//                                                 host a table, no window
//   ... [--server HOST[:PORT]]                     with a lobby server
//
// The window lists the tables announced on the local network (DNS-SD,
// through avahi-daemon) and a lobby server's public tables, and starts the
// game beside this program with the lobby's three words; it listens on the
// game's lobby link (127.0.0.1:9001) to know while a game runs. The lobby
// server is the window's setting unless --server names one. --help and
// --version answer without a desktop.
//
//   OMBRIX_SCREENSHOT=F,MS  save a picture of the window to F after MS ms, then end
#include <QApplication>
#include <QCommandLineParser>
#include <QLoggingCategory>
#include <QTableView>
#include <QTimer>
#include <cstdio>

#include "app/commandline.h"
#include "dnssd/browser.h"
#include "lobby/gamesession.h"
#include "lobby/lobbycli.h"
#include "lobby/lobbysettings.h"
#include "lobby/servergame.h"
#include "lobby/servertables.h"
#include "lobby/lobbywindow.h"
#include "lobby/tablemodel.h"
#include "net/stopsignals.h"
#include "rules/rules.h"
#include "widgets/art.h"

using namespace ombrix;

namespace {

// The lobby says when its window is up (category ombrix.lobby, off unless
// turned on: QT_LOGGING_RULES=ombrix.lobby.info=true); its benchmark waits for it.
Q_LOGGING_CATEGORY(lobbyLog, "ombrix.lobby", QtWarningMsg)

// How long --list waits for answers unless told, and the most it is let.
constexpr double kDefaultWait = 2.0;
constexpr double kMaxWait = 3600.0;

struct Options {
  QCommandLineOption list{"list", "Print the tables on this network, one a line, and end."};
  QCommandLineOption wait{"wait", "With --list: wait this long for answers (default 2).", "seconds"};
  QCommandLineOption json{"json", "With --list: one JSON object a line."};
  QCommandLineOption join{"join",
                          "Join the table at ADDRESS (host name, IPv4 or [IPv6] address, :PORT when not 7772), or the one "
                          "whose invite is +CODE (through the lobby server) or SERVER[:PORT]/+CODE (through that "
                          "server).",
                          "address"};
  QCommandLineOption host{"host", "Host a table here."};
  QCommandLineOption name{"name", "The player's name (with --join and --host).", "name"};
  QCommandLineOption server{"server",
                            "The lobby server (HOST, :PORT when not 7773): --list adds its public tables, --join "
                            "+CODE looks the code up there, --host registers the table there and prints its "
                            "invite code. Default: the window's setting.",
                            "host"};
  QCommandLineOption isPrivate{"private", "With --host and a lobby server: not listed, joined by its code only."};
  QCommandLineOption rules{"rules",
                           "With --host: the table's house rules, comma-separated (hook, scoring=design|tricks|penalty, "
                           "rounds=updown|downup; \"design\" for none), as ombrix-host --rules. Default: the window's "
                           "setting.",
                           "list"};
  QCommandLineOption noPortMapping{"no-port-mapping",
                                   "With --host and a lobby server: ask the home router for no port (UPnP). Default: "
                                   "the window's setting."};
};

void describe(QCommandLineParser& parser, const Options& o) {
  parser.setApplicationDescription(
      "Find a table and sit down: the tables on this network, joining one, hosting one.\n"
      "Without options: the lobby window. --join and --host start the game as the\n"
      "window would and end with it.");
  parser.addHelpOption();
  parser.addVersionOption();
  parser.addOptions({o.list, o.wait, o.json, o.join, o.host, o.name, o.server, o.rules, o.isPrivate, o.noPortMapping});
}

bool windowless(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const QString a = QString::fromLocal8Bit(argv[i]);
    for (const char* w : {"--list", "--join", "--host", "--help", "-h", "-?", "--help-all", "--version", "-v"})
      if (a == w || a.startsWith(QString(w) + "=")) return true;
  }
  return false;
}

int fail(const QString& text) {
  std::fprintf(stderr, "ombrix-lobby: %s\nTry 'ombrix-lobby --help'.\n", qPrintable(text));
  return 2;
}

int runWithoutWindow(QCoreApplication& core) {
  Options o;
  QCommandLineParser parser;
  describe(parser, o);
  parser.process(core);  // answers --help and --version, and ends on an unknown option
  if (!parser.positionalArguments().isEmpty()) return fail("unexpected words: " + parser.positionalArguments().join(' '));
  const int modes = parser.isSet(o.list) + parser.isSet(o.join) + parser.isSet(o.host);
  if (modes != 1) return fail("give one of --list, --join ADDRESS, --host");
  // The lobby server: named here, or the window's setting (none by default).
  const QString serverWords =
      parser.isSet(o.server) ? parser.value(o.server) : lobby::readSettings(lobby::settingsFile()).server;
  std::optional<lobbywire::HostPort> server;
  if (!serverWords.trimmed().isEmpty()) {
    server = lobby::serverAddress(serverWords.toStdString());
    if (!server) return fail("\"" + serverWords + "\" is not a lobby server's address (HOST or HOST:PORT)");
  }
  if (parser.isSet(o.list)) {
    double wait = kDefaultWait;
    if (parser.isSet(o.wait)) {
      bool ok = false;
      wait = parser.value(o.wait).toDouble(&ok);
      if (!ok || wait < 0 || wait > kMaxWait) return fail("--wait takes seconds, 0 to 3600");
    }
    return lobby::listTables(wait, parser.isSet(o.json), server);
  }
  const QString name = parser.value(o.name).trimmed();
  if (name.isEmpty()) return fail("--join and --host need --name NAME");
  const lobby::LobbySettings stored = lobby::readSettings(lobby::settingsFile());
  // House rules are the host's; a LIST edited into nonsense in the settings
  // is the design's rules, as in the window, but one typed here is refused.
  rules::Rules houseRules = rules::parse(stored.houseRules.toStdString()).value_or(rules::Rules{});
  if (parser.isSet(o.rules)) {
    if (!parser.isSet(o.host)) return fail("--rules: house rules are the host's: give them with --host");
    std::string why;
    const auto r = rules::parse(parser.value(o.rules).toStdString(), &why);
    if (!r) return fail("--rules: " + QString::fromStdString(why));
    houseRules = *r;
  }
  const bool portMapping = !parser.isSet(o.noPortMapping) && stored.portMapping;
  return lobby::playWithoutWindow(parser.isSet(o.host), name, parser.value(o.join), server, parser.isSet(o.isPrivate),
                                  portMapping, houseRules);
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication::setApplicationName("ombrix-lobby");
  QCoreApplication::setApplicationVersion(app::versionText());
  if (windowless(argc, argv)) {
    QCoreApplication core(argc, argv);
    return runWithoutWindow(core);
  }
  QApplication app(argc, argv);
  {
    Options o;
    QCommandLineParser parser;
    describe(parser, o);
    parser.process(app);
    if (!parser.positionalArguments().isEmpty()) return fail("unexpected words: " + parser.positionalArguments().join(' '));
  }
  QGuiApplication::setDesktopFileName(OMBRIX_LOBBY_ID);
  QApplication::setWindowIcon(widgets::appIcon());

  dnssd::LanBrowser lan;
  lobby::ServerTables servers;
  lobby::TableModel model;
  model.addSource(lan);
  model.addSource(servers);
  lobby::GameSession game;
  std::string why;
  // Another lobby holds the link: games are still started and followed here.
  if (!game.listen(lobby::GameSession::kLinkPort, &why))
    qInfo("ombrix-lobby: the lobby link (127.0.0.1:9001) is held elsewhere (%s)", why.c_str());
  lobby::Tlobby window(model, game, servers);
  window.loadSettings(lobby::settingsFile());
  net::StopSignals stop([&window](int) { window.close(); });
  lan.start();
  window.show();
  QTimer::singleShot(0, &window, [] { qCInfo(lobbyLog, "window shown"); });

  const QString shot = qEnvironmentVariable("OMBRIX_SCREENSHOT");
  if (!shot.isEmpty()) {
    const QStringList parts = shot.split(',');
    QTimer::singleShot(parts.value(1, "3000").toInt(), &window, [&window, &app, file = parts[0]] {
      window.list_tables->clearSelection();
      window.grab().save(file);
      app.quit();
    });
  }
  return app.exec();
}
