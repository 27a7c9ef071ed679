// Cards in motion: what the table does is the same with "Animate Cards" on
// or off (every element, name, focus and request after every event); the
// cards that may not be played are dimmed and a click on one sends nothing;
// the card that takes a complete trick is marked while it rests.
#include <gtest/gtest.h>

#include <QAction>
#include <QTest>

#include "client/tableaccess.h"
#include "client/tablemotion.h"
#include "tests/client/keys_fixture.h"
#include "ui/designscale.h"
#include "ui/settings.h"

namespace ombrix::test {
namespace {

// The table as everything but the eye meets it: each element's place,
// visibility, text and accessible name, the focus, the model's turn, and
// what the table sent so far.
std::string snapshot(Wired& w) {
  QString out;
  QStringList rows;
  for (QObject* o : tableArea(w.table)->children()) {
    auto* e = qobject_cast<QWidget*>(o);
    if (!e || e->objectName() == "flights") continue;
    const QRect r = ui::designRect(e);
    auto* l = qobject_cast<QLabel*>(e);
    rows << QString("%1 %2,%3 %4x%5 %6 %7 [%8] %9")
                .arg(e->objectName())
                .arg(r.x())
                .arg(r.y())
                .arg(r.width())
                .arg(r.height())
                .arg(e->isVisibleTo(&w.table))
                .arg(l ? l->text() : QString())
                .arg(e->accessibleName())
                .arg(l && !l->pixmap().isNull());
  }
  rows.sort();
  out = rows.join('\n');
  QWidget* focus = QApplication::focusWidget();
  out += "\nfocus " + (focus ? focus->objectName() : QString("none"));
  out += QString("\nturn %1").arg(w.table.model().myTurn());
  for (const std::string& m : w.sent("CMD_")) out += "\nsent " + QString::fromStdString(m);
  return out.toStdString();
}

// A round as a host announces it, with the player's own bid and cards
// pressed by keys and clicks on the way.
std::vector<std::string> playRound(Wired& w, bool animate) {
  std::vector<std::string> seen;
  w.table.findChild<QAction*>("AnimateCards1")->setChecked(animate);
  w.table.AnimateCards1Click();
  auto step = [&](const std::string& m) {
    w.feed(m);
    seen.push_back(m + "\n" + snapshot(w));
  };
  w.logIn(1);
  step("CMD_startgame+Me+f+");
  step("CMD_startround+3+2");
  step("CMD_placecard+1+1+30+2+3+3+35");
  for (int s = 2; s <= 4; ++s) step("CMD_placecard+" + std::to_string(s) + "+1+0+2+0+3+0");
  step("CMD_trump+41");
  step("CMD_bid+1+3+3");
  typeDigits("1");
  press(Qt::Key_Return);
  step("CMD_hisbid+1+1+1");
  step("CMD_playcard+3+2+29");  // hearts led
  step("CMD_playcard+4+1+13");
  step("CMD_nextplayer+1");
  clickCard(w.table.cardImage(2));  // the four of clubs: not a heart, so nothing goes
  seen.push_back("click\n" + snapshot(w));
  press(Qt::Key_Return);  // the marked card: a heart
  seen.push_back("enter\n" + snapshot(w));
  step("CMD_playcard+1+1+30");
  step("CMD_playcard+2+3+44");  // a trump takes it
  step("CMD_trickwinner+2+1");
  step("CMD_nextplayer+2");
  return seen;
}

// A second table with a host of its own, beside the test's.
struct SecondTable : Wired {
  void TestBody() override {}
};

TEST_F(Wired, WithCardsInMotionTheTableDoesTheSameInTheSameOrder) {
  const std::vector<std::string> moving = playRound(*this, true);
  EXPECT_TRUE(table.motion().enabled());
  SecondTable still;
  still.SetUp();
  const std::vector<std::string> straight = playRound(still, false);
  EXPECT_FALSE(still.table.motion().enabled());
  ASSERT_EQ(moving.size(), straight.size());
  for (size_t i = 0; i < moving.size(); ++i) EXPECT_EQ(moving[i], straight[i]) << "step " << i;
  still.TearDown();
}

TEST_F(Wired, CardsFlyToTheirPlacesWhichStandMeanwhile) {
  logIn(1);
  feed("CMD_startround+1+2");
  feed("CMD_placecard+3+1+0+2+0");
  client::Flights& flights = table.motion().flights();
  auto* fan = table.el<ui::CardLabel>("image_cards", 3);
  // The deal: the fan is there for every reader, veiled for the eye until its cards arrive.
  EXPECT_TRUE(flights.flying());
  EXPECT_EQ(fan->fanCount(), 2);
  EXPECT_TRUE(fan->veiled());
  ASSERT_TRUE(waitFor([&] { return !flights.flying(); }, 5000));
  EXPECT_FALSE(fan->veiled());

  feed("CMD_playcard+3+1+27");
  auto* played = table.el<ui::CardLabel>("image_played", 3);
  EXPECT_EQ(played->shownCard(), 27);
  EXPECT_TRUE(played->veiled());
  EXPECT_EQ(fan->fanCount(), 1);
  // A new event lands what is still in flight at once.
  feed("CMD_trickwinner+3+1");
  EXPECT_FALSE(played->veiled());
  EXPECT_TRUE(flights.flying());  // the trick on its way to its winner
  // Off, nothing flies and flights under way land.
  table.findChild<QAction*>("AnimateCards1")->trigger();
  EXPECT_FALSE(flights.flying());
  feed("CMD_playcard+3+2+28");
  EXPECT_FALSE(flights.flying());
  EXPECT_FALSE(played->veiled());
}

TEST_F(Wired, OnTheTurnCardsThatMayNotBePlayedAreDimmedAndSayWhy) {
  logIn(1);
  feed("CMD_startround+3+2");
  // The four of clubs, the five and ten of hearts, the seven of spades.
  feed("CMD_placecard+1+1+30+2+3+3+35+4+45");
  feed("CMD_trump+14");
  auto dimmed = [&] {
    std::vector<int> out;
    for (CardImage* c : table.handInOrder())
      if (c->dimmed()) out.push_back(c->card);
    return out;
  };
  EXPECT_TRUE(dimmed().empty());  // not the player's turn: nothing dimmed
  feed("CMD_playcard+4+1+27");    // hearts led
  feed("CMD_nextplayer+1");
  EXPECT_EQ(dimmed(), (std::vector<int>{3, 45}));
  clickCard(table.cardImage(2));  // the four of clubs
  EXPECT_EQ(label_status1(table)->text(), "You must follow suit: play Hearts.");
  EXPECT_TRUE(sent("CMD_playcard").empty());
  EXPECT_TRUE(table.model().myTurn());
  EXPECT_EQ(ui::designRect(table.cardImage(2)).y(), 320);  // not raised
  clickCard(table.cardImage(3));  // the ten of hearts
  EXPECT_EQ(sent("CMD_playcard"), (std::vector<std::string>{"CMD_playcard+1+3"}));
  EXPECT_TRUE(dimmed().empty());  // sent: the turn is over
  // Refused after all (the host's rule is the rule): the turn and the marks come back.
  feed("CMD_needsuit+1+");
  EXPECT_EQ(dimmed(), (std::vector<int>{3, 45}));
}

TEST_F(Wired, TheCardThatTakesTheTrickIsMarkedWhileTheTrickRests) {
  logIn(1);
  feed("CMD_startround+3+4");
  feed("CMD_trump+41");  // spades are trump
  auto marked = [&] {
    std::vector<int> out;
    for (int s = 1; s <= 4; ++s)
      if (table.el<ui::CardLabel>("image_played", s)->highlighted()) out.push_back(s);
    return out;
  };
  feed("CMD_playcard+2+1+30");  // the five of hearts led
  feed("CMD_playcard+3+1+39");  // the ace of hearts
  feed("CMD_playcard+4+1+27");  // the two
  EXPECT_TRUE(marked().empty());  // not complete yet
  feed("CMD_playcard+1+1+40");    // the two of spades trumps it
  EXPECT_EQ(marked(), (std::vector<int>{1}));
  feed("CMD_trickwinner+1+1");
  EXPECT_TRUE(marked().empty());
  // Without a trump the highest of the suit led; an ace of another suit takes nothing.
  feed("CMD_playcard+1+2+3");   // the four of clubs led
  feed("CMD_playcard+2+2+13");  // the ace of clubs
  feed("CMD_playcard+3+2+8");
  feed("CMD_playcard+4+2+26");  // the ace of diamonds
  EXPECT_EQ(marked(), (std::vector<int>{2}));
}

TEST_F(Table, AnimateCardsIsKeptInTheSettingsFile) {
  ui::writeKeys(table.settingsFile, "Ombrix", {{"AnimateCards", "0"}});
  seatAt(table, 1);
  feed("CMD_newplayerinfo+1+Me");
  QAction* animate = action(table, "AnimateCards1");
  EXPECT_FALSE(animate->isChecked());
  EXPECT_FALSE(table.motion().enabled());
  animate->trigger();
  EXPECT_TRUE(table.motion().enabled());
  EXPECT_EQ(ui::readSection(table.settingsFile, "Ombrix").value("animatecards"), "1");
  // The pace follows the computer players' speed.
  table.BotSpeedClick(1000);
  EXPECT_EQ(table.motion().playMs(), 400);
  table.BotSpeedClick(500);
  EXPECT_EQ(table.motion().playMs(), 200);
}

}  // namespace
}  // namespace ombrix::test
