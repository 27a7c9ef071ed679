#include "lobby/lobbycli.h"

#include <QCoreApplication>
#include <QTimer>
#include <cstdio>
#include <string>

#include "dnssd/browser.h"
#include "lobby/gamesession.h"
#include "lobby/lobbysettings.h"
#include "net/stopsignals.h"
#include "tables/address.h"
#include "tables/tablelist.h"

namespace ombrix::lobby {

namespace {

void line(std::FILE* to, const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), to);
  std::fputc('\n', to);
}

}  // namespace

int listTables(double seconds, bool json) {
  dnssd::LanBrowser lan(dnssd::LanBrowser::Daemon::Required);
  tables::TableList seen;
  int status = 0;
  lan.onSeen = [&seen](const tables::ListedTable& t) { seen.put(t); };
  lan.onGone = [&seen](const std::string& key) { seen.remove(dnssd::LanBrowser::kSource, key); };
  lan.onAvailability = [&status](bool available, const std::string& why) {
    if (available) return;
    line(stderr, "ombrix-lobby: tables on this network cannot be listed: " + why);
    status = 1;
    QCoreApplication::exit(1);
  };
  lan.start();
  if (status) return status;
  QTimer::singleShot(static_cast<int>(seconds * 1000), [] { QCoreApplication::exit(0); });
  QCoreApplication::exec();
  if (status) return status;
  for (const tables::ListedTable& t : seen.tables()) line(stdout, json ? tables::jsonLine(t) : tables::plainLine(t));
  std::fflush(stdout);
  return 0;
}

int playWithoutWindow(bool host, const QString& name, const QString& address) {
  QString words = "127.0.0.1";
  if (!host) {
    const auto to = tables::parseAddress(address.toStdString());
    if (!to) {
      line(stderr, "ombrix-lobby: \"" + address.toStdString() + "\" is not an address (HOST or HOST:PORT)");
      return 2;
    }
    words = QString::fromStdString(tables::joinAddress(*to));
  }
  GameSession game;
  std::string why;
  if (!game.listen(GameSession::kLinkPort, &why))
    line(stderr, "ombrix-lobby: the lobby link (127.0.0.1:9001) is not held here (" + why +
                     "): the game is followed by its process");
  // The name is remembered as the window remembers it.
  const QString file = settingsFile();
  LobbySettings stored = readSettings(file);
  LobbySettings now = stored;
  now.name = name;
  writeSettings(file, now, stored);

  // Stopping the lobby leaves the game running.
  net::StopSignals stop([](int) { QCoreApplication::exit(0); });
  game.onEnded = [] { QCoreApplication::exit(0); };
  if (!(host ? game.host(name) : game.join(name, words))) {
    line(stderr, "ombrix-lobby: the game could not be started (" + game.program.toStdString() + ")");
    return 1;
  }
  if (!game.running()) return 0;
  if (game.pid()) line(stderr, "ombrix-lobby: the game runs as process " + std::to_string(game.pid()));
  return QCoreApplication::exec();
}

}  // namespace ombrix::lobby
