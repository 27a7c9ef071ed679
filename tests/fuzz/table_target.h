// One input of the table-window fuzzer: more of a hostile host's stream.
// Announcements with any bytes, and well-formed ones with out-of-range
// seats, positions, cards and rounds, go through Tchat's queue and dispatch,
// offscreen, into one window that lives from input to input; now and then
// the player presses the hint, which is stepped to its end. Nothing may
// crash or write outside an element table; the queue drains, the hint
// finishes in a few bounded steps, and the hand, the lists, the chat pane,
// the game record and the window's widgets stay within their bounds however
// long the stream.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ombrix::fuzz {
// Needs a QApplication (offscreen) to exist.
int driveTable(const uint8_t* data, size_t size);
// Sets up the seams (message boxes, sounds, links) and makes the window;
// releaseTable closes it and gives the seams back.
void prepareTable();
void releaseTable();
}  // namespace ombrix::fuzz
