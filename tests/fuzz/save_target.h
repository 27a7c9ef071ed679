// One input of the save fuzzer: the bytes as a save file, once as they
// stand (the checksum must hold) and once with their checksum made right,
// so that the search reaches every field behind it. A save the decoder
// accepts must read back the same, be taken by a fresh host, and go on:
// the computer plays it on a virtual clock to the end of its round. A
// broken expectation aborts with its name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace ombrix::fuzz {
int driveSave(const uint8_t* data, size_t size);
// `bytes` with its last "crc " line, if any, replaced by the right one.
std::string resealed(std::string_view bytes);
}  // namespace ombrix::fuzz
