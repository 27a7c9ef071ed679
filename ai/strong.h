// Strong: decides by sampling. It draws deals of the cards it cannot see
// (Sampler), plays every candidate bid or card out on each of them (the
// Standard policy for every seat, the Classic rule for a seat seen to keep
// to it, the last tricks solved exactly) and takes the candidate with the
// best mean worth for its own seat: its points and its chance of winning
// the game with them (gameWorth). A bid is weighed where the seat sits:
// the bids already made stand, and each seat still to bid bids as its model
// would on the hand the deal gives it. Once few cards are left each deal is
// solved exactly from the decision on; before that, a seat holding certain
// winners for every trick it still needs takes one without searching.
//
// The work is cut into bounded steps counted in cards played (or positions
// solved), never in time: the result depends only on the view and the seed,
// however the steps are spread over the event loop.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "ai/exact.h"
#include "ai/playstate.h"
#include "ai/rng.h"
#include "ai/sampler.h"
#include "ai/seatview.h"

namespace ombrix::ai {

struct StrongConfig {
  // Work for one decision, in cards played out; the deals drawn follow from it.
  long work = 40000;
  // The same where every other seat keeps to the Classic rule. Its deals are
  // solved whole at little cost (only this seat chooses), so four times
  // `work` still keeps a decision to 1.7 ms on average (p99 12 ms, at most
  // 24 ms on this machine; most decisions reach maxSamples before it).
  // Against three Classic seats, over 10,000 duplicate games on four seeds,
  // it won 0.42 % more [-0.06, 0.90] than twice `work` and scored 0.21
  // points a game more [0.04, 0.38]; eight times won 0.15 % more again over
  // 2,000 games at p99 19 ms, too near the bound for so little.
  long ruleWork = 160000;
  // Work for a bid, as a multiple of a card's: a round has one bid a seat
  // against up to ten cards, and a bid weighs every candidate over the
  // whole round, so more deals pay: with the bid by its expected points,
  // three times a card's work gained 0.9 points a game [0.0, 1.8] against
  // three Standard seats over a card's work and points weighed by 0.5
  // (bench/bot_arena --against, 320 duplicate games).
  double bidWorkScale = 3;
  // A bid's play-outs solve exactly from this many cards a hand (so a round
  // this small is solved whole).
  int bidExactCards = 3;
  int minSamples = 24;
  int maxSamples = 400;
  // Solve exactly once the seat holds this many cards or fewer: the last four
  // tricks cost a few hundred positions a deal on average (bench/endgame_bench).
  int exactCards = 4;
  // A play-out solves its last tricks exactly from this many cards a hand.
  int playoutExactCards = 3;
  // The bounds above (for a card, and a play-out's; for a bid's play-outs)
  // when every other seat plays by the Classic rule: the solve then chooses
  // for this seat alone, so a whole round costs what the last tricks do
  // otherwise. Against three Classic seats, over 400 duplicate games
  // (bot_arena --against), solving whole rounds at every card won 2.8 %
  // more games [-0.9, +6.4] than the bounds above; a bid's play-outs solved
  // from 6 cards won 4.0 % more [1.3, 6.7] than from 3, and 3.0 % more
  // [0.0, 6.0] than solved whole, whose deals know the Classic seats' order
  // of cards too well.
  int ruleExactCards = 10;
  int ruleBidExactCards = 6;
  // Take a certain trick at once when holding enough of them for the bid.
  bool sureTricks = true;
  // Weigh the deals by the bids and plays they explain (Sampler).
  bool inference = true;
  // A bid's points count with this power when bids are compared: 1 takes
  // the bid with the most points expected over the deals. Weighing the
  // points less (0.5) makes more bids but fewer points; over 320 duplicate
  // games against three Standard seats the two came out level within their
  // intervals, so the bid goes by the points.
  double bidPointsWeight = 1;
  // Play to win the game, not for points alone: a decision is worth its
  // points and `winWorth` points times the chance of ending with the best
  // total (gameWorth), the points of a round between two seats taken to
  // differ by `winSpread` (a standard deviation) in each round still to
  // come. 0 for either plays for the seat's own points. Over duplicate
  // games (bot_arena --against) it won more games than points alone at the
  // same points: against three Standard seats 5.1 % more [1.0, 9.2] (400
  // games), against three Classic seats 2.1 % more [0.4, 3.7] (2,000 games;
  // a worth of 120 won 1.5 % more, a spread of 6 1.9 %).
  double winSpread = 9;
  double winWorth = 60;
  // Where every other seat keeps to the Classic rule, a bid the play-out
  // made counts as made only this share of the time (the rest as missed by
  // a trick): the play-outs see every hand and every order of the others'
  // cards, so they make an exact bid more surely than the table does. By the
  // bid (1, 2, 3 or more; a bid of 0 needs no trick steered and is made as
  // often as its play-outs make it) and the cards a hand: the share of
  // Strong's bids made at the table over the share its play-outs made
  // (bot_arena prints it), 60,000 bids over 6,000 duplicate games on deals
  // other than the arena's own, a thin cell pooled with the round lengths
  // beside it. The play-outs are surest where a round is solved whole from
  // the bid (five to seven cards); a round of one card has no play to steer.
  // Against a flat 0.9 for a bid of 1 and 0.75 above it, the table made
  // 0.40 % more bids [0.20, 0.60] and won 0.53 % more games [-0.21, 1.27]
  // over 4,000 duplicate games.
  using BidTrust = std::array<std::array<double, rules::kMaxHand + 1>, 4>;
  BidTrust ruleBidTrust = {{
      {},
      {0, 1.00, 0.94, 0.86, 0.82, 0.83, 0.81, 0.88, 0.90, 0.96, 1.00},
      {0, 1.00, 0.92, 0.88, 0.78, 0.72, 0.75, 0.74, 0.82, 0.87, 0.91},
      {0, 1.00, 1.00, 0.92, 0.80, 0.73, 0.67, 0.67, 0.73, 0.76, 0.80},
  }};
  // The same against other seats (Standard, or a person taken for one).
  // There the play-outs solve only the last tricks and play this seat's
  // earlier cards by the Standard policy, worse than Strong plays them: in a
  // round of eight cards or more the table makes a bid up to 1.16 times as
  // often as the play-outs (that share of the deals they missed counts as
  // made), in a round of two or three a seventh less often. Measured over
  // 40,000 bids against three Standard seats on other deals; over 2,000
  // duplicate games against three Standard seats, bids made +0.51 %
  // [0.30, 0.72], points +0.32 a game [0.08, 0.56], won +0.47 % [-0.45, 1.40]
  // against trusting the play-outs as they are.
  BidTrust bidTrust = {{
      {},
      {0, 1.00, 0.89, 0.85, 0.93, 1.00, 1.03, 1.08, 1.10, 1.11, 1.16},
      {0, 1.00, 0.97, 0.87, 0.90, 0.94, 1.00, 1.03, 1.08, 1.12, 1.16},
      {0, 1.00, 1.00, 1.00, 0.96, 1.01, 0.99, 1.04, 1.08, 1.11, 1.14},
  }};
  // The arena's measure of what the table hides, never set in a game: given,
  // the search sees the real deal (Peek::Whole: every hand and every Classic
  // seat's order, searched once) or the real hands with orders drawn
  // (Peek::Hands) instead of drawn deals.
  enum class Peek { None, Hands, Whole };
  std::function<Peek(Deal&)> peek;
};

// What a round's points (seats 0..3) are worth to the seat of `v`: its own
// points, and with a spread and the game's state known, a won game's worth
// times the chance of winning it.
double gameWorth(const SeatView& v, const std::array<int, 4>& points, double spread, double winWorth);

class StrongSearch {
 public:
  StrongSearch(const SeatView& v, uint64_t seed, const StrongConfig& config = {});

  // Runs about `work` units more; true once the decision is made.
  bool step(long work);
  bool done() const { return done_; }
  // The bid, or the card 1..52.
  int result() const;
  int samples() const { return sample_; }
  int fallbacks() const { return fallbacks_; }  // samples that were Deal::fallback
  const SamplerStats& sampling() const { return sampler_.stats(); }
  // Candidates (bids, or card bit indices) and their mean points so far.
  const std::vector<int>& candidates() const { return candidates_; }
  double meanOf(size_t i) const { return sample_ ? sumOf(i) / sample_ : 0; }
  // For a bid, the share of the deals whose play-out made it.
  double madeShare(size_t i) const { return sample_ ? double(made_[i]) / sample_ : 0; }

 private:
  void drawSample();
  // A candidate on the current sample: its worth; for a bid, whether the
  // play-out made it and, if not, the worth had it been made.
  struct Outcome {
    double worth;
    bool made = false;
    double ifMade = 0;
  };
  Outcome evaluate(int candidate, long& work) const;
  // How much more often the table makes the bid than the play-outs do.
  double trustOf(int bid) const;
  // A candidate's worth summed over the samples, its bid trusted so.
  double sumOf(size_t i) const;
  void finishIfEnough();
  // The seats still to bid bid on the hands of `st`, this seat `myBid`.
  void bidOthers(PlayState& st, int myBid) const;

  SeatView view_;
  StrongConfig config_;
  Sampler sampler_;
  mutable ExactSolver solver_;
  Rng rng_;
  bool bidding_, byRule_, exact_ = false, done_ = false, peeked_ = false;
  std::vector<int> candidates_;
  std::vector<double> total_;
  std::vector<int> made_;
  std::vector<double> ifMade_;  // bids: the worth the deals missed would gain made
  int sample_ = 0, fallbacks_ = 0;
  int standardChoice_ = -1;  // the Standard player's bid, for ties
  Mask standardGroup_ = 0;   // the Standard player's card and those that play like it
  size_t next_ = 0;  // candidate to evaluate next on the current sample
  long work_ = 0;
  PlayState base_;  // the current sample, where the decision is due
};

// The play of a round from `st` to its end, every seat by the Standard
// policy but those that play by the Classic rule, the last `exactCards`
// tricks solved by `solver` (none without one); returns every seat's points
// and adds the cards played and positions solved to `work`.
std::array<int, 4> playOut(PlayState st, long& work, ExactSolver* solver = nullptr, int exactCards = 0);

}  // namespace ombrix::ai
