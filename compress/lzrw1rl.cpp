#include "compress/lzrw1rl.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace ombrix::lzrw {

namespace {
constexpr size_t kMaxRun = 4095;
constexpr size_t kMinRun = 16;
constexpr size_t kMaxCopy = 18;
constexpr size_t kMinCopy = 3;
constexpr size_t kWindow = 4096;

inline uint64_t load64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  return v;
}

inline bool allEqual16(const uint8_t* p, uint8_t c) {
  const uint64_t pattern = 0x0101010101010101ull * c;
  return load64(p) == pattern && load64(p + 8) == pattern;
}

// Equal leading bytes of a and b, at most `limit` (<= 18). Reads stay inside
// the piece plus its 16 bytes of slack.
inline size_t commonPrefix(const uint8_t* a, const uint8_t* b, size_t limit) {
  size_t m = 0;
  while (m + 8 <= limit) {
    const uint64_t d = load64(a + m) ^ load64(b + m);
    if (d) return m + (__builtin_ctzll(d) >> 3);  // little-endian: lowest byte first
    m += 8;
  }
  while (m < limit && a[m] == b[m]) ++m;
  return m;
}

// A copy item: `len` (3..18) bytes from `d` back. At distances of 8 or more
// whole words overlap safely and may write up to 13 bytes past the copy,
// inside the caller's slack; shorter distances repeat what the copy itself
// produces, byte by byte.
inline void copyBack(uint8_t* dst, size_t d, size_t len) {
  const uint8_t* src = dst - d;
  if (d >= 8) {
    std::memcpy(dst, src, 8);
    std::memcpy(dst + 8, src + 8, 8);
    if (len > 16) std::memcpy(dst + 16, src + 16, 8);
  } else {
    for (size_t j = 0; j < len; ++j) dst[j] = src[j];
  }
}

inline uint32_t hashAt(const uint8_t* p) {
  return ((((uint32_t{p[0]} << 8) ^ (uint32_t{p[1]} << 4) ^ p[2]) * 40543u) >> 4) & 0x0FFFu;
}

inline void put16(uint8_t* o, uint32_t v) {  // high byte first
  o[0] = static_cast<uint8_t>(v >> 8);
  o[1] = static_cast<uint8_t>(v);
}

constexpr unsigned kGroupItems = 16;
// The hashes of this many positions are worked out at a time, ahead of the
// items (1 KB of stack): they take no part in the chain from one item to the
// next, which is what bounds the compressor's speed.
constexpr size_t kHashRow = 512;
// A group whose first item is this far from the piece's end can read no
// byte past it (15 items of at most 18, then the 18 of the last), and every
// item in it may compare whole words.
constexpr size_t kGroupReach = kGroupItems * kMaxCopy + kMaxCopy;
// ... and writes at most 2 bytes an item.
constexpr size_t kGroupOut = kGroupItems * 2;
static_assert(kGroupReach < kHashRow);

// The hash of every position from..from+kHashRow-1 below len into row.
// Positions near len use the two bytes after the piece, as hashAt does.
void hashRow(const uint8_t* in, size_t from, size_t len, uint16_t* row) {
  size_t k = 0;
#if defined(__SSE2__)
  // Only bits 4..15 of the 32-bit product are kept, and the low 16 bits of
  // a product depend only on the low 16 bits of its factors: eight 16-bit
  // multiplies give eight hashes.
  const __m128i zero = _mm_setzero_si128();
  const __m128i mul = _mm_set1_epi16(static_cast<int16_t>(40543));
  for (; k + 8 <= kHashRow && from + k + 8 <= len; k += 8) {
    const uint8_t* p = in + from + k;
    const __m128i a = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)), zero);
    const __m128i b = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p + 1)), zero);
    const __m128i c = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p + 2)), zero);
    const __m128i x = _mm_xor_si128(_mm_xor_si128(_mm_slli_epi16(a, 8), _mm_slli_epi16(b, 4)), c);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(row + k), _mm_srli_epi16(_mm_mullo_epi16(x, mul), 4));
  }
#endif
  for (; k < kHashRow && from + k < len; ++k) row[k] = static_cast<uint16_t>(hashAt(in + from + k));
}
}  // namespace

TLZR::TLZR() { hash_.fill(kEmpty); }

size_t TLZR::compress(const uint8_t* in, size_t len, uint8_t* out) {
  hash_.fill(kEmpty);
  out[0] = kCompressed;
  size_t control = 1, p = 3, i = 0;
  uint32_t bits = 0;
  unsigned items = 0;
  alignas(16) uint16_t row[kHashRow];
  size_t rowStart = 0;
  hashRow(in, 0, len, row);

  for (;;) {
    // A whole group far from the piece's end and from the stored size: no
    // item in it needs a bounds check, and each is decided without a branch
    // (on text a literal and a copy are about as likely).
    if (items == 0 && len - i > kGroupReach && p + kGroupOut <= len) {
      if (i + kGroupReach > rowStart + kHashRow) {
        rowStart = i;
        hashRow(in, i, len, row);
      }
      // The hash of position i; stepped with i, as indexing the row would
      // cost the chain a subtraction an item.
      const uint16_t* hash = row + (i - rowStart);
      for (; items < kGroupItems; ++items) {
        const uint64_t w = load64(in + i);
        const uint8_t c = static_cast<uint8_t>(w);
        // A run needs 16 equal bytes: rare, and left to the checked path.
        if (__builtin_expect(w == 0x0101010101010101ull * c && load64(in + i + 8) == w, 0)) break;
        const uint32_t h = *hash;
        const size_t cand = hash_[h];
        hash_[h] = static_cast<uint16_t>(i);
        const uint8_t* b = in + cand;
        const uint64_t x = w ^ load64(b);
        const size_t d = i - cand;  // an empty entry gives a distance past the window
        const size_t copy = size_t{0} - ((d < kWindow) & ((x & 0xFFFFFF) == 0));  // all ones or 0
        size_t m;
        if (__builtin_expect(x != 0, 1)) {
          // Little-endian: the first unequal byte. Shifted as unsigned, it
          // needs no widening on the way to i.
          m = static_cast<size_t>(static_cast<unsigned>(__builtin_ctzll(x))) >> 3;
        } else if (const uint64_t y = load64(in + i + 8) ^ load64(b + 8)) {
          m = 8 + (__builtin_ctzll(y) >> 3);
        } else {
          m = in[i + 16] != b[16] ? 16 : in[i + 17] != b[17] ? 17 : 18;
        }
        // Both items are made and one is kept: a copy's two bytes or the literal.
        const uint32_t code = static_cast<uint32_t>(d * 16 + (m - kMinCopy));
        const uint16_t item = static_cast<uint16_t>(((((code >> 8) | (code << 8)) ^ c) & copy) ^ c);
        std::memcpy(out + p, &item, 2);
        p += 1 + (copy & 1);
        // m for a copy, 1 for a literal (copy + 1 is 0 or 1): one step fewer
        // between the compare and the next item than 1 + ((m - 1) & copy).
        const size_t advance = (m & copy) + (copy + 1);
        i += advance;
        hash += advance;
        bits = bits * 2 + static_cast<uint32_t>(copy & 1);
      }
      if (items == kGroupItems) {
        if (!(i < len && p <= len)) break;
        put16(out + control, bits);
        control = p;
        p += 2;
        items = 0;
        bits = 0;
        continue;
      }
    }

    // One item with every check: near the ends, and for runs.
    if (!(i < len && p <= len)) break;
    if (items == kGroupItems) {
      put16(out + control, bits);
      control = p;
      p += 2;
      items = 0;
      bits = 0;
    }
    const uint8_t c = in[i];
    size_t r = 0;
    if (len - i >= kMinRun && allEqual16(in + i, c)) {
      const size_t runEnd = (len - i > kMaxRun) ? i + kMaxRun : len;
      r = i + kMinRun;
      while (r < runEnd && in[r] == c) ++r;
      r -= i;
    }
    unsigned bit;
    if (r >= kMinRun) {
      const size_t v = r - kMinRun;
      out[p] = 0;
      out[p + 1] = static_cast<uint8_t>(v >> 8);
      out[p + 2] = static_cast<uint8_t>(v);
      out[p + 3] = c;
      p += 4;
      i += r;
      bit = 1;
    } else {
      const uint32_t h = hashAt(in + i);
      const size_t cand = hash_[h];
      hash_[h] = static_cast<uint16_t>(i);
      size_t m = 0;
      if (i - cand < kWindow) m = commonPrefix(in + i, in + cand, std::min(len - i, kMaxCopy));
      if (m >= kMinCopy) {
        put16(out + p, static_cast<uint32_t>((i - cand) * 16 + (m - kMinCopy)));
        p += 2;
        i += m;
        bit = 1;
      } else {
        out[p++] = c;
        ++i;
        bit = 0;
      }
    }
    bits = bits * 2 + bit;
    ++items;
  }
  put16(out + control, (bits << (kGroupItems - items)) & 0xFFFF);

  if (p <= len) return p;
  // The compressed form would be longer than the piece: store it.
  out[0] = kStored;
  std::memcpy(out + 1, in, len);
  return len + 1;
}

size_t TLZR::expand(const uint8_t* in, size_t n, uint8_t* out) {
  if (n < 2) return 0;
  if (in[0] == kStored) {
    if (n - 1 > kPiece) throw ECorruptBlock("stored block longer than 32768 bytes");
    std::memcpy(out, in + 1, n - 1);
    return n - 1;
  }
  if (in[0] != kCompressed) throw ECorruptBlock("unknown block kind");

  size_t q = 1, o = 0;
  while (q < n) {
    if (n - q < 2) throw ECorruptBlock("control word cut short");
    // The group's item kinds sit at the top of w, `left` of them still due.
    uint32_t w = ((uint32_t{in[q]} << 8) | in[q + 1]) << 16;
    q += 2;
    int left = 16;
    // A group far from both ends needs no bounds checks but a run's length
    // and a copy's reach: 16 items read at most 64 bytes (and the literal
    // move 16 more), and write at most 16 x 18 plus 24 bytes of slack.
    constexpr size_t kGroupIn = 16 * 4 + 16, kGroupOut = 16 * 18 + 24;
    while (left > 0 && n - q >= kGroupIn && kPiece - o >= kGroupOut) {
      const size_t lit = static_cast<size_t>(__builtin_clz(w | (0xFFFFFFFFu >> left)));
      std::memcpy(out + o, in + q, 16);
      o += lit;
      q += lit;
      left -= static_cast<int>(lit);
      if (left == 0) break;
      w = (w << lit) << 1;
      --left;
      const size_t a = in[q], b = in[q + 1];
      const size_t d = a * 16 + (b >> 4);
      if (__builtin_expect(d == 0, 0)) {
        const size_t len = size_t{in[q + 1]} * 256 + in[q + 2] + kMinRun;
        if (len > kPiece - o) throw ECorruptBlock("block expands past 32768 bytes");
        std::memset(out + o, in[q + 3], len);
        o += len;
        q += 4;
        continue;  // the loop condition re-checks the room left
      }
      const size_t len = (b & 0x0F) + kMinCopy;
      if (__builtin_expect(d > o, 0)) throw ECorruptBlock("copy reaches before the start of the block");
      copyBack(out + o, d, len);
      o += len;
      q += 2;
    }
    while (left > 0 && q < n) {
      // Leading literals all at once: their count is the run of zero bits.
      const uint32_t stop = left == 32 ? 0 : 0xFFFFFFFFu >> left;
      size_t lit = static_cast<size_t>(__builtin_clz(w | stop));
      if (lit > n - q) lit = n - q;  // the last group's padding bits are not items
      if (lit) {
        if (lit > kPiece - o) throw ECorruptBlock("block expands past 32768 bytes");
        if (n - q >= 16 && kPiece - o >= 16)
          std::memcpy(out + o, in + q, 16);  // one move for up to 16; the rest is rewritten
        else
          std::memcpy(out + o, in + q, lit);
        o += lit;
        q += lit;
        left -= static_cast<int>(lit);
        w <<= lit;
        if (left == 0 || q >= n) break;
      }
      // A copy or a run.
      w <<= 1;
      --left;
      if (__builtin_expect(n - q < 2, 0)) throw ECorruptBlock("copy item cut short");
      const size_t a = in[q], b = in[q + 1];
      const size_t d = a * 16 + (b >> 4);
      if (__builtin_expect(d == 0, 0)) {
        if (n - q < 4) throw ECorruptBlock("run item cut short");
        const size_t len = size_t{in[q + 1]} * 256 + in[q + 2] + kMinRun;
        if (len > kPiece - o) throw ECorruptBlock("block expands past 32768 bytes");
        std::memset(out + o, in[q + 3], len);
        o += len;
        q += 4;
        continue;
      }
      const size_t len = (b & 0x0F) + kMinCopy;
      if (__builtin_expect(d > o || len > kPiece - o, 0))
        throw ECorruptBlock(d > o ? "copy reaches before the start of the block"
                                  : "block expands past 32768 bytes");
      copyBack(out + o, d, len);
      o += len;
      q += 2;
    }
  }
  return o;
}

}  // namespace ombrix::lzrw
