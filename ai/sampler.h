// Deals of the cards one seat cannot see, consistent with what the table has
// shown: each other seat gets as many cards as it holds, none of a suit it
// has shown it lacks, none that was played or turned up; what is left over
// stayed in the deck. A seat seen to keep to the Classic rule also gets a
// hand that explains its bid (trumps plus aces) and an order of its cards
// that explains the positions it played from.
#pragma once

#include <array>

#include "ai/playstate.h"
#include "ai/rng.h"
#include "ai/seatview.h"

namespace ombrix::ai {

struct Deal {
  Deal() {
    for (auto& o : order) o.fill(-1);
  }
  std::array<Mask, 4> hands{};
  // Cards in deal order, for the seats that keep to the Classic rule; -1 pads.
  std::array<std::array<int8_t, 10>, 4> order;
  // No deal that agrees with the view turned up in the tries: this one
  // ignores what the seats have shown they lack, or leaves a hand short.
  bool fallback = false;
};

class Sampler {
 public:
  explicit Sampler(const SeatView& v);

  // One deal, seats 0..3 (the own hand as it is). Deterministic for a given
  // generator state.
  Deal draw(Rng& rng) const;

 private:
  // A hand for `seat` from `eligible`, and its order if it keeps to the rule.
  bool drawSeat(int seat, Mask eligible, Rng& rng, Deal& d) const;
  bool orderSeat(int seat, Mask hand, Rng& rng, Deal& d) const;

  int me_;  // 0..3
  Mask own_, unseen_;
  std::array<int, 4> need_{};
  std::array<Mask, 4> allowed_{};  // cards of the suits each seat may still hold
  std::array<int, 3> order_{};     // other seats, most constrained first
  // What a seat keeping to the Classic rule has shown: its bid (-1 for none
  // or not yet), what it played, its open positions and what they cannot hold.
  std::array<bool, 4> classic_{};
  std::array<int, 4> classicBid_{-1, -1, -1, -1};
  std::array<Mask, 4> playedBy_{};
  std::array<uint16_t, 4> open_{};
  std::array<std::array<uint8_t, 11>, 4> barred_{};
  int trumpSuit_ = 0, handSize_ = 0;
};

// The Classic rule's bid for a whole round's hand: trumps plus aces, an ace
// of trumps counted twice, at most the hand size.
int classicBid(Mask roundHand, int trumpSuit, int handSize);

// The round as `v` sees it, played with one deal: the current trick on the
// table, or the first trick to come while bidding (seats yet to bid hold a
// bid of 0); the seats that keep to the Classic rule play by it.
PlayState dealState(const SeatView& v, const Deal& deal);

}  // namespace ombrix::ai
