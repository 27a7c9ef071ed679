#include "lobby/servergame.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>

#include <algorithm>
#include <cstring>

#include "lobby/gamesession.h"
#include "protocol/commands.h"
#include "tables/address.h"

namespace ombrix::lobby {

std::optional<HostPort> serverAddress(std::string_view text) { return tables::parseAddress(text, kDefaultServerPort); }

CodeGame::CodeGame(GameSession& game, HostPort server, std::string code, QString name)
    : game_(game), code_(code), name_(std::move(name)), joiner_(std::move(server), std::move(code)) {
  joiner_.onFound = [this] {
    if (!game_.join(name_, QString::fromStdString(joiner_.gameAddress()))) {
      if (onFailed) onFailed("the game could not be started (" + game_.program.toStdString() + ")", false);
      return;
    }
    started_ = true;
    if (onStarted) onStarted();
  };
  joiner_.onJoined = [this](const std::string& path) {
    if (onJoined) onJoined(path);
  };
  joiner_.onFailed = [this](const std::string& why) {
    if (onFailed) onFailed(why == "unknown" ? "no table has the code " + code_ : why, started_);
  };
}

void CodeGame::start() { joiner_.start(); }

TableState hostedTable(const QString& name) {
  TableState t;
  t.name = cleanName(name.toStdString());
  t.version = std::string(wire::kVersion);
  t.port = tables::kGamePort;
  t.players = 1;
  return t;
}

namespace {
// Whether `host` is an address of one of this machine's interfaces.
bool isLocalAddress(const std::string& host) {
  in_addr a4{};
  in6_addr a6{};
  const bool v4 = ::inet_pton(AF_INET, host.c_str(), &a4) == 1;
  if (!v4 && ::inet_pton(AF_INET6, host.c_str(), &a6) != 1) return false;
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) return false;
  bool found = false;
  for (ifaddrs* i = list; i && !found; i = i->ifa_next) {
    if (!i->ifa_addr) continue;
    if (v4 && i->ifa_addr->sa_family == AF_INET)
      found = reinterpret_cast<sockaddr_in*>(i->ifa_addr)->sin_addr.s_addr == a4.s_addr;
    else if (!v4 && i->ifa_addr->sa_family == AF_INET6)
      found = std::memcmp(&reinterpret_cast<sockaddr_in6*>(i->ifa_addr)->sin6_addr, &a6, sizeof a6) == 0;
  }
  ::freeifaddrs(list);
  return found;
}
}  // namespace

bool isHostedHere(const tables::ListedTable& t, const QString& name) {
  return t.code.empty() && t.port == tables::kGamePort && t.name == cleanName(name.toStdString()) &&
         isLocalAddress(t.host);
}

TableState registeredState(const tables::ListedTable& t) {
  TableState s;
  s.name = t.name;
  s.version = t.state.version.empty() ? std::string(wire::kVersion) : t.state.version;
  s.port = t.port;
  s.players = std::clamp(t.state.players, 0, kMaxPlayers);
  s.watchers = std::clamp(t.state.watchers, 0, kMaxWatchers);
  s.playing = t.state.stage == tables::Stage::Playing;
  s.round = s.playing ? std::clamp(t.state.round, 0, kMaxRound) : 0;
  s.full = t.state.length != tables::Length::Half;
  return s;
}

std::unique_ptr<HostRegistration> registerHosted(const HostPort& server, const QString& name, bool isPrivate) {
  // Relays reach the game's listener from this machine.
  return std::make_unique<HostRegistration>(server, HostPort{"127.0.0.1", tables::kGamePort}, hostedTable(name),
                                            isPrivate);
}

}  // namespace ombrix::lobby
