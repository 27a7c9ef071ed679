// One decompression of arbitrary bytes: it may fail with the component's own
// exception, but must never crash, overrun, or produce more than it claims.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ombrix::lzrw {
int decompressAnything(const uint8_t* data, size_t size);
// Both compressors and back; aborts on any difference.
int roundTripAnything(const uint8_t* data, size_t size);
}  // namespace ombrix::lzrw
