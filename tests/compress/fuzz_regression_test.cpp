// Replays every input kept for the fuzzers, the seeds and each crash they
// ever found: tests/data/fuzz through the expander, tests/data/fuzz-roundtrip
// through both compressors and back.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "tests/compress/fuzz_target.h"

namespace ombrix::lzrw {
namespace {

int replay(const char* folder, int (*target)(const uint8_t*, size_t)) {
  int count = 0;
  for (const auto& entry :
       std::filesystem::directory_iterator(std::filesystem::path(OMBRIX_TEST_DATA) / folder)) {
    std::ifstream f(entry.path(), std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(f)), {});
    target(bytes.data(), bytes.size());
    ++count;
  }
  return count;
}

TEST(FuzzRegression, EveryKeptInputIsHandled) {
  EXPECT_GT(replay("fuzz", decompressAnything), 0);
  EXPECT_GT(replay("fuzz-roundtrip", roundTripAnything), 0);
}

}  // namespace
}  // namespace ombrix::lzrw
