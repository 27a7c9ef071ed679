// Both compressors on arbitrary bytes: a block expands back to them and is
// never longer than the piece plus its kind byte, and the Good stream decodes
// back to them. Under the sanitizers this also proves that the word-wide
// reads stay inside the buffers.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "compress/lzh.h"
#include "compress/lzrw1rl.h"
#include "tests/compress/fuzz_target.h"

namespace ombrix::lzrw {

namespace {

struct Source : ByteSource {
  const uint8_t* data;
  size_t left;
  size_t read(uint8_t* buf, size_t n) override {
    n = n < left ? n : left;
    if (n) std::memcpy(buf, data, n);
    data += n;
    left -= n;
    return n;
  }
};

struct Sink : ByteSink {
  std::vector<uint8_t> bytes;
  void write(const uint8_t* buf, size_t n) override { bytes.insert(bytes.end(), buf, buf + n); }
};

}  // namespace

int roundTripAnything(const uint8_t* data, size_t size) {
  static TLZR lzr;
  static TLZH lzh;
  std::vector<uint8_t> in(kBufferSize, 0), block(kBufferSize), back(kBufferSize);
  const size_t len = size < kPiece ? size : kPiece;
  if (len) std::memcpy(in.data(), data, len);
  const size_t n = lzr.compress(in.data(), len, block.data());
  if (n > len + 1 || n == 0) std::abort();
  if (TLZR::expand(block.data(), n, back.data()) != len) std::abort();
  if (len && std::memcmp(back.data(), data, len) != 0) std::abort();

  std::vector<uint8_t> a(TLZH::kIo), b(TLZH::kIo);
  Source src;
  src.data = data;
  src.left = size;
  Sink coded;
  lzh.encode(src, coded, a.data(), b.data());
  Source again;
  again.data = coded.bytes.data();
  again.left = coded.bytes.size();
  Sink decoded;
  lzh.decode(again, decoded, size, a.data(), b.data());
  if (decoded.bytes.size() != size || (size && std::memcmp(decoded.bytes.data(), data, size) != 0))
    std::abort();
  return 0;
}

}  // namespace ombrix::lzrw
