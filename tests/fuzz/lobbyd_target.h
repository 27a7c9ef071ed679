// One input of the lobby server fuzzer: up to 24 connections from a few
// addresses (two of them in one IPv6 /64) that open, send well-formed and
// ill-formed lines of the protocol (known and guessed codes, tickets and
// secrets), close, and are closed by the transport when the server asks,
// interleaved with probe results and advances of the clock, all through
// LobbyCore. After every step its counts are checked against what they
// count, and every answer against its bound; a broken one aborts with its
// name.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ombrix::fuzz {
int driveLobby(const uint8_t* data, size_t size);
}  // namespace ombrix::fuzz
