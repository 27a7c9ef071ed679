// libFuzzer entry point over a web door's gateway: WebSocket frames.
#include "tests/fuzz/webgate_target.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return ombrix::fuzz::driveWebGate(data, size, ombrix::fuzz::WebGateInput::Frames);
}
