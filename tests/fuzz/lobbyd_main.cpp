// libFuzzer entry point over the lobby server's core.
#include "tests/fuzz/lobbyd_target.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return ombrix::fuzz::driveLobby(data, size);
}
