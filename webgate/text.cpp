#include "webgate/text.h"

#include <cstdint>

namespace ombrix::webgate {

std::string latin1ToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 8);
  for (const char c : bytes) {
    const auto b = static_cast<uint8_t>(c);
    if (b < 0x80) {
      out += c;
    } else {
      out += static_cast<char>(0xC0 | (b >> 6));
      out += static_cast<char>(0x80 | (b & 0x3F));
    }
  }
  return out;
}

std::string utf8ToLine(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    const auto b = static_cast<uint8_t>(text[i]);
    uint32_t cp;
    size_t len;
    if (b < 0x80) {
      cp = b;
      len = 1;
    } else if ((b & 0xE0) == 0xC0) {
      cp = b & 0x1F;
      len = 2;
    } else if ((b & 0xF0) == 0xE0) {
      cp = b & 0x0F;
      len = 3;
    } else if ((b & 0xF8) == 0xF0) {
      cp = b & 0x07;
      len = 4;
    } else {
      out += '?';
      ++i;
      continue;
    }
    bool whole = i + len <= text.size();
    for (size_t k = 1; whole && k < len; ++k) {
      const auto c = static_cast<uint8_t>(text[i + k]);
      if ((c & 0xC0) != 0x80) whole = false;
      else cp = (cp << 6) | (c & 0x3F);
    }
    if (!whole) {
      out += '?';
      ++i;
      continue;
    }
    i += len;
    if (cp == '\r' || cp == '\n') out += ' ';
    else if (cp < 0xFF && (len == 1 || cp >= 0x80)) out += static_cast<char>(cp);  // overlong forms are not the character
    else out += '?';
  }
  return out;
}

}  // namespace ombrix::webgate
