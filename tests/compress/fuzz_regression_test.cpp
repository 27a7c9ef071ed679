// Replays every input kept in tests/data/fuzz: the seeds and each crash the
// fuzzer ever found.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "tests/compress/fuzz_target.h"

namespace ombrix::lzrw {
namespace {

TEST(FuzzRegression, EveryKeptInputIsHandled) {
  const std::filesystem::path dir = std::filesystem::path(OMBRIX_TEST_DATA) / "fuzz";
  int count = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    std::ifstream f(entry.path(), std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(f)), {});
    decompressAnything(bytes.data(), bytes.size());
    ++count;
  }
  EXPECT_GT(count, 0);
}

}  // namespace
}  // namespace ombrix::lzrw
