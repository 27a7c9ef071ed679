// The game the lobby starts, and how the lobby knows one is running.
//
// The game opens its lobby link to 127.0.0.1 port 9001 when it starts from
// a lobby's words and keeps it open for its whole life; the lobby listens
// there, so the link is open exactly while a game
// runs, whoever started it. A game this lobby started is also followed by
// its process, for a game that ends before it opens the link (a second
// copy hands over to the first and ends at once). A lobby that cannot
// listen (another lobby holds the port) still starts games and follows them.
//
// A game hosting through a lobby server writes lines on its link: "code
// +XXXXXXX" (the table's invite code) and "status TEXT" (how the server and
// the home router reach the table). A game that writes none is still a game.
#pragma once

#include <QObject>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <map>
#include <set>
#include <string>

#include "net/asyncsock.h"
#include "net/wsock.h"

class QSocketNotifier;

namespace ombrix::lobby {

class GameSession {
 public:
  static constexpr int kLinkPort = 9001;

  GameSession();
  ~GameSession();
  GameSession(const GameSession&) = delete;
  GameSession& operator=(const GameSession&) = delete;

  // Starts listening for the link on 127.0.0.1 (`port`: tests take 0);
  // false, with the reason in `why`, when that cannot be.
  bool listen(int port = kLinkPort, std::string* why = nullptr);
  int linkPort() const;

  // The game: "ombrix" beside this program.
  QString program;
  // Starts a program with its words; its process id, 0 when it is not to
  // be followed, nothing when it could not be started. Tests replace it.
  std::function<std::optional<qint64>(const QString& program, const QStringList& args)> startProgram;

  // `ombrix NAME 127.0.0.1 true`; `ombrix NAME ADDRESS join`. False when the
  // game could not be started.
  // `more` follows the three words (a lobby server to register with).
  bool host(const QString& name, const QStringList& more = {});
  bool join(const QString& name, const QString& address);

  // The process of the game this lobby started, while it lives; 0 otherwise.
  qint64 pid() const { return watching_ ? pid_ : 0; }

  // A game is running: its link is open, or the game this lobby started lives.
  bool running() const { return !links_.empty() || watching_; }
  // Told when running() turns true, and when it turns false again.
  std::function<void()> onStarted, onEnded;
  // A line the game wrote on its link, without its line break.
  std::function<void(const std::string& line)> onLine;
  // The longest line read; a longer one is dropped.
  static constexpr size_t kMostLine = 1024;

 private:
  bool start(const QStringList& args);
  void linkAccept();
  void linkRead(net::TAsyncSock* link);
  void linkGone(net::TAsyncSock* link);
  void follow(qint64 pid);
  void processGone();
  void changed(bool wasRunning);

  net::TAsyncSock listener_;
  std::set<net::TAsyncSock*> links_;
  std::map<net::TAsyncSock*, std::string> partial_;  // a line not yet ended
  bool watching_ = false;
  qint64 pid_ = 0;
  int pidfd_ = -1;
  std::unique_ptr<QSocketNotifier> exit_;
  std::shared_ptr<int> life_ = std::make_shared<int>(0);
};

}  // namespace ombrix::lobby
