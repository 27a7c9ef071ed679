// The table by keyboard: the mark on the hand, playing and bidding by keys,
// where the focus goes around the host's commands, and whole games played
// by key presses alone.
#include "client/tablekeys.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QTextEdit>
#include <random>

#include "base/cards.h"
#include "tests/client/keys_fixture.h"

namespace ombrix::test {
namespace {

QWidget* focused() { return QApplication::focusWidget(); }

int markedCard(const Tchat& t) {
  CardImage* c = t.keys().marked();
  return c ? c->card : 0;
}

TEST_F(Wired, TheMarkWalksThePlayableCardsAndEnterSendsOneRequest) {
  logIn(1);
  feed("CMD_startround+2+4");
  // Four of clubs, Three, Five and Ten of hearts, Seven of spades.
  feed("CMD_placecard+1+1+30+2+3+3+35+4+45+5+28");
  mychat(table)->setFocus();
  press(Qt::Key_Escape);  // out of the chat: to the hand, to read it
  EXPECT_EQ(markedCard(table), 3);
  press(Qt::Key_Right);
  EXPECT_EQ(markedCard(table), 28);

  feed("CMD_playcard+4+1+27");  // hearts led
  feed("CMD_nextplayer+1");
  EXPECT_EQ(markedCard(table), 28);  // a heart already: the mark stays
  const int hearts[] = {28, 30, 35, 35};
  for (int want : hearts) {
    EXPECT_EQ(markedCard(table), want);
    press(Qt::Key_Right);
  }
  press(Qt::Key_Left);
  EXPECT_EQ(markedCard(table), 30);
  press(Qt::Key_Home);
  EXPECT_EQ(markedCard(table), 28);
  // At the table Escape leaves the mark where it is, and so does news from
  // the table: Enter still plays the marked card.
  press(Qt::Key_Escape);
  feed("CMD_newplayerinfo+7+Sam");
  EXPECT_EQ(markedCard(table), 28);
  press(Qt::Key_End);
  CardImage* ten = table.keys().marked();
  ASSERT_EQ(ten->card, 35);
  // The frame stands around the part of the card the next one leaves in view.
  EXPECT_TRUE(table.keys().mark()->isVisible());
  EXPECT_EQ(table.keys().mark()->geometry(), QRect(ten->x() - 4, ten->y() - 4, 18 + 8, 96 + 8 + 9));

  press(Qt::Key_Escape);
  press(Qt::Key_Return);
  EXPECT_EQ(ten->y(), 316);
  EXPECT_FALSE(table.model().myTurn());
  EXPECT_EQ(table.keys().mark()->y(), 316 - 4);  // the mark rises with it
  press(Qt::Key_Space);
  press(Qt::Key_Return);
  EXPECT_EQ(sent("CMD_playcard"), std::vector<std::string>{"CMD_playcard+1+3"});

  feed("CMD_needsuit+1+");
  EXPECT_EQ(ten->y(), 320);
  press(Qt::Key_Space);
  EXPECT_EQ(sent("CMD_playcard").size(), 2u);
  feed("CMD_playcard+1+3+35");
  EXPECT_EQ(focused(), tableArea(table));  // not the chat input
  EXPECT_FALSE(table.keys().mark()->isVisible());

  // Without a card of the led suit every card may be played.
  feed("CMD_startround+3+4");
  feed("CMD_placecard+1+1+3+2+45");
  feed("CMD_playcard+4+1+27");
  feed("CMD_nextplayer+1");
  EXPECT_EQ(markedCard(table), 3);
  press(Qt::Key_Right);
  EXPECT_EQ(markedCard(table), 45);
  EXPECT_EQ(table.keys().mark()->width(), 71 + 8);  // the last card is in view whole
}

TEST_F(Wired, DigitsGoToTheBidBoxAndEnterBidsOnce) {
  logIn(1);
  feed("CMD_startround+3+4");
  feed("CMD_placecard+1+1+30+2+3+3+35");
  tableArea(table)->setFocus();
  feed("CMD_bid+1+3+1");
  EXPECT_EQ(focused(), edit_bid(table));
  typeDigits("12");
  press(Qt::Key_Return);
  EXPECT_EQ(boxes, std::vector<QString>{"You can't bid more then 3."});
  EXPECT_TRUE(sent("CMD_bid").empty());

  press(Qt::Key_Escape);
  EXPECT_EQ(focused(), tableArea(table));
  typeDigits("1");  // from the table, a digit goes to the bid box and replaces it
  EXPECT_EQ(focused(), edit_bid(table));
  EXPECT_EQ(edit_bid(table)->text(), "1");
  press(Qt::Key_Up);
  press(Qt::Key_Up);
  press(Qt::Key_Up);
  EXPECT_EQ(edit_bid(table)->text(), "3");
  press(Qt::Key_Down);
  press(Qt::Key_Return);
  press(Qt::Key_Return);  // the button has gone: once only
  EXPECT_EQ(sent("CMD_bid"), std::vector<std::string>{"CMD_bid+1+2"});

  feed("CMD_hisbid+1+2+2");  // the bid box hides under the focus
  EXPECT_EQ(focused(), tableArea(table));
}

TEST_F(Keys, TheChatInputKeepsItsFocusUntilEscape) {
  seatAt(table, 1);
  feed("CMD_startround+2+4");
  feed("CMD_placecard+1+1+30+2+3");
  mychat(table)->setFocus();
  QTest::keyClicks(mychat(table), "hi");
  feed("CMD_bid+1+2+1");
  EXPECT_EQ(focused(), mychat(table));
  press(Qt::Key_Escape);
  EXPECT_EQ(focused(), edit_bid(table));
  EXPECT_EQ(mychat(table)->text(), "hi");

  feed("CMD_hisbid+1+0+0");
  mychat(table)->setFocus();
  feed("CMD_nextplayer+1");
  EXPECT_EQ(focused(), mychat(table));
  EXPECT_FALSE(table.keys().mark()->isVisible());
  press(Qt::Key_Escape);
  EXPECT_EQ(markedCard(table), 3);
  EXPECT_TRUE(table.keys().mark()->isVisible());

  // With nothing to do at the table, Escape goes to the table itself.
  feed("CMD_startround+3+4");
  mychat(table)->setFocus();
  press(Qt::Key_Escape);
  EXPECT_EQ(focused(), tableArea(table));
  // Tab comes back round to the chat input and Escape leaves it again.
  mychat(table)->setFocus();
  press(Qt::Key_Tab);
  EXPECT_NE(focused(), mychat(table));
}

// Bids and plays by key presses only: Shift+F2 from the chat input, Escape
// out of it, digits and Enter, arrows and Enter or Space. Every card the mark
// stands on must be playable (the host would refuse the others, and the
// count of presses would not come out at one per trick).
TEST_F(KeySolo, AWholeHalfGameByKeysOnly) {
  std::mt19937 rng(13);
  mychat(table)->setFocus();
  press(Qt::Key_F2, Qt::ShiftModifier);
  ASSERT_TRUE(waitFor([&] { return label_round(table)->text() == "Round: 1"; }));
  EXPECT_EQ(focused(), mychat(table));
  press(Qt::Key_Escape);
  int plays = 0, bids = 0, inChat = 0, illegal = 0, scoreCards = 0;
  const bool over = waitFor(
      [&] {
        // The score card shows at each round's end; where the window system
        // gives it the keyboard anyway, Escape closes it.
        if (QApplication::activeWindow() != &table) {
          if (QApplication::activeWindow()) press(Qt::Key_Escape), ++scoreCards;
          QApplication::setActiveWindow(&table);
          return false;
        }
        if (focused() == mychat(table)) ++inChat;
        if (focused() == edit_bid(table) && button_bid(table)->isVisibleTo(&table)) {
          typeDigits(QString::number(rng() % (table.model().handSize() + 1)));
          press(Qt::Key_Return);
          ++bids;
        }
        if (table.model().myTurn() && table.keys().marked()) {
          for (int k = static_cast<int>(rng() % 4); k > 0; --k) press(k % 2 ? Qt::Key_Right : Qt::Key_End);
          if (rng() % 3 == 0) press(Qt::Key_Left);
          const int card = markedCard(table);
          bool canFollow = false;
          for (CardImage* c : table.cardImages())
            canFollow = canFollow || suitOf(c->card) == suitOf(table.model().ledCard());
          illegal +=
              table.model().ledCard() != 0 && canFollow && suitOf(card) != suitOf(table.model().ledCard());
          press(plays % 2 ? Qt::Key_Space : Qt::Key_Return);
          ++plays;
        }
        return label_end(table)->text() == "Game Over!";
      },
      60000);  // a bound only: a loaded machine plays the game slower
  ASSERT_TRUE(over) << "focus " << (focused() ? focused()->objectName().toStdString() : "none") << " turn "
                    << table.model().myTurn() << " round " << label_round(table)->text().toStdString()
                    << " plays " << plays << " bids " << bids << " status "
                    << label_turn(table)->text().toStdString() << " bidbox " << edit_bid(table)->isVisible()
                    << button_bid(table)->isVisible();
  EXPECT_EQ(plays, 55);  // one card a trick, 1 + 2 + ... + 10
  EXPECT_EQ(bids, 10);
  EXPECT_EQ(illegal, 0);
  EXPECT_EQ(inChat, 0);
  EXPECT_TRUE(boxes.empty());
  EXPECT_TRUE(button_start(table)->isVisibleTo(&table));
}

TEST_F(KeySolo, F2StartsAFullGame) {
  tableArea(table)->setFocus();
  press(Qt::Key_F2);
  ASSERT_TRUE(waitFor([&] { return label_round(table)->text() == "Round: 1"; }));
  EXPECT_TRUE(mainchat(table)->toPlainText().contains("You have started a FULL game."));
}

}  // namespace
}  // namespace ombrix::test
