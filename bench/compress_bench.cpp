// Compression speed and ratio on real text, against peers in the same run:
// lz4 (default level), zlib levels 1 and 6, and for Good's expansion the
// `lha` program extracting the same bit stream as an -lh1- member.
//
//   compress_bench FILE...        (scripts/bench.sh passes the KJV text and web2)
#include <lz4.h>
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "compress/lzh.h"
#include "compress/lzrw1rl.h"

using namespace ombrix::lzrw;
using Bytes = std::vector<uint8_t>;

namespace {

double secondsOf(const std::function<void()>& f, int minRuns = 3, double minSeconds = 0.5) {
  double best = 1e9, spent = 0;
  for (int i = 0; i < minRuns || spent < minSeconds; ++i) {
    const auto t0 = std::chrono::steady_clock::now();
    f();
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    best = std::min(best, s);
    spent += s;
  }
  return best;
}

// Fast: the container's block loop, in memory, as Tlzrw1 runs it: each
// piece copied into a buffer with two zero bytes after it.
Bytes fastCompressCopying(const Bytes& in) {
  Bytes out;
  TLZR codec;
  std::vector<uint8_t> piece(kBufferSize), block(kBufferSize);
  size_t at = 0;
  for (;;) {
    const size_t len = std::min(kPiece, in.size() - at);
    std::memcpy(piece.data(), in.data() + at, len);
    piece[len] = piece[len + 1] = 0;
    const size_t n = codec.compress(piece.data(), len, block.data());
    out.push_back(static_cast<uint8_t>(n));
    out.push_back(static_cast<uint8_t>(n >> 8));
    out.insert(out.end(), block.begin(), block.begin() + n);
    at += len;
    if (len < kPiece) break;
  }
  return out;
}

// The same blocks with each piece compressed where it lies, as lz4 and zlib
// below read their input in place: `padded` is the input plus kBufferSize
// zero bytes. The bytes after a piece only enter the hashes of its last two
// positions, which can never start a copy, so the output is the same.
size_t fastCompress(const Bytes& padded, size_t size, Bytes& out) {
  TLZR codec;
  size_t at = 0, o = 0;
  for (;;) {
    const size_t len = std::min(kPiece, size - at);
    const size_t n = codec.compress(padded.data() + at, len, out.data() + o + 2);
    out[o] = static_cast<uint8_t>(n);
    out[o + 1] = static_cast<uint8_t>(n >> 8);
    o += 2 + n;
    at += len;
    if (len < kPiece) break;
  }
  return o;
}

// Into `out`, which has room for the size plus one block's slack, as
// zlib and lz4 below expand into a buffer made beforehand.
size_t fastExpand(const Bytes& in, Bytes& out) {
  size_t q = 0, o = 0, produced;
  do {
    const size_t n = in[q] | size_t{in[q + 1]} << 8;
    produced = TLZR::expand(in.data() + q + 2, n, out.data() + o);
    q += 2 + n;
    o += produced;
  } while (produced == kPiece);
  return o;
}

class MemSource : public ByteSource {
 public:
  explicit MemSource(const Bytes& b) : b_(b) {}
  size_t read(uint8_t* buf, size_t n) override {
    n = std::min(n, b_.size() - at_);
    std::memcpy(buf, b_.data() + at_, n);
    at_ += n;
    return n;
  }

 private:
  const Bytes& b_;
  size_t at_ = 0;
};
class MemSink : public ByteSink {
 public:
  void write(const uint8_t* buf, size_t n) override { b.insert(b.end(), buf, buf + n); }
  Bytes b;
};

Bytes goodCompress(TLZH& lzh, const Bytes& in) {
  MemSource src(in);
  MemSink dst;
  std::vector<uint8_t> a(TLZH::kIo), b(TLZH::kIo);
  lzh.encode(src, dst, a.data(), b.data());
  return dst.b;
}
Bytes goodExpand(TLZH& lzh, const Bytes& in, size_t size) {
  MemSource src(in);
  MemSink dst;
  dst.b.reserve(size);
  std::vector<uint8_t> a(TLZH::kIo), b(TLZH::kIo);
  lzh.decode(src, dst, size, a.data(), b.data());
  return dst.b;
}

uint16_t crc16(const Bytes& d) {
  uint16_t crc = 0;
  for (uint8_t b : d) {
    crc ^= b;
    for (int k = 0; k < 8; ++k) crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
  }
  return crc;
}

// Writes `stream` as a level-0 -lh1- archive and returns the path.
std::string lhaArchive(const Bytes& original, const Bytes& stream, const std::string& dir) {
  std::string body = "-lh1-";
  auto le = [&](uint32_t v, int n) {
    for (int i = 0; i < n; ++i) body.push_back(static_cast<char>(v >> (8 * i)));
  };
  le(static_cast<uint32_t>(stream.size()), 4);
  le(static_cast<uint32_t>(original.size()), 4);
  le(0x5A210000, 4);
  body.push_back(0x20);
  body.push_back(0);
  body.push_back(1);
  body.push_back('m');
  le(crc16(original), 2);
  unsigned sum = 0;
  for (unsigned char c : body) sum += c;
  const std::string path = dir + "/bench.lzh";
  std::ofstream f(path, std::ios::binary);
  f.put(static_cast<char>(body.size()));
  f.put(static_cast<char>(sum & 0xFF));
  f << body;
  f.write(reinterpret_cast<const char*>(stream.data()), static_cast<std::streamsize>(stream.size()));
  f.put('\0');
  return path;
}

void row(const char* name, size_t in, size_t out, double cs, double ds) {
  std::printf("  %-14s ratio %6.2f%%  compress %8.1f MB/s  expand %8.1f MB/s\n", name, 100.0 * out / in,
              in / cs / 1e6, in / ds / 1e6);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: compress_bench FILE...\n");
    return 2;
  }
  bool allMet = true;
  for (int a = 1; a < argc; ++a) {
    std::ifstream f(argv[a], std::ios::binary);
    const Bytes in((std::istreambuf_iterator<char>(f)), {});
    if (in.empty()) {
      std::fprintf(stderr, "compress_bench: cannot read %s\n", argv[a]);
      return 2;
    }
    std::printf("%s: %zu bytes\n", argv[a], in.size());

    Bytes padded(in);
    padded.resize(in.size() + kBufferSize);
    Bytes fast(in.size() + (in.size() / kPiece + 1) * 3 + kBufferSize);
    size_t fastN = 0;
    const double fastC = secondsOf([&] { fastN = fastCompress(padded, in.size(), fast); });
    fast.resize(fastN);
    if (fast != fastCompressCopying(in)) std::abort();
    Bytes check(in.size() + kBufferSize);
    size_t got = 0;
    const double fastD = secondsOf([&] { got = fastExpand(fast, check); });
    check.resize(got);
    if (check != in) std::abort();
    TLZH lzh;
    Bytes good;
    const double goodC = secondsOf([&] { good = goodCompress(lzh, in); });
    const double goodD = secondsOf([&] { check = goodExpand(lzh, good, in.size()); });
    if (check != in) std::abort();

    Bytes lz(LZ4_compressBound(static_cast<int>(in.size())));
    int lzn = 0;
    const double lzC = secondsOf([&] {
      lzn = LZ4_compress_default(reinterpret_cast<const char*>(in.data()), reinterpret_cast<char*>(lz.data()),
                                 static_cast<int>(in.size()), static_cast<int>(lz.size()));
    });
    Bytes back(in.size());
    const double lzD = secondsOf([&] {
      LZ4_decompress_safe(reinterpret_cast<const char*>(lz.data()), reinterpret_cast<char*>(back.data()), lzn,
                          static_cast<int>(back.size()));
    });

    double zC[2], zD[2];
    size_t zn[2];
    const int levels[2] = {1, 6};
    for (int k = 0; k < 2; ++k) {
      Bytes z(compressBound(in.size()));
      uLongf n = z.size();
      zC[k] = secondsOf([&] {
        n = z.size();
        compress2(z.data(), &n, in.data(), in.size(), levels[k]);
      });
      zn[k] = n;
      zD[k] = secondsOf([&] {
        uLongf m = back.size();
        uncompress(back.data(), &m, z.data(), n);
      });
    }

    // lha extracting Good's stream; our own program doing the same from its container.
    char dirTemplate[] = "/tmp/ombrix-bench-XXXXXX";
    const std::string dir = mkdtemp(dirTemplate);
    const std::string arc = lhaArchive(in, good, dir);
    const std::string lhaCmd = "cd " + dir + " && lha xqf bench.lzh >/dev/null 2>&1";
    const bool haveLha = std::system(("command -v lha >/dev/null && " + lhaCmd).c_str()) == 0;
    double lhaS = 0;
    if (haveLha) lhaS = secondsOf([&] { (void)std::system(lhaCmd.c_str()); });
    std::system(("rm -rf " + dir).c_str());

    row("Fast (LZRW1/RL)", in.size(), fast.size() + 8, fastC, fastD);
    row("Good (LZHUF)", in.size(), good.size() + 8, goodC, goodD);
    row("lz4 default", in.size(), lzn, lzC, lzD);
    row("zlib -1", in.size(), zn[0], zC[0], zD[0]);
    row("zlib -6", in.size(), zn[1], zC[1], zD[1]);
    if (haveLha) std::printf("  lha x (-lh1-)  expand %8.1f MB/s (whole process)\n", in.size() / lhaS / 1e6);

    struct Target {
      const char* what;
      double ratio, need;
    } targets[] = {
        {"Fast compress / lz4 compress", lzC / fastC, 0.8},
        {"Fast compress / zlib-1 compress", zC[0] / fastC, 3.0},
        {"Fast expand / zlib expand", zD[0] / fastD, 3.0},
        {"Good compress / zlib-6 compress", zC[1] / goodC, 1.0},
        {"Good expand / lha extract", haveLha ? lhaS / goodD : 0, 1.0},
    };
    for (const Target& t : targets) {
      const bool met = t.ratio >= t.need;
      allMet &= met;
      std::printf("  %-34s %6.2f  (target >= %.1f: %s)\n", t.what, t.ratio, t.need, met ? "met" : "NOT met");
    }
  }
  return allMet ? 0 : 3;
}
