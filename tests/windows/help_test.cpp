// The help pages and the about window.
#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTextBrowser>
#include <vector>

#include "client/tablewindow.h"
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

TEST(About, ShowsTheVersionEveryLogInCarriesAndAClickOnTheLinkOpensTheSite) {
  Tabout about;
  EXPECT_EQ(about.version->text().toStdString(), wire::kVersion);
  about.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&about));
  std::vector<QString> opened;
  ui::setLinkOpener([&](const QString& l) { opened.push_back(l); });
  auto* link = about.findChild<QLabel*>("label_link");
  ASSERT_NE(link, nullptr);
  // Beside the link's words nothing opens; on them, the maker's site.
  QTest::mouseClick(link, Qt::LeftButton, {}, QPoint(link->width() - 2, link->height() / 2));
  EXPECT_TRUE(opened.empty());
  QTest::mouseClick(link, Qt::LeftButton, {}, QPoint(4, link->height() / 2));
  EXPECT_EQ(opened, std::vector<QString>{kMakerSite});
  ui::setLinkOpener({});
}

}  // namespace
}  // namespace ombrix::windows
