// A table's public state: what anyone may learn of it before sitting down.
// The host fills it in; a lobby lists it, whatever carried it there (a
// DNS-SD record on the local network, a lobby server's registration).
#pragma once

#include <string>

namespace ombrix::tables {

inline constexpr int kSeats = 4;     // people play seats 1 to 4
inline constexpr int kWatchers = 5;  // and five more may watch
inline constexpr int kFullRounds = 20;
inline constexpr int kHalfRounds = 10;

enum class Stage { Waiting, Playing };
// The kind of game being played; None while waiting (or when a peer did not say).
enum class Length { None, Full, Half };

struct TableState {
  int players = 0;   // people in seats 1 to 4
  int watchers = 0;  // spectators
  Stage stage = Stage::Waiting;
  int round = 0;  // 0 while waiting
  Length length = Length::None;
  std::string version;  // the host's program version, "1.0.14"
  // The house rules' LIST ("hook,scoring=tricks"); empty or "design" for none.
  std::string rules;

  bool operator==(const TableState&) const = default;
};

// The rounds of a game of that length (20 when it is not known).
int roundsOf(Length length);

// "waiting", or "round R of 20" ("round R" when the length is not known), and
// ", house rules LIST" at a table of house rules.
std::string stageText(const TableState& state);

// Whether a joiner gets a seat, a place to watch, or neither.
enum class Room { Seat, Watch, Full };
Room roomAt(const TableState& state);

}  // namespace ombrix::tables
