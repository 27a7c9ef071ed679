// One input of the host fuzzer: up to nine connections that connect, send
// any bytes (byte 255 anywhere), well-formed and ill-formed requests,
// disconnect and reset, interleaved with advances of a virtual clock, all
// through TServer and the engine. After every step the host's invariants are
// checked; a broken one aborts with its name.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ombrix::fuzz {
int driveHost(const uint8_t* data, size_t size);
}  // namespace ombrix::fuzz
