#include "lobby/lobbycli.h"

#include <QCoreApplication>
#include <QObject>
#include <QTimer>
#include <cstdio>
#include <memory>
#include <string>

#include "dnssd/browser.h"
#include "lobby/gamesession.h"
#include "lobby/lobbysettings.h"
#include "lobby/servergame.h"
#include "lobby/servertables.h"
#include "net/stopsignals.h"
#include "tables/address.h"
#include "tables/tablelist.h"
#include "ui/oneinstance.h"

namespace ombrix::lobby {

using namespace lobbywire;

namespace {

// How long a lobby server may take to answer a listing beyond the wait for
// the local network: a server that drops rather than refuses would
// otherwise hold a script for the system's whole connect time-out.
constexpr int kServerGraceMs = 10000;

void line(std::FILE* to, const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), to);
  std::fputc('\n', to);
}

}  // namespace

int listTables(double seconds, bool json, const std::optional<HostPort>& server) {
  dnssd::LanBrowser lan(dnssd::LanBrowser::Daemon::Required);
  ServerTables remote;
  tables::TableList seen;
  bool lanDone = false, lanFailed = false, serverDone = !server, serverFailed = false;
  const auto finish = [&] {
    if (lanDone && serverDone) QCoreApplication::exit(0);
  };
  for (tables::TableSource* source : {static_cast<tables::TableSource*>(&lan), static_cast<tables::TableSource*>(&remote)}) {
    source->onSeen = [&seen](const tables::ListedTable& t) { seen.put(t); };
    source->onGone = [&seen, source](const std::string& key) { seen.remove(source->id(), key); };
  }
  lan.onAvailability = [&](bool available, const std::string& why) {
    if (available) return;
    line(stderr, "ombrix-lobby: tables on this network cannot be listed: " + why);
    lanDone = lanFailed = true;
    finish();
  };
  remote.onAvailability = [&](bool available, const std::string& why) {
    if (available || serverDone) return;
    line(stderr, "ombrix-lobby: the lobby server's tables cannot be listed: " + why);
    serverFailed = true;
  };
  remote.onListed = [&] {
    serverDone = true;
    finish();
  };
  lan.start();
  if (server) remote.setServer(server);
  QObject waiting;  // the timers below go with this call
  QTimer::singleShot(static_cast<int>(seconds * 1000), &waiting, [&] {
    lanDone = true;
    finish();
  });
  QTimer::singleShot(static_cast<int>(seconds * 1000) + kServerGraceMs, &waiting, [&] {
    if (serverDone) return;
    line(stderr, "ombrix-lobby: the lobby server did not answer");
    serverDone = serverFailed = true;
    finish();
  });
  if (!(lanDone && serverDone)) QCoreApplication::exec();
  if (lanFailed && (!server || serverFailed)) return 1;
  for (const tables::ListedTable& t : seen.tables()) line(stdout, json ? tables::jsonLine(t) : tables::plainLine(t));
  std::fflush(stdout);
  return 0;
}

int playWithoutWindow(bool host, const QString& name, const QString& address, const std::optional<HostPort>& server,
                      bool isPrivate, bool portMapping, const rules::Rules& houseRules) {
  // An invite: "+CODE", or with its server, "SERVER[:PORT]/+CODE" (a web
  // link's "http://" before it); an address has no "/".
  const bool byCode = !host && (address.trimmed().startsWith('+') || address.contains('/'));
  QString words = "127.0.0.1";
  std::string code;
  std::optional<HostPort> codeServer = server;
  if (byCode) {
    const auto invite = readInvite(address.toStdString());
    if (!invite) {
      line(stderr, "ombrix-lobby: \"" + address.toStdString() +
                       "\" is not an invite code (+ and 7 letters or digits, after SERVER[:PORT]/ when it names its server)");
      return 2;
    }
    if (invite->server) codeServer = invite->server;
    if (!codeServer) {
      line(stderr, "ombrix-lobby: joining by invite code needs a lobby server (--server HOST[:PORT], or SERVER/+CODE)");
      return 2;
    }
    code = invite->code;
  } else if (!host) {
    const auto to = tables::parseAddress(address.toStdString());
    if (!to) {
      line(stderr, "ombrix-lobby: \"" + address.toStdString() + "\" is not an address (HOST or HOST:PORT)");
      return 2;
    }
    words = QString::fromStdString(tables::joinAddress(*to));
  }
  if (ui::gameOpen()) {
    line(stderr,
         "ombrix-lobby: an Ombrix game is open on this desktop, and a desktop runs one game at a time: end it "
         "(File > Exit saves a solo game) and try again");
    return 1;
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
  const auto tellPid = [&game] {
    if (game.pid()) line(stderr, "ombrix-lobby: the game runs as process " + std::to_string(game.pid()));
  };

  if (byCode) {
    CodeGame joining(game, *codeServer, code, name);
    joining.onStarted = [&] { line(stderr, "ombrix-lobby: " + code + " is \"" + joining.tableName() + "\""); tellPid(); };
    joining.onJoined = [&code](const std::string& path) {
      line(stderr, "ombrix-lobby: joined " + code + (path == "relay" ? " through the relay"
                                                                      : " directly at " + path.substr(path.find(' ') + 1)));
    };
    joining.onFailed = [](const std::string& why, bool gameStarted) {
      line(stderr, "ombrix-lobby: the table was not reached: " + why);
      if (!gameStarted) QCoreApplication::exit(1);
    };
    joining.start();
    return QCoreApplication::exec();
  }

  // The game registers its own table with the lobby server and says its
  // code and how it is reached on the link.
  // The web table's link is said the same way, with or without a server.
  QStringList more;
  if (host && !houseRules.design()) more << "--rules" << QString::fromStdString(rules::format(houseRules));
  if (host && server) {
    more << "--lobby-server" << QString::fromStdString(tables::joinAddress(*server, 0));  // with its port
    if (isPrivate) more << "--private";
    if (!portMapping) more << "--no-port-mapping";
  }
  if (host)
    game.onLine = [server](const std::string& said) {
      if (said.starts_with("code ")) {
        if (const auto code = readCode(said.substr(5))) {
          line(stderr, "ombrix-lobby: invite code: " + *code);
          if (server) line(stderr, "ombrix-lobby: invite: " + inviteText(*server, *code));
        }
      } else if (said.starts_with("status ")) {
        line(stderr, "ombrix-lobby: " + said.substr(7));
      } else if (said.starts_with("web ")) {
        line(stderr, "ombrix-lobby: web link: " + said.substr(4));
      }
    };
  if (!(host ? game.host(name, more) : game.join(name, words))) {
    line(stderr, "ombrix-lobby: the game could not be started (" + game.program.toStdString() + ")");
    return 1;
  }
  if (!game.running()) return 0;
  tellPid();
  return QCoreApplication::exec();
}

}  // namespace ombrix::lobby
