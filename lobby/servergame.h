// Playing across the internet through a lobby server, for the window and
// the command line alike.
//
// CodeGame joins a table by its invite code: the code is looked up, the game
// is started to join this lobby on 127.0.0.1 ("127.0.0.1:PORT"), and the
// lobby carries the game's connection to the table, directly when the host
// can be reached, otherwise through the server's relay (CodeJoiner). It is
// to live as long as the game does: it holds the connection.
//
// HostedTable registers the table the game hosts here, so the player gets
// an invite code to share and the server can relay joiners to it.
#pragma once

#include <QString>
#include <functional>
#include <memory>
#include <string>

#include "lobbyclient/joiner.h"
#include "lobbyclient/registration.h"
#include "tables/tablelist.h"

namespace ombrix::lobby {

class GameSession;

// The lobby server setting's words: HOST[:PORT], 7773 unless told.
std::optional<HostPort> serverAddress(std::string_view text);

class CodeGame {
 public:
  CodeGame(GameSession& game, HostPort server, std::string code, QString name);

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
  CodeJoiner joiner_;
  bool started_ = false;
};

// The game's table here, on port 7772 of this machine, as the server
// first lists it: the hosting player seated, waiting.
TableState hostedTable(const QString& name);

// Whether a table announced on the local network is the game hosted here
// under that name: the game announces its own table, and that record is
// where the lobby learns how the table fills and plays.
bool isHostedHere(const tables::ListedTable& t, const QString& name);
// A table's state as the lobby server is told it.
TableState registeredState(const tables::ListedTable& t);

// A registration for the game hosted on this machine; the caller sets its
// callbacks and starts it.
std::unique_ptr<HostRegistration> registerHosted(const HostPort& server, const QString& name, bool isPrivate);

}  // namespace ombrix::lobby
