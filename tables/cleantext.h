// Text that strangers send (a table's name, a record's value), made fit to
// show in a window, a terminal or a JSON line.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace ombrix::tables {

// Valid UTF-8 (each byte of a broken sequence becomes U+FFFD); no control
// characters (line breaks, tabs, escapes and the C1 set become a space); no
// marks that turn the direction of the text, so a name cannot read as
// another; runs of spaces as one, none at either end; at most `maxBytes`
// bytes, cut at a character's boundary. Work is bounded by `maxBytes`, not
// by the length of `raw`.
std::string cleanText(std::string_view raw, size_t maxBytes);

// Whether `text` is UTF-8 that cleanText leaves as it is.
bool isClean(std::string_view text);

}  // namespace ombrix::tables
