// An independent model of the rules that watches a game as a spectator sees
// it and reports every departure from the rules: order of announcements,
// turn order, follow-suit, trick winners, scores, the computer's bids and
// cards, the pauses, and the winner.
//
// A spectator never sees the hands, but every card is announced with its
// hand position when it is played, so at each round's end the hands are known
// in full and the round is replayed against them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/recorder.h"

namespace ombrix::test {

struct RefereeOptions {
  bool halfGame = false;
  bool computerSeats[5] = {false, true, true, true, true};  // seats the computer plays
  // Computer seats played by a skill other than Classic: only the rules are
  // checked for them (a bid in range, follow suit), not the Classic choices.
  bool skilled[5] = {false, false, false, false, false};
  int botDelay = 500;       // expected delay of a computer card, ms
  bool checkTiming = true;  // the stream carries virtual timestamps
  // House rules, in the referee's own words (it keeps its own copy of every
  // rule, apart from the game's): the last bidder may not make the bids
  // total the round's cards; scoring 0 the design's, 1 a point a trick plus
  // 10 for an exact bid, 2 an exact bid 10 + 2 x bid and a miss -2 a trick
  // off; rounds from 10 cards down to 1 and back up.
  bool hook = false;
  int scoring = 0;
  bool downUp = false;
};

struct RefereeReport {
  int rounds = 0;
  int tricks = 0;
  std::vector<int> handSizes;
  std::string winner;  // the CMD_winner message
  std::vector<std::string> faults;
  bool ok() const { return faults.empty(); }
  std::string summary() const;
};

RefereeReport refereeGame(const std::vector<Sent>& stream, const RefereeOptions& options);

}  // namespace ombrix::test
