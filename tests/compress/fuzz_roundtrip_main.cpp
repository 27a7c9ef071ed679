// libFuzzer entry point over both compressors and back.
#include "tests/compress/fuzz_target.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return ombrix::lzrw::roundTripAnything(data, size);
}
