// A web door's gateway driven by a fuzzer's bytes: HTTP requests and
// WebSocket frames, well formed and not, in pieces, with the clock moving
// and the game's lines coming the other way. Returns 0; aborts when a bound
// or an invariant breaks.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ombrix::fuzz {

// What the input is mostly made of: HTTP requests (whole, cut, put
// together from pieces), or WebSocket frames once the upgrade is done; Mixed
// goes between them as the input says.
enum class WebGateInput { Requests, Frames, Mixed };

int driveWebGate(const uint8_t* data, size_t size, WebGateInput kind = WebGateInput::Mixed);

}  // namespace ombrix::fuzz
