// Trick resolution, scoring and the game's end.
#include "engine/game.h"
#include "protocol/commands.h"

namespace ombrix {

namespace build = wire::build;

int GameEngine::thewinner() const {
  const std::array<int, kSeats> cards = {slots[1].played, slots[2].played, slots[3].played, slots[4].played};
  return rules::trickWinner(cards, ledSuit, trumpSuit) + 1;  // 0: no card on the table
}

void GameEngine::finishtrick() {
  const int winner = thewinner();
  if (!isSeat(winner)) return;  // no card on the table: nothing to resolve
  ++tricksPlayed;
  ++slots[winner].tricks;
  moved();
  for (int s = 1; s <= kSeats; ++s) slots[s].played = kNoCard;
  build::trickwinner(msg_, winner, slots[winner].tricks);
  logPublic({PublicEvent::Trick, static_cast<uint8_t>(winner), 0});
  announce(msg_);

  ledSuit = 0;
  cardsInTrick = 0;
  currentPlayer = winner;
  if (tricksPlayed < handSize) {
    build::nextplayer(msg_, winner);
    announce(msg_);
    if (isComputer(winner)) computerTurn();
  } else {
    tallyscore();
  }
  if (onCheckpoint) onCheckpoint(Checkpoint::TrickDone);
}

void GameEngine::tallyscore() {
  ruleWatch.endRound();
  auto& row = roundPoints.emplace_back();
  for (int s = 1; s <= kSeats; ++s) {
    PlayerSlot& p = slots[s];
    const int points = rules::points(rules, p.bid, p.tricks);
    p.score += points;
    row[s] = points;
    build::score(msg_, s, p.score, points);
    announce(msg_);
  }
  waitaminuteTag = kTagRound;
  pauseTicks = 0;
  waitaminute->start(kPauseMs);
}

std::string GameEngine::nameOf(int seat) const {
  return slots[seat].name.empty() ? botNames[seat] : slots[seat].name;
}

void GameEngine::endgame() {
  gameInProgress = false;
  currentPlayer = 5;
  int best = 1;
  for (int s = 2; s <= kSeats; ++s)
    if (slots[s].score > slots[best].score) best = s;
  const int bestScore = slots[best].score;
  std::string names;
  for (int s = 1; s <= kSeats; ++s) {
    if (slots[s].score != bestScore) continue;
    if (!names.empty()) names += " and ";
    names += nameOf(s);
  }
  build::winner(msg_, names, bestScore);
  announce(msg_);
  if (onWinner) onWinner(names, bestScore);
  if (onCheckpoint) onCheckpoint(Checkpoint::GameOver);
}

void GameEngine::waitaminuteTimer() {
  if (waitaminuteTag == kTagTrick) {
    waitaminute->stop();
    finishtrick();
  } else if (waitaminuteTag == kTagRound) {
    if (++pauseTicks > kRoundPauseTicks) {
      waitaminute->stop();
      startround();
    }
  }
}

}  // namespace ombrix
