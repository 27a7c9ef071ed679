// Computer players: deterministic bid and card rules, the play delay and the
// bot speed. Their moves enter the same checked operations as a person's.
#include "engine/game.h"
#include "protocol/commands.h"

namespace ombrix {

void GameEngine::cbid(int seat, int size) {
  int count = 0;
  for (int p = 1; p <= kMaxHand; ++p) {
    const int card = slots[seat].hand[p];
    if (card == kNoCard) continue;
    if (suitOf(card) == trumpSuit) ++count;
    if (isAce(card)) ++count;  // an ace of trumps counts twice
  }
  bidFor(seat, count < size ? count : size);
}

void GameEngine::cplay(int seat) {
  const auto& hand = slots[seat].hand;
  int position = 0;
  if (ledSuit != kNoSuit)
    for (int p = 1; p <= kMaxHand && !position; ++p)
      if (suitOf(hand[p]) == ledSuit) position = p;
  for (int p = 1; p <= kMaxHand && !position; ++p)
    if (hand[p] != kNoCard) position = p;
  if (position) playFor(seat, position);
}

void GameEngine::computertimerTimer() {
  computertimer->stop();
  if (isSeat(currentPlayer) && isComputer(currentPlayer)) cplay(currentPlayer);
}

void GameEngine::botspeed(std::string_view fields) {
  auto req = wire::parse::botspeed(fields);
  if (!req || req->slot != 1) return;
  if (req->value > kMaxBotDelayMs) return;
  botDelay = req->value;
}

}  // namespace ombrix
