// The Fast block format, byte for byte.
#include "compress/lzrw1rl.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace ombrix::lzrw {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes block(const Bytes& in) {
  Bytes padded(in);
  padded.resize(kBufferSize);
  Bytes out(kBufferSize);
  TLZR codec;
  out.resize(codec.compress(padded.data(), in.size(), out.data()));
  return out;
}

Bytes expand(const Bytes& blk) {
  Bytes out(kBufferSize);
  out.resize(TLZR::expand(blk.data(), blk.size(), out.data()));
  return out;
}

// The block algorithm written out plainly, a byte and a branch at a time,
// with the format's own empty marker: the tuned compressor must agree with
// it byte for byte.
Bytes modelBlock(const Bytes& src) {
  const size_t len = src.size();
  Bytes in(src);
  in.resize(len + 2);  // the two zero bytes after the piece
  std::vector<uint16_t> table(4096, 0xFFFF);
  Bytes out(len + 80);
  out[0] = 0x40;
  size_t control = 1, p = 3, i = 0;
  unsigned bits = 0, items = 0;
  while (i < len && p <= len) {
    if (items == 16) {
      out[control] = static_cast<uint8_t>(bits >> 8);
      out[control + 1] = static_cast<uint8_t>(bits);
      control = p;
      p += 2;
      items = 0;
    }
    size_t r = 1;
    while (r < 4095 && i + r < len && in[i + r] == in[i]) ++r;
    unsigned bit = 1;
    if (r >= 16) {
      out[p] = 0;
      out[p + 1] = static_cast<uint8_t>((r - 16) >> 8);
      out[p + 2] = static_cast<uint8_t>(r - 16);
      out[p + 3] = in[i];
      i += r;
      p += 4;
    } else {
      const uint32_t h = ((((((uint32_t{in[i]} * 16) ^ in[i + 1]) * 16) ^ in[i + 2]) * 40543u) >> 4) & 0x0FFF;
      const size_t cand = table[h];
      table[h] = static_cast<uint16_t>(i);
      size_t m = 0;
      if (cand != 0xFFFF && i - cand < 4096)
        while (m < 18 && i + m < len && in[i + m] == in[cand + m]) ++m;
      if (m >= 3) {
        const size_t v = (i - cand) * 16 + (m - 3);
        out[p] = static_cast<uint8_t>(v >> 8);
        out[p + 1] = static_cast<uint8_t>(v);
        i += m;
        p += 2;
      } else {
        out[p] = in[i];
        i += 1;
        p += 1;
        bit = 0;
      }
    }
    bits = ((bits << 1) | bit) & 0xFFFF;
    ++items;
  }
  bits = (bits << (16 - items)) & 0xFFFF;
  out[control] = static_cast<uint8_t>(bits >> 8);
  out[control + 1] = static_cast<uint8_t>(bits);
  if (p <= len) {
    out.resize(p);
    return out;
  }
  Bytes stored{0x80};
  stored.insert(stored.end(), src.begin(), src.end());
  return stored;
}

// Where two blocks first differ, for a readable failure.
std::string firstDifference(const Bytes& a, const Bytes& b) {
  size_t k = 0;
  while (k < a.size() && k < b.size() && a[k] == b[k]) ++k;
  return "first difference at byte " + std::to_string(k) + " of " + std::to_string(a.size()) + " / " +
         std::to_string(b.size());
}

TEST(Lzr, EmptyPieceIsTheOneByteStoredBlock) { EXPECT_EQ(block({}), (Bytes{0x80})); }

TEST(Lzr, TwentyEqualBytesAreOneRun) {
  EXPECT_EQ(block(Bytes(20, 'z')), (Bytes{0x40, 0x80, 0x00, 0x00, 0x00, 0x04, 'z'}));
}

TEST(Lzr, ShortPiecesAreStored) {
  EXPECT_EQ(block({'a', 'b', 'c'}), (Bytes{0x80, 'a', 'b', 'c'}));
  EXPECT_EQ(block({7}), (Bytes{0x80, 7}));
}

TEST(Lzr, CopiesCarryDistanceAndLengthHighByteFirst) {
  // "abcdabcdabcd": four literals, then a copy of 8 at distance 4.
  const Bytes in = {'a', 'b', 'c', 'd', 'a', 'b', 'c', 'd', 'a', 'b', 'c', 'd'};
  // control 0000 1 -> 0x08 0x00; copy (4*16 + 8-3) = 0x0045
  EXPECT_EQ(block(in), (Bytes{0x40, 0x08, 0x00, 'a', 'b', 'c', 'd', 0x00, 0x45}));
  EXPECT_EQ(expand(block(in)), in);
}

TEST(Lzr, LongRunsSplitAt4095AndRunFieldsStayUnderSixteen) {
  const Bytes in(5000, 0);
  const Bytes b = block(in);
  // 4095 = 0x0FFF - 16 = 0x0FEF
  ASSERT_GE(b.size(), 7u);
  EXPECT_EQ(Bytes(b.begin(), b.begin() + 7), (Bytes{0x40, 0xC0, 0x00, 0x00, 0x0F, 0xEF, 0x00}));
  EXPECT_EQ(expand(b), in);
}

TEST(Lzr, ACompressedFormExactlyAsLongAsThePieceStaysCompressed) {
  // Search deterministic inputs for one whose compressed form is exactly
  // its own length; it must keep kind 0x40 rather than be stored.
  std::mt19937 rng(5);
  bool found = false;
  for (int attempt = 0; attempt < 20000 && !found; ++attempt) {
    Bytes in(8 + rng() % 40);
    for (auto& c : in) c = static_cast<uint8_t>('a' + rng() % 3);
    const Bytes b = block(in);
    if (b.size() == in.size()) {
      found = true;
      EXPECT_EQ(b[0], kCompressed);
      EXPECT_EQ(expand(b), in);
    }
  }
  EXPECT_TRUE(found);
}

TEST(Lzr, RoundTripsAcrossShapes) {
  std::mt19937 rng(11);
  for (size_t len : {size_t{1}, size_t{2}, size_t{17}, size_t{4096}, size_t{4111}, size_t{32767}, kPiece}) {
    for (int shape = 0; shape < 4; ++shape) {
      Bytes in(len);
      for (size_t i = 0; i < len; ++i) {
        switch (shape) {
          case 0:
            in[i] = static_cast<uint8_t>(rng());
            break;  // noise
          case 1:
            in[i] = static_cast<uint8_t>("the cat sat "[i % 12]);
            break;  // text
          case 2:
            in[i] = static_cast<uint8_t>((i / 300) & 1 ? 'x' : rng() % 4);
            break;  // runs
          case 3:
            in[i] = static_cast<uint8_t>(i * i >> 7);
            break;
        }
      }
      const Bytes b = block(in);
      ASSERT_LE(b.size(), len + 1);
      ASSERT_EQ(expand(b), in) << "len " << len << " shape " << shape;
    }
  }
}

TEST(Lzr, AgreesWithThePlainAlgorithmOnEveryShape) {
  // Shapes that take each path of the tuned compressor: text (copies and
  // literals about even), long repeats (copies of 18, whole equal words),
  // runs of 15 to 17 and past 4095 at any offset, a piece just long enough
  // to be stored, noise, and lengths on either side of a group's reach.
  std::mt19937 rng(29);
  const char* words[] = {"and ", "the ", "LORD ", "unto ", "said ", "of ", "thee ", "shall "};
  auto make = [&](int shape, size_t len) {
    Bytes in;
    while (in.size() < len) {
      switch (shape) {
        case 0:
          for (const char* w = words[rng() % 8]; *w; ++w) in.push_back(static_cast<uint8_t>(*w));
          break;
        case 1:  // a short pattern repeated: copies of 18 at small distances
          for (int k = 0; k < 40; ++k) in.push_back(static_cast<uint8_t>("abcab"[k % 5]));
          break;
        case 2: {  // runs of every length near the run threshold
          const size_t r = 14 + rng() % 5;
          in.insert(in.end(), r, static_cast<uint8_t>(rng() % 3));
          in.push_back(static_cast<uint8_t>(rng()));
          break;
        }
        case 3:  // text broken by a long run
          if (rng() % 50 == 0) in.insert(in.end(), 4000 + rng() % 200, 'z');
          for (const char* w = words[rng() % 8]; *w; ++w) in.push_back(static_cast<uint8_t>(*w));
          break;
        case 4:  // noise with a little text: near the stored threshold
          if (rng() % 4)
            in.push_back(static_cast<uint8_t>(rng()));
          else
            in.push_back('e');
          break;
        default:
          in.push_back(static_cast<uint8_t>(rng()));
          break;
      }
    }
    in.resize(len);
    return in;
  };
  for (int shape = 0; shape < 6; ++shape) {
    for (size_t len : {size_t{0}, size_t{5}, size_t{18}, size_t{19}, size_t{305}, size_t{306}, size_t{307},
                       size_t{340}, size_t{1000}, size_t{4097}, size_t{20000}, kPiece - 1, kPiece}) {
      const Bytes in = make(shape, len);
      const Bytes want = modelBlock(in);
      const Bytes got = block(in);
      ASSERT_EQ(got, want) << "shape " << shape << " len " << len << ": " << firstDifference(got, want);
      ASSERT_EQ(expand(got), in);
    }
  }
}

TEST(Lzr, DamagedBlocksAreRefusedNotOverrun) {
  auto refused = [](Bytes b) {
    Bytes out(kBufferSize);
    EXPECT_THROW(TLZR::expand(b.data(), b.size(), out.data()), ECorruptBlock);
  };
  refused({0x41, 0});                             // unknown kind
  refused({0x40, 0x80, 0x00, 0x00, 0x12});        // copy reaching before the block
  refused({0x40, 0x80, 0x00, 0x00});              // copy cut short
  refused({0x40, 0x80, 0x00, 0x00, 0x00, 0x04});  // run cut short
  refused({0x40, 0x00});                          // control word cut short
  // Runs adding up past 32768 bytes.
  Bytes runs = {0x40, 0xFF, 0xFF};
  for (int i = 0; i < 16; ++i) runs.insert(runs.end(), {0x00, 0x0F, 0xEF, 'x'});
  refused(runs);
  // A stored block cannot hold more than a piece.
  Bytes stored(kPiece + 2, 1);
  stored[0] = kStored;
  refused(stored);
}

}  // namespace
}  // namespace ombrix::lzrw
