// The hint: the Strong player's advice for the local player, worked out from
// what this window knows; it fills the bid box or raises a card to play, and
// sends nothing.
#include "client/tablehint.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTextEdit>
#include <algorithm>

#include "client/tablekeys.h"
#include "tests/client/table_fixture.h"

namespace ombrix::test {
namespace {

using client::markable;
using client::TableHint;

bool bidBoxUp(const Tchat& t) { return !edit_bid(t)->isHidden(); }

// Everything the table sent before this has reached the host once the line
// comes back: the connection keeps its order.
void barrier(Tchat& t, const QString& text) {
  mychat(t)->setText(text);
  t.sendit();
  ASSERT_TRUE(waitFor([&] { return mainchat(t)->toPlainText().contains("You chats: " + text); }));
}

TEST_F(Solo, TheHintFillsTheBidBoxThenRaisesAPlayableCardAndSendsNothing) {
  GameEngine& e = host->server().engine;
  table.StartHalfGame1Click();
  ASSERT_TRUE(waitFor([&] { return bidBoxUp(table); }, 20000));
  edit_bid(table)->setText("9");
  table.Hint1Click();
  ASSERT_TRUE(table.hint().thinking());
  ASSERT_TRUE(waitFor([&] { return !table.hint().thinking(); }, 20000));
  bool isNumber = false;
  const int bid = edit_bid(table)->text().toInt(&isNumber);
  ASSERT_TRUE(isNumber) << edit_bid(table)->text().toStdString();
  EXPECT_GE(bid, 0);
  EXPECT_LE(bid, table.model().handSize());
  EXPECT_NE(edit_bid(table)->text(), "9");
  barrier(table, "after the bid hint");
  EXPECT_EQ(e.currentBidder, 1);  // still asked: nothing was bid
  EXPECT_EQ(e.currentPlayer, 0);
  table.button_bidClick();

  // Play the first legal card until a turn offers a choice.
  ASSERT_TRUE(waitFor(
      [&] {
        if (bidBoxUp(table)) table.button_bidClick();
        if (!table.model().myTurn()) return false;
        if (markable(table).size() >= 2) return true;
        click(legal());
        return false;
      },
      60000));
  const std::vector<CardImage*> playable = markable(table);
  table.Hint1Click();
  ASSERT_TRUE(waitFor([&] { return !table.hint().thinking(); }, 20000));
  CardImage* hinted = table.hint().hinted();
  ASSERT_NE(hinted, nullptr);
  EXPECT_NE(std::find(playable.begin(), playable.end(), hinted), playable.end()) << "not a legal card";
  int up = 0;
  for (CardImage* c : table.cardImages()) up += c->y() != TableHint::kHandTop;
  EXPECT_EQ(up, 1);
  EXPECT_EQ(hinted->y(), TableHint::kHintedTop);
  EXPECT_FALSE(client::isRaised(hinted));  // not taken for a card sent to the host
  barrier(table, "after the card hint");
  EXPECT_TRUE(table.model().myTurn());
  EXPECT_EQ(e.currentPlayer, 1);
  const auto& held = e.seats[1].hand;
  EXPECT_NE(std::find(held.begin(), held.end(), hinted->card), held.end());

  // A click on the raised card plays it, as on any other.
  const int card = hinted->card;
  click(hinted);
  EXPECT_FALSE(table.model().myTurn());
  ASSERT_TRUE(waitFor([&] { return std::find(held.begin(), held.end(), card) == held.end(); }));
  EXPECT_EQ(table.hint().hinted(), nullptr);
}

TEST_F(Table, AdviceForAMomentThatHasPassedIsDropped) {
  seatAt(table, 1);
  table.Hint1Click();
  EXPECT_TRUE(mainchat(table)->toPlainText().contains("There is nothing for you to decide now."));
  EXPECT_FALSE(table.hint().thinking());

  for (const char* m : {"CMD_startgame+Ann+h+", "CMD_startround+2+4", "CMD_placecard+1+1+40+2+7",
                        "CMD_trump+14", "CMD_bid+1+2+1"})
    feed(m);
  ASSERT_TRUE(bidBoxUp(table));
  edit_bid(table)->setText("2");
  table.Hint1Click();
  ASSERT_TRUE(table.hint().thinking());
  feed("CMD_hisbid+1+2+2");  // the table moves on before the advice is ready
  ASSERT_TRUE(waitFor([&] { return !table.hint().thinking(); }));
  EXPECT_EQ(edit_bid(table)->text(), "2");
}

// A hostile host asks for a bid in a round of a million cards: the table
// keeps the hand size to a hand's, and the hint, given a table no game can
// have, says so at once instead of working for ever.
TEST_F(Table, AHandOfAMillionCardsNeitherFreezesNorCrashesTheHint) {
  seatAt(table, 1);
  for (const char* m : {"CMD_startgame+Ann+h+", "CMD_startround+2+4", "CMD_placecard+1+1+40+2+7",
                        "CMD_trump+14", "CMD_bid+1+1000000+1"})
    feed(m);
  ASSERT_TRUE(bidBoxUp(table));
  EXPECT_EQ(table.model().handSize(), 10);
  EXPECT_FALSE(table.hint().ask());
  EXPECT_FALSE(table.hint().thinking());
  EXPECT_TRUE(
      mainchat(table)->toPlainText().contains("The hint cannot make sense of what this table was told."));
}

}  // namespace
}  // namespace ombrix::test
