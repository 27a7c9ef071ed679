// The lobby server over real sockets, with a real host and its registration
// and joiners by code: the server runs its own loop in a thread of its own,
// as it would in its own process; everything else is on the test's Qt loop.
#include <gtest/gtest.h>

#include "app/hostlobby.h"
#include "lobbyclient/joiner.h"
#include "lobbyd/server.h"
#include "tests/lobbyd/server_thread.h"
#include "tests/support/qtloop.h"

namespace ombrix::lobbyd {

using namespace lobbywire;
using namespace lobbyclient;
namespace {

using test::waitFor;

// A host on loopback, registered with the server.
struct RegisteredHost {
  RegisteredHost(ServerThread& server, bool isPrivate, const std::string& name) : host(7, 1.0) {
    host.server().slotOneIsOwnPlayer = false;
    host.listen("0", "127.0.0.1");
    lobby = std::make_unique<app::HostLobby>(host, server.address(), isPrivate, "127.0.0.1", name,
                                             [this](std::string_view l) { log.emplace_back(l); });
    EXPECT_TRUE(waitFor([&] { return !code().empty(); }));
  }
  std::string code() const {
    for (const auto& l : log)
      if (l.rfind("invite code: +", 0) == 0) return l.substr(13);
    return {};
  }
  bool said(const std::string& text) const {
    for (const auto& l : log)
      if (l.find(text) != std::string::npos) return true;
    return false;
  }
  HostSockets host;
  std::unique_ptr<app::HostLobby> lobby;
  std::vector<std::string> log;
};

// A table window that joins by code and logs in.
struct Seat {
  Seat(ServerThread& server, const std::string& code, const std::string& name, bool relayOnly) {
    joiner = std::make_unique<CodeJoiner>(server.hostPort(), code);
    joiner->relayOnly = relayOnly;
    joiner->onFound = [this] {
      auto hp = readDirect(joiner->gameAddress());
      game = std::make_unique<test::ProtocolClient>(hp->port, hp->host);
    };
    joiner->onJoined = [this](const std::string& p) { path = p; };
    joiner->onFailed = [this](const std::string& why) { failed = why; };
    joiner->start();
    if (!waitFor([&] { return (game && game->slot() > 0) || !failed.empty(); })) return;
    if (!game) return;
    game->send("CMD_logininfo+" + std::to_string(game->slot()) + "+1.0.14+" + name);
    game->waitForCommand("CMD_newplayerinfo");
  }
  std::unique_ptr<CodeJoiner> joiner;
  std::unique_ptr<test::ProtocolClient> game;
  std::string path, failed;
};

// What a lookup of `code` finds now, or the server's error.
std::pair<TableEntry, std::string> lookUp(ServerThread& server, const std::string& code) {
  CodeJoiner j(server.hostPort(), code);
  std::string failed;
  bool found = false;
  j.onFound = [&] { found = true; };
  j.onFailed = [&](const std::string& why) { failed = why; };
  j.start();
  EXPECT_TRUE(waitFor([&] { return found || !failed.empty(); }));
  return {j.table(), failed};
}

std::vector<std::string> listedNames(ServerThread& server) {
  LineLink link;
  std::vector<std::string> names;
  bool end = false;
  link.onConnected = [&] { link.send(listLine(0)); };
  link.onMessage = [&](const Message& m) {
    if (m.op == Op::Table) names.push_back(m.table.name);
    if (m.op == Op::End) end = true;
  };
  link.open(server.hostPort());
  EXPECT_TRUE(waitFor([&] { return end; }));
  return names;
}

// Everything here comes from 127.0.0.1: the bounds per address are raised.
Limits loopbackLimits() {
  Limits l;
  l.requestsBurst = 1000;
  l.requestsPerSecond = 1e6;
  l.address.connections = 1000;
  l.address.connectBurst = 1000;
  // A test that polls the record opens a connection a look-up, as fast as
  // the machine answers: a fast one spends any burst.
  l.address.connectPerSecond = 1e6;
  return l;
}

TEST(LobbyRelay, TablesJoinByCodeThroughTheRelayOrDirectlyAndTheRecordFollowsTheTable) {
  ServerThread server(loopbackLimits());
  RegisteredHost ann(server, false, "Ann's table");
  EXPECT_TRUE(server.logged("table " + ann.code() + " registered"));
  // The server could reach the host's port, and said so.
  ASSERT_TRUE(waitFor([&] { return ann.said("the lobby server reached this table at 127.0.0.1:"); }));

  // Typed in lower case and without the "+": the same table.
  std::string typed = ann.code().substr(1);
  for (char& c : typed) c = static_cast<char>(std::tolower(c));
  Seat zed(server, typed, "Zed", /*relayOnly=*/true);
  ASSERT_TRUE(zed.game) << zed.failed;
  EXPECT_EQ(zed.path, "relay");
  Seat yan(server, ann.code(), "Yan", /*relayOnly=*/false);
  ASSERT_TRUE(yan.game) << yan.failed;
  EXPECT_EQ(yan.path.rfind("direct 127.0.0.1:", 0), 0u) << yan.path;
  const auto& slots = ann.host.server().slots;
  EXPECT_EQ(slots[zed.game->slot()].name, "Zed");
  EXPECT_EQ(slots[yan.game->slot()].name, "Yan");

  // The record follows the table: two people in seats.
  TableEntry seen;
  EXPECT_TRUE(waitFor([&] { return (seen = lookUp(server, ann.code()).first).state.players == 2; }));
  EXPECT_EQ(seen.name, "Ann's table");
  EXPECT_EQ(listedNames(server), std::vector<std::string>{"Ann's table"});

  // Byte for byte both ways: a chat line from the relayed seat reaches the
  // direct one, a "+" and all.
  zed.game->send("CMD_chat+" + std::to_string(zed.game->slot()) + "+a+b|clBlack");
  ASSERT_TRUE(yan.game->waitForCommand("CMD_chat"));
  EXPECT_EQ(yan.game->with("CMD_chat")[0], "CMD_chat+Zed chats: a+b|clBlack");

  // A relayed seat that leaves is a departure at the host like any other.
  const int zedSlot = zed.game->slot();
  zed.game->close();
  EXPECT_TRUE(waitFor([&] { return !slots[zedSlot].inUse; }));
  EXPECT_TRUE(yan.game->waitForCommand("CMD_playerdisconnected"));

  // The host stops registering: the table is withdrawn.
  ann.lobby.reset();
  ASSERT_TRUE(waitFor([&] { return server.logged("table " + ann.code() + " withdrawn"); }));
  EXPECT_EQ(lookUp(server, ann.code()).second, "unknown");
}

TEST(LobbyRelay, APrivateTableIsNotListedButFoundByItsCode) {
  ServerThread server(loopbackLimits());
  RegisteredHost open(server, false, "Open table");
  RegisteredHost hidden(server, true, "Hidden table");
  EXPECT_EQ(listedNames(server), std::vector<std::string>{"Open table"});
  EXPECT_EQ(lookUp(server, hidden.code()).first.name, "Hidden table");
  Seat guest(server, hidden.code(), "Guest", true);
  ASSERT_TRUE(guest.game) << guest.failed;
  EXPECT_EQ(hidden.host.server().slots[guest.game->slot()].name, "Guest");
  // A code nobody has.
  Seat lost(server, "+2345678", "Lost", true);
  EXPECT_EQ(lost.failed, "unknown");
}

}  // namespace
}  // namespace ombrix::lobbyd
