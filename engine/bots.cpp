// Computer players: the Classic rule (the table's own, unchanged), the other
// skills through the decisions of ai/, the play delay and the bot speed.
// Every move enters the same checked operations as a person's.
//
// A skill that needs time (Strong) thinks in steps run by `thinktimer` while
// the event loop is idle, so the host never holds the thread for long; a bid
// is made as soon as it is decided, a card once it is decided and its delay
// has passed.
#include "engine/game.h"

#include <algorithm>

namespace ombrix {

void GameEngine::cbid(int seat, int size) {
  if (botSkill[seat] != ai::Skill::Classic) return think(seat, true, true);
  const int count = rules::trumpsAndAces(seats[seat].hand, trumpSuit);
  bid(seat, rules::classicBid(rules, count, size, bidTotal, nextSeat(seat) == biddingStarter));
}

void GameEngine::cplay(int seat) {
  if (botSkill[seat] != ai::Skill::Classic) return think(seat, false, true);
  if (const int position = rules::classicPosition(seats[seat].hand, ledSuit)) play(seat, position);
}

void GameEngine::computerTurn() {
  computertimer->start(botDelay);
  // Strong uses the delay to think; its card still waits for the delay.
  if (botSkill[currentPlayer] == ai::Skill::Strong) think(currentPlayer, false, false);
}

void GameEngine::computertimerTimer() {
  computertimer->stop();
  if (isSeat(currentPlayer) && isComputer(currentPlayer)) cplay(currentPlayer);
}

void GameEngine::think(int seat, bool bid, bool due) {
  if (!isSeat(seat) || !gameInProgress) return;
  // The move must be the one the game waits for, as in bidFor and playFor.
  if (bid ? (currentPlayer != 0 || seat != currentBidder) : (seat != currentPlayer || cardsInTrick >= kSeats))
    return;
  const bool same = decision_.active() && decision_.seat() == seat && decision_.isBid() == bid &&
                    decisionSerial_ == moveSerial_;
  if (same) {
    decisionDue_ = decisionDue_ || due;
  } else {
    const ai::SeatView view = viewFor(seat);
    if (bid ? view.bidding() == false : view.legal() == 0) return;
    if (!decision_.start(view, botSkill[seat],
                         ai::decisionSeed(ai::mixSeed(botSeed_, gameSerial_), roundNumber, view),
                         strongConfig)) {
      // A view the host builds is always one a game can give; were it not,
      // the table must still not wait for ever.
      if (due) classicMove(seat, bid);
      return;
    }
    decisionSerial_ = moveSerial_;
    decisionDue_ = due;
    decision_.step();  // one bounded step at once: Standard is done with it
  }
  if (!decision_.ready())
    thinktimer->start(0);
  else if (decisionDue_)
    carryOut();
}

void GameEngine::thinktimerTimer() {
  if (!decision_.active() || decisionSerial_ != moveSerial_) {  // the game moved on
    thinktimer->stop();
    decision_.clear();
    return;
  }
  if (!decision_.step()) return;
  thinktimer->stop();
  if (decisionDue_) carryOut();
}

void GameEngine::carryOut() {
  const int seat = decision_.seat(), result = decision_.result();
  const bool isBid = decision_.isBid();
  if (onDecision) onDecision(decision_);
  decision_.clear();  // before the move: it may start the next seat's decision
  if (isBid) return bid(seat, result);
  for (int p = 1; p <= kMaxHand; ++p)
    if (seats[seat].hand[p] == result && result != kNoCard) return play(seat, p);
  // A card not held would leave the table waiting for ever; the host shows
  // it like a refused computer card and moves by the Classic rule.
  notices_.notice("computer played incorrectly");
  classicMove(seat, false);
}

void GameEngine::classicMove(int seat, bool bid) {
  const ai::Skill skill = botSkill[seat];
  botSkill[seat] = ai::Skill::Classic;
  if (bid)
    cbid(seat, handSize);
  else
    cplay(seat);
  botSkill[seat] = skill;
}

ai::SeatView GameEngine::viewFor(int seat) const {
  ai::SeatView v;
  v.seat = seat;
  v.handSize = handSize;
  v.scoring = &ai::Scoring::of(rules);
  v.trumpCard = trumpCard;
  for (int p = 1; p <= kMaxHand; ++p) v.hand[p] = seats[seat].hand[p];
  v.opener = leadSeat;
  v.roundsLeft = std::max(0, rules::roundsOf(halfGame) - roundNumber);
  const bool bidding = currentPlayer == 0 && currentBidder != 0;
  if (bidding) {
    // The seats from the opener up to the one asked have bid.
    for (int s = leadSeat, n = 0; s != currentBidder && n < kSeats; s = nextSeat(s), ++n)
      v.bids[s] = seats[s].bid;
  } else {
    for (int s = 1; s <= kSeats; ++s) v.bids[s] = seats[s].bid;
  }
  static_cast<ai::PublicRecord&>(v) = record;
  for (int s = 1; s <= kSeats; ++s) {
    v.tricks[s] = seats[s].tricks;
    v.scores[s] = seats[s].score;
    // The host knows how its own computer seats choose; a person is a person.
    const bool computer = isComputer(s);
    v.models[s] = !computer                          ? ai::SeatModel::Person
                  : botSkill[s] == ai::Skill::Strong ? ai::SeatModel::Strong
                                                     : ai::SeatModel::Standard;
    // A person may keep to the Classic rule, as the watch sees; a computer
    // seat keeps to it exactly when that is its skill.
    v.classic[s] = computer ? botSkill[s] == ai::Skill::Classic : ruleWatch.classic(s);
    v.openPositions[s] = ruleWatch.openPositions(s);
    for (int p = 1; p <= kMaxHand; ++p) v.barred[s][p] = ruleWatch.barred(s, p);
  }
  if (isSeat(currentPlayer) && cardsInTrick < kSeats) {
    v.inTrick = cardsInTrick;
    v.leader = (currentPlayer - 1 - cardsInTrick + 2 * kSeats) % kSeats + 1;
    for (int k = 0; k < cardsInTrick; ++k) v.trick[k] = seats[(v.leader - 1 + k) % kSeats + 1].played;
  } else {
    v.leader = isSeat(currentPlayer) ? currentPlayer : leadSeat;
  }
  return v;
}

void GameEngine::setBotSpeed(int delayMs) {
  if (delayMs < 0 || delayMs > kMaxBotDelayMs) return;
  botDelay = delayMs;
}

}  // namespace ombrix
