#include "client/rteurl.h"

#include <QAbstractTextDocumentLayout>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextEdit>
#include <array>

#include "ui/links.h"

namespace ombrix::client {

namespace {

const std::array<const char*, 8> kPrefixes = {"http://",   "ftp://", "file://", "gopher://",
                                              "telnet://", "news:",  "mailto:", "www."};

bool isDelimiter(QChar c) {
  // Space and line ends; a paragraph or line separator is how the pane
  // keeps a line end.
  return c == ' ' || c == '\r' || c == '\n' || c == QChar::ParagraphSeparator || c == QChar::LineSeparator;
}

bool mayEndLink(QChar lower) {
  return lower == '/' || (lower >= '0' && lower <= '9') || (lower >= 'a' && lower <= 'z');
}

// The block holding document position `pos`, and the position's offset in it.
QTextBlock blockAt(const QTextEdit* pane, int pos, int* offset) {
  const QTextBlock b = pane->document()->findBlock(pos);
  *offset = pos - b.position();
  return b;
}

}  // namespace

QString linkInWord(const QString& text, int at, int* offset) {
  if (text.isEmpty()) return {};
  at = std::clamp(at, 0, static_cast<int>(text.size()) - 1);
  int left = at, right = at;
  while (left > 0 && !isDelimiter(text[left])) --left;
  while (right < text.size() - 1 && !isDelimiter(text[right])) ++right;
  const QString token = text.mid(left, right - left + 1);
  const QString lower = token.toLower();
  for (const char* prefix : kPrefixes) {
    const int from = static_cast<int>(lower.indexOf(QLatin1String(prefix)));
    if (from < 0) continue;
    // The first prefix of the table that occurs counts, wherever it stands.
    int end = static_cast<int>(lower.indexOf('\n', from));
    if (end < 0) end = static_cast<int>(token.size());
    while (end > from && !mayEndLink(lower[end - 1])) --end;
    if (end - from <= static_cast<int>(qstrlen(prefix))) return {};
    if (offset) *offset = left + from;
    return token.mid(from, end - from);
  }
  return {};
}

QString FindURL(const QTextEdit* pane, CharRange& range) {
  int offset = 0;
  const QTextBlock block = blockAt(pane, range.start, &offset);
  if (!block.isValid()) return {};
  const QString text = block.text();
  // The word around the start: its boundaries are the spaces and line ends
  // on either side; a given range grows by one character.
  int from = offset, to = offset + (range.end - range.start);
  if (range.start == range.end) {
    while (from > 0 && !isDelimiter(text[from - 1])) --from;
    while (to < text.size() && !isDelimiter(text[to])) ++to;
  } else {
    ++to;
  }
  to = std::min<int>(to, static_cast<int>(text.size()));
  const QString word = text.mid(from, to - from);
  if (word.isEmpty()) return {};
  int at = 0;
  const QString link = linkInWord(word, offset - from, &at);
  if (link.isEmpty()) return {};
  range.start = block.position() + from + at;
  range.end = range.start + static_cast<int>(link.size());
  return link;
}

bool URLAtPoint(const QTextEdit* pane, QPoint at, CharRange* found) {
  const int pos = pane->document()->documentLayout()->hitTest(
      at + QPoint(pane->horizontalScrollBar()->value(), pane->verticalScrollBar()->value()), Qt::ExactHit);
  if (pos < 0 || pos >= pane->document()->characterCount() - 1) return false;
  CharRange range{pos, pos};
  if (FindURL(pane, range).isEmpty()) return false;
  if (found) *found = range;
  return true;
}

bool OpenURLAtPoint(QTextEdit* pane, QPoint at) {
  CharRange range;
  if (!URLAtPoint(pane, at, &range)) return false;
  QTextCursor c(pane->document());
  c.setPosition(range.start);
  c.setPosition(range.end, QTextCursor::KeepAnchor);
  pane->setTextCursor(c);
  ui::openLink(c.selectedText());
  return true;
}

}  // namespace ombrix::client
