#include "lobby/servergame.h"

#include <algorithm>
#include <cctype>

#include "lobby/gamesession.h"
#include "tables/address.h"

namespace ombrix::lobby {

using namespace lobbywire;

std::optional<HostPort> serverAddress(std::string_view text) { return tables::parseAddress(text, kDefaultServerPort); }

std::optional<Invite> readInvite(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
  bool webLink = false;
  for (std::string_view scheme : {"http://", "https://"}) {
    const bool same = text.size() >= scheme.size() &&
                      std::equal(scheme.begin(), scheme.end(), text.begin(), [](char a, char b) {
                        return a == std::tolower(static_cast<unsigned char>(b));
                      });
    if (same) text.remove_prefix(scheme.size()), webLink = true;
  }
  const size_t slash = text.rfind('/');
  if (slash == std::string_view::npos) {
    auto code = readCode(text);
    if (!code) return std::nullopt;
    return Invite{std::nullopt, *code};
  }
  std::string codeWords(text.substr(slash + 1));
  if (codeWords.starts_with("%2B") || codeWords.starts_with("%2b")) codeWords.replace(0, 3, "+");  // a link's "+"
  auto code = readCode(codeWords);
  auto server = serverAddress(text.substr(0, slash));
  if (!code || !server) return std::nullopt;
  // A web link's port is the server's web door: the lobby server itself
  // answers on its usual port.
  if (webLink) server->port = kDefaultServerPort;
  return Invite{std::move(server), *code};
}

std::string inviteText(const HostPort& server, const std::string& code) {
  return tables::joinAddress(server, 0) + "/" + code;
}

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
