// The host's table of connections: one row a slot, holding everything the
// host knows of the connection there (who it is, whether its person
// watches, its unfinished bytes, its log-in and its way back). The game's
// own state by seat is the engine's (GameEngine::seats).
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/timer.h"
#include "protocol/framing.h"

namespace ombrix {

// Index 0 unused; 1-4 seats; 5-9 spectators; 10 only to refuse a tenth
// connection; 11 never used.
constexpr int kSlotTableSize = 12;
constexpr int kFirstSpectator = 5;
constexpr int kLastSlot = 9;
constexpr int kFullSlot = 10;

class Outbox {
 public:
  virtual ~Outbox() = default;
  // One whole message, without its terminator, for one slot.
  virtual void send(int slot, std::string_view message) = 0;
};

struct Slot {
  // --- Who holds it ---------------------------------------------------------
  bool inUse = false;
  std::string name;        // empty until its log-in was announced
  bool watching = false;   // a seat's person chose to watch: the computer plays it
  wire::Framer remainder;  // the bytes of a message not yet whole

  // --- Its log-in ------------------------------------------------------------
  enum class Arrival : uint8_t { New, Back };
  Arrival arrival = Arrival::New;  // how its next log-in is met
  std::string arrivingAs;          // the name a connection moved here came under
  // The numbers this connection was told and has not answered, oldest
  // first: a table answers each with a log-in, and only the answer to the
  // last one is its log-in (an earlier number may be its slot by then).
  std::vector<uint8_t> told;
  bool loggedIn = false;    // its connection's log-in was announced
  bool kicked = false;      // the host's player is closing its connection
  bool rulesAware = false;  // its table said it follows house rules ("rules")
  std::string heldLogIn;    // a log-in waiting for that
  bool refused = false;     // told it cannot follow them; closing
  // Runs out when its connection has not logged in in time.
  std::unique_ptr<Timer> logInDeadline;
  // The wait for a held log-in's "rules", then the close after the line
  // that refuses it.
  std::unique_ptr<Timer> rulesTimer;

  // --- Coming back (host/rejoin.cpp) ------------------------------------------
  std::string secret;      // its connection's seat's secret, once told
  std::string presented;   // the secret its connection presented to come back
  std::string leftName;    // who last left this slot during a game
  uint64_t leftGame = 0;   // and in which game (GameEngine::gameSerial)
  int64_t leftAtUs = 0;    // and when, on the timers' clock
  std::string leftSecret;  // the secret the name that left it had
};

using SlotTable = std::array<Slot, kSlotTableSize>;

}  // namespace ombrix
