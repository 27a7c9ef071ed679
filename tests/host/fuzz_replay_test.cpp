// Replays every input kept for the host fuzzer: its seeds and each input
// that once broke an invariant or crashed.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "tests/fuzz/host_target.h"

namespace ombrix::fuzz {
namespace {

TEST(FuzzReplay, EveryKeptHostInputKeepsTheInvariants) {
  int count = 0;
  for (const auto& entry :
       std::filesystem::directory_iterator(std::filesystem::path(OMBRIX_TEST_DATA) / "fuzz-host")) {
    std::ifstream f(entry.path(), std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(f)), {});
    SCOPED_TRACE(entry.path().filename().string());
    driveHost(bytes.data(), bytes.size());  // aborts on a broken invariant
    ++count;
  }
  EXPECT_GT(count, 0);
}

}  // namespace
}  // namespace ombrix::fuzz
