// Game and round set-up: startgame, startround, shuffle, deal, sending hands.
#include "engine/game.h"

#include "protocol/commands.h"
#include "protocol/fields.h"

namespace ombrix {

namespace build = wire::build;

GameEngine::GameEngine(Outbox& out, Notices& notices, TimerFactory& timers, uint64_t seed)
    : out_(out), notices_(notices), rng_(seed), botSeed_(ai::mixSeed(seed, 0x0B075)) {
  botNames = {"", "", "Reza", "Vivav", "Derev"};
  waitaminute = timers.createTimer();
  waitaminute->onTick = [this] { waitaminuteTimer(); };
  computertimer = timers.createTimer();
  computertimer->onTick = [this] { computertimerTimer(); };
  thinktimer = timers.createTimer();
  thinktimer->onTick = [this] { thinktimerTimer(); };
}

void GameEngine::announce(std::string_view message) {
  for (int j = 1; j <= slotCount; ++j)
    if (slots[j].inUse) out_.send(j, message);
}

void GameEngine::startgame(std::string_view fields) {
  auto req = wire::parse::startgameRequest(fields);
  if (!req) return;
  currentPlayer = 0;
  waitaminute->stop();
  ++gameSerial_;
  ruleWatch.setRules(rules);
  ruleWatch.startGame();
  roundPoints.clear();
  publicLog.clear();
  keepPublicLog_ = true;
  starter.assign(req->name.substr(0, kMaxStarterName));
  gameInProgress = true;
  gameKind.assign(req->kind);
  halfGame = gameKind == "h";
  for (int s = 1; s <= kSeats; ++s) {
    slots[s].score = 0;
    slots[s].watching = false;
  }
  build::startgame(msg_, req->name, gameKind);
  announce(msg_);
  currentPlayer = leadSeat = rng_.uniform1(kSeats);
  roundNumber = handSize = tricksPlayed = 0;
  startround();
  if (onCheckpoint) onCheckpoint(Checkpoint::GameStarted);
}

void GameEngine::startround() {
  ledSuit = 0;
  bidTotal = 0;
  leadSeat = nextSeat(leadSeat);
  currentPlayer = 0;
  biddingStarter = currentBidder = leadSeat;
  for (int s = 1; s <= kSeats; ++s) slots[s].tricks = slots[s].played = slots[s].bid = 0;
  tricksPlayed = 0;
  cardsInTrick = 0;
  record = {};
  moved();

  ++roundNumber;
  if (roundNumber > rules::roundsOf(halfGame)) {
    endgame();
    return;
  }
  handSize = rules::handSize(rules, roundNumber);

  const int dealer = (leadSeat + kSeats - 2) % kSeats + 1;  // the seat before leadSeat
  build::startround(msg_, roundNumber, dealer);
  announce(msg_);

  for (int s = 1; s <= kSeats; ++s) slots[s].hand.fill(kNoCard);
  shuffle();
  deal();
  sendhands();

  trumpCard = deck[++deckIndex];
  trumpSuit = suitOf(trumpCard);
  ruleWatch.startRound(handSize, trumpCard);
  logPublic({PublicEvent::Round, static_cast<uint8_t>(dealer), static_cast<uint8_t>(trumpCard)});
  build::trump(msg_, trumpCard);
  announce(msg_);

  build::bidAsk(msg_, currentBidder, handSize, biddingStarter);
  announce(msg_);
  if (isComputer(currentBidder)) cbid(currentBidder, handSize);
}

void GameEngine::shuffle() {
  // Rejection draws: a uniformly random order, as the rules describe it.
  std::array<bool, kDeckSize + 1> drawn{};
  for (int p = 1; p <= kDeckSize; ++p) {
    int card;
    do card = rng_.uniform1(kDeckSize);
    while (drawn[card]);
    drawn[card] = true;
    deck[p] = card;
  }
}

void GameEngine::deal() {
  deckIndex = 0;
  for (int p = 1; p <= handSize; ++p)
    for (int s = 1; s <= kSeats; ++s) slots[s].hand[p] = deck[++deckIndex];
}

void GameEngine::sendhands() {
  std::array<wire::PositionCard, kMaxHand> open{}, hidden{};
  std::string openMsg, hiddenMsg;
  for (int s = 1; s <= kSeats; ++s) {
    for (int k = 1; k <= handSize; ++k) {
      open[k - 1] = {k, slots[s].hand[k]};
      hidden[k - 1] = {k, kNoCard};
    }
    build::placecard(openMsg, s, open.data(), handSize);
    build::placecard(hiddenMsg, s, hidden.data(), handSize);
    for (int j = 1; j <= slotCount; ++j)
      if (slots[j].inUse) out_.send(j, j == s ? openMsg : hiddenMsg);
  }
}

}  // namespace ombrix
