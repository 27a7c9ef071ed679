// Mode Good must write the bit stream that other LZHUF decoders read. LHA's
// method -lh1- is that stream without its size prefix, so wrapping ours in a
// minimal level-0 archive member and extracting it with Debian's `lha`
// (lhasa, an independent decoder) checks every bit, the adaptive tree's
// rebuilds included.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "compress/lzrw1.h"

namespace ombrix::lzrw {
namespace {

namespace fs = std::filesystem;

uint16_t crc16(const std::string& data) {  // CRC-16/ARC, as LHA stores it
  uint16_t crc = 0;
  for (unsigned char b : data) {
    crc ^= b;
    for (int k = 0; k < 8; ++k) crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
  }
  return crc;
}

void le(std::string& s, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) s.push_back(static_cast<char>(v >> (8 * i)));
}

// A level-0 archive holding one -lh1- member.
std::string archive(const std::string& original, const std::string& stream) {
  const std::string name = "member.bin";
  std::string body = "-lh1-";
  le(body, static_cast<uint32_t>(stream.size()), 4);
  le(body, static_cast<uint32_t>(original.size()), 4);
  le(body, 0x5A210000, 4);  // DOS time stamp
  body.push_back(0x20);     // attribute
  body.push_back(0);        // header level
  body.push_back(static_cast<char>(name.size()));
  body += name;
  le(body, crc16(original), 2);
  unsigned sum = 0;
  for (unsigned char c : body) sum += c;
  std::string out;
  out.push_back(static_cast<char>(body.size()));
  out.push_back(static_cast<char>(sum & 0xFF));
  return out + body + stream + std::string(1, '\0');
}

std::string good(const std::string& in) {
  std::istringstream src(in);
  std::ostringstream packed;
  Tlzrw1 c;
  c.UseStream = true;
  c.CompressMode = Good;
  c.InputStream = &src;
  c.OutputStream = &packed;
  c.Compress();
  return packed.str().substr(8);  // identifier and size
}

std::string lhaExtracts(const std::string& arc) {
  const fs::path dir = fs::temp_directory_path() / ("lha_check_" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  std::ofstream(dir / "a.lzh", std::ios::binary) << arc;
  const std::string cmd = "cd '" + dir.string() + "' && lha xq a.lzh >/dev/null 2>&1";
  const int rc = std::system(cmd.c_str());
  std::ifstream f(dir / "member.bin", std::ios::binary);
  std::string out((std::istreambuf_iterator<char>(f)), {});
  fs::remove_all(dir);
  return rc == 0 ? out : "<lha failed>";
}

TEST(LhaCrossCheck, LhaReadsOurStreams) {
  if (std::system("command -v lha >/dev/null 2>&1") != 0) GTEST_SKIP() << "lha (lhasa) is not installed";
  std::mt19937 rng(21);
  std::string words, noise, runs, mixed;
  const char* vocab[] = {"and ", "the ", "LORD ", "said ", "unto ", "Moses, ", "\n", "of ", "Israel. "};
  while (words.size() < 600000) words += vocab[rng() % 9];  // many tree rebuilds
  for (int i = 0; i < 50000; ++i) noise.push_back(static_cast<char>(rng()));
  runs = std::string(70000, ' ') + std::string(3000, 'x') + "end";
  for (int i = 0; i < 200000; ++i) mixed.push_back(static_cast<char>(i % 7 ? rng() % 4 : rng()));
  for (const std::string* in : {&words, &noise, &runs, &mixed}) {
    const std::string out = lhaExtracts(archive(*in, good(*in)));
    ASSERT_EQ(out.size(), in->size());
    EXPECT_TRUE(out == *in);
  }
}

}  // namespace
}  // namespace ombrix::lzrw
