// Full games per second: four computer seats, five spectators receiving every
// announcement, all in virtual time. A strong computer player will one day
// play out very many deals through this engine, so its raw speed matters.
//
// Peer, measured in the same run: dealing alone (twenty std::shuffle calls
// with std::mt19937 per game), the floor under any engine that deals 20 rounds.
//
//   engine_bench [games]
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <random>
#include <string>

#include "base/virtualclock.h"
#include "protocol/commands.h"
#include "host/server.h"

using namespace ombrix;

namespace {

// Counts what five spectators receive, so nothing can be optimised away.
class CountingTransport : public HostTransport, public Notices {
 public:
  void send(int, std::string_view m) override {
    bytes += m.size() + 1;
    ++messages;
    if (m.size() > 10 && m[4] == 'w' && m[5] == 'i') ++winners;  // CMD_winner
  }
  void closeConnection(int) override {}
  void moveConnection(int, int) override {}
  void notice(std::string_view) override { ++notices; }
  uint64_t bytes = 0, messages = 0, winners = 0, notices = 0;
};

double seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

}  // namespace

int main(int argc, char** argv) {
  const int games = argc > 1 ? std::atoi(argv[1]) : 20000;
  CountingTransport out;
  VirtualClock clock;
  TServer host(out, out, clock, 2026);
  auto& e = host.engine;
  for (int s = kFirstSpectator; s <= kLastSlot; ++s) host.slots[s].inUse = true;
  host.slotCount = kLastSlot;
  e.botDelay = kBotFastMs;

  const auto t0 = std::chrono::steady_clock::now();
  for (int g = 0; g < games; ++g) {
    host.startgame("Bench+f+");
    while (e.gameInProgress && clock.step()) {
    }
  }
  const double engineSecs = seconds(std::chrono::steady_clock::now() - t0);

  std::mt19937 mt(2026);
  std::array<int, 52> deck;
  std::iota(deck.begin(), deck.end(), 1);
  uint64_t sink = 0;
  const auto t1 = std::chrono::steady_clock::now();
  for (int g = 0; g < games; ++g)
    for (int r = 0; r < 20; ++r) {
      std::shuffle(deck.begin(), deck.end(), mt);
      sink += deck[0];
    }
  const double peerSecs = seconds(std::chrono::steady_clock::now() - t1);

  if (out.winners != static_cast<uint64_t>(games) * 5 || out.notices) {
    std::fprintf(stderr, "engine_bench: games did not finish cleanly\n");
    return 1;
  }
  const double rate = games / engineSecs, peerRate = games / peerSecs;
  std::printf(
      "engine: %d full games in %.3f s = %.0f games/s (%.1f messages per game to 5 spectators, %.0f MB/s)\n",
      games, engineSecs, rate, double(out.messages) / games, out.bytes / engineSecs / 1e6);
  std::printf("peer (20 x std::shuffle per game): %.0f games/s; engine/peer = %.3f  [sink %llu]\n", peerRate,
              rate / peerRate, static_cast<unsigned long long>(sink % 10));
  std::printf("target: >= 10000 full games/s: %s\n", rate >= 10000 ? "met" : "NOT met");
  return 0;
}
