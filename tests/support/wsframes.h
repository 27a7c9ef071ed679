// A browser's side of a WebSocket, as bytes: the upgrade request, masked
// frames from the client, and the server's frames read back. For tests that
// speak to a web door over a socket or straight to its gateway.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ombrix::test {

inline std::string upgradeRequest(std::string_view path, std::string_view extra = {}) {
  return "GET " + std::string(path) +
         " HTTP/1.1\r\nHost: table\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
         "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n" +
         std::string(extra) + "\r\n";
}

// One frame as a browser sends it (masked). Opcode 1 text, 2 binary, 8
// close, 9 ping; `fin` false for a fragment.
inline std::string clientFrame(std::string_view payload, int opcode = 1, bool fin = true) {
  std::string f;
  f += static_cast<char>((fin ? 0x80 : 0) | opcode);
  const size_t n = payload.size();
  if (n < 126) {
    f += static_cast<char>(0x80 | n);
  } else if (n < 65536) {
    f += static_cast<char>(0x80 | 126);
    f += static_cast<char>(n >> 8);
    f += static_cast<char>(n & 0xFF);
  } else {
    f += static_cast<char>(0x80 | 127);
    for (int i = 7; i >= 0; --i) f += static_cast<char>((static_cast<uint64_t>(n) >> (8 * i)) & 0xFF);
  }
  const char mask[4] = {0x12, 0x34, 0x56, 0x78};
  f.append(mask, 4);
  for (size_t i = 0; i < n; ++i) f += static_cast<char>(payload[i] ^ mask[i % 4]);
  return f;
}

struct ServerFrame {
  int opcode;
  std::string payload;
};

// Takes one whole server frame off the front of `bytes`, if one is there.
inline std::optional<ServerFrame> takeFrame(std::string& bytes) {
  if (bytes.size() < 2) return std::nullopt;
  const auto b0 = static_cast<uint8_t>(bytes[0]), b1 = static_cast<uint8_t>(bytes[1]);
  size_t len = b1 & 0x7F, at = 2;
  if (len == 126) {
    if (bytes.size() < 4) return std::nullopt;
    len = (static_cast<uint8_t>(bytes[2]) << 8) | static_cast<uint8_t>(bytes[3]);
    at = 4;
  } else if (len == 127) {
    if (bytes.size() < 10) return std::nullopt;
    len = 0;
    for (int i = 0; i < 8; ++i) len = (len << 8) | static_cast<uint8_t>(bytes[2 + i]);
    at = 10;
  }
  if (bytes.size() < at + len) return std::nullopt;
  ServerFrame f{b0 & 0x0F, bytes.substr(at, len)};
  bytes.erase(0, at + len);
  return f;
}

}  // namespace ombrix::test
