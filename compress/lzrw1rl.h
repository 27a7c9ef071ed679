// TLZR: the block codec of mode Fast, LZRW1 with a run item and a stored
// fallback. Every byte it writes is part of the tally file format.
//
// Block data: byte 0 is the kind, 0x80 stored (the piece follows as it is) or
// 0x40 compressed (groups of a 16-bit control word, high byte first, and up
// to 16 items). A control bit 0 is a literal byte; 1 is either a copy, two
// bytes A B with distance A*16 + (B>>4) in 1..4095 and length (B&15)+3, or,
// when those first 12 bits are 0, a run: 00 Hi Lo V, Lo+Hi*256+16 copies of V.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace ombrix::lzrw {

constexpr size_t kPiece = 32768;             // input bytes per block
constexpr size_t kBufferSize = kPiece + 16;  // room for the compressor's overshoot
constexpr size_t kMaxBlock = kPiece + 1;     // a stored full piece
constexpr uint8_t kStored = 0x80;
constexpr uint8_t kCompressed = 0x40;

class ELzrw1RLCompressor : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A block that cannot have come from the compressor.
class ECorruptBlock : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TLZR {
 public:
  TLZR();

  // Compresses `len` (0..kPiece) bytes of `in` into `out`. Both must hold
  // kBufferSize bytes, whatever len is: the two bytes after the piece enter
  // the hash of its last two positions (never a match), and a comparison
  // with an empty table entry reads at kPiece. Returns the block length, at
  // most len + 1.
  size_t compress(const uint8_t* in, size_t len, uint8_t* out);

  // Expands one block of `n` bytes into `out` (kBufferSize bytes of room:
  // copies may write a few bytes of slack past the output) and
  // returns the bytes produced. Throws ECorruptBlock for an unknown kind, an
  // item cut short, a copy reaching before the block, or output past kPiece.
  static size_t expand(const uint8_t* in, size_t n, uint8_t* out);

 private:
  // The format marks an empty entry 0xFFFF. 0x8000 serves the same: it lies
  // above every position, so the window test alone rejects it, and unlike
  // 0xFFFF it points inside the buffer, so the bytes there may be compared
  // before that test is decided. The output is the same.
  static constexpr uint16_t kEmpty = 0x8000;
  std::array<uint16_t, 4096> hash_;  // 8192 bytes, cleared for every block
};

}  // namespace ombrix::lzrw
