// Card numbering shared by the host and the table window.
//
// A card is 1..52, 0 means "no card". Suits occupy consecutive ranges of 13,
// clubs first; within a suit the higher number is the higher card, so rank 1
// is the two and rank 13 the ace.
#pragma once

namespace ombrix {

constexpr int kNoCard = 0;
constexpr int kDeckSize = 52;
constexpr int kSuitSize = 13;
constexpr int kSeats = 4;

enum Suit : int { kNoSuit = 0, kClubs = 1, kDiamonds = 2, kHearts = 3, kSpades = 4 };

// Suit of a card, kNoSuit for an empty position or anything out of range, so
// that counting and comparing suits can skip holes without a separate test.
constexpr int suitOf(int card) {
  return (card >= 1 && card <= kDeckSize) ? (card - 1) / kSuitSize + 1 : kNoSuit;
}

// Rank 1 (two) .. 13 (ace) within the suit; 0 for no card.
constexpr int rankOf(int card) { return suitOf(card) == kNoSuit ? 0 : card - kSuitSize * (suitOf(card) - 1); }

constexpr bool isAce(int card) { return rankOf(card) == kSuitSize; }

// Seats run in playing order: the seat after 4 is 1.
constexpr int nextSeat(int seat) { return seat % kSeats + 1; }

constexpr bool isSeat(int n) { return n >= 1 && n <= kSeats; }

}  // namespace ombrix
