#include "app/hostlobby.h"

#include <algorithm>
#include <stdexcept>

#include "protocol/commands.h"
#include "tables/address.h"

namespace ombrix::app {

namespace {
// The lobby's record follows the table within a second.
constexpr int kPollMs = 500;
}  // namespace

lobby::TableState tableStateOf(const TServer& server, std::string name, int port) {
  const GameEngine& e = server.engine;
  lobby::TableState t;
  t.name = std::move(name);
  t.port = port;
  t.version = std::string(wire::kVersion);
  for (int s = 1; s <= kLastSlot; ++s)
    if (e.slots[s].inUse) ++(s <= kSeats ? t.players : t.watchers);
  t.playing = e.gameInProgress;
  t.round = e.gameInProgress ? std::clamp(e.roundNumber, 0, lobby::kMaxRound) : 0;
  t.full = e.gameKind != "h";
  return t;
}

HostLobby::HostLobby(HostWindow& host, const std::string& server, bool isPrivate, const std::string& bind,
                     std::string name, std::function<void(std::string_view)> log)
    : host_(host), name_(std::move(name)) {
  auto where = tables::parseAddress(server, lobby::kDefaultServerPort);
  if (!where) throw std::invalid_argument("not a HOST[:PORT]: " + server);
  // Relays reach the table's own listener from this machine.
  std::string local = bind;
  if (local.empty() || local == "0.0.0.0") local = "127.0.0.1";
  if (local == "::" || local == "[::]") local = "::1";
  auto game = tables::parseAddress(local, host.port());
  if (!game) throw std::invalid_argument("not an address: " + bind);
  game->port = host.port();
  registration_ = std::make_unique<lobby::HostRegistration>(*where, *game, tableStateOf(host.server(), name_, host.port()),
                                                            isPrivate);
  registration_->log = log;
  registration_->onCode = [log](const std::string& code) {
    if (log) log("invite code: " + code);
  };
  registration_->onDirect = [log](const std::vector<std::string>& direct) {
    if (log) log(lobby::reachText(direct));
  };
  poll_.setInterval(kPollMs);
  QObject::connect(&poll_, &QTimer::timeout,
                   [this] { registration_->update(tableStateOf(host_.server(), name_, host_.port())); });
  poll_.start();
  registration_->start();
}

HostLobby::~HostLobby() = default;

}  // namespace ombrix::app
