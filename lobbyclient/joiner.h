// Joining a table by its invite code. The joiner looks the code up at the
// lobby server, then listens on 127.0.0.1 for the game ("127.0.0.1:PORT" is
// what the game is told to join). When the game connects, the joiner tries
// the host directly at each address the server could reach it at (IPv6
// first), and otherwise asks the server for a relay; either way it splices
// the game's connection to the one that answered. The game and the host see
// an ordinary connection.
//
// The direct try is made with the game's own connection, never before it:
// a trial connection would take a seat at the table and leave again.
#pragma once

#include <QTimer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "lobbyclient/lobbylink.h"
#include "lobbywire/wire.h"

namespace ombrix::lobbyclient {

class CodeJoiner {
 public:
  // How long one direct address may take to answer before the next is
  // tried: a firewall that drops rather than refuses would otherwise hold
  // the game for the system's whole connect time-out.
  static constexpr int kDirectMs = 3000;

  CodeJoiner(lobbywire::HostPort server, std::string code);
  ~CodeJoiner();

  // Looks the code up; onFound or onFailed follows.
  void start();
  // The table the code names, once found.
  const lobbywire::TableEntry& table() const { return table_; }
  const std::vector<std::string>& direct() const { return direct_; }
  // Where the game is to connect ("127.0.0.1:PORT"), once found.
  std::string gameAddress() const;

  // Only for tests and benchmarks: never go direct.
  bool relayOnly = false;

  std::function<void()> onFound;
  // The game's connection now reaches the host: "direct HOST:PORT" or "relay".
  std::function<void(const std::string& path)> onJoined;
  // Nothing to join (unknown code, no server, no host); `why` says so.
  std::function<void(const std::string& why)> onFailed;
  // The joined connection has ended (the game left, or the host did).
  std::function<void()> onEnded;

 private:
  void found(const lobbywire::Message& m);
  void gameArrived();
  void tryNext();
  void relay();
  void joined(std::unique_ptr<net::TAsyncSock> far, const std::string& leftover, const std::string& path);
  void fail(const std::string& why);

  lobbywire::HostPort server_;
  std::string code_;
  lobbywire::TableEntry table_;
  std::vector<std::string> direct_;
  size_t nextDirect_ = 0;
  LineLink lookup_, relay_;
  net::TAsyncSock listener_;
  std::unique_ptr<net::TAsyncSock> game_, attempt_;
  std::string attemptAddress_;
  std::unique_ptr<Splice> splice_;
  QTimer attemptTimer_;
  bool done_ = false;
};

}  // namespace ombrix::lobbyclient
