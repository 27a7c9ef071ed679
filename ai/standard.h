// Standard: the fast heuristic player. It bids the tricks it expects to take,
// card by card, and plays to make exactly that bid: it wins a trick it still
// needs with the cheapest card that surely or probably holds, and once it has
// its tricks it sheds the cards that could take another.
//
// It reads only its own hand and public facts of the PlayState, so the Strong
// player can use it for every seat of a sampled deal.
#pragma once

#include "ai/playstate.h"

namespace ombrix::ai {

// Expected tricks for a hand: each card's chance of taking one, given the
// trump, the hand size and whether the seat leads the first trick.
double expectedTricks(Mask hand, int trumpCardIx, int handSize, bool leadsFirst);
// The bid Standard makes, before it is rounded to a whole bid.
double standardBidEstimate(Mask hand, int trumpCardIx, int handSize, bool leadsFirst);
int standardBid(Mask hand, int trumpCardIx, int handSize, bool leadsFirst);

// The card (bit index) seat `me` plays now; it must be on turn.
int standardCard(const PlayState& st, int me);

// Chance that none of `m` cards drawn from `unseen` cards, `special` of
// them of one kind, is of that kind.
double missChance(int unseen, int special, int m);

}  // namespace ombrix::ai
