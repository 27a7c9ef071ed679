// Links in a rich-text pane, found at the moment the mouse moves or presses:
// nothing is marked in advance, and only the word under the pointer is read.
// A link starts at one of the prefixes "http://", "ftp://", "file://",
// "gopher://", "telnet://", "news:", "mailto:", "www." (taken in that order)
// and ends at the last "/", digit or letter before a space or line end.
#pragma once

#include <QPoint>
#include <QString>

class QTextEdit;

namespace ombrix::client {

// Character positions in the pane's text, the end exclusive.
struct CharRange {
  int start = 0, end = 0;
};

// Steps 3 to 6 on a word's text: the link in `text` around position `at`,
// with its offset in `text`; empty when there is none.
QString linkInWord(const QString& text, int at, int* offset = nullptr);

// The link in or around `range` (an empty range means the word at its
// start); when one is found the range is moved onto it.
QString FindURL(const QTextEdit* pane, CharRange& range);
// True when a link lies under the point (viewport coordinates); `range`
// receives it.
bool URLAtPoint(const QTextEdit* pane, QPoint at, CharRange* range = nullptr);
// Selects the link under the point and opens it with the desktop's handler.
bool OpenURLAtPoint(QTextEdit* pane, QPoint at);

}  // namespace ombrix::client
