// Players coming back: a saved solo game resumed.
#include "engine/gamestate.h"
#include "host/serverform.h"

namespace ombrix {

bool TServer::resume(const GameState& state) {
  if (engine.gameInProgress) return false;
  for (int s = 1; s <= kLastSlot; ++s)
    if (engine.slots[s].inUse) return false;
  if (!engine.restoreState(state)) return false;
  held_ = true;
  say("resumed a game in round " + std::to_string(engine.roundNumber));
  return true;
}

}  // namespace ombrix
