// Tlzrw1: compresses one file (or stream) into the container and back.
//
// Container, little-endian: identifier (4 bytes: 0x4C5A5257 for Fast, the
// LZRW1/RL blocks; 0x4C5A4821 for Good, one LZHUF bit stream), the
// uncompressed size (4 bytes, unsigned), then the data. Fast data is a
// sequence of blocks, each a 2-byte length and that many bytes of block data
// (compress/lzrw1rl.h); the first block expanding to less than 32768 bytes is
// the last, so an input whose length is a multiple of 32768 ends with the
// block made from zero bytes, 01 00 80.
//
// Every failure is an exception with a fixed English text; once the output
// file exists, a failure closes and deletes it first.
#pragma once

#include <cstdint>
#include <functional>
#include <istream>
#include <memory>
#include <ostream>
#include <stdexcept>
#include <string>

#include "compress/lzh.h"
#include "compress/lzrw1rl.h"

namespace ombrix::lzrw {

enum TCompressMode { Good = 0, Fast = 1, Auto = 2 };

constexpr uint32_t kFastId = 0x4C5A5257;
constexpr uint32_t kGoodId = 0x4C5A4821;

class ELzrw1Exception : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class Tlzrw1 {
 public:
  Tlzrw1();
  ~Tlzrw1();

  // Published properties.
  bool UseStream = false;
  std::string InputFile;
  std::string OutputFile;
  TCompressMode CompressMode = Good;
  int Threshold = 40;

  // The component shows its captions only while visible.
  bool Visible = true;
  std::string Caption = "LZRW1/RL Compressor / Decompressor";
  // Told every new caption while visible.
  std::function<void(const std::string&)> OnCaption;
  // "Let the user interface process its messages": called between blocks.
  std::function<void()> ProcessMessages;

  // Streams for UseStream.
  std::istream* InputStream = nullptr;
  std::ostream* OutputStream = nullptr;

  // Returns the bytes written, header included.
  uint64_t Compress();
  uint64_t Decompress();
  // 1 recommends Fast, 0 Good.
  int Advise();

  uint64_t bytesRead() const { return read_; }
  uint64_t bytesWritten() const { return written_; }

 private:
  class Io;
  void caption(const std::string& text);
  // Between blocks: the progress caption, then the user interface's turn.
  void progress(const char* codec);
  uint64_t compressFast(Io& io);
  uint64_t compressGood(Io& io, uint32_t size);
  // Both expand through the operation's two I/O buffers, nothing more.
  uint64_t expandFast(Io& io, uint32_t size, uint8_t* in, uint8_t* out);
  uint64_t expandGood(Io& io, uint32_t size, uint8_t* in, uint8_t* out);
  std::string percent(uint64_t out, uint64_t in) const;

  TLZR lzr_;
  TLZH lzh_;
  uint64_t read_ = 0, written_ = 0;
};

}  // namespace ombrix::lzrw
