#include "app/hostlobby.h"

#include <algorithm>
#include <stdexcept>

#include "tables/address.h"

namespace ombrix::app {

namespace {
// The lobby's record follows the table within a second.
constexpr int kPollMs = 500;
}  // namespace

std::string ownListener(const std::string& bind) {
  if (bind.empty() || bind == "0.0.0.0") return "127.0.0.1";
  if (bind == "::" || bind == "[::]") return "::1";
  return bind;
}

HostLobby::HostLobby(HostSockets& host, const std::string& server, bool isPrivate, const std::string& bind,
                     std::string name, std::function<void(std::string_view)> log, bool portMapping,
                     int leaseSeconds)
    : host_(host), name_(std::move(name)), log_(std::move(log)), mapper_(host.port(), leaseSeconds) {
  auto where = tables::parseAddress(server, lobbywire::kDefaultServerPort);
  if (!where) throw std::invalid_argument("not a HOST[:PORT]: " + server);
  // Relays reach the table's own listener from this machine.
  auto game = tables::parseAddress(ownListener(bind), host.port());
  if (!game) throw std::invalid_argument("not an address: " + bind);
  game->port = host.port();
  registration_ = std::make_unique<lobbyclient::HostRegistration>(*where, *game, state(), isPrivate);
  registration_->log = log_;
  registration_->onCode = [this](const std::string& code) {
    if (log_) log_("invite code: " + code);
    // A friend with only a browser comes through the server too.
    if (const std::string web = registration_->webLink(); !web.empty() && log_) log_("web link: " + web);
    if (onCode) onCode(code);
  };
  registration_->onDirect = [this](const std::vector<std::string>& direct) {
    if (log_) log_(lobbyclient::reachText(direct));
  };
  poll_.setInterval(kPollMs);
  QObject::connect(&poll_, &QTimer::timeout, [this] { registration_->update(state()); });
  // The mapping before the registration: the server probes the table once,
  // when it registers.
  mappingWait_.setSingleShot(true);
  QObject::connect(&mappingWait_, &QTimer::timeout, [this] { registerNow(); });
  if (!portMapping) {
    if (log_) log_("port mapping: off (joiners come directly or through the relay)");
    registerNow();
    return;
  }
  mapper_.onDone = [this](const lobbyclient::PortMapping& m) { mapped(m); };
  mapper_.start();
  mappingWait_.start(kMappingWaitMs);
}

lobbywire::TableEntry HostLobby::state() const {
  lobbywire::TableEntry t{name_, reachedAt_ ? reachedAt_ : host_.port(), host_.server().publicState()};
  // A server takes no round past a full game's; a line it refuses would
  // end the registration.
  t.state.round = std::clamp(t.state.round, 0, lobbywire::kMaxRound);
  return t;
}

void HostLobby::mapped(const lobbyclient::PortMapping& m) {
  std::string line = lobbyclient::mappingText(m);
  if (started_ && m.ok) line += " (after the table registered: shown to the lobby server now)";
  if (log_) log_(line);
  if (started_ && m.ok) {
    // Later joiners come directly: the server looks at the router's port,
    // and a registration made again names it.
    reachedAt_ = m.externalPort;
    registration_->showPort(m.externalPort);
  }
  registerNow();
}

void HostLobby::registerNow() {
  if (started_) return;
  started_ = true;
  mappingWait_.stop();
  // Joiners are sent to the router's port when it forwards one.
  const lobbyclient::PortMapping& m = mapper_.mapping();
  reachedAt_ = m.ok ? m.externalPort : host_.port();
  registration_->update(state());
  registration_->start();
  poll_.start();
}

HostLobby::~HostLobby() = default;

}  // namespace ombrix::app
