// What a screen reader reads for the table, read back through Qt's
// accessibility as an assistive technology would, and the events that tell
// it something changed.
#include "client/tableaccess.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QLineEdit>
#include <QPushButton>
#include <QTextEdit>
#include <QToolButton>
#include <set>

#include "client/tablekeys.h"
#include "tests/client/keys_fixture.h"

namespace ombrix::test {
namespace {

using client::cardName;

QString nameOf(QWidget* w) {
  QAccessibleInterface* i = QAccessible::queryAccessibleInterface(w);
  return i ? i->text(QAccessible::Name) : "<none>";
}
QString descriptionOf(QWidget* w) {
  return QAccessible::queryAccessibleInterface(w)->text(QAccessible::Description);
}

TEST(CardNames, EveryCardHasItsOwnName) {
  EXPECT_EQ(cardName(1), "Two of clubs");
  EXPECT_EQ(cardName(13), "Ace of clubs");
  EXPECT_EQ(cardName(22), "Ten of diamonds");
  EXPECT_EQ(cardName(36), "Jack of hearts");
  EXPECT_EQ(cardName(50), "Queen of spades");
  EXPECT_EQ(cardName(51), "King of spades");
  EXPECT_EQ(cardName(0), "");
  EXPECT_EQ(cardName(53), "");
  std::set<QString> all;
  for (int c = 1; c <= 52; ++c) all.insert(cardName(c));
  EXPECT_EQ(all.size(), 52u);
}

// A table at the start of round 4 of a game, seen from seat 1: Reza has 16
// points from round 3, the hand is dealt, trump is turned and the bidding is on.
struct RoundStart : Table {
  void SetUp() override {
    Table::SetUp();
    seatAt(table, 1);
    table.myName = "Ann";
    feed("CMD_newplayerinfo+1+Ann");
    feed("CMD_startgame+Ann+f+");
    feed("CMD_score+2+16+16");
    feed("CMD_startround+4+4");
    feed("CMD_placecard+1+1+50+2+1+3+27+4+36");
    for (int s = 2; s <= 4; ++s) feed("CMD_placecard+" + std::to_string(s) + "+1+0+2+0+3+0+4+0");
    feed("CMD_trump+40");
    feed("CMD_bid+1+4+1");
  }
  QWidget* w(const char* family, int seat) { return table.el(family, seat); }
};

TEST_F(RoundStart, EveryElementReadsWhatItShows) {
  EXPECT_EQ(nameOf(w("label_playername", 1)), "Ann (you), score 0, tricks 0, no bid yet, on turn");
  EXPECT_EQ(nameOf(w("label_playername", 2)), "Reza, score 16, tricks 0, no bid yet");
  EXPECT_EQ(nameOf(w("label_score", 2)), "Reza, score 16");
  EXPECT_EQ(nameOf(w("label_bid", 3)), "Vivav, no bid yet");
  EXPECT_EQ(nameOf(w("image_cards", 4)), "Derev's hand: 4 cards");
  EXPECT_EQ(nameOf(w("image_cards", 1)), "Your hand: 4 cards");
  EXPECT_EQ(nameOf(w("image_played", 2)), "Reza has not played to this trick");
  EXPECT_EQ(nameOf(w("image_played", 1)), "You have not played to this trick");
  EXPECT_EQ(nameOf(w("image_turn", 1)), "You are on turn");
  EXPECT_EQ(nameOf(trumpcard(table)), "Trump card: Two of spades");
  EXPECT_EQ(nameOf(label_round(table)), "Round: 4");
  EXPECT_EQ(nameOf(label_totalbids(table)), "Total Bids: 0");
  EXPECT_EQ(nameOf(label_status1(table)), "Round 4 is starting! Derev is dealer.");
  EXPECT_EQ(nameOf(label_firstplay(table)), "You will play first");
  EXPECT_EQ(nameOf(edit_bid(table)), "Your bid, 0 to 4");
  EXPECT_EQ(nameOf(tableArea(table)), "Table");
  EXPECT_EQ(descriptionOf(tableArea(table)), "Round: 4. Total Bids: 0. Your bid..");
  std::vector<QString> hand;
  for (CardImage* c : table.handInOrder()) hand.push_back(nameOf(c) + " / " + descriptionOf(c));
  EXPECT_EQ(hand, (std::vector<QString>{"Two of clubs / 1 of 4", "Two of hearts / 2 of 4",
                                        "Jack of hearts / 3 of 4", "Queen of spades / 4 of 4"}));
  EXPECT_EQ(nameOf(phraseButton(table, 1)), "Phrase button 1");
  EXPECT_EQ(descriptionOf(phraseButton(table, 1)), "Way To Go!");  // the phrase, as its tooltip
  EXPECT_EQ(nameOf(mychat(table)), "Chat input");
  EXPECT_EQ(nameOf(button_bid(table)), "Bid");
}

TEST_F(RoundStart, TheReadingsFollowThePlay) {
  feed("CMD_hisbid+1+1+1");
  feed("CMD_hisbid+2+2+3");
  feed("CMD_hisbid+3+0+3");
  feed("CMD_hisbid+4+1+4");
  feed("CMD_nextplayer+2");
  EXPECT_EQ(nameOf(w("label_playername", 2)), "Reza, score 16, tricks 0, bid 2, on turn");
  EXPECT_EQ(nameOf(w("label_playername", 1)), "Ann (you), score 0, tricks 0, bid 1");
  feed("CMD_playcard+2+3+45");
  EXPECT_EQ(nameOf(w("image_played", 2)), "Played by Reza: Seven of spades");
  EXPECT_EQ(nameOf(w("image_cards", 2)), "Reza's hand: 3 cards");
  feed("CMD_nextplayer+3");
  feed("CMD_playcard+3+1+46");
  feed("CMD_playcard+4+1+52");
  feed("CMD_nextplayer+1");
  // Spades led: only the queen may be played, and the hand says so.
  std::vector<QString> hand;
  for (CardImage* c : table.handInOrder()) hand.push_back(descriptionOf(c));
  EXPECT_EQ(hand, (std::vector<QString>{"1 of 4, not playable now", "2 of 4, not playable now",
                                        "3 of 4, not playable now", "4 of 4, playable"}));
  feed("CMD_playcard+1+1+50");
  feed("CMD_trickwinner+4+1");
  EXPECT_EQ(nameOf(w("label_playername", 4)), "Derev, score 0, tricks 1, bid 1, took the last trick");
  EXPECT_EQ(nameOf(w("image_played", 4)), "Derev has not played to this trick");
  EXPECT_EQ(nameOf(w("image_cards", 1)), "Your hand: 3 cards");
  feed("CMD_justwatching+3+1");
  EXPECT_EQ(nameOf(w("label_playername", 3)), "Vivav, score 0, tricks 0, bid 0, just watching");
  feed("CMD_winner+Reza+90");
  EXPECT_TRUE(nameOf(w("label_playername", 2)).endsWith(", won the game"));
}

TEST_F(Table, AnEmptySeatAndASpectatorsView) {
  EXPECT_EQ(nameOf(table.el("label_playername", 3)), "Seat 3, waiting for a player");
  EXPECT_EQ(nameOf(trumpcard(table)), "Trump card: none yet");
  seatAt(table, 6);
  feed("CMD_newplayerinfo+1+Ann");
  feed("CMD_placecard+1+1+0+2+0");
  EXPECT_EQ(nameOf(table.el("label_playername", 1)), "Ann, score 0, tricks 0, bid 0");
  EXPECT_EQ(nameOf(table.el("image_cards", 1)), "Ann's hand: 2 cards");
}

TEST_F(Keys, TheMarkIsTheKeyboardFocusAsAnAssistiveTechnologySeesIt) {
  seatAt(table, 1);
  feed("CMD_startround+1+4");
  feed("CMD_placecard+1+1+50+2+1");
  tableArea(table)->setFocus();
  feed("CMD_nextplayer+1");
  press(Qt::Key_Right);
  CardImage* card = table.keys().marked();
  ASSERT_NE(card, nullptr);
  QAccessibleInterface* i = QAccessible::queryAccessibleInterface(card);
  EXPECT_EQ(i->text(QAccessible::Name), "Queen of spades");
  EXPECT_TRUE(i->state().focused);
  EXPECT_EQ(QAccessible::queryAccessibleInterface(tableArea(table))->focusChild(), i);
}

// Changes reach an assistive technology as Qt's accessibility events. Qt
// passes them on only while an accessibility bus is up: the test command
// runs this suite a second time under Xvfb with one (scripts/a11y-bus.sh).
std::vector<std::pair<QObject*, QAccessible::Event>> events;
void record(QAccessibleEvent* e) { events.emplace_back(e->object(), e->type()); }

struct Announced : Keys {
  void SetUp() override {
    if (QGuiApplication::platformName() == "offscreen") GTEST_SKIP() << "no accessibility bus offscreen";
    Keys::SetUp();
    ASSERT_TRUE(waitFor([] { return QAccessible::isActive(); })) << "Qt's AT-SPI bridge did not come up";
    previous = QAccessible::installUpdateHandler(record);
    events.clear();
  }
  void TearDown() override {
    if (QGuiApplication::platformName() != "offscreen") QAccessible::installUpdateHandler(previous);
    Keys::TearDown();
  }
  bool announced(QObject* o, QAccessible::Event type) const {
    return std::find(events.begin(), events.end(), std::make_pair(o, type)) != events.end();
  }
  QAccessible::UpdateHandler previous = nullptr;
};

TEST_F(Announced, NamesThatChangeAreAnnouncedAndTheMarkMovesTheFocus) {
  seatAt(table, 1);
  feed("CMD_startgame+Ann+f+");
  events.clear();
  feed("CMD_startround+1+4");
  feed("CMD_placecard+1+1+50+2+1");
  feed("CMD_trump+40");
  EXPECT_TRUE(announced(trumpcard(table), QAccessible::NameChanged));
  EXPECT_TRUE(announced(label_round(table), QAccessible::NameChanged));
  EXPECT_TRUE(announced(tableArea(table), QAccessible::DescriptionChanged));
  events.clear();
  feed("CMD_hisbid+2+1+1");
  EXPECT_TRUE(announced(table.el("label_playername", 2), QAccessible::NameChanged));
  EXPECT_FALSE(announced(table.el("label_playername", 3), QAccessible::NameChanged));  // unchanged: quiet
  tableArea(table)->setFocus();
  feed("CMD_nextplayer+1");
  CardImage* first = table.keys().marked();
  ASSERT_NE(first, nullptr);
  events.clear();
  press(Qt::Key_Right);
  CardImage* second = table.keys().marked();
  ASSERT_NE(second, first);
  EXPECT_TRUE(announced(second, QAccessible::Focus));
}

}  // namespace
}  // namespace ombrix::test
