#include "lobby/servergame.h"

#include "lobby/gamesession.h"
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

}  // namespace ombrix::lobby
