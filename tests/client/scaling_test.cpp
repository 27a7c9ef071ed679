// The table as one picture: exactly the design at the design's window size,
// twice every rectangle at twice the size, nothing cut at any size, and card
// pictures drawn for the pixels they take (a stand-in scaled meanwhile).
#include <gtest/gtest.h>

#include <QMenuBar>
#include <QTableWidget>

#include "tests/client/table_fixture.h"
#include "ui/cardlabel.h"
#include "ui/cardpictures.h"
#include "ui/designscale.h"
#include "ui/settings.h"

namespace ombrix::test {
namespace {

// The table's elements where the table's layout puts them at the design
// size (left, top, width, height; a width or height of 0: not fixed there).
struct Expected {
  QString name;
  QRect at;
};
std::vector<Expected> designLayout() {
  std::vector<Expected> out;
  struct Family {
    const char* name;
    int w, h;
    QPoint at[4];
  };
  const Family families[] = {
      {"label_playername", 90, 22, {{160, 298}, {39, 102}, {153, 3}, {376, 64}}},
      {"label_score", 0, 0, {{208, 320}, {89, 124}, {202, 28}, {425, 86}}},
      {"label_tricks", 0, 0, {{208, 337}, {89, 141}, {202, 43}, {425, 103}}},
      {"label_bid", 0, 0, {{208, 353}, {89, 157}, {202, 59}, {425, 119}}},
      {"label_bidlabel", 0, 0, {{168, 353}, {49, 157}, {162, 59}, {385, 117}}},
      {"image_turn", 27, 44, {{138, 321}, {18, 125}, {133, 27}, {355, 88}}},
      {"image_eyes", 24, 17, {{141, 301}, {23, 106}, {136, 8}, {359, 69}}},
      {"image_cards", 0, 96, {{232, 320}, {48, 176}, {227, 27}, {385, 136}}},
      {"image_played", 71, 96, {{219, 174}, {179, 158}, {203, 133}, {243, 150}}},
      {"image_winner", 82, 88, {{224, 320}, {40, 176}, {219, 32}, {384, 136}}},
      {"image_trickwinner", 32, 41, {{168, 368}, {120, 128}, {182, 75}, {352, 136}}},
  };
  for (const Family& f : families)
    for (int p = 1; p <= 4; ++p) out.push_back({f.name + QString::number(p), QRect(f.at[p - 1], QSize(f.w, f.h))});
  out.push_back({"label_round", {7, 4, 0, 0}});
  out.push_back({"label_totalbids", {7, 21, 0, 0}});
  out.push_back({"label_turn", {7, 39, 0, 0}});
  out.push_back({"trumpcard", {23, 314, 71, 96}});
  out.push_back({"label_status1", {3, 451, 334, 20}});
  out.push_back({"label_status2", {336, 451, 169, 20}});
  out.push_back({"label_end", {22, 256, 509, 0}});
  out.push_back({"label_firstplay", {138, 251, 255, 0}});
  out.push_back({"edit_bid", {284, 272, 26, 28}});
  out.push_back({"updown_bid", {310, 272, 0, 0}});
  out.push_back({"button_bid", {329, 272, 91, 28}});
  out.push_back({"button_start", {205, 204, 91, 28}});
  out.push_back({"button_starthalf", {205, 172, 91, 28}});
  return out;
}

QWidget* tableChild(const Tchat& t, const QString& name) {
  for (QObject* o : tableArea(t)->children())
    if (o->objectName() == name) return qobject_cast<QWidget*>(o);
  return nullptr;
}

struct Scaled : Table {
  void SetUp() override {
    Table::SetUp();
    table.show();
  }
  // The window's client area at w by h, laid out.
  void sizeTo(int w, int h) {
    table.resize(w, h);
    QCoreApplication::processEvents();
  }
  // The panel's height at the design's window size: the window less its menu bar.
  int designPanelHeight() { return Tchat::kDesignWindow.height() - table.menuBar()->height(); }
};

TEST_F(Scaled, AtTheDesignSizeEveryElementIsWhereTheLayoutPutsIt) {
  sizeTo(790, 520);
  EXPECT_EQ(tableArea(table)->geometry(), QRect(1, 1, 782, 474));
  for (const Expected& e : designLayout()) {
    QWidget* w = tableChild(table, e.name);
    ASSERT_NE(w, nullptr) << qPrintable(e.name);
    EXPECT_EQ(w->pos(), e.at.topLeft()) << qPrintable(e.name);
    if (e.at.width()) {
      EXPECT_EQ(w->width(), e.at.width()) << qPrintable(e.name);
    }
    if (e.at.height()) {
      EXPECT_EQ(w->height(), e.at.height()) << qPrintable(e.name);
    }
  }
  // The bid box's caption ends beside the box, its text whole.
  QLabel* caption = table.findChild<QLabel*>("label_bid");
  EXPECT_EQ(caption->geometry().right(), 282);
  EXPECT_LE(caption->fontMetrics().horizontalAdvance(caption->text()), caption->width());
  EXPECT_EQ(caption->font().pixelSize(), 19);
  // The chat column as it always stood, and its pane to the window's edges.
  EXPECT_EQ(mainchat(table)->x(), 545);
  EXPECT_EQ(mainchat(table)->y(), 125);
  EXPECT_EQ(mainchat(table)->width(), 790 - 549);
  EXPECT_EQ(element(table, "button_scorecard")->geometry(), QRect(554, 74, 91, 28));
}

TEST_F(Scaled, AtTwiceTheSizeEveryRectangleIsTwiceItsDesignAndTheTableIsCentred) {
  sizeTo(790, 520);
  std::vector<std::pair<QWidget*, QRect>> design;
  for (QObject* o : tableArea(table)->children())
    if (auto* w = qobject_cast<QWidget*>(o); w && !w->objectName().isEmpty()) design.emplace_back(w, w->geometry());
  const QRect designChat = mainchat(table)->geometry();

  sizeTo(2 * 790, 2 * 520);
  const QWidget* panel = element(table, "panel_main");
  const QRect area = tableArea(table)->geometry();
  EXPECT_EQ(area.size(), QSize(2 * 782, 2 * 474));
  // The design's panel, twice as large, in the middle of the panel there is.
  const int spareH = panel->height() - 2 * designPanelHeight();
  EXPECT_NEAR(area.y() - 2, spareH / 2, 1);
  EXPECT_NEAR(area.x() - 2, (panel->width() - 2 * 790) / 4, 1);
  for (const auto& [w, r] : design) {
    const QRect now = w->geometry();
    EXPECT_NEAR(now.x(), 2 * r.x(), 1) << qPrintable(w->objectName());
    EXPECT_NEAR(now.y(), 2 * r.y(), 1) << qPrintable(w->objectName());
    EXPECT_NEAR(now.width(), 2 * r.width(), 1) << qPrintable(w->objectName());
    EXPECT_NEAR(now.height(), 2 * r.height(), 1) << qPrintable(w->objectName());
  }
  EXPECT_EQ(label_round(table)->font().pixelSize(), 26);
  EXPECT_EQ(table.findChild<QLabel*>("label_playername1")->font().pixelSize(), 38);
  // The chat column beside it, twice as wide and as far from the left.
  EXPECT_NEAR(mainchat(table)->x(), area.x() - 2 + 2 * designChat.x(), 2);
  EXPECT_GE(mainchat(table)->width(), 2 * designChat.width() - 2);

  // And back: exactly the design again.
  sizeTo(790, 520);
  for (const auto& [w, r] : design) EXPECT_EQ(w->geometry(), r) << qPrintable(w->objectName());
  EXPECT_EQ(mainchat(table)->geometry(), designChat);
}

TEST_F(Scaled, NothingIsCutAtAnySize) {
  // A game under way, every caption at its longest: names, the bid box, the status lines.
  seatAt(table, 1);
  for (int s = 2; s <= 4; ++s) feed("CMD_newplayerinfo+" + std::to_string(s) + "+Bartholomew" + std::to_string(s));
  feed("CMD_startgame+You+f+");
  feed("CMD_startround+10+3");
  feed("CMD_placecard+1+1+45+2+3+3+17+4+30+5+52+6+1+7+14+8+27+9+40+10+13");
  feed("CMD_bid+1+10+1");
  for (const QSize size : {QSize(790, 520), QSize(1024, 700), QSize(1280, 1024), QSize(1920, 1080),
                           QSize(1000, 520), QSize(790, 900)}) {
    sizeTo(size.width(), size.height());
    const QWidget* panel = element(table, "panel_main");
    const QRect area = tableArea(table)->geometry();
    EXPECT_TRUE(panel->rect().contains(area)) << size.width() << "x" << size.height();
    for (QObject* o : tableArea(table)->children()) {
      auto* w = qobject_cast<QWidget*>(o);
      if (!w || !w->isVisibleTo(&table)) continue;
      EXPECT_TRUE(QRect(QPoint(), area.size()).contains(w->geometry())) << qPrintable(w->objectName());
      // Text drawn whole: at its own size, or smaller as far as a caption shrinks it.
      if (auto* l = qobject_cast<QLabel*>(w); l && !l->text().trimmed().isEmpty()) {
        EXPECT_LE(l->fontMetrics().horizontalAdvance(l->text()) * 0.6, l->width() + 1) << qPrintable(l->objectName());
      }
    }
    // The chat pane and its input inside the window, right of the table's cards.
    const QRect chat = mainchat(table)->geometry().united(mychat(table)->geometry());
    EXPECT_TRUE(panel->rect().contains(chat)) << size.width() << "x" << size.height();
    EXPECT_GT(chat.left(), area.x() + table.el("image_cards", 4)->geometry().right());
  }
  // The bid caption needs no shrinking at the design size or twice it.
  for (const QSize size : {QSize(790, 520), QSize(1580, 1040)}) {
    sizeTo(size.width(), size.height());
    QLabel* caption = table.findChild<QLabel*>("label_bid");
    EXPECT_LE(caption->fontMetrics().horizontalAdvance("Your Bid:"), caption->width());
  }
}

TEST_F(Scaled, FullScreenAndBackKeepsTheWindowsOwnSize) {
  seatAt(table, 1);
  feed("CMD_newplayerinfo+1+You");  // seated: the settings are read, and saved at the close
  table.setGeometry(2, 4, 796, 540);  // within the test screen (800 x 600)
  QCoreApplication::processEvents();
  QAction* full = action(table, "FullScreen1");
  EXPECT_EQ(full->shortcut(), QKeySequence(Qt::Key_F11));
  full->trigger();
  EXPECT_TRUE(table.isFullScreen());
  EXPECT_TRUE(full->isChecked());
  table.close();
  const QHash<QString, QString> kept = ui::readSection(table.settingsFile, "Ombrix");
  EXPECT_EQ(kept.value("width"), "796");
  EXPECT_EQ(kept.value("height"), "540");
}

// A real deck, the fastest to read: the pictures come from the drawing thread.
struct Crisp : Scaled {
  void SetUp() override {
    Scaled::SetUp();
    auto& pictures = ui::CardPictures::instance();
    if (!ui::findDeck(pictures.decks(), "svg-standard")) GTEST_SKIP() << "kdegames-card-data-kf5 is not installed";
    pictures.setStyle({"svg-standard", "svg-standard"});
  }
  void TearDown() override {
    ui::CardPictures::instance().holdDrawing(false);
    ui::CardPictures::instance().useDrawnCards();
    Scaled::TearDown();
  }
  ui::CardLabel* trump() { return static_cast<ui::CardLabel*>(trumpcard(table)); }
};

TEST_F(Crisp, CardsAreDrawnForThePixelsTheyTakeWithTheOldPictureStandingIn) {
  const qreal dpr = table.devicePixelRatioF();
  sizeTo(790, 520);
  feed("CMD_trump+40");
  ASSERT_TRUE(waitFor([&] { return trump()->sharp(); }, 60000));
  EXPECT_EQ(trump()->pixmap().size(), QSize(71, 96) * dpr);

  // Held, so the drawing thread cannot be quicker than the look below.
  ui::CardPictures::instance().holdDrawing(true);
  sizeTo(2 * 790, 2 * 520);
  // At once, the small picture stands in, drawn to the new size.
  EXPECT_FALSE(trump()->sharp());
  EXPECT_EQ(trump()->pixmap().size(), QSize(71, 96) * dpr);
  EXPECT_EQ(trump()->size(), QSize(142, 192));
  ui::CardPictures::instance().holdDrawing(false);
  // Then twice the pixels, drawn off the window's thread.
  ASSERT_TRUE(waitFor([&] { return trump()->sharp(); }, 60000));
  EXPECT_EQ(trump()->pixmap().size(), QSize(142, 192) * dpr);
  EXPECT_EQ(trump()->pixmap().devicePixelRatio(), dpr);

  // A fan's backs at the card's size too, and the last trick window's cards.
  feed("CMD_placecard+2+1+0+2+0+3+0");
  auto* fan = table.el<ui::CardLabel>("image_cards", 2);
  ASSERT_TRUE(waitFor([&] { return fan->sharp(); }, 60000));
  EXPECT_EQ(fan->size(), QSize(2 * (66 + 15), 192));
  EXPECT_EQ(fan->pixmap().size(), fan->size() * dpr);
  lastTrick.show();
  lastTrick.resize(2 * 434, 2 * 133);
  QCoreApplication::processEvents();
  lastTrick.fill("Ann won this trick.", {0, 1, 2, 3, 4}, 40, 1);
  ASSERT_TRUE(waitFor([&] { return lastTrick.played[3]->sharp(); }, 60000));
  EXPECT_EQ(lastTrick.played[3]->geometry(), QRect(2 * 165, 2 * 2, 142, 192));
  EXPECT_EQ(lastTrick.played[3]->pixmap().size(), QSize(142, 192) * dpr);
}

TEST_F(Table, TheSecondaryWindowsGrowAsOnePicture) {
  score.show();
  score.resize(2 * 357, 2 * 435);
  QCoreApplication::processEvents();
  EXPECT_EQ(score.scorecard->geometry(), QRect(8, 8, 2 * 349, 2 * 398));
  EXPECT_EQ(score.scorecard->columnWidth(1), 2 * 71);
  EXPECT_EQ(score.scorecard->rowHeight(3), 2 * 17);
  EXPECT_EQ(score.scorecard->font().pixelSize(), 26);
  // Taller than wide: the same factor, centred.
  score.resize(2 * 357, 3 * 435);
  const QRect centred(8, (3 * 435 - 2 * 435) / 2 + 8, 2 * 349, 2 * 398);
  EXPECT_TRUE(waitFor([&] { return score.scorecard->geometry() == centred; }, 5000));
  // Never smaller than the design.
  EXPECT_EQ(score.minimumSize(), QSize(357, 435));
}

}  // namespace
}  // namespace ombrix::test
