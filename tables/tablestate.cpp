#include "tables/tablestate.h"

namespace ombrix::tables {

int roundsOf(Length length) { return length == Length::Half ? kHalfRounds : kFullRounds; }

std::string stageText(const TableState& state) {
  std::string text = "waiting";
  if (state.stage == Stage::Playing) {
    text = "round " + std::to_string(state.round);
    if (state.length != Length::None) text += " of " + std::to_string(roundsOf(state.length));
  }
  // A table of house rules says so wherever it is listed.
  if (!state.rules.empty() && state.rules != "design") text += ", house rules " + state.rules;
  return text;
}

Room roomAt(const TableState& state) {
  if (state.players < kSeats) return Room::Seat;
  if (state.watchers < kWatchers) return Room::Watch;
  return Room::Full;
}

}  // namespace ombrix::tables
