// Which seats play by the Classic rule, judged from what every table sees.
//
// The Classic rule bids trumps plus aces and plays the first card of its
// hand, in deal order, that is legal. Every card is announced with its hand
// position, so a lead or a discard from any position but the lowest one left
// gives a seat away at once, and when a round is over (every card of it
// known) the whole round is checked. A seat that has kept to the rule for a
// few whole rounds is expected to go on doing so: its bid tells how many
// trumps and aces it holds, and its cards are as good as chosen at random.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "rules/rules.h"

namespace ombrix::ai {

class RuleWatch {
 public:
  // Whole rounds kept to the rule before a seat counts as following it: a
  // seat that plays otherwise matches it by chance through three rounds
  // only a few times in a hundred.
  static constexpr int kRoundsToTrust = 3;

  // The house rules kept to: where the hook moves the rule's bid.
  void setRules(const rules::Rules& r) { rules_ = r; }
  void startGame() {
    const rules::Rules r = rules_;
    *this = RuleWatch();
    rules_ = r;
  }
  void startRound(int handSize, int trumpCard);
  void bid(int seat, int bid);
  // Cards in the order played; every fourth one starts a trick.
  void play(int seat, int position, int card);
  // A card of this round was played that the watch did not see (it began
  // watching, or the table joined, with the round under way): the round
  // counts for nothing, for or against any seat.
  void unseen() { partial_ = true; }
  // The round is over: check it whole.
  void endRound();

  bool classic(int seat) const { return !broken_[seat] && rounds_[seat] >= kRoundsToTrust; }
  // Positions of the seat not played yet this round (bit p).
  uint16_t openPositions(int seat) const;
  // Suits the card at an open position cannot be, if the seat keeps to the rule.
  uint8_t barred(int seat, int position) const;

 private:
  struct Play {
    int seat, position, card;
  };
  std::array<bool, 5> broken_{};
  std::array<int, 5> rounds_{};
  std::array<int, 5> bids_{};
  std::array<int, 5> bidBefore_{};  // the total bid before each seat's bid
  std::array<bool, 5> bidLast_{};
  int bidTotal_ = 0, bidsMade_ = 0;
  rules::Rules rules_;
  std::array<unsigned, 5> usedPositions_{};          // bit p: position p played this round
  std::array<std::array<unsigned, 5>, 5> barred_{};  // per seat and suit: positions without it
  std::vector<Play> plays_;
  int handSize_ = 0, trumpSuit_ = 0;
  bool partial_ = false;
};

}  // namespace ombrix::ai
