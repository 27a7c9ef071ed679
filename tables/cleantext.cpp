#include "tables/cleantext.h"

#include <cstdint>

namespace ombrix::tables {

namespace {

constexpr char32_t kReplacement = 0xFFFD;
constexpr char32_t kBad = 0xFFFFFFFF;

// Decodes one character at `s[i]`, advancing `i`; kBad (advancing one byte)
// for a byte that starts no valid sequence: overlong forms, surrogates and
// values past U+10FFFF included.
char32_t decode(std::string_view s, size_t& i) {
  const auto b = [&](size_t k) { return static_cast<uint8_t>(s[k]); };
  const uint8_t c = b(i);
  if (c < 0x80) return ++i, c;
  int more;
  char32_t cp, min;
  if ((c & 0xE0) == 0xC0) more = 1, cp = c & 0x1F, min = 0x80;
  else if ((c & 0xF0) == 0xE0) more = 2, cp = c & 0x0F, min = 0x800;
  else if ((c & 0xF8) == 0xF0) more = 3, cp = c & 0x07, min = 0x10000;
  else return ++i, kBad;
  if (i + more >= s.size()) return ++i, kBad;  // cut short
  for (int k = 1; k <= more; ++k) {
    if ((b(i + k) & 0xC0) != 0x80) return ++i, kBad;
    cp = (cp << 6) | (b(i + k) & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return ++i, kBad;
  i += more + 1;
  return cp;
}

bool isControl(char32_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029; }

// Marks that change the order or the look of the text around them without
// showing themselves, and the invisible letters that make a name look blank
// or like another (a soft hyphen, the word joiner and invisible operators,
// the Hangul fillers). The joiners U+200C and U+200D stay: scripts and emoji
// need them.
bool isInvisibleMark(char32_t c) {
  return c == 0x00AD || c == 0x061C || c == 0x115F || c == 0x1160 || c == 0x180E || c == 0x200B || c == 0x200E ||
         c == 0x200F || (c >= 0x202A && c <= 0x202E) || (c >= 0x2060 && c <= 0x2064) ||
         (c >= 0x2066 && c <= 0x2069) || c == 0x3164 || c == 0xFEFF || c == 0xFFA0;
}

void encode(char32_t c, std::string& out) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

size_t encodedSize(char32_t c) { return c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4; }

}  // namespace

std::string cleanText(std::string_view raw, size_t maxBytes) {
  std::string out;
  bool pendingSpace = false;
  size_t i = 0;
  while (i < raw.size() && out.size() < maxBytes) {
    char32_t c = decode(raw, i);
    if (c == kBad) c = kReplacement;
    if (isInvisibleMark(c)) continue;
    if (c == ' ' || isControl(c)) {
      pendingSpace = !out.empty();
      continue;
    }
    const size_t need = encodedSize(c) + (pendingSpace ? 1 : 0);
    if (out.size() + need > maxBytes) break;
    if (pendingSpace) out += ' ';
    pendingSpace = false;
    encode(c, out);
  }
  return out;
}

bool isClean(std::string_view text) { return cleanText(text, text.size()) == text; }

}  // namespace ombrix::tables
