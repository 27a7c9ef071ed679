// Links under the pointer in a rich-text pane.
#include "client/rteurl.h"

#include <gtest/gtest.h>

#include <QAbstractTextDocumentLayout>
#include <QTextBlock>
#include <QTextEdit>

#include "ui/links.h"

namespace ombrix::client {
namespace {

// The link found at each character of `line`'s word holding `at`.
QString linkAt(const QString& line, const QString& word) {
  QTextEdit pane;
  pane.setPlainText("first line\n" + line);
  CharRange r;
  r.start = r.end = static_cast<int>(pane.document()->lastBlock().position() + line.indexOf(word) + 1);
  const QString link = FindURL(&pane, r);
  if (!link.isEmpty()) {
    QTextCursor c(pane.document());
    c.setPosition(r.start);
    c.setPosition(r.end, QTextCursor::KeepAnchor);
    EXPECT_EQ(c.selectedText(), link) << "the range lies on the link";
  }
  return link;
}

TEST(Links, EndAtALetterDigitOrSlash) {
  EXPECT_EQ(linkAt("see www.example.com. ok", "www"), "www.example.com");
  EXPECT_EQ(linkAt("(www.example.com/), yes", "www"), "www.example.com/");
  for (const char* tail : {",", ")", "!", "?", "!?)."})
    EXPECT_EQ(linkAt(QString("go www.a.org") + tail, "www"), "www.a.org") << tail;
  EXPECT_EQ(linkAt("mail mailto:Ann@Example.COM now", "mailto"), "mailto:Ann@Example.COM");
  EXPECT_EQ(linkAt("tab\there:http://x.org/a?b=1 ", "here"), "http://x.org/a?b=1");
}

TEST(Links, NeedAKnownPrefixAndMoreThanIt) {
  EXPECT_EQ(linkAt("secure https://www.bank.com", "https"), "www.bank.com");
  EXPECT_EQ(linkAt("secure https://bank.com", "https"), "");
  EXPECT_EQ(linkAt("just www. here", "www"), "");
  EXPECT_EQ(linkAt("just http:// here", "http"), "");
  EXPECT_EQ(linkAt("no link at all", "link"), "");
  // The table's order decides, not the word's.
  EXPECT_EQ(linkAt("odd www.x/http://y.org", "odd") + "|" + linkAt("odd www.x/http://y.org", "www"),
            "|http://y.org");
}

TEST(Links, APointOverALinkOpensItWithItsCase) {
  QTextEdit pane;
  pane.resize(400, 200);
  pane.setPlainText("Visit WWW.Ombrix.Example/Rules today");
  pane.show();
  QString opened;
  ui::setLinkOpener([&](const QString& l) { opened = l; });
  const QTextBlock b = pane.document()->firstBlock();
  const QRectF first = pane.document()->documentLayout()->blockBoundingRect(b);
  const int y = static_cast<int>(first.center().y());
  int hits = 0, x = 0;
  for (x = 0; x < 400 && !hits; ++x) hits += URLAtPoint(&pane, QPoint(x, y));
  ASSERT_TRUE(hits) << "no link found along the line";
  EXPECT_FALSE(URLAtPoint(&pane, QPoint(2, y)));  // "Visit"
  EXPECT_TRUE(OpenURLAtPoint(&pane, QPoint(x + 5, y)));
  EXPECT_EQ(opened, "WWW.Ombrix.Example/Rules");
  EXPECT_EQ(pane.textCursor().selectedText(), opened);
  EXPECT_FALSE(URLAtPoint(&pane, QPoint(5, 150)));  // below the text
  ui::setLinkOpener({});
}

}  // namespace
}  // namespace ombrix::client
