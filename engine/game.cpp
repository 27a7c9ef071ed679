// Game and round set-up: startgame, startround, shuffle, deal, sending hands.
#include "engine/game.h"

namespace ombrix {

GameEngine::GameEngine(GameHost& host, Notices& notices, TimerFactory& timers, uint64_t seed)
    : host_(host), notices_(notices), rng_(seed), botSeed_(ai::mixSeed(seed, 0x0B075)) {
  botNames = {"", "", "Reza", "Vivav", "Derev"};
  waitaminute = timers.createTimer();
  waitaminute->onTick = [this] { waitaminuteTimer(); };
  computertimer = timers.createTimer();
  computertimer->onTick = [this] { computertimerTimer(); };
  thinktimer = timers.createTimer();
  thinktimer->onTick = [this] { thinktimerTimer(); };
}

void GameEngine::startgame(std::string_view name, std::string_view kind) {
  currentPlayer = 0;
  waitaminute->stop();
  ++gameSerial_;
  ruleWatch.setRules(rules);
  ruleWatch.startGame();
  roundPoints.clear();
  publicLog.clear();
  keepPublicLog_ = true;
  starter.assign(name.substr(0, kMaxStarterName));
  gameInProgress = true;
  gameKind.assign(kind);
  halfGame = gameKind == "h";
  for (int s = 1; s <= kSeats; ++s) seats[s].score = 0;
  report(ev::GameStarted{name, gameKind});
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
  for (int s = 1; s <= kSeats; ++s) seats[s].tricks = seats[s].played = seats[s].bid = 0;
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
  report(ev::RoundStarted{roundNumber, dealer});

  for (int s = 1; s <= kSeats; ++s) seats[s].hand.fill(kNoCard);
  shuffle();
  deal();
  sendhands();

  trumpCard = deck[++deckIndex];
  trumpSuit = suitOf(trumpCard);
  ruleWatch.startRound(handSize, trumpCard);
  logPublic({PublicEvent::Round, static_cast<uint8_t>(dealer), static_cast<uint8_t>(trumpCard)});
  report(ev::Trump{trumpCard});
  report(ev::BidAsked{currentBidder, handSize, biddingStarter});
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
    for (int s = 1; s <= kSeats; ++s) seats[s].hand[p] = deck[++deckIndex];
}

void GameEngine::sendhands() {
  for (int s = 1; s <= kSeats; ++s) {
    ev::HandDealt e{s, handSize, {}};
    for (int k = 1; k <= handSize; ++k) e.cards[k - 1] = seats[s].hand[k];
    report(e);
  }
}

}  // namespace ombrix
