// A stand-in for the lobby program in the network tests: lists a lobby
// server's public tables, or joins a table by its code as a table window
// would and says how it was seated.
//
//   lobby_probe list SERVER
//   lobby_probe join SERVER CODE NAME
//
// "join" prints "seated in slot N through PATH" (PATH: "relay" or "direct
// HOST:PORT") and exits 0 once the host has announced the newcomer; 1 and
// the reason otherwise.
#include <QCoreApplication>
#include <QTimer>
#include <cstdio>
#include <memory>

#include "lobbyclient/joiner.h"
#include "tests/support/qtloop.h"

using namespace ombrix;

namespace {
constexpr int kGiveUpMs = 30000;

int fail(const std::string& why) {
  std::fprintf(stderr, "lobby_probe: %s\n", why.c_str());
  return 1;
}
}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  if (argc < 3) return fail("usage: lobby_probe list SERVER | join SERVER CODE NAME");
  const std::string verb = argv[1];
  auto server = lobby::splitHostPort(argv[2], lobby::kDefaultServerPort);
  if (!server) return fail("not a HOST[:PORT]");
  if (verb == "list") {
    lobby::LineLink link;
    bool end = false;
    std::string failed;
    link.onConnected = [&] { link.send(lobby::listLine(0)); };
    link.onMessage = [&](const lobby::Message& m) {
      if (m.op == lobby::Op::Table) std::printf("%s %s\n", m.code.c_str(), m.table.name.c_str());
      if (m.op == lobby::Op::End) end = true;
    };
    link.onClosed = [&](const std::string& why) { failed = why; };
    link.open(*server);
    if (!test::waitFor([&] { return end || !failed.empty(); }, kGiveUpMs) || !end) return fail(failed);
    return 0;
  }
  if (verb != "join" || argc < 5) return fail("usage: lobby_probe join SERVER CODE NAME");
  const std::string name = argv[4];
  lobby::CodeJoiner joiner(*server, argv[3]);
  std::unique_ptr<test::ProtocolClient> game;
  std::string path, failed;
  joiner.onFound = [&] {
    auto where = lobby::splitHostPort(joiner.gameAddress(), 0);
    game = std::make_unique<test::ProtocolClient>(where->port, where->host);
  };
  joiner.onJoined = [&](const std::string& p) { path = p; };
  joiner.onFailed = [&](const std::string& why) { failed = why; };
  joiner.start();
  if (!test::waitFor([&] { return (game && game->slot() > 0) || !failed.empty(); }, kGiveUpMs) || !game)
    return fail(failed.empty() ? "no answer" : failed);
  game->send("CMD_logininfo+" + std::to_string(game->slot()) + "+1.0.14+" + name);
  const std::string seated = "CMD_newplayerinfo+" + std::to_string(game->slot()) + "+" + name;
  if (!test::waitFor([&] {
        for (const auto& m : game->received)
          if (m == seated) return true;
        return false;
      }, kGiveUpMs))
    return fail("not seated");
  std::printf("seated in slot %d through %s\n", game->slot(), path.c_str());
  return 0;
}
