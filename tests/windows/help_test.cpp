// The help pages and the about window.
#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QTextBrowser>

#include "client/chatform.h"
#include "protocol/commands.h"
#include "ui/links.h"
#include "windows/aboutform.h"
#include "windows/helpform.h"

namespace ombrix::windows {
namespace {

TEST(Help, ButtonsShowThePageOfTheirTag) {
  client::Tchat table;
  Thelp help(&table);
  Tabout about(&table);
  table.attachHelp(&help, &about);
  auto button = [&](int n) { return help.findChild<QPushButton*>("SelButton" + QString::number(n)); };
  auto shown = [&] {
    QString names;
    for (auto& [tag, m] : help.memo)
      if (m->isVisibleTo(&help)) names += m->objectName();
    return names;
  };
  EXPECT_EQ(shown(), "memo1");
  EXPECT_EQ(help.label_caption->text(), "Overview");
  help.SelButton1Click(button(5));
  EXPECT_EQ(shown(), "memo10");
  EXPECT_EQ(help.label_caption->text(), "License");
  EXPECT_FALSE(help.memo[10]->toPlainText().isEmpty());
  help.SelButton1Click(button(6));
  EXPECT_EQ(shown(), "memo9");
  EXPECT_TRUE(help.memo[9]->toPlainText().isEmpty());
  for (int n = 1; n <= 4; ++n) EXPECT_FALSE(help.memo[n]->toPlainText().isEmpty()) << n;
  EXPECT_FALSE(about.isVisible());
  button(7)->click();
  EXPECT_TRUE(about.isVisible());
  EXPECT_EQ(shown(), "memo9");  // "About" is no page
}

TEST(About, ShowsTheVersionEveryLogInCarries) {
  Tabout about;
  EXPECT_EQ(about.version->text().toStdString(), wire::kVersion);
  QString opened;
  ui::setLinkOpener([&](const QString& l) { opened = l; });
  about.findChild<QLabel*>("label_link")->linkActivated(kMakerSite);
  EXPECT_EQ(opened, kMakerSite);
  ui::setLinkOpener({});
}

}  // namespace
}  // namespace ombrix::windows
