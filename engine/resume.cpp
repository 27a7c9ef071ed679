// A game saved and put back: the engine's state out and in, what a restored
// game starts again, and a person taking back a seat the computer held.
#include "engine/gamestate.h"

namespace ombrix {

bool GameEngine::saveState(GameState& s) const {
  if (!gameInProgress) return false;
  s = GameState();
  for (int seat = 1; seat <= kSeats; ++seat) {
    const SeatState& p = seats[seat];
    GameState::Seat& to = s.seats[seat];
    for (int pos = 1; pos <= kMaxHand; ++pos) to.hand[pos] = p.hand[pos];
    to.tricks = p.tricks;
    to.score = p.score;
    to.played = p.played;
    to.bid = p.bid;
    const Occupant o = host_.occupant(seat);
    to.watching = o.person && o.watching;
    s.playedBy[seat] = record.playedBy[seat];
    s.voids[seat] = record.voids[seat];
    s.botSkill[seat] = botSkill[seat];
  }
  s.played = record.played;
  s.gameKind = gameKind;
  s.rules = rules;
  s.roundNumber = roundNumber;
  s.handSize = handSize;
  s.leadSeat = leadSeat;
  s.currentBidder = currentBidder;
  s.biddingStarter = biddingStarter;
  s.currentPlayer = currentPlayer;
  s.bidTotal = bidTotal;
  s.tricksPlayed = tricksPlayed;
  s.cardsInTrick = cardsInTrick;
  s.trumpCard = trumpCard;
  s.ledSuit = ledSuit;
  // The count left over from the last pause means nothing outside one.
  const bool roundPause = currentPlayer != 0 && tricksPlayed == handSize;
  s.pauseTicks = roundPause ? pauseTicks : 0;
  s.botDelay = botDelay;
  s.watch = ruleWatch.log();
  s.roundPoints = roundPoints;
  s.publicLog = publicLog;
  s.starter = starter;
  s.deckRandom = rng_.state();
  s.botSeed = botSeed_;
  s.gameSerial = gameSerial_;
  return true;
}

bool GameEngine::restoreState(const GameState& s) {
  if (!checkState(s).empty()) return false;
  waitaminute->stop();
  computertimer->stop();
  thinktimer->stop();
  decision_.clear();
  moved();
  for (int seat = 1; seat <= kSeats; ++seat) {
    SeatState& p = seats[seat];
    const GameState::Seat& from = s.seats[seat];
    p.hand.fill(kNoCard);
    for (int pos = 1; pos <= kMaxHand; ++pos) p.hand[pos] = from.hand[pos];
    p.tricks = from.tricks;
    p.score = from.score;
    p.played = from.played;
    p.bid = from.bid;
    record.playedBy[seat] = s.playedBy[seat];
    record.voids[seat] = s.voids[seat];
    botSkill[seat] = s.botSkill[seat];
  }
  record.played = s.played;
  // The computer players read the order of the round's cards too, which the
  // saved masks do not keep: the game's log does, when it agrees with them.
  ai::PublicRecord replayed;
  size_t from = 0;
  for (size_t i = 0; i < s.publicLog.size(); ++i)
    if (s.publicLog[i].kind == PublicEvent::Round) from = i;
  int led = 0, inTrick = 0;
  for (size_t i = from; i < s.publicLog.size(); ++i) {
    const PublicEvent& e = s.publicLog[i];
    if (e.kind != PublicEvent::Play) continue;
    if (inTrick == 0) led = suitOf(e.b);
    replayed.play(e.a, e.b, led - 1);
    inTrick = (inTrick + 1) % kSeats;
  }
  if (replayed.played == record.played && replayed.playedBy == record.playedBy && replayed.voids == record.voids)
    record = replayed;
  gameInProgress = true;
  gameKind = s.gameKind;
  halfGame = gameKind == "h";
  rules = s.rules;
  roundNumber = s.roundNumber;
  handSize = s.handSize;
  leadSeat = s.leadSeat;
  currentBidder = s.currentBidder;
  biddingStarter = s.biddingStarter;
  currentPlayer = s.currentPlayer;
  bidTotal = s.bidTotal;
  tricksPlayed = s.tricksPlayed;
  cardsInTrick = s.cardsInTrick;
  trumpCard = s.trumpCard;
  trumpSuit = suitOf(trumpCard);
  ledSuit = s.ledSuit;
  // The deck is only read while dealing; the next round shuffles a new one.
  deck.fill(kNoCard);
  deckIndex = 0;
  pauseTicks = s.pauseTicks;
  waitaminuteTag = 0;
  botDelay = s.botDelay;
  ruleWatch.setRules(rules);
  ruleWatch.replay(s.watch);
  roundPoints = s.roundPoints;
  publicLog = s.publicLog;
  keepPublicLog_ = !publicLog.empty();
  starter = s.starter;
  rng_.setState(s.deckRandom);
  botSeed_ = s.botSeed;
  gameSerial_ = s.gameSerial;
  return true;
}

void GameEngine::resumePlay() {
  if (!gameInProgress) return;
  if (cardsInTrick == kSeats || (currentPlayer != 0 && tricksPlayed == handSize)) {
    waitaminuteTag = cardsInTrick == kSeats ? kTagTrick : kTagRound;
    waitaminute->start(kPauseMs);
  } else if (currentPlayer == 0) {
    if (isComputer(currentBidder)) cbid(currentBidder, handSize);
  } else if (isComputer(currentPlayer)) {
    computerTurn();
  }
}

void GameEngine::personSits(int seat) {
  // The pending card's delay may run on: its tick finds a person and waits.
  if (decision_.active() && decision_.seat() == seat) {
    thinktimer->stop();
    decision_.clear();
  }
}

void GameEngine::askAgain(int seat) {
  if (!gameInProgress || !isSeat(seat)) return;
  if (currentPlayer == 0 && currentBidder == seat)
    report(ev::BidAsked{seat, handSize, biddingStarter}, ev::Audience::only(seat));
  else if (currentPlayer == seat && cardsInTrick < kSeats)
    report(ev::NextPlayer{seat}, ev::Audience::only(seat));
}

}  // namespace ombrix
