#include "tables/tablestate.h"

namespace ombrix::tables {

int roundsOf(Length length) { return length == Length::Half ? kHalfRounds : kFullRounds; }

std::string stageText(const TableState& state) {
  if (state.stage == Stage::Waiting) return "waiting";
  std::string text = "round " + std::to_string(state.round);
  if (state.length != Length::None) text += " of " + std::to_string(roundsOf(state.length));
  return text;
}

Room roomAt(const TableState& state) {
  if (state.players < kSeats) return Room::Seat;
  if (state.watchers < kWatchers) return Room::Watch;
  return Room::Full;
}

}  // namespace ombrix::tables
