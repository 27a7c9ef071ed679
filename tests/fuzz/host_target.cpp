#include "tests/fuzz/host_target.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/virtualclock.h"
#include "protocol/commands.h"
#include "protocol/framing.h"
#include "engine/gamestate.h"
#include "host/savegame.h"
#include "host/server.h"
#include "tests/fuzz/fuzz_input.h"

namespace ombrix::fuzz {

namespace {

[[noreturn]] void broken(const char* what, int detail = 0) {
  std::fprintf(stderr, "host invariant broken: %s (%d)\n", what, detail);
  std::abort();
}

// The Strong player's search cut down to a few deals: the fuzzer wants its
// paths (a decision pending while people come and go), not its strength.
ai::StrongConfig smallSearch() {
  ai::StrongConfig c;
  c.work = c.ruleWork = 60;
  c.minSamples = 1;
  c.maxSamples = 2;
  c.exactCards = 1;
  return c;
}

// The binding's side: which slots hold a connection, what the host sends.
class Binding : public HostTransport, public Notices {
 public:
  void send(int slot, std::string_view m) override {
    if (slot < 1 || slot > kLastSlot || !connected[slot])
      broken("a message to a slot without a connection", slot);
    // memchr: the library's own search, not the instrumented copy of a template.
    if (std::memchr(m.data(), wire::kTerminator, m.size())) broken("a message holding the terminator", slot);
    if (std::memchr(m.data(), '\r', m.size()) || std::memchr(m.data(), '\n', m.size()))
      broken("a message holding a line break", slot);
    if (m.size() >= 14 && std::memcmp(m.data(), "CMD_startgame+", 14) == 0) gameStarted = true;
    // The seats' secrets, so that a table can come back with one.
    if (m.size() >= 11 && std::memcmp(m.data(), "CMD_secret+", 11) == 0 && secrets.size() < 16) {
      const std::string_view rest = m.substr(11);
      const size_t plus = rest.find('+');
      if (plus != std::string_view::npos) secrets.emplace_back(rest.substr(plus + 1, rest.size() - plus - 2));
    }
  }
  void closeConnection(int slot) override {
    // As the socket binding does: the close reports back at once.
    if (slot < 1 || slot > kLastSlot || !connected[slot]) broken("closing a slot without a connection", slot);
    connected[slot] = false;
    server->connectionClosed(slot);
  }
  void moveConnection(int from, int to) override {
    if (from < 1 || from > kLastSlot || !connected[from]) broken("moving a slot without a connection", from);
    if (to < 1 || to > kLastSlot || to == from) broken("moving a connection to no other slot", to);
    if (connected[to] && !server->slots[to].name.empty())
      broken("moving a connection into a logged-in player's slot", to);
    connected[from] = connected[to];
    connected[to] = true;
  }
  void notice(std::string_view) override {}

  TServer* server = nullptr;
  std::array<bool, kSlotTableSize> connected{};
  bool gameStarted = false;
  std::vector<std::string> secrets;
};

class Harness {
 public:
  explicit Harness(Input& in) : host_(binding_, binding_, clock_, in.byte()) {
    binding_.server = &host_;
    host_.slotOneIsOwnPlayer = in.byte() & 1;
    // Each computer seat's skill: Classic, Standard or Strong.
    const uint8_t skills = in.byte();
    for (int s = 1; s <= kSeats; ++s)
      host_.engine.botSkill[s] = static_cast<ai::Skill>((skills >> (2 * s - 2)) % 3);
    host_.engine.strongConfig = smallSearch();
    // Whatever the peers did, the game after every trick is one a save keeps
    // and reads back whole, and a fresh host takes it.
    host_.engine.onCheckpoint = [this](Checkpoint c) {
      GameState s;
      if (c != Checkpoint::TrickDone || !host_.engine.saveState(s)) return;
      std::string why;
      const auto back = decodeSave(encodeSave(s), &why);
      if (!back) {
        std::fprintf(stderr, "refused: %s\n", why.c_str());
        broken("a game's state its save refuses");
      }
      if (!(*back == s)) broken("a save read back differently");
      VirtualClock clock;
      Binding none;
      TServer fresh(none, none, clock, 1);
      if (!fresh.resume(*back)) broken("a saved game a fresh host does not take");
    };
    // Set OMBRIX_FUZZ_LOG to follow an input: the host's log, with the virtual time.
    static const bool logging = std::getenv("OMBRIX_FUZZ_LOG") != nullptr;
    if (logging)
      host_.log = [this](std::string_view line) {
        std::fprintf(stderr, "%8lld ms  %.*s\n", static_cast<long long>(clock_.now()),
                     static_cast<int>(line.size()), line.data());
      };
    check();
  }

  void step(Input& in) {
    switch (in.byte() % 9) {
      case 0:
        connect();
        break;
      case 1: {  // any bytes, byte 255 anywhere
        const int slot = pick(in);
        raw(slot, in.bytes(in.byte()));
        break;
      }
      case 2:
      case 3: {
        const int slot = pick(in);
        raw(slot, request(in, slot) + wire::kTerminator);
        break;
      }
      case 4: {  // a request split over two reads
        const int slot = pick(in);
        const std::string r = request(in, slot) + wire::kTerminator;
        const size_t cut = in.byte() % (r.size() + 1);
        raw(slot, r.substr(0, cut));
        raw(slot, r.substr(cut));
        break;
      }
      case 5:
        disconnect(pick(in));
        break;
      case 6: {  // a reset in the middle of a message
        const int slot = pick(in);
        raw(slot, in.bytes(in.byte() % 16));
        disconnect(slot);
        break;
      }
      case 7:
        advance(in.byte());
        break;
      case 8:
        advance(static_cast<int64_t>(in.byte()) * 256);
        break;
    }
    check();
  }

 private:
  // A slot to act on, usually one that holds a connection.
  int pick(Input& in) {
    const int want = in.byte() % kLastSlot + 1;
    for (int k = 0; k < kLastSlot; ++k) {
      const int s = (want - 1 + k) % kLastSlot + 1;
      if (binding_.connected[s]) return s;
    }
    return want;
  }

  // As the socket binding does: the slot is taken, holds the socket, then
  // is told its number.
  void connect() {
    const int slot = host_.takeSlot();
    if (slot == kFullSlot) {
      for (int s = 1; s <= kLastSlot; ++s)
        if (!binding_.connected[s]) broken("refused as full with a slot free", s);
      return;
    }
    if (slot < 1 || slot > kLastSlot || binding_.connected[slot]) broken("accepted into a taken slot", slot);
    binding_.connected[slot] = true;
    host_.welcome(slot);
  }

  void raw(int slot, const std::string& bytes) {
    if (!binding_.connected[slot]) return;
    if (!host_.received(slot, bytes)) disconnect(slot);  // the binding closes a connection over its bounds
  }

  void disconnect(int slot) {
    if (!binding_.connected[slot]) return;
    binding_.connected[slot] = false;
    host_.connectionClosed(slot);
  }

  // A request of a known kind with fields from the input: mostly the
  // sender's own slot, sometimes any number or none. Every field is read in
  // turn, so an input means the same under any compiler.
  std::string request(Input& in, int sender) const {
    const uint8_t kind = in.byte(), mode = in.byte();
    std::string slot;
    switch (mode % 8) {
      case 0:
        slot = std::to_string(static_cast<int>(in.byte()) - 20);
        break;
      case 1:
        slot = "x";
        break;
      default:
        slot = std::to_string(sender);
    }
    const std::string num = std::to_string(in.byte() % 14);
    const uint8_t length = in.byte();
    const std::string text = in.bytes(length % 24);
    switch (kind % 14) {
      case 0:
        return "CMD_logininfo+" + slot + "+" + (mode & 16 ? "1.0.9" : "1.0.14") + "+" + text;
      case 1:
        return "CMD_kickhim+" + slot + "+" + num + "+";
      case 2:
        return "CMD_botspeed+" + slot + "+" + std::to_string(length * 300) + "+";
      case 3:
        return "CMD_chat+" + slot + "+" + text + "|clRed";
      case 4:
        return "CMD_action+" + slot + "+" + text + "|clRed";
      case 5:
        return "CMD_startgame+" + text + (mode & 16 ? "+h+" : "+f+");
      case 6:
        return "CMD_bid+" + slot + "+" + num;
      case 7:
      case 8:
        return "CMD_playcard+" + slot + "+" + num;
      case 9:
        return "CMD_justwatch+" + slot + "+" + std::to_string(mode % 3);
      case 10: {
        static const char* const kSkills[] = {"classic", "standard", "strong", "STRONG"};
        return "CMD_botskill+" + slot + "+" + (mode & 32 ? text : kSkills[length % 4]) + "+";
      }
      case 11:
        return "CMD_features+" + slot + "+" + (mode & 32 ? text : "secret") + "+";
      case 12: {
        const auto& known = binding_.secrets;
        return "CMD_reclaim+" + slot + "+" + (known.empty() || mode & 32 ? text : known[length % known.size()]) + "+";
      }
      default:
        return "CMD_playasound+" + slot + "+wave" + num + "+";
    }
  }

  // Moves virtual time on, tick by tick, checking after each; then to the
  // end of the span, so the next message may find the budget unspent.
  void advance(int64_t ms) {
    const int64_t end = clock_.now() + ms;
    clock_.runUntil(
        [&] {
          check();
          return false;
        },
        ms);
    clock_.advance(end - clock_.now());  // nothing is due before `end` now
    check();
  }

  void check() {
    const GameEngine& e = host_.engine;
    // Plain pointers: the checks run after every tick, and the bounds-checked
    // operator[] is an out-of-line call in this build.
    const Slot* slots = host_.slots.data();
    const SeatState* seats = e.seats.data();
    // The slot table and the connections agree; a free slot keeps nothing
    // of the connection it held.
    if (host_.slotCount < 0 || host_.slotCount > kLastSlot) broken("slotCount out of range", host_.slotCount);
    size_t queued = 0;
    for (int s = 1; s < kSlotTableSize; ++s) {
      const bool held = s <= kLastSlot && binding_.connected[s];
      if (slots[s].inUse != held) broken("slot table and connections disagree", s);
      if (held && s > host_.slotCount) broken("a connection beyond slotCount", s);
      if (s > kLastSlot) continue;
      queued += host_.receivedlist.countFrom(s);
      if (!held && host_.receivedlist.countFrom(s) != 0) broken("requests queued for a free slot", s);
      if (!held && !slots[s].remainder.remainder().empty()) broken("bytes kept for a free slot", s);
      // What the host holds for a connection stays within its bounds.
      if (host_.receivedlist.countFrom(s) > wire::MessageQueue::kMaxQueuedMessages)
        broken("queue over its bound", s);
      if (host_.receivedlist.bytesFrom(s) > wire::MessageQueue::kMaxQueuedBytes)
        broken("queue bytes over bound", s);
      if (slots[s].remainder.remainder().size() > wire::Framer::kMaxRemainder)
        broken("remainder over its bound", s);
    }
    if (queued != host_.receivedlist.size())
      broken("queued messages of no connection", static_cast<int>(queued));
    // Messages wait only while the dispatch timer is due to take them.
    if (!host_.receivedlist.empty() && !host_.socktimer.ticking()) broken("messages wait with no tick armed");
    // No card in two places, every card a card.
    bool seen[kDeckSize + 1] = {};
    auto place = [&](int card, const char* where) {
      if (card == kNoCard) return;
      if (card < 1 || card > kDeckSize) broken(where, card);
      if (seen[card]) broken("a card in two places", card);
      seen[card] = true;
    };
    // (Only seats have cards at all: the engine keeps no row for a spectator.)
    for (int s = 1; s <= kSeats; ++s) {
      for (int p = 1; p <= kHandPositions; ++p) place(seats[s].hand.data()[p], "a hand holds a non-card");
      place(seats[s].played, "a non-card on the table");
    }
    if (e.gameInProgress) place(e.trumpCard, "a non-card as trump");
    // Every seat holds what the round says.
    if (e.gameInProgress) {
      if (e.handSize < 1 || e.handSize > kMaxHand) broken("hand size out of range", e.handSize);
      if (e.tricksPlayed < 0 || e.tricksPlayed > e.handSize)
        broken("tricks played out of range", e.tricksPlayed);
      for (int s = 1; s <= kSeats; ++s) {
        int held = 0;
        for (int p = 1; p <= kHandPositions; ++p) held += seats[s].hand.data()[p] != kNoCard;
        const int due = e.handSize - e.tricksPlayed - (seats[s].played != kNoCard ? 1 : 0);
        if (held != due) broken("a seat holds the wrong number of cards", s);
      }
    }
    // The turn is a seat, 0 (none, or bidding) or 5 (the game is over).
    if (e.currentPlayer < 0 || e.currentPlayer > kSeats + 1)
      broken("current player out of range", e.currentPlayer);
    if (e.gameInProgress && e.currentPlayer == kSeats + 1) broken("the game over while in progress");
    if (e.currentBidder < 0 || e.currentBidder > kSeats)
      broken("current bidder out of range", e.currentBidder);
    if (isSeat(e.currentPlayer) && isSeat(e.currentBidder))
      broken("bidding and playing at once", e.currentPlayer);
    // Scores move only by a round's points, or back to 0 at a game's start.
    for (int s = 1; s <= kSeats; ++s) {
      const int now = seats[s].score, before = scores_[s];
      if (now != before) {
        const SeatState& p = seats[s];
        const int points = p.tricks == p.bid ? (p.bid == 0 ? 5 : p.bid + 10) : 0;
        if (!(now == 0 && binding_.gameStarted) && now - before != points)
          broken("a score changed by no round", s);
      }
      scores_[s] = now;
    }
    binding_.gameStarted = false;
    // Every state of a game in progress holds together as a save checks it.
    GameState state;
    if (e.saveState(state))
      if (const std::string why = checkState(state); !why.empty()) {
        std::fprintf(stderr, "%s\n", why.c_str());
        broken("a game's state fails the save's checks");
      }
  }

  VirtualClock clock_;
  Binding binding_;
  TServer host_;
  std::array<int, kSeats + 1> scores_{};
};

}  // namespace

int driveHost(const uint8_t* data, size_t size) {
  Input in(data, size);
  Harness h(in);
  while (in.more()) h.step(in);
  return 0;
}

}  // namespace ombrix::fuzz
