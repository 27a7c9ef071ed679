// Replays every input kept for the host and save fuzzers: their seeds and
// each input that once broke an invariant or crashed.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "tests/fuzz/host_target.h"
#include "tests/fuzz/save_target.h"

namespace ombrix::fuzz {
namespace {

template <class Drive>
int replay(const char* folder, Drive drive) {
  int count = 0;
  for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(OMBRIX_TEST_DATA) / folder)) {
    std::ifstream f(entry.path(), std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(f)), {});
    SCOPED_TRACE(entry.path().filename().string());
    drive(bytes.data(), bytes.size());  // aborts on a broken invariant
    ++count;
  }
  return count;
}

TEST(FuzzReplay, EveryKeptHostInputKeepsTheInvariants) { EXPECT_GT(replay("fuzz-host", driveHost), 0); }

TEST(FuzzReplay, EveryKeptSaveIsRefusedOrPlaysOn) { EXPECT_GT(replay("fuzz-save", driveSave), 0); }

}  // namespace
}  // namespace ombrix::fuzz
