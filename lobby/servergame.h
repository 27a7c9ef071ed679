// Playing across the internet through a lobby server, for the window and
// the command line alike.
//
// CodeGame joins a table by its invite code: the code is looked up, the game
// is started to join this lobby on 127.0.0.1 ("127.0.0.1:PORT"), and the
// lobby carries the game's connection to the table, directly when the host
// can be reached, otherwise through the server's relay (CodeJoiner). It is
// to live as long as the game does: it holds the connection.
//
// A table hosted here is registered by the game itself (its lobby passes it
// the server), so its live state goes to the server straight from the table.
#pragma once

#include <QString>
#include <functional>
#include <memory>
#include <string>

#include "lobbyclient/joiner.h"

namespace ombrix::lobby {

class GameSession;

// The lobby server setting's words: HOST[:PORT], 7773 unless told.
std::optional<lobbywire::HostPort> serverAddress(std::string_view text);

// An invite as a friend pastes it: the code alone ("+XXXXXXX", as
// `readCode` takes it), or with the lobby server that knows it,
// "SERVER[:PORT]/+XXXXXXX", also as the server's web link
// "http://SERVER[:WEBPORT]/+XXXXXXX" (the server on its usual port).
struct Invite {
  std::optional<lobbywire::HostPort> server;  // none with the code alone
  std::string code;                // "+XXXXXXX"
};
std::optional<Invite> readInvite(std::string_view text);
// The invite to send: "SERVER:PORT/+XXXXXXX", the port always written.
std::string inviteText(const lobbywire::HostPort& server, const std::string& code);

class CodeGame {
 public:
  CodeGame(GameSession& game, lobbywire::HostPort server, std::string code, QString name);

  void start();
  const std::string& code() const { return code_; }
  // The table the code names, once found.
  const std::string& tableName() const { return joiner_.table().name; }

  // The game was started and is on its way to the table.
  std::function<void()> onStarted;
  // The game reaches the table: "relay", or "direct HOST:PORT".
  std::function<void(const std::string& path)> onJoined;
  // The table was not reached (`gameStarted` says whether a game was
  // started all the same: it then ends by itself, its host gone).
  std::function<void(const std::string& why, bool gameStarted)> onFailed;

 private:
  GameSession& game_;
  std::string code_;
  QString name_;
  lobbyclient::CodeJoiner joiner_;
  bool started_ = false;
};

}  // namespace ombrix::lobby
