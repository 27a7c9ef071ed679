// ombrix-host: hosts one table without any window.
//
//   ombrix-host [--port N] [--bind ADDRESS] [--seed N] [--time-scale X]
//               [--bot-skill classic|standard|strong] [--name NAME] [--no-announce]
//               [--lobby-server HOST[:PORT] [--private] [--no-port-mapping]
//                [--port-mapping-lease SECONDS]] [--web-port PORT | --no-web]
//               [--rules LIST] [--start half|full]
//   ombrix-host --help | --version
//
// Slot 1 is simply the first connection, and its departure hands its seat
// to the computer like any other's. The table is announced on the local
// network (DNS-SD, through avahi-daemon) unless --no-announce. One line on
// standard error for each connection, log-in, departure and game end;
// Ctrl-C or SIGTERM stops it cleanly, closing every connection and
// withdrawing the announcement. Beside the game's port it serves the web
// table (port 7780 unless told) and prints its link.
#include <unistd.h>

#include <QCoreApplication>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "ai/decision.h"
#include "protocol/commands.h"
#include "rules/rules.h"
#include "app/commandline.h"
#include "app/hostlobby.h"
#include "app/webhost.h"
#include "dnssd/publisher.h"
#include "engine/random.h"
#include "net/asyncsock.h"
#include "net/stopsignals.h"
#include "host/hostsockets.h"

namespace {
constexpr const char* kUsage =
    "usage: ombrix-host [--port N] [--bind ADDRESS] [--seed N] [--time-scale X]\n"
    "                   [--bot-skill classic|standard|strong] [--name NAME] [--no-announce]\n"
    "                   [--lobby-server HOST[:PORT] [--private] [--no-port-mapping]\n"
    "                    [--port-mapping-lease SECONDS]] [--web-port PORT | --no-web]\n"
    "                   [--rules LIST] [--start half|full]\n";

int usage() {
  std::fprintf(stderr, "%s       ombrix-host --help | --version\n", kUsage);
  return 2;
}

void help() {
  std::printf(
      "%s\n"
      "Hosts one Ombrix table without a window: up to four players and five\n"
      "spectators connect with the game; seats nobody takes are played by the\n"
      "computer. Slot 1 (who may start a game) is the first connection.\n\n"
      "  --port N          listen on TCP port N (default 7772)\n"
      "  --bind ADDRESS    listen on this address only (default: every address)\n"
      "  --seed N          seed of the shuffle (default: from the time of day)\n"
      "  --time-scale X    run the host's timers X times faster (tests)\n"
      "  --bot-skill SKILL how the computer plays its seats: classic (the table's\n"
      "                    own rule, the default), standard or strong; the player\n"
      "                    in slot 1 may choose another in the Options menu\n"
      "  --name NAME       the table's name on the local network\n"
      "                    (default \"Ombrix on HOSTNAME\")\n"
      "  --no-announce     keep the table off the local network's list of tables\n"
      "  --lobby-server HOST[:PORT]\n"
      "                    register the table with this lobby server (port 7773\n"
      "                    by default) and print its invite code\n"
      "  --private         with --lobby-server: reached by its code only, not listed\n"
      "  --no-port-mapping with --lobby-server: ask the home router for no port\n"
      "                    (UPnP); joiners come directly or through the relay\n"
      "  --port-mapping-lease SECONDS\n"
      "                    with --lobby-server: the lease asked of the router for\n"
      "                    its port, renewed at half (default 3600)\n"
      "  --web-port PORT   serve the web table on this port (default 7780, or any\n"
      "                    free one when that is taken) and print its link: a\n"
      "                    friend plays from a browser with nothing installed\n"
      "  --no-web          no web table\n"
      "  --rules LIST      the house rules, comma-separated: hook (the last bidder\n"
      "                    may not make the bids total the round's cards),\n"
      "                    scoring=design|tricks|penalty, rounds=updown|downup;\n"
      "                    \"design\" for none (the default); the player in slot 1\n"
      "                    may choose others between games\n"
      "  --start half|full start a game of computer players as soon as the host\n"
      "                    listens; people who join take free seats or watch\n"
      "  -h, --help        show this text\n"
      "  -v, --version     show the version\n\n"
      "The table is announced on the local network (DNS-SD service _ombrix._tcp,\n"
      "through avahi-daemon), where ombrix-lobby lists it; without avahi-daemon\n"
      "it is hosted all the same, unannounced. A line on standard error for each\n"
      "connection, log-in, departure and game end; SIGINT or SIGTERM stops it,\n"
      "closing every connection.\n",
      kUsage);
}

std::string defaultName() {
  char host[HOST_NAME_MAX + 1] = {};
  if (gethostname(host, sizeof host - 1) != 0 || !host[0]) return "Ombrix table";
  return std::string("Ombrix on ") + host;
}

void say(std::string_view line) {
  std::fprintf(stderr, "ombrix-host: %.*s\n", static_cast<int>(line.size()), line.data());
}
}  // namespace

int main(int argc, char** argv) {
  std::string port = "7772", address;
  uint64_t seed = ombrix::Random::timeOfDaySeed();
  double scale = 1.0;
  ombrix::ai::Skill skill = ombrix::ai::Skill::Classic;
  std::string name = defaultName();
  bool announce = true;
  std::string lobbyServer;
  bool isPrivate = false, portMapping = true, lobbyOption = false;
  int lease = ombrix::lobbyclient::PortMapper::kLeaseSeconds;
  bool web = true;
  std::string webPort;
  ombrix::rules::Rules houseRules;
  std::string start;  // "half", "full" or nothing
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    // Options of the lobby server's registration, which need --lobby-server.
    if (a == "--private" || a == "--no-port-mapping") {
      if (a == "--private") isPrivate = true;
      else portMapping = false;
      lobbyOption = true;
      continue;
    }
    if (a == "--help" || a == "-h") {
      help();
      return 0;
    }
    if (a == "--version" || a == "-v") {
      std::printf("ombrix-host %s\n", qPrintable(ombrix::app::versionText()));
      return 0;
    }
    if (a == "--no-announce") {
      announce = false;
      continue;
    }
    if (a == "--no-web") {
      web = false;
      continue;
    }
    if (i + 1 >= argc) return usage();
    if (a == "--port")
      port = argv[++i];
    else if (a == "--bind")
      address = argv[++i];
    else if (a == "--seed")
      seed = std::strtoull(argv[++i], nullptr, 10);
    else if (a == "--name")
      name = argv[++i];
    else if (a == "--time-scale")
      scale = std::atof(argv[++i]);
    else if (a == "--bot-skill") {
      const auto named = ombrix::ai::skillNamed(argv[++i]);
      if (!named) return usage();
      skill = *named;
    } else if (a == "--lobby-server") {
      lobbyServer = argv[++i];
    } else if (a == "--port-mapping-lease") {
      lease = std::atoi(argv[++i]);
      if (lease < 2) return usage();
      lobbyOption = true;
    } else if (a == "--web-port") {
      webPort = argv[++i];
    } else if (a == "--rules") {
      std::string why;
      const auto r = ombrix::rules::parse(argv[++i], &why);
      if (!r) {
        std::fprintf(stderr, "ombrix-host: --rules: %s\n", why.c_str());
        return usage();
      }
      houseRules = *r;
    } else if (a == "--start") {
      start = argv[++i];
      if (start != "half" && start != "full") return usage();
    } else {
      return usage();
    }
  }
  if (scale <= 0 || (lobbyOption && lobbyServer.empty()) || (!web && !webPort.empty())) return usage();
  QCoreApplication app(argc, argv);

  // Signals reach the event loop, so the stop runs on the loop's thread
  // like everything else.
  ombrix::net::StopSignals stop([&app](int) {
    std::fprintf(stderr, "ombrix-host: stopping\n");
    app.quit();
  });
  if (!stop.active()) return 1;

  ombrix::HostSockets host(seed, scale);
  host.server().slotOneIsOwnPlayer = false;   // no player of its own: slot 1 is a remote table
  host.server().engine.botSkill.fill(skill);  // until slot 1 asks for another
  host.log = say;
  host.server().setRules(houseRules);
  try {
    host.listen(port, address);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "ombrix-host: cannot listen on port %s%s%s: %s\n", port.c_str(),
                 address.empty() ? "" : " at ", address.c_str(), e.what());
    return 1;
  }
  std::unique_ptr<ombrix::dnssd::TablePublisher> publisher;
  if (announce) {
    publisher = std::make_unique<ombrix::dnssd::TablePublisher>(
        name, host.port(), host.server().publicState(), [](const std::string& line) { say(line); });
    host.server().onPublicChange = [&publisher](const ombrix::tables::TableState& s) { publisher->update(s); };
  }
  std::unique_ptr<ombrix::web::WebDoor> door;
  if (web) door = ombrix::app::openWebDoor(host, webPort, address, argv[0], host.log);
  std::unique_ptr<ombrix::app::HostLobby> lobby;
  if (!lobbyServer.empty()) {
    try {
      lobby = std::make_unique<ombrix::app::HostLobby>(host, lobbyServer, isPrivate, address, name, host.log,
                                                       portMapping, lease);
    } catch (const std::exception& e) {
      std::fprintf(stderr, "ombrix-host: --lobby-server: %s\n", e.what());
      return 2;
    }
  }
  if (!start.empty()) {
    // A game of computer players from the first card: whoever joins later
    // takes a free seat as a late joiner does, or watches.
    std::string request;
    ombrix::wire::build::startgameRequest(request, "The host", start == "half");
    host.server().enqueue(0, request);
  }
  const int status = app.exec();
  host.server().onPublicChange = nullptr;
  lobby.reset();
  door.reset();
  publisher.reset();  // withdrawn before the connections close
  return status;
}
