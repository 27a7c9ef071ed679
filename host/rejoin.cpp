// Players coming back: a seat or spectator slot given back to the name that
// left it during a game, and a saved solo game resumed.
//
// A table learns its slot only from "CMD_sendlogininfo", before it sends its
// name, so a returning player is first seated by the usual rule and moved
// once its log-in names it. The table is told its new number with another
// "CMD_sendlogininfo"; it answers with a second log-in, under that number,
// which is the one announced.

#include <stdexcept>
#include <utility>
#include <vector>

#include "base/random.h"
#include "engine/gamestate.h"
#include "host/server.h"
#include "protocol/commands.h"

namespace ombrix {

namespace build = wire::build;

namespace {

// Every table turns its view by the number each "CMD_sendlogininfo" gives
// it, from where the one before left it: seat s by s - 1 places, slot 1 and
// spectators not at all (a table at "1.0.14" knows no other way). So a
// table moved from seat `from` is first told the seats that turn it back to
// where it started, then its new number. None of them is `to`: the log-ins
// it answers them with carry a number that is not its connection's, and are
// dropped as any such request is.
std::vector<int> rekeyPath(int from, int to) {
  auto turn = [](int slot) { return isSeat(slot) ? slot - 1 : 0; };
  std::vector<int> path;
  for (int owed = (kSeats - turn(from)) % kSeats; owed != 0;) {
    int via = owed + 1;               // the seat that turns it exactly back
    if (via == to) via = owed == 1 ? 3 : 2;  // or one that turns part of the way
    path.push_back(via);
    owed = (owed - turn(via) + kSeats) % kSeats;
  }
  return path;
}

}  // namespace

void TServer::remember(int slot, const std::string& name) {
  Slot& m = slots[slot];
  // A connection on its way back that drops before it logs in again keeps
  // its claim under the name it came with.
  const std::string& who = name.empty() ? m.arrivingAs : name;
  if (m.kicked || who.empty()) {
    m.leftName.clear();
    m.leftSecret.clear();
  } else {
    m.leftName = who;
    m.leftSecret = m.secret;  // empty for a table at "1.0.14": nobody can claim it
    m.leftGame = engine.gameSerial();
    m.leftAtUs = clock_.nowUs();
  }
}

std::string TServer::newSecret() {
  // 128 bits: guessing one within the minute a seat is kept is hopeless.
  // Without a random source the seat gets none: it can still be played,
  // only not claimed back.
  try {
    return randomHex(16);
  } catch (const std::runtime_error&) {
    return {};
  }
}

bool TServer::sameSecret(std::string_view a, std::string_view b) {
  if (a.empty() || a.size() != b.size()) return false;
  unsigned char differ = 0;
  for (size_t i = 0; i < a.size(); ++i) differ |= static_cast<unsigned char>(a[i] ^ b[i]);
  return differ == 0;
}

bool TServer::claims(int slot, int t, std::string_view name) const {
  const Slot& m = slots[t];
  if (m.leftGame != engine.gameSerial() || m.leftName != name || clock_.nowUs() - m.leftAtUs >= kSeatKeptUs)
    return false;
  return sameSecret(slots[slot].presented, m.leftSecret);
}

void TServer::takeOver(int slot, std::string_view name) {
  const std::string& presented = slots[slot].presented;
  if (presented.empty() || !slots[slot].name.empty()) return;
  for (int t = 1; t <= kLastSlot; ++t) {
    const Slot& old = slots[t];
    // The host's own table shares its process: its line cannot drop.
    if (t == slot || !old.inUse || !slots[t].loggedIn || old.name != name || (t == 1 && slotOneIsOwnPlayer))
      continue;
    if (!sameSecret(presented, slots[t].secret)) continue;
    say("slot " + std::to_string(t) + " closed: " + std::string(name) + " is back on slot " + std::to_string(slot));
    transport_.closeConnection(t);
    // A binding reports the close as it happens; one that reports it later
    // finds the slot already cleaned up.
    connectionClosed(t);
    return;
  }
}

void TServer::tellNumber(int slot, int number) {
  // A table that never answers cannot make this grow: a renumbering needs
  // another table's log-in, and only the last few numbers matter.
  constexpr size_t kMaxUnanswered = 16;
  std::vector<uint8_t>& told = slots[slot].told;
  if (told.size() == kMaxUnanswered) told.erase(told.begin());
  told.push_back(static_cast<uint8_t>(number));
  build::sendlogininfo(msg_, number);
  transport_.send(slot, msg_);
}

bool TServer::answersLastNumber(int origin) {
  if (origin < 1 || origin > kLastSlot) return true;
  std::vector<uint8_t>& told = slots[origin].told;
  if (told.empty()) return true;  // a log-in again, unasked: judged as ever
  told.erase(told.begin());
  return told.empty();
}

bool TServer::kept(int seat) const {
  const Slot& m = slots[seat];
  return isSeat(seat) && engine.gameInProgress && !slots[seat].inUse && !m.leftName.empty() &&
         !m.leftSecret.empty() && m.leftGame == engine.gameSerial() && clock_.nowUs() - m.leftAtUs < kSeatKeptUs;
}

bool TServer::unclaimed(int seat) const {
  return slots[seat].inUse && slots[seat].name.empty() && slots[seat].arrival == Slot::Arrival::New;
}

TServer::Home TServer::homeFor(int slot, std::string_view name) const {
  if (!engine.gameInProgress || name.empty()) return {slot, 0};
  int spectator = 0;
  for (int t = 1; t <= kLastSlot; ++t) {
    if (!claims(slot, t, name)) continue;
    if (isSeat(t)) {
      if (t == slot || !slots[t].inUse) return {t, t};
      // Lines that dropped together come back in any order: a connection
      // given this seat before its own log-in is no person yet, and takes
      // the returning one's place instead.
      if (unclaimed(t)) return {t, t, true};
    } else if (!spectator) {
      spectator = t;
    }
  }
  if (!spectator) return {slot, 0};
  if (!isSeat(slot)) return {slot, spectator};
  // A spectator seated by the usual rule goes back among the spectators: to
  // its own slot when it is free, else to the first free one.
  int to = slots[spectator].inUse ? 0 : spectator;
  for (int s = kFirstSpectator; to == 0 && s <= kLastSlot; ++s)
    if (!slots[s].inUse) to = s;
  return {to ? to : slot, spectator};
}

bool TServer::comesBack(int slot, std::string_view name) {
  // Only a connection's first log-in: one already announced under another
  // name does not slip into a seat by logging in again.
  if (!slots[slot].name.empty()) return false;
  const Home home = homeFor(slot, name);
  if (home.left == 0) return false;
  slots[home.left].leftName.clear();  // the first table to claim the name has it
  slots[home.left].leftSecret.clear();
  if (home.slot != slot) {
    moveBack(slot, home.slot, name, home.exchange);
    return true;
  }
  // The seat's secret is the connection's until its table is given a new one.
  slots[slot].secret = std::move(slots[slot].presented);
  slots[slot].arrival = Slot::Arrival::Back;
  slots[slot].arrivingAs.assign(name);
  engine.personSits(slot);
  return false;
}

void TServer::moveBack(int from, int to, std::string_view name, bool exchange) {
  transport_.moveConnection(from, to);
  slots[to].inUse = true;
  slots[from].inUse = exchange;
  slots[from].name.clear();
  slots[from].watching = false;
  if (to > slotCount) slotCount = to;
  // The byte streams go on under the new numbers; what was queued under the
  // old ones names the old slots and would fail the origin check there.
  std::swap(slots[to].remainder, slots[from].remainder);
  if (!exchange) slots[from].remainder.clear();
  receivedlist.dropFrom(from);
  receivedlist.dropFrom(to);
  // The secret it came back with travels with it; the connection it
  // changed places with keeps its own presented one.
  std::string carried = std::move(slots[from].presented);
  slots[from].presented = exchange ? std::move(slots[to].presented) : std::string();
  slots[to].presented.clear();
  slots[from].secret.clear();
  slots[to].secret = std::move(carried);
  slots[from].loggedIn = slots[to].loggedIn = false;
  const bool aware = slots[from].rulesAware;  // what its table follows goes with it
  slots[from].rulesAware = exchange && slots[to].rulesAware;
  slots[to].rulesAware = aware;
  slots[from].arrival = Slot::Arrival::New;
  slots[from].arrivingAs.clear();
  slots[from].kicked = exchange && std::exchange(slots[to].kicked, false);
  slots[to].arrival = Slot::Arrival::Back;
  slots[to].arrivingAs.assign(name);
  slots[to].kicked = false;
  engine.personSits(to);

  std::swap(slots[to].told, slots[from].told);
  if (!exchange) slots[from].told.clear();
  // Each connection is to log in under its new number, in good time.
  awaitLogIn(to);
  if (exchange)
    awaitLogIn(from);
  else if (slots[from].logInDeadline)
    slots[from].logInDeadline->stop();
  auto renumber = [this](int was, int now) {
    for (int via : rekeyPath(was, now)) tellNumber(now, via);
    tellNumber(now, now);
  };
  renumber(from, to);
  say("slot " + std::to_string(from) + " is " + std::string(name) + " coming back: moved to slot " +
      std::to_string(to));
  if (exchange) {
    // The connection that held the seat logs in at `from` instead, as a
    // connection accepted there would; a move due there waits for its log-in.
    renumber(to, from);
    say("slot " + std::to_string(to) + ", not logged in, moved to slot " + std::to_string(from));
    return;
  }

  // The seat it passed through, never announced, is the computer's again.
  if (engine.gameInProgress && isSeat(from)) {
    if (from == engine.currentBidder) engine.cbid(from, engine.handSize);
    if (from == engine.currentPlayer) engine.cplay(from);
  }
}

void TServer::welcomeBack(int slot, std::string_view name) {
  build::reconnected(msg_, name);
  announce(msg_);
  say("slot " + std::to_string(slot) + " is " + std::string(name) + " again");
  // The seat is the person's again, and so is the move it owes.
  engine.askAgain(slot);
}

bool TServer::resume(const GameState& state) {
  if (engine.gameInProgress) return false;
  for (int s = 1; s <= kLastSlot; ++s)
    if (slots[s].inUse) return false;
  if (!engine.restoreState(state)) return false;
  for (Slot& s : slots) s = Slot{};
  // Kept for the person who comes back to the seat (a free slot keeps it
  // until then, and its log-in leaves it as it is).
  for (int seat = 1; seat <= kSeats; ++seat) slots[seat].watching = state.seats[seat].watching;
  held_ = true;
  say("resumed a game in round " + std::to_string(engine.roundNumber));
  return true;
}

}  // namespace ombrix
