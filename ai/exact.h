// The end of a round solved exactly on one deal: every seat sees every hand
// and at each turn plays what is best for its own score, the lowest such card
// on a tie; a seat that keeps to the Classic rule plays by it. Meant for the
// last few cards, where the tree is small.
#pragma once

#include <array>

#include "ai/playstate.h"

namespace ombrix::ai {

// Plays `st` to the end; returns each seat's points and adds the positions
// visited to `nodes`.
std::array<int, 4> solveExact(const PlayState& st, long& nodes);

// Cards of `legal` that differ from a lower card of the same hand only by
// cards already gone: playing either changes nothing, so one is enough. The
// card winning the current trick is not gone for this purpose.
Mask distinctCards(const PlayState& st, Mask legal);

}  // namespace ombrix::ai
