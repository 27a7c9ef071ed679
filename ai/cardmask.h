// Cards as bits of a 64-bit mask, for the computer players' inner loops.
//
// Bit i is the card i + 1 (so bit 0 is the two of clubs and bit 51 the ace of
// spades); suits occupy 13 consecutive bits, lowest rank first, so within a
// suit a higher bit is a higher card. Suits are 0..3 here, clubs first.
#pragma once

#include <bit>
#include <cstdint>

namespace ombrix::ai {

using Mask = uint64_t;

constexpr int kCards = 52;
constexpr Mask kAllCards = (Mask{1} << kCards) - 1;

constexpr Mask bit(int i) { return Mask{1} << i; }
constexpr int indexOf(int card) { return card - 1; }  // card 1..52 -> bit 0..51
constexpr int cardAt(int i) { return i + 1; }
constexpr int suitIx(int i) { return i / 13; }  // 0..3
constexpr int rankIx(int i) { return i % 13; }  // 0 (two) .. 12 (ace)
constexpr Mask suitMask(int s) { return Mask{0x1FFF} << (13 * s); }
// Cards of the same suit above / below card i.
constexpr Mask above(int i) { return suitMask(suitIx(i)) & ~((bit(i) << 1) - 1); }
constexpr Mask below(int i) { return suitMask(suitIx(i)) & (bit(i) - 1); }

inline int count(Mask m) {
#if defined(__POPCNT__)
  return std::popcount(m);
#else
  // Without the instruction std::popcount is a library call; inline bit
  // arithmetic is several times faster in the play-outs.
  m -= (m >> 1) & 0x5555555555555555ull;
  m = (m & 0x3333333333333333ull) + ((m >> 2) & 0x3333333333333333ull);
  m = (m + (m >> 4)) & 0x0F0F0F0F0F0F0F0Full;
  return static_cast<int>((m * 0x0101010101010101ull) >> 56);
#endif
}
inline int lowest(Mask m) { return std::countr_zero(m); }
inline int highest(Mask m) { return 63 - std::countl_zero(m); }

// Does card a, played after b, take the lead from b? Only a higher card of
// the same suit or a trump on a non-trump does.
constexpr bool beats(int a, int b, int trumpSuit) {
  return suitIx(a) == suitIx(b) ? a > b : suitIx(a) == trumpSuit;
}

// Bits of one suit as a 4-bit set of suits.
constexpr uint8_t suitBit(int s) { return static_cast<uint8_t>(1u << s); }

// The k-th (0-based) set bit of m; m must have more than k bits.
inline int nthBit(Mask m, int k) {
  for (; k > 0; --k) m &= m - 1;
  return lowest(m);
}

}  // namespace ombrix::ai
