// libFuzzer entry point over the container's expander.
#include "tests/compress/fuzz_target.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return ombrix::lzrw::decompressAnything(data, size);
}
