// The game's text on a WebSocket: the game speaks single-byte text (Latin-1,
// as the desktop table reads it), a WebSocket text message is UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace ombrix::webgate {

// One announcement of the game (its bytes, no terminator) as UTF-8.
std::string latin1ToUtf8(std::string_view bytes);

// One message of the page as a line of the game: every character the game
// cannot carry (beyond Latin-1, a broken sequence, the byte 255 that would
// end the line early) becomes "?", and line breaks become spaces, as the
// desktop table sends them.
std::string utf8ToLine(std::string_view text);

}  // namespace ombrix::webgate
