// The container: files and streams, both modes, and damaged input.
#include "compress/lzrw1.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <vector>

namespace ombrix::lzrw {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

struct Files : ::testing::Test {
  void SetUp() override {
    dir = fs::temp_directory_path() / ("lzrw1_test_" + std::to_string(::getpid()) + "_" +
                                       ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir);
  }
  void TearDown() override { fs::remove_all(dir); }
  std::string path(const char* name) { return (dir / name).string(); }
  static void put(const std::string& p, const Bytes& b) {
    std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), b.size());
  }
  static Bytes get(const std::string& p) {
    std::ifstream f(p, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), {});
  }
  // Compresses `in` in `mode` and returns the container.
  Bytes pack(const Bytes& in, TCompressMode mode) {
    put(path("in"), in);
    Tlzrw1 c;
    c.InputFile = path("in");
    c.OutputFile = path("packed");
    c.CompressMode = mode;
    const uint64_t n = c.Compress();
    Bytes out = get(path("packed"));
    EXPECT_EQ(n, out.size());
    return out;
  }
  Bytes unpack(const Bytes& packed) {
    put(path("packed"), packed);
    Tlzrw1 c;
    c.InputFile = path("packed");
    c.OutputFile = path("out");
    c.Decompress();
    return get(path("out"));
  }
  // Expanding `packed` must fail with exactly `text` and leave no output.
  void refuses(const Bytes& packed, const std::string& text) {
    put(path("bad"), packed);
    Tlzrw1 c;
    c.InputFile = path("bad");
    c.OutputFile = path("out");
    try {
      c.Decompress();
      ADD_FAILURE() << "accepted damaged input, expected: " << text;
    } catch (const ELzrw1Exception& e) {
      EXPECT_EQ(std::string(e.what()), text);
    }
    EXPECT_FALSE(fs::exists(path("out")));
  }
  fs::path dir;
};

Bytes text(size_t n, unsigned seed = 1) {
  static const char* words[] = {"and ", "the ", "LORD ", "said ", "unto ", "them, ", "of ", "Israel. "};
  std::mt19937 rng(seed);
  Bytes b;
  while (b.size() < n)
    for (const char* w = words[rng() % 8]; *w && b.size() < n; ++w) b.push_back(static_cast<uint8_t>(*w));
  return b;
}

TEST_F(Files, EmptyFileIsElevenBytesAndBack) {
  const Bytes packed = pack({}, Fast);
  EXPECT_EQ(packed, (Bytes{0x57, 0x52, 0x5A, 0x4C, 0, 0, 0, 0, 0x01, 0x00, 0x80}));
  EXPECT_TRUE(unpack(packed).empty());
}

TEST_F(Files, PieceBoundaries) {
  const Bytes full = text(32768);
  Bytes packed = pack(full, Fast);
  EXPECT_EQ(Bytes(packed.end() - 3, packed.end()), (Bytes{0x01, 0x00, 0x80}));
  EXPECT_EQ(unpack(packed), full);

  Bytes more = full;
  more.push_back('!');
  packed = pack(more, Fast);
  EXPECT_EQ(Bytes(packed.end() - 4, packed.end()), (Bytes{0x02, 0x00, 0x80, '!'}));
  EXPECT_EQ(unpack(packed), more);
}

TEST_F(Files, BothModesRoundTripManySizes) {
  for (size_t n : {size_t{0}, size_t{1}, size_t{3}, size_t{59}, size_t{60}, size_t{61}, size_t{4096},
                   size_t{65536}, size_t{200000}}) {
    for (TCompressMode mode : {Fast, Good}) {
      const Bytes in = text(n, static_cast<unsigned>(n));
      const Bytes packed = pack(in, mode);
      EXPECT_EQ(packed[0], mode == Fast ? 0x57 : 0x21);
      ASSERT_EQ(unpack(packed), in) << n << " mode " << mode;
    }
  }
  // Noise, which Good codes mostly as literals and Fast stores.
  std::mt19937 rng(3);
  Bytes noise(100000);
  for (auto& c : noise) c = static_cast<uint8_t>(rng());
  EXPECT_EQ(unpack(pack(noise, Good)), noise);
  EXPECT_EQ(unpack(pack(noise, Fast)), noise);
}

TEST_F(Files, GoodFindsMatchesAcrossTheWholeWindow) {
  // Noise followed by itself: the second half is all matches when it starts
  // no further back than the 4036 bytes of history the coder keeps, also
  // when the stream is long past positions that fit in 16 bits.
  std::mt19937 rng(8);
  for (size_t lead : {size_t{0}, size_t{200000}}) {
    for (size_t span : {size_t{61}, size_t{1000}, size_t{4036}}) {
      Bytes noise(span);
      for (auto& c : noise) c = static_cast<uint8_t>(rng());
      Bytes in(lead, 'q');
      for (size_t k = 0; k < lead; ++k) in[k] = static_cast<uint8_t>("abc"[rng() % 3]);
      const size_t before = pack(in, Good).size();
      in.insert(in.end(), noise.begin(), noise.end());
      const size_t once = pack(in, Good).size() - before;
      in.insert(in.end(), noise.begin(), noise.end());
      const Bytes twice = pack(in, Good);
      EXPECT_LT(twice.size() - before, once + once / 4 + 8) << "lead " << lead << " span " << span;
      ASSERT_EQ(unpack(twice), in);
    }
  }
}

TEST_F(Files, GoldenFastFileIsByteExact) {
  // tests/data/kjv_sample.lzrw was made by this compressor and checked by
  // hand against the block format; any change to the Fast output is a change
  // of the stored file format.
  const std::string data = OMBRIX_TEST_DATA;
  const Bytes golden = get(data + "/kjv_sample.lzrw");
  const Bytes in = get(data + "/kjv_sample.txt");
  ASSERT_FALSE(in.empty());
  EXPECT_EQ(pack(in, Fast), golden);
  EXPECT_EQ(unpack(golden), in);
}

TEST_F(Files, DamagedFilesAreRefusedAndLeaveNothing) {
  const Bytes in = text(70000);
  const Bytes fast = pack(in, Fast);
  const Bytes good = pack(in, Good);
  const std::string bad = path("bad");

  Bytes b = fast;
  b[0] = 'X';
  refuses(b, bad + " : Lzrw1 decompression : this file has no valid header !");
  refuses(Bytes(fast.begin(), fast.begin() + 3), "Lzrw1 : Error reading from input file : " + bad);
  refuses(Bytes(fast.begin(), fast.begin() + 100), "Lzrw1 : Error reading from input file : " + bad);
  refuses(Bytes(fast.begin(), fast.begin() + 9), "Lzrw1 : Error reading from input file : " + bad);

  b = fast;
  b[4] ^= 1;  // size field disagrees
  refuses(b, "Lzrw1 (decompression LZRW1/RL) : Original and compressed sizes do not match !");
  b = fast;
  b[6] = 0;  // claims far fewer bytes: stopped early, not after writing them all
  refuses(b, "Lzrw1 (decompression LZRW1/RL) : Original and compressed sizes do not match !");

  // A first block whose copy reaches before its start.
  Bytes copy = {0x57, 0x52, 0x5A, 0x4C, 3, 0, 0, 0, 5, 0, 0x40, 0x80, 0x00, 0x01, 0x00};
  refuses(copy,
          "Lzrw1 (decompression LZRW1/RL) : Corrupt block : copy reaches before the start of the block !");
  Bytes longer = {0x57, 0x52, 0x5A, 0x4C, 3, 0, 0, 0, 0xFF, 0xFF};
  refuses(longer, "Lzrw1 (decompression LZRW1/RL) : Corrupt block : longer than any block !");

  refuses(Bytes(good.begin(), good.begin() + good.size() / 2),
          "Lzrw1 : Error reading from input file : " + bad + " (LZH)");
  b = good;
  b[6] = 0x02;  // more bytes claimed than the stream holds
  refuses(b, "Lzrw1 : Error reading from input file : " + bad + " (LZH)");
  b = good;
  b[5] ^= 0x10;  // fewer: the stream goes on past them
  refuses(b, "Lzrw1 (LZH decompression) : Original and compressed sizes do not match !");
}

TEST_F(Files, OpenFailuresNameTheFile) {
  Tlzrw1 c;
  c.InputFile = path("missing");
  c.OutputFile = path("out");
  try {
    c.Decompress();
    FAIL();
  } catch (const ELzrw1Exception& e) {
    EXPECT_EQ(std::string(e.what()),
              "Lzrw1 (de)compression : Failed to open input file : " + path("missing"));
  }
  try {
    c.Compress();
    FAIL();
  } catch (const ELzrw1Exception& e) {
    EXPECT_EQ(std::string(e.what()), "Lzrw1 compression : Failed to obtain the size of : " + path("missing"));
  }
  put(path("in"), text(10));
  c.InputFile = path("in");
  c.OutputFile = path("no/such/dir/out");
  try {
    c.Compress();
    FAIL();
  } catch (const ELzrw1Exception& e) {
    EXPECT_EQ(std::string(e.what()), "Lzrw1 (de)compression : Failed to open output file : " + c.OutputFile);
  }
}

TEST_F(Files, CaptionsOnlyWhileVisible) {
  put(path("in"), text(100000));
  Tlzrw1 c;
  c.InputFile = path("in");
  c.OutputFile = path("packed");
  c.CompressMode = Fast;
  std::vector<std::string> seen;
  int pumps = 0;
  c.OnCaption = [&](const std::string& s) { seen.push_back(s); };
  c.ProcessMessages = [&] { ++pumps; };
  c.Compress();
  ASSERT_EQ(seen.size(), 5u);  // four blocks, then the result
  EXPECT_EQ(seen[0].rfind("(LZRW1/RL) Bytes in : 32768 Bytes out : ", 0), 0u);
  EXPECT_EQ(seen.back().rfind(path("in") + " : Lzrw1 : successfully compressed at ", 0), 0u);
  EXPECT_EQ(pumps, 4);
  seen.clear();
  c.Visible = false;
  c.Compress();
  EXPECT_TRUE(seen.empty());
}

TEST_F(Files, AdviseSmallAndLarge) {
  Tlzrw1 c;
  std::string last;
  c.OnCaption = [&](const std::string& s) { last = s; };
  put(path("small"), text(98303));
  c.InputFile = path("small");
  c.CompressMode = Fast;
  EXPECT_EQ(c.Advise(), 0);
  EXPECT_EQ(c.CompressMode, Good);
  EXPECT_EQ(last, "Lzrw1 recommends GOOD compression :  small file !!");

  put(path("runs"), Bytes(300000, 'a'));
  c.InputFile = path("runs");
  EXPECT_EQ(c.Advise(), 1);
  EXPECT_EQ(last.rfind("Lzrw1 recommends FAST compression : ", 0), 0u);

  std::mt19937 rng(9);
  Bytes noise(300000);
  for (auto& x : noise) x = static_cast<uint8_t>(rng());
  put(path("noise"), noise);
  c.InputFile = path("noise");
  EXPECT_EQ(c.Advise(), 0);
  EXPECT_EQ(last, "Lzrw1 recommends GOOD compression : 100%.");

  // Auto takes the advice.
  c.CompressMode = Auto;
  c.InputFile = path("runs");
  c.OutputFile = path("packed");
  c.Compress();
  EXPECT_EQ(get(path("packed"))[0], 0x57);
}

TEST(Streams, SameContainerThroughStreams) {
  const Bytes in = text(80000, 4);
  for (TCompressMode mode : {Fast, Good}) {
    std::istringstream src(std::string(in.begin(), in.end()));
    std::ostringstream packed;
    Tlzrw1 c;
    c.UseStream = true;
    c.CompressMode = mode;
    c.InputStream = &src;
    c.OutputStream = &packed;
    c.Compress();
    std::istringstream back(packed.str());
    std::ostringstream out;
    c.InputStream = &back;
    c.OutputStream = &out;
    c.Decompress();
    EXPECT_EQ(out.str(), std::string(in.begin(), in.end()));
  }
  std::istringstream junk("JUNKJUNK");
  std::ostringstream out;
  Tlzrw1 c;
  c.UseStream = true;
  c.InputStream = &junk;
  c.OutputStream = &out;
  EXPECT_THROW(
      {
        try {
          c.Decompress();
        } catch (const ELzrw1Exception& e) {
          EXPECT_STREQ(e.what(), "Lzrw1 decompression : input stream contains no valid header !");
          throw;
        }
      },
      ELzrw1Exception);
}

}  // namespace
}  // namespace ombrix::lzrw
