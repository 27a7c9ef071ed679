// TLZH: the codec of mode Good, the published LZHUF method.
//
// LZSS over a 4096-byte ring buffer (the first 4036 bytes start as spaces,
// writing starts at 4036), matches of 3..60 bytes found with a binary search
// tree of buffer positions, and an adaptive Huffman coder over 314 symbols
// (256 bytes, then lengths 3..60 as 256..313) in a tree of 627 nodes, halved
// and rebuilt when the root count reaches 0x8000. A match distance is coded
// as distance - 1: its upper 6 bits by LZHUF's fixed prefix code, its lower 6
// bits plain. Bits go most significant first; the last byte is padded with 0.
// This is the bit stream of LHA's method -lh1- without a size prefix.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>

namespace ombrix::lzrw {

class ElzhException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The input ran out before `size` bytes were decoded.
class ELzhTruncated : public std::runtime_error {
 public:
  ELzhTruncated() : std::runtime_error("LZH bit stream ends early") {}
};

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Reads up to n bytes; fewer only at the end of the input. Throws on errors.
  virtual size_t read(uint8_t* buf, size_t n) = 0;
};

class ByteSink {
 public:
  virtual ~ByteSink() = default;
  // Writes all n bytes or throws.
  virtual void write(const uint8_t* buf, size_t n) = 0;
};

// Bytes in and out so far, called between buffers.
using Progress = std::function<void(uint64_t in, uint64_t out)>;

class TLZH {
 public:
  TLZH();
  ~TLZH();

  // Encodes the whole of `src`. inBuf and outBuf hold kIo bytes each.
  // Returns the bytes written.
  uint64_t encode(ByteSource& src, ByteSink& dst, uint8_t* inBuf, uint8_t* outBuf,
                  const Progress& progress = {});
  // Decodes exactly `size` bytes; throws ELzhTruncated if the input ends
  // first. Returns the bytes written (= size); see trailingData().
  uint64_t decode(ByteSource& src, ByteSink& dst, uint64_t size, uint8_t* inBuf, uint8_t* outBuf,
                  const Progress& progress = {});

  static constexpr size_t kIo = 32768;

  // After decode(): the input held more than the coded `size` bytes.
  bool trailingData() const { return trailing_; }

 private:
  bool trailing_ = false;
  struct Tables;
  std::unique_ptr<Tables> t_;
};

}  // namespace ombrix::lzrw
