// Replays every input kept for the web gateway fuzzers: their seeds and each
// input that once broke a bound or crashed.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "tests/fuzz/webgate_target.h"

namespace ombrix::fuzz {
namespace {

TEST(WebGateFuzzReplay, EveryKeptInputKeepsTheBounds) {
  int count = 0;
  for (const auto& entry :
       std::filesystem::directory_iterator(std::filesystem::path(OMBRIX_TEST_DATA) / "fuzz-webgate")) {
    std::ifstream f(entry.path(), std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(f)), {});
    SCOPED_TRACE(entry.path().filename().string());
    // As each target reads it; aborts on a broken bound.
    for (auto kind : {WebGateInput::Requests, WebGateInput::Frames, WebGateInput::Mixed})
      driveWebGate(bytes.data(), bytes.size(), kind);
    ++count;
  }
  EXPECT_GT(count, 0);
}

}  // namespace
}  // namespace ombrix::fuzz
