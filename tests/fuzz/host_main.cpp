// libFuzzer entry point over the host: connections, requests and time.
#include "tests/fuzz/host_target.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return ombrix::fuzz::driveHost(data, size);
}
