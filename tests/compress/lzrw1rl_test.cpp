// The Fast block format, byte for byte.
#include "compress/lzrw1rl.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace ombrix::lzrw {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes block(const Bytes& in) {
  Bytes padded(in);
  padded.resize(in.size() + 2);
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
