// libFuzzer entry point over the save's decoder and the game it resumes.
#include "tests/fuzz/save_target.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return ombrix::fuzz::driveSave(data, size);
}
