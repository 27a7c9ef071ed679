// The rules of the game, and the house rules a host may choose: the one
// place a rule of rounds, play, tricks, points or bids is written. The
// engine, the computer players, the table's model, the game record and the
// save's checks all ask here; only the tests' referee keeps its own copy, as
// a second opinion.
//
// House rules (a LIST on the command line, in the settings and on the wire):
//   hook               the last bidder may not make the bids total the round's cards
//   scoring=design     exact: bid + 10, an exact 0 scores 5; a miss nothing
//   scoring=tricks     a point a trick taken, plus 10 for an exact bid
//   scoring=penalty    exact: 10 + 2 x bid; a miss: -2 x the difference
//   rounds=updown      1 up to 10, 10 down to 1 (a half game: 1 to 10)
//   rounds=downup      10 down to 1, 1 up to 10 (a half game: 10 to 1)
// comma-separated; "design" names the design's rules, none of the above.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "base/cards.h"

namespace ombrix::rules {

constexpr int kMaxHand = 10;     // cards in the largest hand, and hand positions 1..10
constexpr int kFullRounds = 20;  // a full game: each hand size twice, the largest or smallest in the middle
constexpr int kHalfRounds = 10;  // a half game: the first ten rounds

enum class Scoring : uint8_t { Design, Tricks, Penalty };
enum class Rounds : uint8_t { UpDown, DownUp };

struct Rules {
  bool hook = false;
  Scoring scoring = Scoring::Design;
  Rounds rounds = Rounds::UpDown;

  // The design's own rules, named or not: no variant.
  bool design() const { return *this == Rules{}; }
  bool operator==(const Rules&) const = default;
};

// Reads a LIST. Nothing, and why in `error`, for an unknown or repeated
// entry, an empty entry, or "design" beside another entry.
std::optional<Rules> parse(std::string_view list, std::string* error = nullptr);
// The LIST in its one spelling: entries in the order above, only those that
// differ from the design's; "design" for none.
std::string format(const Rules& r);

// --- Rounds ---------------------------------------------------------------
// Rounds a game of this kind plays: 10 for a half game, 20 for a full one.
constexpr int roundsOf(bool half) { return half ? kHalfRounds : kFullRounds; }
// Cards dealt to each seat in `round` (1..20); 0 outside the game.
int handSize(const Rules& r, int round);

// --- Play ---------------------------------------------------------------
// A card may be played when nothing is led yet, when it follows the led
// suit, or when the hand holds none of it.
constexpr bool mayPlay(int card, int ledSuit, bool holdsLedSuit) {
  return ledSuit == kNoSuit || suitOf(card) == ledSuit || !holdsLedSuit;
}
// Whether hand positions 1..kMaxHand of `hand` (index = position; index 0
// unused) hold a card of `suit`.
bool holdsSuit(std::span<const int> hand, int suit);
// The winner of a trick among `cards` (0 = no card): the highest trump if
// any fell, else the highest card of the led suit. Its index, -1 for none.
int trickWinner(std::span<const int> cards, int ledSuit, int trumpSuit);

// --- Points and bids --------------------------------------------------------
int points(const Rules& r, int bid, int taken);
// Whether some bid and tricks of a round with `handSize` cards score `p`.
bool possiblePoints(const Rules& r, int p, int handSize);
// The bids a seat may make (bit b for bid b), given the total bid before it
// and whether it bids last.
uint16_t bids(const Rules& r, int handSize, int totalBefore, bool last);
inline bool mayBid(const Rules& r, int bid, int handSize, int totalBefore, bool last) {
  return bid >= 0 && bid <= kMaxHand && (bids(r, handSize, totalBefore, last) >> bid & 1u);
}
// The allowed bid nearest to `wanted`, the lower one on a tie.
int nearestBid(uint16_t allowed, int wanted);

// --- The Classic computer rule ----------------------------------------------
// The bid: its trumps plus its aces (an ace of trumps counts twice), at most
// the hand size; where the hook forbids that number, the nearest it allows.
int classicBid(const Rules& r, int trumpsAndAces, int handSize, int totalBefore, bool last);
// Trumps plus aces of hand positions 1..kMaxHand.
int trumpsAndAces(std::span<const int> hand, int trumpSuit);
// The card: the first hand position, in deal order, holding the led suit,
// else the first holding any card. 0 for an empty hand.
int classicPosition(std::span<const int> hand, int ledSuit);

}  // namespace ombrix::rules
