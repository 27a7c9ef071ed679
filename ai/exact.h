// The end of a round solved exactly on one deal: every seat sees every hand
// and at each turn plays what is best for its own points by the scoring; a
// seat that keeps to the Classic rule plays by it. Among cards equally good
// for the seat to move, the first in a fixed order is played (for a seat that
// still wants tricks the cheapest winner first, otherwise the highest card
// that loses), so a position always has the same answer, and the search
// stops at the first card that gives the seat all it can still score.
//
// The same reading of the table tells a seat's certain winners, the cards no
// holding of the others' consistent with what they have shown can beat.
#pragma once

#include <array>
#include <vector>

#include "ai/playstate.h"
#include "ai/seatview.h"

namespace ombrix::ai {

class ExactSolver {
 public:
  // Positions one solve may visit before each seat plays the first of its
  // ordered cards only: far above what the last four tricks ever need (about
  // ten thousand at worst), it keeps a solve within milliseconds whatever the
  // deal.
  static constexpr long kMostNodes = 60000;

  ExactSolver();
  // Plays `st` to the end; returns each seat's points. Positions met again
  // within one deal are remembered until forget().
  std::array<int, 4> solve(const PlayState& st);
  // A new deal: what was remembered no longer applies.
  void forget();
  long nodes() const { return nodes_; }  // positions visited, for the work count

 private:
  struct Entry {
    Mask cards = 0;
    uint64_t aux = 0;
    uint32_t generation = 0;
    std::array<int16_t, 4> value{};
  };
  std::array<int, 4> search(const PlayState& st);
  Entry& slot(const PlayState& st, Mask& cards, uint64_t& aux);

  std::vector<Entry> table_;
  uint32_t generation_ = 1;
  long nodes_ = 0, stopAt_ = 0;
};

// One solve without memory, for tests and the odd position.
std::array<int, 4> solveExact(const PlayState& st, long& nodes);

// Cards of `legal` that differ from a lower card of the same hand only by
// cards already gone: playing either changes nothing, so one is enough. The
// card winning the current trick is not gone for this purpose.
Mask distinctCards(const PlayState& st, Mask legal);

// The seat's options in the order the solver tries them.
int orderedOptions(const PlayState& st, int seat, Mask options, std::array<int8_t, 13>& out);

// Certain winners for the seat of `v`: cards that, led now, take the trick
// whatever the others hold (`leads`), and the cheapest legal card that takes
// the trick on the table for certain (-1 for none; never while leading).
struct SureTricks {
  Mask leads = 0;
  int now = -1;
  int count() const;  // tricks certain from here, the one on the table included
};
SureTricks sureTricks(const SeatView& v);

// The card to take a certain trick with when the seat holds enough of them for
// every trick it still needs (its bid less its tricks): -1 when it does not,
// or needs none.
int sureTrickCard(const SeatView& v);

}  // namespace ombrix::ai
