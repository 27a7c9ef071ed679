#include "tests/fuzz/save_target.h"

#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <optional>

#include "base/virtualclock.h"
#include "engine/gamestate.h"
#include "host/savegame.h"
#include "host/server.h"

namespace ombrix::fuzz {

namespace {

[[noreturn]] void broken(const char* what) {
  std::fprintf(stderr, "save invariant broken: %s\n", what);
  std::abort();
}

class Binding : public HostTransport, public Notices {
 public:
  void send(int, std::string_view) override {}
  void closeConnection(int slot) override { server->connectionClosed(slot); }
  void moveConnection(int, int) override { broken("a resumed game moved a connection"); }
  void notice(std::string_view) override {}
  TServer* server = nullptr;
};

// Long enough for any round at the slowest bot speed: ten tricks of four
// cards a minute each, and the pauses.
constexpr int64_t kRoundLimitMs = 3 * 60 * 60 * 1000;

void resumeAndPlay(const GameState& s) {
  VirtualClock clock;
  Binding binding;
  TServer host(binding, binding, clock, 1);
  binding.server = &host;
  host.slotOneIsOwnPlayer = false;
  // The Strong player's search cut down to a few deals: its paths, not its strength.
  host.engine.strongConfig.work = host.engine.strongConfig.ruleWork = 60;
  host.engine.strongConfig.minSamples = 1;
  host.engine.strongConfig.maxSamples = 2;
  host.engine.strongConfig.exactCards = 1;
  if (!host.resume(s)) broken("a save the decoder accepts that a host refuses");
  // Its player comes back and leaves the seat to the computer.
  if (host.acceptConnection() != 1) broken("the resumed game's player not at slot 1");
  host.received(1, std::string("CMD_logininfo+1+1.0.14+You\xFF\xFF") + "CMD_justwatch+1+1\xFF");
  const GameEngine& e = host.engine;
  const int round = e.roundNumber;
  const bool over = clock.runUntil(
      [&] {
        GameState now;
        if (e.saveState(now))
          if (const std::string why = checkState(now); !why.empty()) {
            std::fprintf(stderr, "%s\n", why.c_str());
            broken("a resumed game left the states a save holds");
          }
        return !e.gameInProgress || e.roundNumber != round;
      },
      kRoundLimitMs);
  if (!over) broken("a resumed game stands still");
}

void check(std::string_view bytes) {
  std::string why;
  const std::optional<GameState> s = decodeSave(bytes, &why);
  if (!s) {
    if (why.empty()) broken("a save refused without a reason");
    return;
  }
  if (decodeSave(encodeSave(*s)) != s) broken("an accepted save that reads back differently");
  resumeAndPlay(*s);
}

}  // namespace

std::string resealed(std::string_view bytes) {
  std::string text(bytes);
  if (const size_t at = text.rfind("\ncrc "); at != std::string::npos) text.resize(at + 1);
  char crc[16];
  std::snprintf(crc, sizeof crc, "crc %08lx\n",
                crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(text.data()),
                      static_cast<uInt>(text.size())));
  return text + crc;
}

int driveSave(const uint8_t* data, size_t size) {
  // Past the decoder's own bound nothing is read; the fuzzer need not go there.
  if (size > kMaxSaveBytes) return 0;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  check(bytes);
  check(resealed(bytes));
  return 0;
}

}  // namespace ombrix::fuzz
