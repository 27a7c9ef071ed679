// Deals of the cards one seat cannot see, consistent with what the table has
// shown: each other seat gets as many cards as it holds, none of a suit it
// has shown it lacks, none that was played or turned up; what is left over
// stayed in the deck. A seat seen (or known) to keep to the Classic rule
// plays by it, from cards in an order of their own.
//
// With inference, such a seat's hand explains its bid exactly (it is drawn
// with the count of trumps and aces the bid tells, never drawn and thrown
// away), and its order the positions it played from. Every other seat's hand
// is weighed by how likely the
// seat was to bid and play as it did holding it, under a model of the seat
// (SeatModel): its bid against the Standard player's estimate for the hand,
// each card it chose against the card the Standard player would have chosen
// at that moment. A hand is kept with that likelihood and drawn again
// otherwise (rejection), so the deals lean toward the hands the table's own
// play points to; after a few rejections the likeliest hand drawn is kept.
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
  // What drawing it cost, in the same units as a play-out's cards.
  int work = 0;
};

struct SamplerOptions {
  bool inference = true;  // weigh hands by the bids and plays they explain
};

// Hands drawn for the other seats, and those that inference set aside.
struct SamplerStats {
  long drawn = 0, rejected = 0;
};

class Sampler {
 public:
  explicit Sampler(const SeatView& v, const SamplerOptions& options = {});

  // One deal, seats 0..3 (the own hand as it is). Deterministic for a given
  // generator state.
  Deal draw(Rng& rng) const;
  const SamplerStats& stats() const { return stats_; }
  // Orders for the seats keeping to the rule, for hands given (the arena's
  // measure of what knowing the hands alone is worth).
  void orderHands(Deal& d, Rng& rng) const;
  // Every other seat plays by the Classic rule in every deal drawn.
  bool othersByRule() const;
  // How likely `seat` (0..3), holding `hand` now, was to bid and play as it
  // did, relative to a hand that explains everything: 1 at most. Adds the
  // work done to `work`.
  double likelihood(int seat, Mask hand, int& work) const;

 private:
  // One card a seat chose among several, and the table as it stood then
  // (the other hands only as counts).
  struct Moment {
    PlayState table;
    int8_t seat = 0, card = 0;
    Mask later = 0;  // the seat's cards played from this moment on, this one included
  };

  void readTable(const SeatView& v);
  // A hand for `seat` from `eligible`, and its order if it keeps to the rule;
  // returns how likely the seat was to play as it did with it.
  double drawSeat(int seat, Mask eligible, Rng& rng, Deal& d) const;
  bool orderSeat(int seat, Mask hand, Rng& rng, Deal& d) const;
  // A hand from `eligible` that explains the bid of a seat keeping to the
  // Classic rule, if any can.
  Mask classicHand(int seat, Mask eligible, Rng& rng) const;

  int me_;  // 0..3
  Mask own_, unseen_;
  std::array<int, 4> need_{};
  std::array<Mask, 4> allowed_{};  // cards of the suits each seat may still hold
  std::array<int, 3> order_{};     // other seats, most constrained first
  // What a seat keeping to the Classic rule has shown: its bid (-1 for none
  // or not yet), what it played, its open positions and what they cannot hold.
  std::array<bool, 4> classic_{};
  std::array<int, 4> classicBid_{-1, -1, -1, -1};
  std::array<int, 4> bidBefore_{};  // the total bid before each seat's bid
  const Scoring* scoring_ = &Scoring::game();
  std::array<Mask, 4> playedBy_{};
  std::array<uint16_t, 4> open_{};
  std::array<std::array<uint8_t, 11>, 4> barred_{};
  int trumpSuit_ = 0, trumpIx_ = 0, handSize_ = 0, opener_ = 0;
  // Inference: each other seat's model and bid (-1 when not read), and the
  // moments it chose a card.
  bool infer_ = false;
  std::array<SeatModel, 4> model_{};
  std::array<int, 4> bid_{-1, -1, -1, -1};
  std::array<Moment, PublicRecord::kMostPlays> moments_{};
  int momentCount_ = 0;
  mutable SamplerStats stats_;
};

// The Classic rule's bid for a whole round's hand (rules::classicBid): the
// house rules, the total bid before the seat and whether it bid last decide
// where the hook moves it.
int classicBid(Mask roundHand, int trumpSuit, int handSize, const Scoring& scoring = Scoring::game(),
               int totalBefore = 0, bool last = false);

// The round as `v` sees it, played with one deal: the current trick on the
// table, or the first trick to come while bidding (seats yet to bid hold a
// bid of 0); the seats that keep to the Classic rule play by it.
PlayState dealState(const SeatView& v, const Deal& deal);

}  // namespace ombrix::ai
