#include "host/server.h"

#include <utility>

#include "protocol/commands.h"
#include "protocol/fields.h"

namespace ombrix {

namespace build = wire::build;
namespace parse = wire::parse;

namespace {
bool isSlot(int n) { return n >= 1 && n <= kLastSlot; }
}  // namespace

TServer::TServer(HostTransport& transport, Notices& notices, TimerFactory& timers, uint64_t seed)
    : engine(announcer_, notices, timers, seed),
      socktimer(timers, kSockTickUs,
                {[this] { return receivedlist.empty(); }, [this] { taken_ = receivedlist.pop(); },
                 [this] {
                   dispatch(taken_);
                   notePublicState();
                 }}),
      transport_(transport),
      clock_(timers) {
  engine.onWinner = [this](std::string_view names, int best) {
    say("game over: " + std::string(names) + " won with " + std::to_string(best));
  };
  // Rounds begin and games end on the pause timer; every other change of
  // the public state comes with a request or a connection.
  engine.waitaminute->onTick = [this, tick = std::move(engine.waitaminute->onTick)] {
    tick();
    notePublicState();
  };
  told_ = publicState();
}

tables::TableState TServer::publicState() const {
  tables::TableState t;
  for (int s = 1; s <= kLastSlot; ++s)
    if (slots[s].inUse) ++(isSeat(s) ? t.players : t.watchers);
  if (engine.gameInProgress) {
    t.stage = tables::Stage::Playing;
    t.round = engine.roundNumber;
    t.length = engine.halfGame ? tables::Length::Half : tables::Length::Full;
  }
  t.version = wire::kVersion;
  if (!engine.rules.design()) t.rules = rules::format(engine.rules);
  return t;
}

void TServer::notePublicState() {
  tables::TableState now = publicState();
  if (now == told_) return;
  told_ = std::move(now);
  if (onPublicChange) onPublicChange(told_);
}

int TServer::acceptConnection() {
  const int slot = takeSlot();
  if (slot != kFullSlot) welcome(slot);
  return slot;
}

int TServer::takeSlot() {
  int& n = slotCount;
  int slot;
  if (n == 0) {
    n = slot = 1;
  } else {
    int s = 1;
    while (s <= n && slots[s].inUse) ++s;
    // A seat kept for the name that just left it goes to a newcomer only
    // when no other seat is free; then the lowest free slot it is, as ever.
    for (int t = s + 1; s <= n && kept(s) && t <= kSeats && t <= n + 1; ++t)
      if ((t > n || !slots[t].inUse) && !kept(t)) {
        s = t;
        if (t > n) n = t;
      }
    if (s > n) s = n;
    if (!slots[s].inUse && s < kFullSlot) {
      slot = s;
    } else if (slots[s].inUse && s >= kLastSlot) {
      say("connection refused: the table is full");
      return kFullSlot;
    } else {
      slot = ++n;
    }
  }
  slots[slot].inUse = true;
  slots[slot].remainder.clear();
  receivedlist.dropFrom(slot);
  Slot& m = slots[slot];
  m.kicked = false;
  m.arrival = Slot::Arrival::New;
  m.arrivingAs.clear();
  m.loggedIn = false;
  m.secret.clear();
  m.presented.clear();
  m.rulesAware = m.refused = false;
  m.heldLogIn.clear();
  notePublicState();
  return slot;
}

void TServer::welcome(int slot) {
  slots[slot].told.clear();
  awaitLogIn(slot);
  tellNumber(slot, slot);
  say("connection accepted into slot " + std::to_string(slot));
}

bool TServer::received(int slot, std::string_view bytes) {
  if (!isSlot(slot)) return false;
  // The whole read is queued before anything runs: a handler may close this
  // very connection, which clears its remainder.
  if (!slots[slot].remainder.feed(bytes, [&](std::string_view m) { return queue(slot, m); })) return false;
  socktimer.poke();
  return true;
}

bool TServer::enqueue(int origin, std::string_view message) {
  if (!queue(origin, message)) return false;
  socktimer.poke();
  return true;
}

bool TServer::queue(int origin, std::string_view message) {
  // Line breaks stop here: names, relays and the log hold spaces instead,
  // for a table at "1.0.14" ends a message at a line break and would run
  // the rest of a name or chat line as a command.
  std::string oneLine;
  if (wire::hasLineBreak(message)) {
    oneLine.assign(message);
    wire::toOneLine(oneLine);
    message = oneLine;
  }
  return receivedlist.push(origin, message);
}

void TServer::awaitLogIn(int slot) {
  std::unique_ptr<Timer>& t = slots[slot].logInDeadline;
  if (!t) {
    t = clock_.createTimer();
    t->onTick = [this, slot] {
      slots[slot].logInDeadline->stop();
      if (!slots[slot].inUse) return;
      say("slot " + std::to_string(slot) + " closed: no log-in in time");
      transport_.closeConnection(slot);
    };
  }
  t->start(logInDeadlineMs);
}

void TServer::connectionClosed(int slot) {
  if (!isSlot(slot) || !slots[slot].inUse) return;
  Slot& m = slots[slot];
  if (m.logInDeadline) m.logInDeadline->stop();
  const std::string name = m.name;
  const bool ordinary = slot != 1 || !slotOneIsOwnPlayer;
  // A table refused for the house rules was never seated: no one saw it come.
  if (ordinary && !m.refused) {
    build::playerdisconnected(msg_, slot, name);
    for (int j = 1; j <= slotCount; ++j)
      if (j != slot && slots[j].inUse) transport_.send(j, msg_);
  }
  if (engine.gameInProgress && ordinary) remember(slot, name);
  m.arrival = Slot::Arrival::New;
  m.arrivingAs.clear();
  m.told.clear();
  m.loggedIn = false;
  m.secret.clear();
  m.presented.clear();
  m.rulesAware = m.refused = false;
  m.heldLogIn.clear();
  if (m.rulesTimer) m.rulesTimer->stop();
  m.inUse = false;
  m.name.clear();
  m.watching = false;
  m.remainder.clear();
  // Requests still queued from a closed connection must not act for whoever
  // is given the slot next.
  receivedlist.dropFrom(slot);
  say("slot " + std::to_string(slot) + " left" + (name.empty() ? "" : " (" + name + ")"));
  if (engine.gameInProgress && ordinary) {
    if (slot == engine.currentBidder) engine.cbid(slot, engine.handSize);
    if (slot == engine.currentPlayer) engine.cplay(slot);
  }
  notePublicState();
}

void TServer::dispatch(const wire::QueuedMessage& m) {
  const auto [name, fields] = wire::splitCommand(m.text);
  if (name.empty()) return;
  const wire::Request kind = wire::lookupRequest(name);
  if (kind == wire::Request::Unknown) return;

  if (kind == wire::Request::LoginInfo && !answersLastNumber(m.origin)) return;
  // Requests that carry the sender's slot first must come from that slot.
  if (kind != wire::Request::StartGame && kind != wire::Request::JustWatch) {
    auto slot = wire::FieldReader(fields).nextInt();
    if (!slot || !fromSlot(m.origin, *slot)) return;
  }
  switch (kind) {
    case wire::Request::LoginInfo:
      receivedlogininfo(fields);
      break;
    case wire::Request::KickHim:
      kickhim(fields);
      break;
    case wire::Request::BotSpeed:
      botspeed(fields);
      break;
    case wire::Request::Chat:
      chat(fields);
      break;
    case wire::Request::Action:
      action(fields);
      break;
    case wire::Request::StartGame:
      if (m.origin == 0 || m.origin == 1) {
        held_ = false;  // a new game: nothing is left to resume
        for (int j = 1; j <= slotCount; ++j) tellRules(j);
        startgame(fields);
      }
      break;
    case wire::Request::Bid:
      hisbid(fields);
      break;
    case wire::Request::PlayCard:
      playcard(fields);
      break;
    case wire::Request::JustWatch: {
      auto seat = wire::FieldReader(fields).nextInt();
      if (seat && (fromSlot(m.origin, *seat) || m.origin == 1)) justwatch(fields);
      break;
    }
    case wire::Request::PlayASound:
      playasound(fields);
      break;
    case wire::Request::BotSkill:
      botskill(fields);
      break;
    case wire::Request::Features:
      features(fields);
      break;
    case wire::Request::Reclaim:
      reclaim(fields);
      break;
    case wire::Request::Rules:
      rulesRequest(fields);
      break;
    case wire::Request::Unknown:
      break;
  }
}

void TServer::receivedlogininfo(std::string_view fields) {
  auto req = parse::logininfo(fields);
  if (!req || !isSlot(req->slot)) return;
  const int slot = req->slot;
  // A log-in names a live connection; one for a slot nobody holds would seat
  // a ghost that the computer never plays for.
  if (!slots[slot].inUse) return;
  if (!hears(slot)) return holdLogIn(slot, fields);
  takeOver(slot, req->name);
  if (comesBack(slot, req->name)) return;
  slots[slot].presented.clear();  // a secret is presented for one log-in
  slots[slot].loggedIn = true;
  if (slots[slot].logInDeadline) slots[slot].logInDeadline->stop();
  const bool back = std::exchange(slots[slot].arrival, Slot::Arrival::New) == Slot::Arrival::Back &&
                    slots[slot].arrivingAs == req->name;
  slots[slot].arrivingAs.clear();
  slots[slot].name.assign(req->name);

  build::newplayerinfo(msg_, slot, req->name);
  announce(msg_);
  for (int j = 1; j <= slotCount; ++j) {
    if (j == slot || !slots[j].inUse) continue;
    build::existingplayers(msg_, j, slots[j].name);
    transport_.send(slot, msg_);
  }
  if (req->version != wire::kVersion) {
    if (slots[1].inUse) {
      build::havewrongversion(msg_, req->name);
      transport_.send(1, msg_);
    }
    build::wrongversion(msg_);
    transport_.send(slot, msg_);
  }
  say("slot " + std::to_string(slot) + " logged in as " + std::string(req->name) + " (version " +
      std::string(req->version) + ")");
  if (!engine.gameInProgress) return;

  if (isSeat(slot)) {
    std::array<wire::PositionCard, kMaxHand> held{};
    int count = 0;
    for (int p = 1; p <= kMaxHand; ++p)
      if (engine.seats[slot].hand[p] != kNoCard) held[count++] = {p, engine.seats[slot].hand[p]};
    if (count) {
      build::placecard(msg_, slot, held.data(), count);
      transport_.send(slot, msg_);
    }
  }
  const auto& seats = engine.seats;
  const std::array<int, 4> played = {seats[1].played, seats[2].played, seats[3].played, seats[4].played};
  for (int s = 1; s <= kSeats; ++s) {
    build::newplayerstuff(msg_, s, seats[s].bid, seats[s].tricks, seats[s].score, played);
    transport_.send(slot, msg_);
  }
  build::stats(msg_, engine.currentPlayer, engine.currentBidder, engine.roundNumber, engine.trumpCard,
               engine.gameKind);
  transport_.send(slot, msg_);
  if (held_ && slot == 1) {
    // The resumed game's own player: watching as it was, or asked for the
    // move it owes; then the game goes on.
    held_ = false;
    if (slots[slot].watching) {
      build::justwatching(msg_, slot, true);
      announce(msg_);
    } else {
      engine.askAgain(slot);
    }
    engine.resumePlay();
  } else if (back) {
    welcomeBack(slot, req->name);
  } else {
    // The move that was due when the person sat down is still the computer's.
    if (slot == engine.currentPlayer) engine.cplay(slot);
    if (slot == engine.currentBidder) engine.cbid(slot, engine.handSize);
  }
}

void TServer::features(std::string_view fields) {
  auto req = parse::features(fields);
  if (!req || !isSlot(req->slot) || !slots[req->slot].inUse) return;
  const int slot = req->slot;
  Slot& m = slots[slot];
  if (wire::hasFeature(req->text, wire::kFeatureRules) && !m.refused && (m.loggedIn || !m.heldLogIn.empty())) {
    m.rulesAware = true;
    tellRules(slot);  // before the game's state, which the rules shape
    if (!m.heldLogIn.empty()) {
      if (slots[slot].rulesTimer) slots[slot].rulesTimer->stop();
      const std::string held = std::exchange(m.heldLogIn, {});
      receivedlogininfo(held);
      if (!slots[slot].inUse) return;
    }
  }
  if (!slots[slot].loggedIn) return;
  build::hostFeatures(msg_, wire::kFeatures);
  transport_.send(slot, msg_);
  if (!wire::hasFeature(req->text, wire::kFeatureSecret)) return;
  slots[slot].secret = newSecret();
  if (slots[slot].secret.empty()) return;  // no random source: the usual rule seats it again
  build::secret(msg_, slot, slots[slot].secret);
  transport_.send(slot, msg_);
}

void TServer::reclaim(std::string_view fields) {
  auto req = parse::reclaim(fields);
  if (!req || !isSlot(req->slot) || !slots[req->slot].inUse) return;
  slots[req->slot].presented.assign(req->text);
}

// --- House rules ------------------------------------------------------------------

void TServer::Gate::send(int slot, std::string_view message) {
  if (server_.hears(slot)) server_.transport_.send(slot, message);
}

bool TServer::hears(int slot) const { return engine.rules.design() || slots[slot].rulesAware; }

void TServer::tellRules(int slot) {
  if (!isSlot(slot) || !slots[slot].inUse || !slots[slot].rulesAware) return;
  build::rules(msg_, rules::format(engine.rules));
  transport_.send(slot, msg_);
}

void TServer::holdLogIn(int slot, std::string_view fields) {
  Slot& m = slots[slot];
  if (m.refused) return;
  m.heldLogIn.assign(fields);
  rulesTimer(slot).start(kRulesWaitMs);
}

Timer& TServer::rulesTimer(int slot) {
  std::unique_ptr<Timer>& t = slots[slot].rulesTimer;
  if (!t) {
    t = clock_.createTimer();
    t->onTick = [this, slot] {
      slots[slot].rulesTimer->stop();
      if (!slots[slot].inUse) return;
      if (slots[slot].refused) {
        transport_.closeConnection(slot);
      } else if (!hears(slot)) {
        refuse(slot);
      } else if (!slots[slot].heldLogIn.empty()) {
        receivedlogininfo(std::exchange(slots[slot].heldLogIn, {}));  // the rules changed meanwhile
      }
    };
  }
  return *t;
}

void TServer::refuse(int slot) {
  Slot& m = slots[slot];
  m.refused = true;
  m.heldLogIn.clear();
  say("slot " + std::to_string(slot) + " refused: it cannot follow the house rules");
  build::chatRelay(msg_, "Host",
                   "This table plays by the house rules " + rules::format(engine.rules) +
                       ", which your version of the game cannot follow. Disconnecting.|$00804000");
  transport_.send(slot, msg_);
  rulesTimer(slot).start(kRulesCloseMs);
}

bool TServer::setRules(const rules::Rules& r) {
  if (engine.gameInProgress) return false;
  engine.rules = r;
  say("house rules: " + rules::format(r));
  for (int j = 1; j <= slotCount; ++j) {
    if (!slots[j].inUse) continue;
    Slot& m = slots[j];
    if (m.rulesAware) {
      tellRules(j);
    } else if (!r.design() && (m.loggedIn || !m.heldLogIn.empty()) && !m.refused) {
      refuse(j);
    } else if (r.design() && !m.heldLogIn.empty()) {
      if (slots[j].rulesTimer) slots[j].rulesTimer->stop();
      receivedlogininfo(std::exchange(m.heldLogIn, {}));
    }
  }
  notePublicState();
  return true;
}

void TServer::rulesRequest(std::string_view fields) {
  auto req = parse::rulesRequest(fields);
  if (!req || req->slot != 1) return;
  if (auto r = rules::parse(req->text)) setRules(*r);
}

void TServer::kickhim(std::string_view fields) {
  auto req = parse::kickhim(fields);
  if (!req || req->slot != 1 || !isSlot(req->target)) return;
  if (!slots[req->target].inUse) return;
  slots[req->target].kicked = true;  // a removed player does not get its seat back
  transport_.closeConnection(req->target);
}

void TServer::chat(std::string_view fields) {
  auto req = parse::chat(fields);
  if (!req || !isSlot(req->slot) || !slots[req->slot].inUse) return;
  build::chatRelay(msg_, slots[req->slot].name, req->text);
  announce(msg_);
}

void TServer::action(std::string_view fields) {
  auto req = parse::chat(fields);
  if (!req || !isSlot(req->slot) || !slots[req->slot].inUse) return;
  build::meRelay(msg_, slots[req->slot].name, req->text);
  announce(msg_);
}

void TServer::playasound(std::string_view fields) {
  auto req = parse::playasoundRequest(fields);
  if (!req || !isSlot(req->slot) || !slots[req->slot].inUse) return;
  build::playasoundRelay(msg_, req->slot, req->text);
  announce(msg_);
}

void TServer::justwatch(std::string_view fields) {
  auto req = parse::justwatch(fields);
  if (!req || !isSeat(req->seat)) return;
  const int seat = req->seat;
  if (req->flag == "2") {
    slots[seat].watching = false;
    build::justwatching(msg_, seat, false);
    announce(msg_);
  } else if (req->flag == "1") {
    slots[seat].watching = true;
    build::justwatching(msg_, seat, true);
    announce(msg_);
    if (engine.gameInProgress && seat == engine.currentPlayer) engine.cplay(seat);
    if (engine.gameInProgress && seat == engine.currentBidder) engine.cbid(seat, engine.handSize);
  }
}

}  // namespace ombrix
