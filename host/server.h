// TServer: the host. It owns the game engine, the message queue that all
// connections share, the dispatch timer, and everything the host does with
// connections: slots, log-in, late joiners, removal, departures, just-watch
// and the chat and sound relays.
//
// Transport-agnostic: the socket binding (or a test) reports accepted
// connections, received bytes and closed connections, and carries messages
// out through HostTransport. Every request is untrusted text; the checks the
// rules leave open are made here, before the engine sees a request.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/pacer.h"
#include "engine/game.h"
#include "host/announcer.h"
#include "host/slottable.h"
#include "protocol/framing.h"
#include "tables/tablestate.h"

namespace ombrix {

class HostTransport : public Outbox {
 public:
  // Closes the connection held by `slot`. The binding reports the close back
  // through TServer::connectionClosed once the socket is gone.
  virtual void closeConnection(int slot) = 0;
  // The connection that holds `from` holds `to` from now on (a player back
  // at the seat it left): what it sends is reported, and what it is sent
  // goes, under the new number. A connection that held `to` (one that has
  // not logged in yet) holds `from` in exchange.
  virtual void moveConnection(int from, int to) = 0;
};

class TServer {
  // What the engine sends passes here: at a table with house rules, a
  // connection that has not said it follows them hears nothing of the game.
  class Gate : public Outbox {
   public:
    explicit Gate(TServer& server) : server_(server) {}
    void send(int slot, std::string_view message) override;

   private:
    TServer& server_;
  };
  Gate gate_{*this};

 public:
  // The dispatch budget: at most one message per 10 ms, 100 a second. A
  // message that finds the budget unspent runs at once; the rest wait for
  // the tick.
  static constexpr int kSockTickMs = 10;
  static constexpr int64_t kSockTickUs = kSockTickMs * 1000;

  TServer(HostTransport& transport, Notices& notices, TimerFactory& timers, uint64_t seed);

  // --- What the socket binding reports ---------------------------------------
  // A connection is waiting (Sock1Accept). Returns the slot that now holds it
  // (1..9, already told "CMD_sendlogininfo+"), or kFullSlot: the table is full
  // and the binding sends fullMessage() on the new socket and destroys it.
  int acceptConnection();
  static std::string_view fullMessage() { return "CMD_full+"; }
  // The two halves of acceptConnection, for a binding that must attach the
  // socket to the slot in between: the slot is chosen and marked in use,
  // then told its number.
  int takeSlot();
  void welcome(int slot);

  // Bytes read on a slot's connection (Sock1Read). False when the connection
  // broke the bounds (endless message, flood): the binding should close it.
  bool received(int slot, std::string_view bytes);

  // The slot's connection ended, whatever the reason (tempsockEnd). Safe to call
  // twice; the second call finds the slot free and does nothing.
  void connectionClosed(int slot);

  // A table answers its number at once, and over the slowest line within a
  // few seconds; a connection that has not logged in by then holds a slot
  // for nobody (a stranger filling the table), and is closed.
  static constexpr int kLogInDeadlineMs = 15000;
  // The deadline on the timers' clock: a binding whose clock runs faster
  // than real time (tests, demos) stretches it, as it waits for a network.
  int logInDeadlineMs = kLogInDeadlineMs;
  // A table whose line dropped tries again for a minute; its seat is kept
  // from newcomers a little longer, for the try that connects at the end of
  // that minute and the log-in after it. Only for that long does its secret
  // get the seat back.
  static constexpr int64_t kSeatKeptUs = 75'000'000;
  // At a table with house rules a log-in waits this long for the table to
  // say it follows them (it does so right after its log-in record); a table
  // that does not is told why and closed this much later, once the line
  // has left: within two seconds of its log-in in all.
  static constexpr int kRulesWaitMs = 1000;
  static constexpr int kRulesCloseMs = 500;

  // Queues one message as if it had arrived whole from `origin`; origin 0 is
  // a trusted local caller, whose slot fields are taken as they stand. The
  // message may run before this returns.
  bool enqueue(int origin, std::string_view message);

  // When the last message was taken off the queue, on the timers' clock (µs).
  int64_t lastDispatchUs() const { return socktimer.lastRunUs(); }

  // --- A solo game resumed (host/rejoin.cpp) ----------------------------------
  // Puts a saved game back and holds it there, every timer stopped, until
  // slot 1's table logs in: that table is brought up to date as a late
  // joiner is, asked again for the move it owes, and the game goes on.
  // False, and nothing changed, when a game or a connection is already here
  // or the state is not one a game can reach.
  bool resume(const GameState& state);

  // --- Handlers, as dispatched --------------------------------------------------
  // The game's requests, turned into the engine's calls (host/announcer.cpp).
  void startgame(std::string_view fields);  // starter "+" kind "+"
  void hisbid(std::string_view fields);     // seat "+" bid
  void playcard(std::string_view fields);   // seat "+" position
  void botspeed(std::string_view fields);   // seat "+" delay "+"
  void botskill(std::string_view fields);   // seat "+" skill name "+"
  void receivedlogininfo(std::string_view fields);
  void kickhim(std::string_view fields);
  void chat(std::string_view fields);
  void action(std::string_view fields);
  void justwatch(std::string_view fields);
  void playasound(std::string_view fields);
  // What the table can do: the host answers with its own list, and gives a
  // table that keeps it the seat's secret.
  void features(std::string_view fields);
  // The secret a returning table presents before its log-in.
  void reclaim(std::string_view fields);
  // Slot 1 chooses the house rules of the next game.
  void rulesRequest(std::string_view fields);

  // The house rules of the game under way, or of the next one: changed only
  // between games. Tables that read them are told; at a table with house
  // rules, connections that cannot follow them are told why and closed.
  // False, and nothing changed, while a game is under way.
  bool setRules(const rules::Rules& r);
  const rules::Rules& houseRules() const { return engine.rules; }

  // In the game the host's own table is always slot 1: its departure ends
  // the program and is neither announced nor answered by the computer. A
  // headless host has no player of its own, and clears this: there slot 1
  // leaves like any other seat.
  bool slotOneIsOwnPlayer = true;

  // The connections, one row a slot; slots 1..slotCount have been handed out.
  SlotTable slots;
  int slotCount = 0;

 private:
  Announcer announcer_{slots, slotCount, gate_};

 public:
  GameEngine engine;
  wire::MessageQueue receivedlist;
  Pacer socktimer;  // one queued message per kSockTickMs

  // One line per connection, log-in, departure and game end (the headless
  // host prints them). May be empty.
  std::function<void(std::string_view)> log;

  // The table as a lobby lists it: people seated and watching, the stage,
  // the round, the kind of game, the version.
  tables::TableState publicState() const;
  // Told the new public state when it changed: a seat taken or left, a game
  // started or ended, a new round. May be empty.
  std::function<void(const tables::TableState&)> onPublicChange;

 private:
  void dispatch(const wire::QueuedMessage& m);
  // Cleans a message to one line and queues it, without starting a dispatch.
  bool queue(int origin, std::string_view message);
  // The origin check: a request's slot field must name the connection it came on.
  static bool fromSlot(int origin, int slot) { return origin == 0 || origin == slot; }
  void say(const std::string& line) {
    if (log) log(line);
  }
  void announce(std::string_view message) { announcer_.announce(message); }
  // Tells onPublicChange when the public state differs from the last told.
  void notePublicState();

  // --- House rules ------------------------------------------------------------------
  // Whether the connection at `slot` may hear the game: always at a table
  // of the design's rules, else once it said it follows the house rules.
  bool hears(int slot) const;
  // Tells the connection the house rules in force, if it reads them.
  void tellRules(int slot);
  // A log-in at a table with house rules, held until the table says it
  // follows them; refused when it does not say so in time.
  void holdLogIn(int slot, std::string_view fields);
  // One line saying why, then the connection is closed.
  void refuse(int slot);
  Timer& rulesTimer(int slot);
  // The connection at `slot` has kLogInDeadlineMs from now to log in.
  void awaitLogIn(int slot);

  // --- Players coming back (host/rejoin.cpp) ------------------------------------
  // For the rest of a game the host remembers who left which slot. A log-in
  // by such a name goes back to the seat it left, while the computer still
  // holds it, or among the spectators if it was one; the first table to
  // claim a name has it, and a seat a person holds is never taken over.
  struct Home {
    int slot;  // where the log-in belongs
    int left;  // the slot that name left, 0 when it left none
    bool exchange = false;  // `slot` is held by a connection not yet logged in
  };
  // A seat that left during this game within kSeatKeptUs, under a secret
  // its table can present: a new connection is given another free seat
  // when there is one.
  bool kept(int seat) const;
  // Whether the log-in at `slot` under `name` may have slot `t` back: the
  // name left it during this game within kSeatKeptUs, and the connection
  // presented the secret it left with.
  bool claims(int slot, int t, std::string_view name) const;
  // A fresh seat's secret from the system's random source; empty if it has none.
  static std::string newSecret();
  // Compared whole, however early they differ.
  static bool sameSecret(std::string_view a, std::string_view b);
  // A table back on a new line while the host still holds its old one (only
  // the table saw the line drop): a first log-in under the name and the
  // secret of a connection still open closes that connection as a
  // departure, so that the log-in finds the seat left and takes it back.
  void takeOver(int slot, std::string_view name);
  // A seat a connection holds that has not logged in and is not on its way back.
  bool unclaimed(int seat) const;
  Home homeFor(int slot, std::string_view name) const;
  // Whether a log-in from this connection answers the last number it was told.
  bool answersLastNumber(int origin);
  // Tells the connection at `slot` its number is `number` (CMD_sendlogininfo).
  void tellNumber(int slot, int number);
  // True when the log-in was moved to another slot: its table logs in again there.
  bool comesBack(int slot, std::string_view name);
  // `exchange`: the connection that holds `to` takes `from`.
  void moveBack(int from, int to, std::string_view name, bool exchange);
  void remember(int slot, const std::string& name);
  // The end of a log-in at a seat the person comes back to.
  void welcomeBack(int slot, std::string_view name);

  // A resumed game waits for slot 1's table before anything moves.
  bool held_ = false;

  HostTransport& transport_;
  TimerFactory& clock_;
  tables::TableState told_;
  wire::QueuedMessage taken_;  // the message the pacer took, about to run
  std::string msg_;
};

}  // namespace ombrix
