#include "compress/lzh.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>

namespace ombrix::lzrw {

namespace {

constexpr int N = 4096;                       // ring buffer
constexpr int F = 60;                         // look-ahead, longest match
constexpr int kThreshold = 2;                 // a match must be longer than this
constexpr int kChars = 256 - kThreshold + F;  // 314 symbols
constexpr int T = kChars * 2 - 1;             // 627 tree nodes
constexpr int R = T - 1;                      // the root
constexpr unsigned kMaxFreq = 0x8000;
constexpr int kStart = N - F;  // 4036: first write position, spaces before it

// LZHUF's fixed prefix code for the upper 6 bits of a distance: canonical,
// one value of 3 bits, 3 of 4, 8 of 5, 12 of 6, 24 of 7 and 16 of 8, codes in
// increasing order of value. Codes are kept left-aligned in a byte.
struct PositionCode {
  std::array<uint8_t, 64> len{}, code{};
  std::array<uint8_t, 256> dlen{}, dcode{};
};

constexpr PositionCode makePositionCode() {
  PositionCode pc;
  constexpr int counts[] = {0, 0, 0, 1, 3, 8, 12, 24, 16};
  int v = 0;
  unsigned next = 0;
  for (int l = 3; l <= 8; ++l) {
    for (int k = 0; k < counts[l]; ++k, ++v, ++next) {
      pc.len[v] = static_cast<uint8_t>(l);
      pc.code[v] = static_cast<uint8_t>(next << (8 - l));
      // Every byte starting with this code decodes to v.
      for (unsigned low = 0; low < (1u << (8 - l)); ++low) {
        pc.dcode[pc.code[v] | low] = static_cast<uint8_t>(v);
        pc.dlen[pc.code[v] | low] = static_cast<uint8_t>(l);
      }
    }
    next <<= 1;
  }
  return pc;
}
constexpr PositionCode kPos = makePositionCode();

class BitWriter {
 public:
  BitWriter(ByteSink& sink, uint8_t* buf) : sink_(sink), buf_(buf) {}
  // The low n bits of v, most significant first; n <= 24.
  void put(int n, uint32_t v) {
    acc_ = (acc_ << n) | v;
    bits_ += n;
    while (bits_ >= 8) {
      bits_ -= 8;
      byte(static_cast<uint8_t>(acc_ >> bits_));
    }
  }
  void finish() {
    if (bits_ > 0) byte(static_cast<uint8_t>(acc_ << (8 - bits_)));
    bits_ = 0;
    flush();
  }
  uint64_t written() const { return total_ + used_; }

 private:
  void byte(uint8_t b) {
    buf_[used_++] = b;
    if (used_ == TLZH::kIo) flush();
  }
  void flush() {
    if (used_) sink_.write(buf_, used_);
    total_ += used_;
    used_ = 0;
  }
  ByteSink& sink_;
  uint8_t* buf_;
  size_t used_ = 0;
  uint64_t total_ = 0;
  uint64_t acc_ = 0;
  int bits_ = 0;
};

class BitReader {
 public:
  BitReader(ByteSource& src, uint8_t* buf) : src_(src), buf_(buf) {}
  unsigned bit() {
    if (bits_ == 0) {
      acc_ = next();
      bits_ = 8;
    }
    --bits_;
    return (acc_ >> bits_) & 1u;
  }
  unsigned byte8() {
    unsigned v = 0;
    if (bits_ == 0) return next();
    v = (acc_ << (8 - bits_)) & 0xFFu;
    acc_ = next();
    return v | (acc_ >> bits_);
  }
  uint64_t consumed() const { return total_; }
  // True when nothing but zero padding is left: no whole byte and no set bit.
  bool exhausted() {
    if (bits_ > 0 && (acc_ & ((1u << bits_) - 1)) != 0) return false;
    if (pos_ < len_) return false;
    len_ = src_.read(buf_, TLZH::kIo);
    pos_ = 0;
    return len_ == 0;
  }

 private:
  unsigned next() {
    if (pos_ == len_) {
      len_ = src_.read(buf_, TLZH::kIo);
      pos_ = 0;
      if (len_ == 0) throw ELzhTruncated();
    }
    ++total_;
    return buf_[pos_++];
  }
  ByteSource& src_;
  uint8_t* buf_;
  size_t pos_ = 0, len_ = 0;
  uint64_t total_ = 0;
  unsigned acc_ = 0;
  int bits_ = 0;
};

}  // namespace

struct TLZH::Tables {
  // F - 1 bytes mirror the buffer's start so matches can wrap; 8 more let
  // the comparison read whole words without leaving the array.
  uint8_t text[N + F - 1 + 8] = {};
  unsigned freq[T + 1];
  int prnt[T + kChars], son[T];
  int matchPosition = 0, matchLength = 0;

  // --- The search tree of buffer positions -----------------------------------
  // One binary search tree of positions, ordered by the strings that start
  // there, for each hash of a string's first three bytes. Each new position
  // becomes the root of its tree and the old tree is split, along the search
  // path, into its two subtrees: so positions grow older down every path, a
  // position that has left the window ends the path, and no node is ever
  // deleted. The longest match lies on the search path; the first of equal
  // length met there is the nearest. Positions are kept in 16 bits and a
  // compare always starts at the first byte, so a link gone stale can cost
  // a match but never yield a false one.
  static constexpr int kHeads = 4096;
  static constexpr unsigned kWindow = N - F;  // 4036 bytes behind the look-ahead are history
  // Paths longer than this are cut: in a 4096-byte window they are rare, and
  // sorted input (a word list) would otherwise make them long.
  static constexpr int kMaxSteps = 32;
  static constexpr uint16_t kGone = kWindow + 1000;  // subtracted: a distance past the window
  uint16_t head[kHeads];
  uint16_t child[2 * N];  // [2p] the smaller strings, [2p + 1] the greater

  static unsigned hash3(const uint8_t* p) {
    return ((((unsigned{p[0]} << 8) ^ (unsigned{p[1]} << 4) ^ p[2]) * 40543u) >> 4) & (kHeads - 1);
  }

  // Equal leading bytes of a and b, at most limit (<= F).
  static int commonPrefix(const uint8_t* a, const uint8_t* b, int limit) {
    for (int i = 0; i < limit; i += 8) {
      uint64_t x, y;
      std::memcpy(&x, a + i, 8);
      std::memcpy(&y, b + i, 8);
      if (const uint64_t d = x ^ y) return std::min(i + (__builtin_ctzll(d) >> 3), limit);
    }
    return limit;
  }

  void initTree(uint32_t first) { std::fill(head, head + kHeads, static_cast<uint16_t>(first - kGone)); }

  // Inserts the string at `at` (a count of positions whose low 12 bits are
  // the buffer index), compared over at most `limit` bytes, and leaves the
  // longest earlier match in matchPosition/matchLength (0 when none is
  // longer than the threshold). A match over the whole limit takes the old
  // node's place: it could never again be the better one.
  void insertNode(uint32_t at, int limit) {
    const uint16_t now = static_cast<uint16_t>(at);
    const int r = static_cast<int>(at & (N - 1));
    const uint8_t* key = &text[r];
    const unsigned h = hash3(key);
    uint16_t cand = head[h];
    head[h] = now;
    uint64_t key8;
    std::memcpy(&key8, key, 8);
    const uint64_t keyOrder = __builtin_bswap64(key8);  // compares as the bytes do
    uint64_t keyB;                                      // the key's bytes 8..15
    std::memcpy(&keyB, key + 8, 8);
    const uint64_t keyOrderB = __builtin_bswap64(keyB);
    // Where the next node of smaller (slots[1]) and greater (slots[0])
    // strings is to hang.
    uint16_t* slots[2] = {&child[2 * r + 1], &child[2 * r]};
    int best = kThreshold;
    unsigned bestDistance = 0;
    for (int steps = kMaxSteps;; --steps) {
      const unsigned distance = static_cast<uint16_t>(now - cand);
      if (distance - 1 >= kWindow || steps == 0) {
        *slots[0] = *slots[1] = static_cast<uint16_t>(now - kGone);
        break;
      }
      const int p = cand & (N - 1);
      const uint8_t* other = &text[p];
      uint64_t other8, otherB;
      std::memcpy(&other8, other, 8);
      std::memcpy(&otherB, other + 8, 8);
      int len;
      unsigned greater;  // the key is the greater string
      const uint64_t x = other8 ^ key8, xb = otherB ^ keyB;
      const bool first = x != 0;
      const uint64_t xs = first ? x : xb;
      if (__builtin_expect(xs != 0, 1)) {
        // Length and direction from the first unequal word, picked without
        // a branch (8 equal bytes are common in text). The direction comes
        // straight from the word, so it need not wait for the length.
        const uint64_t os = first ? other8 : otherB;
        const uint64_t ks = first ? keyOrder : keyOrderB;
        len = std::min((first ? 0 : 8) + (__builtin_ctzll(xs) >> 3), limit);
        greater = __builtin_bswap64(os) < ks;
      } else {
        len = commonPrefix(key, other, limit);
        greater = other[len] < key[len];
      }
      uint16_t* pair = &child[2 * p];
      if (__builtin_expect(len >= limit, 0)) {
        if (len > best) {
          best = len;
          bestDistance = distance;
        }
        *slots[1] = pair[0];
        *slots[0] = pair[1];
        break;
      }
      const bool better = len > best;  // a coin toss on text: selected, not branched
      best = better ? len : best;
      bestDistance = better ? distance : bestDistance;
      *slots[greater] = cand;
      slots[greater] = pair + greater;
      cand = pair[greater];
    }
    matchLength = best > kThreshold ? best : 0;
    matchPosition = static_cast<int>(bestDistance) - 1;
  }

  // --- The adaptive Huffman tree ------------------------------------------------
  void startHuff() {
    for (int i = 0; i < kChars; ++i) {
      freq[i] = 1;
      son[i] = i + T;
      prnt[i + T] = i;
    }
    for (int i = 0, j = kChars; j <= R; i += 2, ++j) {
      freq[j] = freq[i] + freq[i + 1];
      son[j] = i;
      prnt[i] = prnt[i + 1] = j;
    }
    freq[T] = 0xFFFF;  // sentinel above every count
    prnt[R] = 0;
  }

  // Halves the counts and rebuilds the tree. The insertion shifts exactly
  // j - k entries of freq and son: a byte count here (as in the 16-bit
  // original's memmove) would build a tree no other decoder agrees with.
  void reconst() {
    int j = 0;
    for (int i = 0; i < T; ++i) {
      if (son[i] >= T) {
        freq[j] = (freq[i] + 1) / 2;
        son[j] = son[i];
        ++j;
      }
    }
    for (int i = 0, jj = kChars; jj < T; i += 2, ++jj) {
      const unsigned f = freq[i] + freq[i + 1];
      int k = jj - 1;
      while (f < freq[k]) --k;
      ++k;
      std::copy_backward(freq + k, freq + jj, freq + jj + 1);
      freq[k] = f;
      std::copy_backward(son + k, son + jj, son + jj + 1);
      son[k] = i;
    }
    for (int i = 0; i < T; ++i) {
      const int k = son[i];
      if (k >= T)
        prnt[k] = i;
      else
        prnt[k] = prnt[k + 1] = i;
    }
  }

  void update(int c) {
    if (freq[R] == kMaxFreq) reconst();
    c = prnt[c + T];
    do {
      const unsigned k = ++freq[c];
      int l = c + 1;
      if (k > freq[l]) {
        while (k > freq[++l]) {
        }
        --l;
        freq[c] = freq[l];
        freq[l] = k;
        const int i = son[c];
        prnt[i] = l;
        if (i < T) prnt[i + 1] = l;
        const int jj = son[l];
        son[l] = i;
        prnt[jj] = c;
        if (jj < T) prnt[jj + 1] = c;
        son[c] = jj;
        c = l;
      }
    } while ((c = prnt[c]) != 0);
  }

  void encodeChar(BitWriter& w, int c) {
    // Walk leaf to root collecting the path; emit it root first.
    uint32_t code = 0;
    int depth = 0;
    uint8_t deep[T];
    int deepCount = 0;
    for (int k = prnt[c + T]; k != R; k = prnt[k]) {
      if (depth < 24) {
        code |= static_cast<uint32_t>(k & 1) << depth;
        ++depth;
      } else {
        deep[deepCount++] = static_cast<uint8_t>(k & 1);  // pathological depths only
      }
    }
    while (deepCount > 0) w.put(1, deep[--deepCount]);
    w.put(depth, code);
    update(c);
  }

  void encodePosition(BitWriter& w, unsigned c) {
    const unsigned i = c >> 6;
    w.put(kPos.len[i], kPos.code[i] >> (8 - kPos.len[i]));
    w.put(6, c & 0x3F);
  }

  int decodeChar(BitReader& r) {
    int c = son[R];
    while (c < T) c = son[c + static_cast<int>(r.bit())];
    c -= T;
    update(c);
    return c;
  }

  unsigned decodePosition(BitReader& r) {
    unsigned i = r.byte8();
    const unsigned c = static_cast<unsigned>(kPos.dcode[i]) << 6;
    for (int j = kPos.dlen[i] - 2; j > 0; --j) i = (i << 1) + r.bit();
    return c | (i & 0x3F);
  }
};

TLZH::TLZH() {
  try {
    t_ = std::make_unique<Tables>();
  } catch (const std::bad_alloc&) {
    throw ElzhException("LZH : Cannot get memory for dictionary tables");
  }
}

TLZH::~TLZH() = default;

uint64_t TLZH::encode(ByteSource& src, ByteSink& dst, uint8_t* inBuf, uint8_t* outBuf,
                      const Progress& progress) {
  Tables& t = *t_;
  BitWriter w(dst, outBuf);
  size_t inPos = 0, inLen = 0;
  uint64_t inTotal = 0;
  bool atEnd = false;
  auto getc = [&]() -> int {
    if (inPos == inLen) {
      if (atEnd) return -1;
      inLen = src.read(inBuf, kIo);
      inPos = 0;
      inTotal += inLen;
      if (progress) progress(inTotal, w.written());
      if (inLen < kIo) atEnd = true;
      if (inLen == 0) return -1;
    }
    return inBuf[inPos++];
  };

  t.startHuff();
  int s = 0, r = kStart;
  std::fill(t.text, t.text + r, ' ');
  int len = 0;
  for (int c; len < F && (c = getc()) >= 0; ++len) t.text[r + len] = static_cast<uint8_t>(c);
  if (len == 0) {
    w.finish();
    return w.written();
  }
  // The F positions of spaces before the first byte may be matched too;
  // positions count on from them, and nodes only ever point to older ones.
  uint32_t at = static_cast<uint32_t>(r - F);
  t.initTree(at);
  for (int i = 0; i < F; ++i) t.insertNode(at++, F);
  t.insertNode(at, len);
  do {
    if (t.matchLength > len) t.matchLength = len;
    if (t.matchLength <= kThreshold) {
      t.matchLength = 1;
      t.encodeChar(w, t.text[r]);
    } else {
      t.encodeChar(w, 255 - kThreshold + t.matchLength);
      t.encodePosition(w, static_cast<unsigned>(t.matchPosition));
    }
    const int last = t.matchLength;
    int i = 0;
    for (int c; i < last && (c = getc()) >= 0; ++i) {
      // The oldest byte gives way; its node falls out of the window with it.
      t.text[s] = static_cast<uint8_t>(c);
      if (s < F - 1) t.text[s + N] = static_cast<uint8_t>(c);
      s = (s + 1) & (N - 1);
      r = (r + 1) & (N - 1);
      t.insertNode(++at, len);
    }
    while (i++ < last) {
      s = (s + 1) & (N - 1);
      r = (r + 1) & (N - 1);
      ++at;
      if (--len) t.insertNode(at, len);
    }
  } while (len > 0);
  w.finish();
  if (progress) progress(inTotal, w.written());
  return w.written();
}

uint64_t TLZH::decode(ByteSource& src, ByteSink& dst, uint64_t size, uint8_t* inBuf, uint8_t* outBuf,
                      const Progress& progress) {
  Tables& t = *t_;
  BitReader rd(src, inBuf);
  t.startHuff();
  std::fill(t.text, t.text + kStart, ' ');
  std::fill(t.text + kStart, t.text + N, 0);
  int r = kStart;
  uint64_t count = 0;
  size_t used = 0;
  auto put = [&](uint8_t c) {
    outBuf[used++] = c;
    t.text[r] = c;
    r = (r + 1) & (N - 1);
    ++count;
    if (used == kIo) {
      dst.write(outBuf, used);
      used = 0;
      if (progress) progress(rd.consumed(), count);
    }
  };
  while (count < size) {
    const int c = t.decodeChar(rd);
    if (c < 256) {
      put(static_cast<uint8_t>(c));
    } else {
      const int i = (r - static_cast<int>(t.decodePosition(rd)) - 1) & (N - 1);
      const int j = c - 255 + kThreshold;
      // A damaged stream may run past the size; never write beyond it.
      for (int k = 0; k < j && count < size; ++k) put(t.text[(i + k) & (N - 1)]);
    }
  }
  if (used) dst.write(outBuf, used);
  if (progress) progress(rd.consumed(), count);
  // Data left over means the size field was smaller than what was coded.
  trailing_ = !rd.exhausted();
  return count;
}

}  // namespace ombrix::lzrw
