#include "rules/rules.h"

#include <cstdlib>

namespace ombrix::rules {

namespace {

constexpr int kMadeBonus = 10;    // design and tricks: an exact bid's bonus
constexpr int kMadeNothing = 5;   // design: an exact 0
constexpr int kPenaltyBase = 10;  // penalty: an exact bid scores 10 + 2 x bid
constexpr int kPenaltyStep = 2;   // penalty: per trick of the bid and of a miss

std::string_view trim(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

bool fail(std::string* error, std::string why) {
  if (error) *error = std::move(why);
  return false;
}

// One entry into `r`; `seen` keeps which keys were named.
bool entry(std::string_view e, Rules& r, unsigned& seen, std::string* error) {
  enum : unsigned { kHook = 1, kScoring = 2, kRounds = 4, kDesign = 8 };
  const size_t eq = e.find('=');
  const std::string_view key = e.substr(0, eq), value = eq == std::string_view::npos ? "" : e.substr(eq + 1);
  unsigned which = 0;
  if (e == "hook") {
    which = kHook;
    r.hook = true;
  } else if (e == "design") {
    which = kDesign;
  } else if (key == "scoring" && eq != std::string_view::npos) {
    which = kScoring;
    if (value == "design") r.scoring = Scoring::Design;
    else if (value == "tricks") r.scoring = Scoring::Tricks;
    else if (value == "penalty") r.scoring = Scoring::Penalty;
    else return fail(error, "unknown scoring \"" + std::string(value) + "\" (design, tricks or penalty)");
  } else if (key == "rounds" && eq != std::string_view::npos) {
    which = kRounds;
    if (value == "updown") r.rounds = Rounds::UpDown;
    else if (value == "downup") r.rounds = Rounds::DownUp;
    else return fail(error, "unknown rounds \"" + std::string(value) + "\" (updown or downup)");
  } else {
    return fail(error, "unknown house rule \"" + std::string(e) + "\"");
  }
  if (seen & which) return fail(error, "house rule \"" + std::string(key) + "\" named twice");
  if ((seen | which) & kDesign && (seen | which) != kDesign)
    return fail(error, "\"design\" names no house rule and stands alone");
  seen |= which;
  return true;
}

}  // namespace

std::optional<Rules> parse(std::string_view list, std::string* error) {
  Rules r;
  unsigned seen = 0;
  for (;;) {
    const size_t comma = list.find(',');
    const std::string_view e = trim(list.substr(0, comma));
    if (e.empty()) {
      fail(error, "an empty house rule");
      return std::nullopt;
    }
    if (!entry(e, r, seen, error)) return std::nullopt;
    if (comma == std::string_view::npos) return r;
    list.remove_prefix(comma + 1);
  }
}

std::string format(const Rules& r) {
  std::string out;
  auto add = [&out](std::string_view e) {
    if (!out.empty()) out += ',';
    out += e;
  };
  if (r.hook) add("hook");
  if (r.scoring == Scoring::Tricks) add("scoring=tricks");
  if (r.scoring == Scoring::Penalty) add("scoring=penalty");
  if (r.rounds == Rounds::DownUp) add("rounds=downup");
  return out.empty() ? "design" : out;
}

int handSize(const Rules& r, int round) {
  if (round < 1 || round > kFullRounds) return 0;
  // Up then down: 1..10, 10..1. Down then up: 10..1, 1..10.
  const int up = round <= kHalfRounds ? round : kFullRounds + 1 - round;
  return r.rounds == Rounds::UpDown ? up : kMaxHand + 1 - up;
}

bool holdsSuit(std::span<const int> hand, int suit) {
  if (suit == kNoSuit) return false;
  for (size_t p = 1; p < hand.size() && p <= kMaxHand; ++p)
    if (suitOf(hand[p]) == suit) return true;
  return false;
}

int trickWinner(std::span<const int> cards, int ledSuit, int trumpSuit) {
  // Cards are distinct: within a suit no two share a rank, so no tie.
  for (const int suit : {trumpSuit, ledSuit}) {
    int best = -1, bestRank = 0;
    for (size_t i = 0; i < cards.size(); ++i)
      if (suitOf(cards[i]) == suit && suit != kNoSuit && rankOf(cards[i]) > bestRank) {
        best = static_cast<int>(i);
        bestRank = rankOf(cards[i]);
      }
    if (best >= 0) return best;
  }
  return -1;
}

int points(const Rules& r, int bid, int taken) {
  const bool exact = bid == taken;
  switch (r.scoring) {
    case Scoring::Design:
      return !exact ? 0 : bid == 0 ? kMadeNothing : bid + kMadeBonus;
    case Scoring::Tricks:
      return taken + (exact ? kMadeBonus : 0);
    case Scoring::Penalty:
      return exact ? kPenaltyBase + kPenaltyStep * bid : -kPenaltyStep * std::abs(taken - bid);
  }
  return 0;
}

bool possiblePoints(const Rules& r, int p, int handSize) {
  for (int bid = 0; bid <= handSize; ++bid)
    for (int taken = 0; taken <= handSize; ++taken)
      if (points(r, bid, taken) == p) return true;
  return false;
}

uint16_t bids(const Rules& r, int handSize, int totalBefore, bool last) {
  const int h = handSize < 0 ? 0 : handSize > kMaxHand ? kMaxHand : handSize;
  auto any = static_cast<uint16_t>((1u << (h + 1)) - 1);  // 0 to the hand size
  const int hooked = h - totalBefore;                    // the bid that would total the round's cards
  if (r.hook && last && hooked >= 0 && hooked <= h) any &= static_cast<uint16_t>(~(1u << hooked));
  return any;
}

int nearestBid(uint16_t allowed, int wanted) {
  for (int d = 0; d <= kMaxHand + 1; ++d) {
    if (wanted - d >= 0 && wanted - d <= kMaxHand && (allowed >> (wanted - d) & 1u)) return wanted - d;
    if (wanted + d >= 0 && wanted + d <= kMaxHand && (allowed >> (wanted + d) & 1u)) return wanted + d;
  }
  return 0;
}

int classicBid(const Rules& r, int trumpsAndAces, int handSize, int totalBefore, bool last) {
  const int bid = trumpsAndAces < handSize ? trumpsAndAces : handSize;
  return nearestBid(bids(r, handSize, totalBefore, last), bid);
}

int trumpsAndAces(std::span<const int> hand, int trumpSuit) {
  int n = 0;
  for (size_t p = 1; p < hand.size() && p <= kMaxHand; ++p) {
    if (hand[p] == kNoCard) continue;
    if (suitOf(hand[p]) == trumpSuit) ++n;
    if (isAce(hand[p])) ++n;  // an ace of trumps counts twice
  }
  return n;
}

int classicPosition(std::span<const int> hand, int ledSuit) {
  const size_t end = hand.size() < kMaxHand + 1 ? hand.size() : kMaxHand + 1;
  if (ledSuit != kNoSuit)
    for (size_t p = 1; p < end; ++p)
      if (suitOf(hand[p]) == ledSuit) return static_cast<int>(p);
  for (size_t p = 1; p < end; ++p)
    if (hand[p] != kNoCard) return static_cast<int>(p);
  return 0;
}

}  // namespace ombrix::rules
