#include "compress/lzrw1.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

namespace ombrix::lzrw {

namespace {

constexpr uint64_t kSmallFile = 98303;  // Advise leaves files up to this to Good
constexpr uint32_t kSampleMask = 0x7FFF8000;

void putLE32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
uint32_t getLE32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

[[noreturn]] void fail(const std::string& text) { throw ELzrw1Exception(text); }

// The two I/O buffers of an operation, taken for its duration only.
struct Buffers {
  Buffers(const char* failure) {
    try {
      a.assign(kBufferSize, 0);
      b.assign(kBufferSize, 0);
    } catch (const std::bad_alloc&) {
      fail(failure);
    }
  }
  std::vector<uint8_t> a, b;
};
constexpr const char* kNoBuffers = "Lzrw1 (de)compression : Failed to get memory for I/O buffers !";

}  // namespace

// Both ends of one operation, over files or streams, with the error texts of
// each. Once the output file exists, abandon() closes and deletes it.
class Tlzrw1::Io {
 public:
  Io(Tlzrw1& c) : c_(c) {}
  ~Io() { close(); }

  void openInput(const char* openFailure) {
    if (c_.UseStream) {
      if (!c_.InputStream) fail(openFailure + std::string("input stream"));
      return;
    }
    in_ = std::fopen(c_.InputFile.c_str(), "rb");
    if (!in_) fail(openFailure + c_.InputFile);
  }
  void createOutput() {
    if (c_.UseStream) {
      if (!c_.OutputStream) fail("Lzrw1 (de)compression : Failed to open output file : output stream");
      return;
    }
    out_ = std::fopen(c_.OutputFile.c_str(), "wb");
    if (!out_) fail("Lzrw1 (de)compression : Failed to open output file : " + c_.OutputFile);
    created_ = true;
  }

  // Size of the input without reading it; nullopt-like false on failure.
  bool inputSize(uint64_t& size) {
    if (c_.UseStream) {
      std::istream* s = c_.InputStream;
      if (!s) return false;
      const auto here = s->tellg();
      s->seekg(0, std::ios::end);
      const auto end = s->tellg();
      s->seekg(here);
      if (here < 0 || end < 0 || !*s) return false;
      size = static_cast<uint64_t>(end - here);
      return true;
    }
    struct stat st;
    if (::stat(c_.InputFile.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    size = static_cast<uint64_t>(st.st_size);
    return true;
  }

  // Up to n bytes; fewer only at the end. `suffix` names the codec in the
  // error text (" (LZRW1/RL)", " (LZH)" or "").
  size_t read(uint8_t* buf, size_t n, const char* suffix) {
    size_t got;
    if (c_.UseStream) {
      c_.InputStream->read(reinterpret_cast<char*>(buf), static_cast<std::streamsize>(n));
      got = static_cast<size_t>(c_.InputStream->gcount());
      if (c_.InputStream->bad()) readError(suffix);
    } else {
      got = std::fread(buf, 1, n, in_);
      if (std::ferror(in_)) readError(suffix);
    }
    c_.read_ += got;
    return got;
  }
  // Exactly n bytes, or the plain read error.
  void readFull(uint8_t* buf, size_t n) {
    if (read(buf, n, "") != n) readError("");
  }
  [[noreturn]] void readError(const char* suffix) {
    if (c_.UseStream) fail(std::string("Lzrw1 : Error reading from input stream !") + suffix);
    fail("Lzrw1 : Error reading from input file : " + c_.InputFile + suffix);
  }

  void write(const uint8_t* buf, size_t n) {
    if (c_.UseStream) {
      c_.OutputStream->write(reinterpret_cast<const char*>(buf), static_cast<std::streamsize>(n));
      if (!*c_.OutputStream) fail("Lzrw1 : Error writing to output stream !");
    } else if (std::fwrite(buf, 1, n, out_) != n) {
      fail("Lzrw1 : Error writing to output file : " + c_.OutputFile);
    }
    c_.written_ += n;
  }

  // Closes both; a failed close of the output is a failed write.
  void finish() {
    if (out_) {
      const bool ok = std::fclose(out_) == 0;
      out_ = nullptr;
      if (!ok) fail("Lzrw1 : Error writing to output file : " + c_.OutputFile);
    }
    if (c_.UseStream && c_.OutputStream) c_.OutputStream->flush();
    close();
    created_ = false;
  }
  void abandon() {
    close();
    if (created_) std::remove(c_.OutputFile.c_str());
    created_ = false;
  }

 private:
  void close() {
    if (in_) std::fclose(in_);
    if (out_) std::fclose(out_);
    in_ = out_ = nullptr;
  }
  Tlzrw1& c_;
  std::FILE* in_ = nullptr;
  std::FILE* out_ = nullptr;
  bool created_ = false;
};

namespace {
// LZH reads and writes through the component's Io.
template <class IoT>
class IoSource : public ByteSource {
 public:
  IoSource(IoT& io, const char* suffix) : io_(io), suffix_(suffix) {}
  size_t read(uint8_t* buf, size_t n) override { return io_.read(buf, n, suffix_); }

 private:
  IoT& io_;
  const char* suffix_;
};
template <class IoT>
class IoSink : public ByteSink {
 public:
  explicit IoSink(IoT& io) : io_(io) {}
  void write(const uint8_t* buf, size_t n) override { io_.write(buf, n); }

 private:
  IoT& io_;
};
}  // namespace

Tlzrw1::Tlzrw1() = default;
Tlzrw1::~Tlzrw1() = default;

void Tlzrw1::caption(const std::string& text) {
  if (!Visible) return;
  Caption = text;
  if (OnCaption) OnCaption(text);
}

void Tlzrw1::progress(const char* codec) {
  caption(std::string(codec) + " Bytes in : " + std::to_string(read_) +
          " Bytes out : " + std::to_string(written_));
  if (ProcessMessages) ProcessMessages();
}

std::string Tlzrw1::percent(uint64_t out, uint64_t in) const {
  // An empty input has no ratio; it is shown as 0.
  return std::to_string(in ? out * 100 / in : 0);
}

uint64_t Tlzrw1::Compress() {
  const TCompressMode mode = CompressMode == Auto ? (Advise() ? Fast : Good) : CompressMode;
  read_ = written_ = 0;
  Buffers buffers(kNoBuffers);
  Io io(*this);
  uint64_t size = 0;
  const std::string name = UseStream ? "input stream" : InputFile;
  // The container stores the size in 32 bits; a larger input cannot be kept.
  if (!io.inputSize(size) || size > UINT32_MAX)
    fail("Lzrw1 compression : Failed to obtain the size of : " + name);
  io.openInput("Lzrw1 (de)compression : Failed to open input file : ");
  io.createOutput();
  try {
    uint8_t header[8];
    putLE32(header, mode == Fast ? kFastId : kGoodId);
    putLE32(header + 4, static_cast<uint32_t>(size));
    io.write(header, sizeof header);
    if (mode == Fast) {
      uint8_t* in = buffers.a.data();
      uint8_t* out = buffers.b.data();
      size_t got;
      do {
        got = io.read(in, kPiece, " (LZRW1/RL)");
        in[got] = in[got + 1] = 0;
        const size_t n = lzr_.compress(in, got, out);
        const uint8_t len[2] = {static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8)};
        io.write(len, 2);
        io.write(out, n);
        progress("(LZRW1/RL)");
      } while (got == kPiece);
    } else {
      IoSource<Io> src(io, " (LZH)");
      IoSink<Io> dst(io);
      lzh_.encode(src, dst, buffers.a.data(), buffers.b.data(),
                  [this](uint64_t, uint64_t) { progress("(LZH)"); });
    }
    io.finish();
  } catch (...) {
    io.abandon();
    throw;
  }
  caption(name + " : Lzrw1 : successfully compressed at " + percent(written_, read_) + "%");
  return written_;
}

uint64_t Tlzrw1::Decompress() {
  read_ = written_ = 0;
  Buffers buffers(kNoBuffers);
  Io io(*this);
  io.openInput("Lzrw1 (de)compression : Failed to open input file : ");
  io.createOutput();
  const std::string name = UseStream ? "input stream" : InputFile;
  try {
    uint8_t header[8];
    io.readFull(header, 4);
    const uint32_t id = getLE32(header);
    if (id != kFastId && id != kGoodId) {
      if (UseStream) fail("Lzrw1 decompression : input stream contains no valid header !");
      fail(InputFile + " : Lzrw1 decompression : this file has no valid header !");
    }
    io.readFull(header + 4, 4);
    const uint32_t size = getLE32(header + 4);
    if (id == kFastId)
      expandFast(io, size, buffers.a.data(), buffers.b.data());
    else
      expandGood(io, size, buffers.a.data(), buffers.b.data());
    io.finish();
  } catch (...) {
    io.abandon();
    throw;
  }
  caption(name + " : Lzrw1 : successfully decompressed at " + percent(written_, read_) + "%");
  return written_;
}

uint64_t Tlzrw1::expandFast(Io& io, uint32_t size, uint8_t* in, uint8_t* out) {
  static constexpr const char* kMismatch =
      "Lzrw1 (decompression LZRW1/RL) : Original and compressed sizes do not match !";
  uint64_t total = 0;
  size_t produced;
  do {
    uint8_t len[2];
    io.readFull(len, 2);
    const size_t n = len[0] | size_t{len[1]} << 8;
    if (n > kMaxBlock) fail("Lzrw1 (decompression LZRW1/RL) : Corrupt block : longer than any block !");
    io.readFull(in, n);
    try {
      produced = TLZR::expand(in, n, out);
    } catch (const ECorruptBlock& e) {
      fail(std::string("Lzrw1 (decompression LZRW1/RL) : Corrupt block : ") + e.what() + " !");
    }
    io.write(out, produced);
    total += produced;
    // Stop as soon as the output outgrows the size it should have.
    if (total > size) fail(kMismatch);
    progress("(LZRW1/RL)");
  } while (produced == kPiece);
  if (total != size) fail(kMismatch);
  return total;
}

uint64_t Tlzrw1::expandGood(Io& io, uint32_t size, uint8_t* in, uint8_t* out) {
  IoSource<Io> src(io, " (LZH)");
  IoSink<Io> dst(io);
  uint64_t total;
  try {
    total = lzh_.decode(src, dst, size, in, out, [this](uint64_t, uint64_t) { progress("(LZH)"); });
  } catch (const ELzhTruncated&) {
    // Zero bits past the end would pass damage off as data.
    io.readError(" (LZH)");
  }
  if (total != size || lzh_.trailingData())
    fail("Lzrw1 (LZH decompression) : Original and compressed sizes do not match !");
  return total;
}

int Tlzrw1::Advise() {
  const std::string name = UseStream ? "input stream" : InputFile;
  caption("Guessing the best compression mode for : " + name);
  Io io(*this);
  uint64_t size = 0;
  if (!io.inputSize(size)) fail("Lzrw1 advise : can not get the size of : " + name);
  if (size <= kSmallFile) {
    CompressMode = Good;
    caption("Lzrw1 recommends GOOD compression :  small file !!");
    return 0;
  }
  Buffers buffers("Lzrw1 advise : Error getting I/O buffers");
  std::FILE* f = nullptr;
  if (UseStream) {
    if (!InputStream) fail("Lzrw1 advise : can open input file : " + name);
  } else if (!(f = std::fopen(InputFile.c_str(), "rb"))) {
    fail("Lzrw1 advise : can open input file : " + name);
  }
  uint64_t lengths = 0, blocks = 0;
  const std::streampos start = UseStream ? InputStream->tellg() : std::streampos(0);
  for (uint64_t offset : {(size / 3) & kSampleMask, (size * 2 / 3) & kSampleMask}) {
    uint8_t* in = buffers.a.data();
    size_t got;
    if (UseStream) {
      InputStream->clear();
      InputStream->seekg(start + static_cast<std::streamoff>(offset));
      InputStream->read(reinterpret_cast<char*>(in), kPiece);
      got = static_cast<size_t>(InputStream->gcount());
      if (InputStream->bad()) fail("Lzrw1 advise : read error on input file : " + name);
    } else {
      if (!f || std::fseek(f, static_cast<long>(offset), SEEK_SET) != 0)
        fail("Lzrw1 advise : read error on input file : " + name);
      got = std::fread(in, 1, kPiece, f);
      if (std::ferror(f)) {
        std::fclose(f);
        fail("Lzrw1 advise : read error on input file : " + name);
      }
    }
    in[got] = in[got + 1] = 0;
    lengths += got;
    blocks += lzr_.compress(in, got, buffers.b.data());
  }
  if (f) std::fclose(f);
  if (UseStream) {
    InputStream->clear();
    InputStream->seekg(start);
  }
  const std::string pct = percent(blocks, lengths);
  if (blocks < lengths * static_cast<uint64_t>(Threshold) / 100) {
    caption("Lzrw1 recommends FAST compression : " + pct + "%.");
    return 1;
  }
  caption("Lzrw1 recommends GOOD compression : " + pct + "%.");
  return 0;
}

}  // namespace ombrix::lzrw
