// The tally: its text form, its counting, and the window that keeps it in
// the tally file across runs of the program.
#include <gtest/gtest.h>

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QTemporaryDir>
#include <fstream>
#include <sstream>

#include "client/tablewindow.h"
#include "client/tablewindow_util.h"
#include "compress/lzrw1.h"
#include "ui/msgbox.h"
#include "ui/numbers.h"
#include "windows/tallylistform.h"

namespace ombrix::windows {
namespace {

QByteArray lines(std::initializer_list<const char*> ls) {
  QByteArray out;
  for (const char* l : ls) out += QByteArray(l) + "\r\n";
  return out;
}

TEST(TallyText, IsTheCountsThenEveryCellColumnByColumn) {
  TallyGrid grid;
  EXPECT_EQ(SaveGridToText(grid), lines({"9", "1", "0", "0", "0", "0", "0", "0", "0", "0", "0"}));
  grid.follow("Ann");
  grid.setCell(1, 1, "4");
  grid.setCell(8, 1, "2");
  const QByteArray text = SaveGridToText(grid);
  EXPECT_EQ(text, lines({"9", "2", "0", "Ann", "0", "4", "0", "0", "0", "0",
                         "0", "0", "0", "0",   "0", "0", "0", "0", "0", "2"}));
  StringGrid back;
  LoadGridFromText(back, text);
  ASSERT_EQ(back.ColCount(), 9);
  ASSERT_EQ(back.RowCount(), 2);
  EXPECT_EQ(back.cell(0, 1), "Ann");
  EXPECT_EQ(back.cell(8, 1), "2");
}

TEST(TallyText, ANameWithALineBreakCannotShiftTheCells) {
  TallyGrid grid;
  grid.follow("Evil\r\n9\r\n");
  TallyGrid back;
  back.load(SaveGridToText(grid));
  ASSERT_EQ(back.RowCount(), 2);
  EXPECT_EQ(back.cell(0, 1), "Evil  9  ");
  EXPECT_EQ(back.cell(1, 1), "0");
}

TEST(TallyText, DamagedTextLeavesTheGridAsItWas) {
  TallyGrid grid;
  grid.follow("Bo");
  const QByteArray before = SaveGridToText(grid);
  for (const QByteArray& bad : {QByteArray("nine\r\n1\r\n"), lines({"9"}), lines({"9", "99999999", "0"}),
                                lines({"9", "2", "0", "0"}), lines({"3", "1", "a", "b", "c"})}) {
    EXPECT_THROW(grid.load(bad), TextReadError) << bad.constData();
    EXPECT_EQ(SaveGridToText(grid), before);
  }
  // Loading starts a new run: the session columns go back to 0.
  grid.setCell(5, 1, "3");
  grid.setCell(1, 1, "3");
  grid.load(SaveGridToText(grid));
  EXPECT_EQ(grid.cell(5, 1), "0");
  EXPECT_EQ(grid.cell(1, 1), "3");
}

TEST(TallyCounting, EachGameGoesToTheRightColumns) {
  TallyGrid grid;
  const int ann = grid.follow("Ann"), bo = grid.follow("Bo");
  grid.countGame(ann, "Ann");       // she won
  grid.countGame(bo, "Ann");        // neither of us
  grid.countGame(bo, "addtomine");  // the player won
  grid.countGame(ann, "ann");       // exact names only: not her
  auto row = [&](int r) {
    QStringList cells;
    for (int c = 1; c < 9; ++c) cells << grid.cell(c, r);
    return cells.join(' ');
  };
  EXPECT_EQ(row(ann), "2 1 0 1 2 1 0 1");
  EXPECT_EQ(row(bo), "2 0 1 1 2 0 1 1");
  EXPECT_EQ(grid.rowOf("BO"), bo);  // lookups ignore letter case

  // An empty cell counts from 0; a cell that is no number is an error.
  grid.setCell(3, ann, "");
  grid.countGame(ann, "addtomine");
  EXPECT_EQ(grid.cell(3, ann), "1");
  grid.setCell(1, bo, "x");
  EXPECT_THROW(grid.countGame(bo, "Bo"), ui::ConversionError);
}

TEST(TallyCounting, RemovingAnOpponentMovesTheLaterRowsUp) {
  TallyGrid grid;
  for (const char* n : {"A", "B", "C", "D"}) grid.follow(n);
  grid.setCell(1, 3, "7");  // C
  grid.moverow(2);          // B
  ASSERT_EQ(grid.RowCount(), 4);
  EXPECT_EQ(grid.cell(0, 2), "C");
  EXPECT_EQ(grid.cell(1, 2), "7");
  EXPECT_EQ(grid.cell(0, 3), "D");
  grid.moverow(3);  // the last
  grid.moverow(2);
  grid.moverow(1);
  EXPECT_EQ(grid.RowCount(), 1);
  grid.moverow(1);  // row 0 always stays
  EXPECT_EQ(grid.RowCount(), 1);
}

// The window over a tally file in a folder of its own; questions answered
// from `answers`, boxes collected.
struct TallyWindow : ::testing::Test {
  void SetUp() override {
    ui::setMessageBoxSink([this](const QString& t, std::function<void()> then) {
      boxes.push_back(t);
      if (then) then();
    });
    ui::setQuestionSink([this](const QString& t, std::function<void(bool)> answer) {
      questions.push_back(t);
      answer(yes);
    });
  }
  void TearDown() override {
    ui::setMessageBoxSink({});
    ui::setQuestionSink({});
  }
  QString file() const { return dir.filePath("ombrixtally.tld"); }
  QByteArray expanded() {
    std::ifstream in(file().toStdString(), std::ios::binary);
    std::ostringstream out;
    lzrw::Tlzrw1 c;
    c.UseStream = true;
    c.Visible = false;
    c.InputStream = &in;
    c.OutputStream = &out;
    c.Decompress();
    return QByteArray::fromStdString(out.str());
  }
  static QStringList cells(const Ttallylist& t, int row) {
    QStringList out;
    for (int c = 1; c < 9; ++c) out << t.stringgrid_scores.cell(c, row);
    return out;
  }
  static void follow(Ttallylist& t, int entry) { t.checklist->item(entry)->setCheckState(Qt::Checked); }
  QTemporaryDir dir;
  std::vector<QString> boxes, questions;
  bool yes = true;
};

TEST_F(TallyWindow, AFirstRunWonAgainstTwoFollowedOpponentsIsKeptAcrossRuns) {
  {
    Ttallylist t(nullptr, file());
    EXPECT_EQ(t.windowTitle(), "Ombrix - Tally List");
    t.setPlayersInGame({"Ann", "Bo", "Cy"});
    follow(t, 0);
    follow(t, 2);
    ASSERT_EQ(t.listbox_tally->count(), 2);
    EXPECT_EQ(t.listbox_tally->item(1)->text(), "Cy");
    t.addgame("addtomine");
    t.addtomine(2);
    EXPECT_EQ(t.mylabel_1->text(), "1");
    EXPECT_EQ(t.mylabel_2->text(), "1");
    EXPECT_EQ(cells(t, 1).join(' '), "1 0 1 0 1 0 1 0");
    EXPECT_EQ(cells(t, 2).join(' '), "1 0 1 0 1 0 1 0");
    t.listbox_tally->setCurrentRow(1);
    EXPECT_EQ(t.findChild<QLabel*>("label_hisnametop")->text(), "Cy's Tally");
    EXPECT_EQ(t.findChild<QLabel*>("label_hisname")->text(), "Cy Wins:");
    EXPECT_EQ(t.findChild<QLabel*>("label_5")->text(), "1");
  }
  QFile f(file());
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  EXPECT_EQ(f.read(4), QByteArray("\x57\x52\x5A\x4C"));  // the Fast container
  f.close();

  Ttallylist again(nullptr, file());
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(again.mylabel_1->text(), "1");
  ASSERT_EQ(again.listbox_tally->count(), 2);
  EXPECT_EQ(again.listbox_tally->item(0)->checkState(), Qt::Checked);
  EXPECT_EQ(cells(again, 1).join(' '), "1 0 1 0 0 0 0 0");  // the run's columns start again
  // A followed opponent at the table is shown checked; another is not.
  again.setPlayersInGame({"cy", "Dee"});
  EXPECT_EQ(again.checklist->item(0)->checkState(), Qt::Checked);
  EXPECT_EQ(again.checklist->item(1)->checkState(), Qt::Unchecked);
  again.addgame("Dee");
  EXPECT_EQ(cells(again, 2).join(' '), "2 0 1 1 1 0 0 1");
  EXPECT_EQ(cells(again, 1).join(' '), "1 0 1 0 0 0 0 0");  // not at the table: untouched
}

TEST_F(TallyWindow, ANameWithALineBreakIsShownCountedAndFollowedInOneForm) {
  Ttallylist t(nullptr, file());
  t.setPlayersInGame({"Bo\r\nCMD_full+", "Cy"});
  EXPECT_EQ(t.checklist->item(0)->text(), "Bo  CMD_full+");
  follow(t, 0);
  ASSERT_EQ(t.listbox_tally->count(), 1);
  EXPECT_EQ(t.listbox_tally->item(0)->text(), "Bo  CMD_full+");
  EXPECT_EQ(t.stringgrid_scores.cell(0, 1), "Bo  CMD_full+");
  // The table sends the name as it came: it is found, shown checked, and
  // counted, also as the winner; checking it again follows nobody new.
  t.setPlayersInGame({"Bo\r\nCMD_full+", "Cy"});
  EXPECT_EQ(t.checklist->item(0)->checkState(), Qt::Checked);
  t.addgame("Bo\r\nCMD_full+");
  EXPECT_EQ(cells(t, 1).join(' '), "1 1 0 0 1 1 0 0");
  t.checklist->item(0)->setCheckState(Qt::Unchecked);
  follow(t, 0);
  EXPECT_EQ(t.listbox_tally->count(), 1);
  EXPECT_EQ(t.stringgrid_scores.RowCount(), 2);
}

TEST_F(TallyWindow, StoppingToFollowAsksFirstAndKeepsTheRowsInStep) {
  Ttallylist t(nullptr, file());
  t.setPlayersInGame({"A", "B", "C"});
  for (int k = 0; k < 3; ++k) follow(t, k);
  t.stringgrid_scores.setCell(1, 3, "5");  // C's games

  yes = false;
  t.listbox_tally->item(1)->setCheckState(Qt::Unchecked);
  ASSERT_EQ(questions.size(), 1u);
  EXPECT_EQ(questions[0], "This will delete B's Tally, Are you want to delete it?");
  EXPECT_EQ(t.listbox_tally->count(), 3);
  EXPECT_EQ(t.listbox_tally->item(1)->checkState(), Qt::Checked);

  yes = true;
  t.listbox_tally->item(1)->setCheckState(Qt::Unchecked);
  ASSERT_EQ(t.listbox_tally->count(), 2);
  EXPECT_EQ(t.listbox_tally->item(1)->text(), "C");
  EXPECT_EQ(t.stringgrid_scores.cell(0, 2), "C");
  EXPECT_EQ(t.stringgrid_scores.cell(1, 2), "5");
  EXPECT_EQ(t.checklist->item(1)->checkState(), Qt::Unchecked);  // B is no longer followed

  // Unchecking a player at the table does not stop following him.
  t.checklist->item(0)->setCheckState(Qt::Unchecked);
  EXPECT_EQ(t.checklist->item(0)->checkState(), Qt::Checked);
  EXPECT_EQ(t.listbox_tally->count(), 2);
}

TEST_F(TallyWindow, AResetTallyIsSavedAsElevenLines) {
  {
    Ttallylist t(nullptr, file());
    t.setPlayersInGame({"A"});
    follow(t, 0);
    t.addgame("A");
    yes = false;
    t.button_resetClick();
    EXPECT_EQ(t.listbox_tally->count(), 1);
    yes = true;
    t.button_resetClick();
    EXPECT_EQ(questions.back(), "Are you sure you want to reset the Tally?");
    EXPECT_EQ(t.listbox_tally->count(), 0);
    EXPECT_EQ(t.mylabel_1->text(), "0");
    EXPECT_EQ(t.checklist->item(0)->checkState(), Qt::Unchecked);
  }
  EXPECT_EQ(expanded(), lines({"9", "1", "0", "0", "0", "0", "0", "0", "0", "0", "0"}));
}

TEST_F(TallyWindow, ADamagedFileIsReportedAndKeptAside) {
  {
    QFile f(file());
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("not a tally at all");
  }
  {
    Ttallylist t(nullptr, file());
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(boxes[0].startsWith(file() + " : Lzrw1 decompression : this file has no valid header !"));
    EXPECT_EQ(t.stringgrid_scores.RowCount(), 1);
    EXPECT_EQ(t.mylabel_1->text(), "0");
    t.addtomine(1);
  }
  QFile kept(file() + ".damaged");
  ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
  EXPECT_EQ(kept.readAll(), "not a tally at all");
  EXPECT_EQ(expanded(), lines({"9", "1", "0", "1", "0", "0", "0", "0", "0", "0", "0"}));
}

// The table window hands the game's end to the tally.
TEST_F(TallyWindow, TheTableCountsTheGamesItsPlayerSits) {
  Ttallylist t(nullptr, file());
  client::Tchat table;
  table.attach(nullptr, nullptr, nullptr, nullptr, &t);
  table.myName = "Me";
  auto feed = [&](const std::string& m) {
    table.connection().enqueue(m);
    table.processsocktimer();
  };
  feed("CMD_sendlogininfo+1");
  feed("CMD_newplayerinfo+1+Me");
  feed("CMD_newplayerinfo+2+Ann");
  ASSERT_EQ(t.checklist->count(), 1);  // not the player, not the seats still "<Waiting>"
  EXPECT_EQ(t.checklist->item(0)->text(), "Ann");
  follow(t, 0);
  feed("CMD_winner+Me and Ann+120");
  EXPECT_EQ(t.mylabel_1->text(), "1");
  EXPECT_EQ(t.mylabel_2->text(), "1");
  EXPECT_EQ(cells(t, 1).join(' '), "1 0 1 0 1 0 1 0");
  feed("CMD_winner+Ann+90");
  EXPECT_EQ(cells(t, 1).join(' '), "2 1 1 0 2 1 1 0");
  EXPECT_EQ(t.mylabel_2->text(), "1");

  // The View menu shows the window.
  EXPECT_FALSE(t.isVisible());
  table.findChild<QAction*>("TallyList1")->trigger();
  EXPECT_TRUE(t.isVisible());

  // A spectator has no game of his own to count.
  feed("CMD_sendlogininfo+6");
  feed("CMD_winner+Ann+90");
  EXPECT_EQ(t.mylabel_1->text(), "2");
}

}  // namespace
}  // namespace ombrix::windows
