// A game in progress as it stands: everything the engine needs to go on from
// there exactly as it would have gone on, and nothing of the connections.
//
// The generators are kept whole (the deck's, and what the computer players
// seed their decisions from), so a resumed game deals and decides the same
// cards as the uninterrupted one. Timers are not kept: what was pending
// follows from the phase (a computer seat on turn, the pause after a trick's
// fourth card, the pause between rounds) and starts afresh on resuming.
//
// A state read back from a file is never trusted: checkState() holds it
// against everything a game can reach, and the engine restores nothing else.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/game.h"
#include "engine/watchlog.h"

namespace ombrix {

struct GameState {
  struct Seat {
    std::array<int, kMaxHand + 1> hand{};  // positions 1..10, in the order of the deal
    int tricks = 0, score = 0, played = 0, bid = 0;
    bool watching = false;  // its person chose "just watch"
    bool operator==(const Seat&) const = default;
  };
  std::array<Seat, kSeats + 1> seats{};  // [1..4]

  std::string gameKind;  // as the start request gave it ("f", "h", anything)
  rules::Rules rules;    // the house rules the game is played by
  int roundNumber = 0, handSize = 0, leadSeat = 0;
  int currentBidder = 0, biddingStarter = 0, currentPlayer = 0, bidTotal = 0;
  int tricksPlayed = 0, cardsInTrick = 0, trumpCard = 0, ledSuit = 0;
  int pauseTicks = 0;  // ticks of the pause between rounds already gone; 0 in any other phase
  int botDelay = 0;
  std::array<ai::Skill, kSeats + 1> botSkill{};

  // What every table has seen of the round: the cards played (bit card - 1),
  // by seat, and the suits (bit suit - 1) each seat has shown it lacks.
  uint64_t played = 0;
  std::array<uint64_t, kSeats + 1> playedBy{};
  std::array<uint8_t, kSeats + 1> voids{};
  // Everything the rule watch was told this game.
  std::vector<WatchEvent> watch;
  // Each scored round's points by seat [1..4], round 1 first: the score card.
  std::vector<std::array<int, kSeats + 1>> roundPoints;
  // What the tables were told of the game and who started it, for a resumed
  // table's game record; empty in a save from before they were kept.
  std::vector<PublicEvent> publicLog;
  std::string starter;

  Random::State deckRandom{};
  uint64_t botSeed = 0;     // the computer players' base seed
  uint64_t gameSerial = 0;  // games started on this host; part of every decision's seed

  bool operator==(const GameState&) const = default;
};

// Longest game kind kept: the tables send one letter.
constexpr size_t kMaxGameKind = 64;

// Empty when `s` is a state a game can reach; otherwise what is wrong with it.
std::string checkState(const GameState& s);

}  // namespace ombrix
