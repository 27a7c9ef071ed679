// Trick resolution, scoring and the game's end.
#include "engine/game.h"

namespace ombrix {

int GameEngine::thewinner() const {
  const std::array<int, kSeats> cards = {seats[1].played, seats[2].played, seats[3].played, seats[4].played};
  return rules::trickWinner(cards, ledSuit, trumpSuit) + 1;  // 0: no card on the table
}

void GameEngine::finishtrick() {
  const int winner = thewinner();
  if (!isSeat(winner)) return;  // no card on the table: nothing to resolve
  ++tricksPlayed;
  ++seats[winner].tricks;
  moved();
  for (int s = 1; s <= kSeats; ++s) seats[s].played = kNoCard;
  logPublic({PublicEvent::Trick, static_cast<uint8_t>(winner), 0});
  report(ev::TrickWon{winner, seats[winner].tricks});

  ledSuit = 0;
  cardsInTrick = 0;
  currentPlayer = winner;
  if (tricksPlayed < handSize) {
    report(ev::NextPlayer{winner});
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
    SeatState& p = seats[s];
    const int points = rules::points(rules, p.bid, p.tricks);
    p.score += points;
    row[s] = points;
    report(ev::Scored{s, p.score, points});
  }
  waitaminuteTag = kTagRound;
  pauseTicks = 0;
  waitaminute->start(kPauseMs);
}

std::string GameEngine::nameOf(int seat) const {
  const std::string_view person = host_.occupant(seat).name;
  return person.empty() ? botNames[seat] : std::string(person);
}

void GameEngine::endgame() {
  gameInProgress = false;
  currentPlayer = 5;
  int best = 1;
  for (int s = 2; s <= kSeats; ++s)
    if (seats[s].score > seats[best].score) best = s;
  const int bestScore = seats[best].score;
  std::string names;
  for (int s = 1; s <= kSeats; ++s) {
    if (seats[s].score != bestScore) continue;
    if (!names.empty()) names += " and ";
    names += nameOf(s);
  }
  report(ev::Winner{names, bestScore});
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
