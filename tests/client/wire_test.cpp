// The table window on the wire: what it sends is what the host accepts, and
// what it reads is what the host meant, over real loopback sockets.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextEdit>

#include "tests/client/table_fixture.h"
#include "tests/support/qtloop.h"
#include "windows/tallylistform.h"

namespace ombrix::test {
namespace {

const QString kZoe = QString("Zo") + QChar(0xEB);  // "Zoë", one byte 0xEB in Latin-1

TEST_F(Solo, ABidTheHostWouldRefuseStaysInTheBox) {
  table.button_startClick();
  ASSERT_TRUE(waitFor([&] { return table.button_bid->isVisibleTo(&table); }, 30000));
  // The host takes plain decimal digits only: anything else sent would be
  // dropped there and leave this seat waiting with its button gone.
  for (const char* refused : {" 1", "+1", "1 ", "-1", "0x1", ""}) {
    boxes.clear();
    table.edit_bid->setText(refused);
    table.button_bidClick();
    EXPECT_EQ(boxes, (std::vector<QString>{QString("'") + refused + "' is not a valid integer value"}));
    EXPECT_TRUE(table.button_bid->isVisibleTo(&table)) << refused;
  }
  table.edit_bid->setText("1");
  table.button_bidClick();
  EXPECT_FALSE(table.button_bid->isVisibleTo(&table));
  EXPECT_TRUE(waitFor([&] { return table.label_status2->text() == "You bid: 1"; }));
}

TEST_F(Table, ZoeIsZoeAtEveryTableAndInHerOwnTally) {
  HostWindow host(5, 40);
  QTemporaryDir dir;
  windows::Ttallylist tally(nullptr, dir.filePath("ombrixtally.tld"));
  table.attach(&score, &lastTrick, &spies, &host, &tally);
  table.hostPort = "0";
  table.myName = kZoe;
  table.hostpress();
  ASSERT_TRUE(waitFor([&] { return table.caption(1) == kZoe; }));

  ProtocolClient other(host.port());
  ASSERT_TRUE(waitFor([&] { return other.slot() == 2; }));
  other.send("CMD_logininfo+2+1.0.14+Al");
  ASSERT_TRUE(other.waitForCommand("CMD_existingplayers"));
  EXPECT_EQ(other.with("CMD_existingplayers")[0], "CMD_existingplayers+1+Zo\xEB");

  table.button_startClick();
  ASSERT_TRUE(other.waitForCommand("CMD_startgame"));
  EXPECT_EQ(other.with("CMD_startgame")[0], "CMD_startgame+Zo\xEB+f+");
  EXPECT_TRUE(
      waitFor([&] { return table.mainchat->toPlainText().contains("You have started a FULL game."); }));

  table.receivedlist.push_back("CMD_winner+Al and Zo\xEB+90");
  EXPECT_TRUE(waitFor([&] { return tally.stringgrid_scores.cell(2, 0) == "1"; }));
  EXPECT_EQ(tally.stringgrid_scores.cell(1, 0), "1");
  EXPECT_TRUE(std::find(table.soundsPlayed.begin(), table.soundsPlayed.end(), "winner") !=
              table.soundsPlayed.end());
}

TEST_F(Table, ACharacterLatin1LacksIsComparedAsTheQuestionMarkSent) {
  table.myName = QString("Zo") + QChar(0x113);  // "Zoē"
  feed("CMD_startgame+Zo?+h+");
  EXPECT_TRUE(table.mainchat->toPlainText().endsWith("You have started a HALF game."));
  feed("CMD_startgame+Zoe+h+");
  EXPECT_TRUE(table.mainchat->toPlainText().endsWith("Zoe has started a HALF game."));
}

}  // namespace
}  // namespace ombrix::test
