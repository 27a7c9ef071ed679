// Replays every input kept for the lobby server fuzzer: its seeds and each
// input that once broke a bound or crashed.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "tests/fuzz/lobbyd_target.h"

namespace ombrix::fuzz {
namespace {

TEST(LobbyFuzzReplay, EveryKeptInputKeepsTheBounds) {
  int count = 0;
  for (const auto& entry :
       std::filesystem::directory_iterator(std::filesystem::path(OMBRIX_TEST_DATA) / "fuzz-lobbyd")) {
    std::ifstream f(entry.path(), std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(f)), {});
    SCOPED_TRACE(entry.path().filename().string());
    driveLobby(bytes.data(), bytes.size());  // aborts on a broken bound
    ++count;
  }
  EXPECT_GT(count, 0);
}

}  // namespace
}  // namespace ombrix::fuzz
