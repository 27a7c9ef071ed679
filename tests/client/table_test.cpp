// The table window, offscreen: seat mapping, handlers writing the right
// elements, the hand, and a whole solo half game played by clicking cards.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QTableWidget>
#include <QTextBlock>
#include <QTextDocument>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QTimer>

#include "client/tablewindow.h"
#include "client/gamerecord.h"
#include "client/previnst.h"
#include "base/cards.h"
#include "protocol/commands.h"
#include "app/hostbinding.h"
#include "host/hostsockets.h"
#include "tests/client/table_fixture.h"
#include "tests/support/qtloop.h"
#include "ui/msgbox.h"
#include "windows/downloadform.h"
#include "windows/lasttrickform.h"
#include "windows/scoreform.h"
#include "windows/spylistform.h"

namespace ombrix::test {
namespace {

// Where each family's element of a screen position stands.
const QPoint kBid[5] = {{}, {208, 353}, {89, 157}, {202, 59}, {425, 119}};
const QPoint kName[5] = {{}, {160, 298}, {39, 102}, {153, 3}, {376, 64}};

TEST_F(Table, SeatMappingPutsTheOwnSeatAtTheBottom) {
  // seat -> screen position, for mySeat 1..4
  const int expect[5][5] = {{}, {0, 1, 2, 3, 4}, {0, 4, 1, 2, 3}, {0, 3, 4, 1, 2}, {0, 2, 3, 4, 1}};
  for (int me = 1; me <= 4; ++me) {
    Tchat t;
    seatAt(t, me);
    for (int seat = 1; seat <= 4; ++seat) {
      EXPECT_EQ(t.el("label_bid", seat)->pos(), kBid[expect[me][seat]]) << "me " << me << " seat " << seat;
      EXPECT_EQ(t.el("label_playername", seat)->pos(), kName[expect[me][seat]]);
      EXPECT_EQ(t.el("image_played", seat)->parentWidget(), tableArea(t));
    }
  }
  Tchat spy;
  seatAt(spy, 7);
  EXPECT_EQ(spy.el("label_bid", 1)->pos(), kBid[1]);
}

TEST_F(Table, HandlersWriteTheirSeatsElements) {
  seatAt(table, 3);
  feed("CMD_newplayerinfo+1+Ann");
  feed("CMD_newplayerinfo+3+Me");
  table.myName = "Me";
  EXPECT_EQ(at("label_playername", 1)->pos(), kName[3]);  // seat 1 sits on top
  feed("CMD_startgame+Ann+h+");
  EXPECT_EQ(score.cell(1, 0), "Ann");
  EXPECT_EQ(score.cell(2, 11), "--");
  feed("CMD_startround+4+2");
  EXPECT_EQ(label_status1(table)->text(), "Round 4 is starting! Reza is dealer.");
  feed("CMD_bid+3+4+1");
  EXPECT_TRUE(edit_bid(table)->isVisibleTo(&table));
  EXPECT_EQ(label_firstplay(table)->text(), "Ann will play first");
  EXPECT_EQ(table.soundsPlayed().back(), "bid");
  feed("CMD_hisbid+1+2+2");
  EXPECT_EQ(at("label_bid", 1)->text(), "2");
  EXPECT_EQ(at("label_bid", 1)->pos(), kBid[3]);
  EXPECT_EQ(label_status2(table)->text(), "Ann bids: 2");
  EXPECT_EQ(label_totalbids(table)->text(), "Total Bids: 2");
  EXPECT_FALSE(edit_bid(table)->isVisibleTo(&table));
  feed("CMD_hisbid+0+0+0");
  feed("CMD_nextplayer+3");
  EXPECT_TRUE(table.model().myTurn());
  EXPECT_EQ(label_turn(table)->text(), "Your Turn.");
  feed("CMD_playcard+1+2+30");
  EXPECT_EQ(table.model().ledCard(), 30);
  feed("CMD_playcard+2+1+45");
  feed("CMD_trickwinner+1+1");
  EXPECT_EQ(at("label_tricks", 1)->text(), "1");
  EXPECT_TRUE(at("image_trickwinner", 1)->isVisibleTo(&table));
  EXPECT_EQ(lastTrick.label_ledoff->text(), "Hearts");
  EXPECT_EQ(lastTrick.label_winner->text(), "Ann won this trick.");
  EXPECT_EQ(table.model().ledCard(), 0);
  feed("CMD_score+3+14+14");
  EXPECT_EQ(at("label_score", 3)->text(), "14");
  EXPECT_EQ(score.cell(3, 4), "14");
  EXPECT_EQ(score.cell(3, 21), "14");
  EXPECT_EQ(label_end(table)->text(), "You Made your Bid!");
  feed("CMD_winner+Ann and Me+90");
  EXPECT_TRUE(at("image_winner", 1)->isVisibleTo(&table));
  EXPECT_TRUE(at("image_winner", 3)->isVisibleTo(&table));
  EXPECT_FALSE(at("image_winner", 2)->isVisibleTo(&table));
  EXPECT_EQ(label_status2(table)->text(), "Winning Score: 90");
}

TEST_F(Table, TheHandLiesInCardOrderAndFansFollowTheCount) {
  seatAt(table, 1);
  feed("CMD_placecard+1+1+45+2+3+3+17+4+30+5+52+6+1+7+14+8+27+9+40+10+13");
  std::vector<std::pair<int, int>> seen;  // left edge, card
  for (CardImage* c : table.cardImages()) seen.emplace_back(c->x(), c->card);
  std::sort(seen.begin(), seen.end());
  const int order[] = {1, 3, 13, 14, 17, 27, 30, 40, 45, 52};
  ASSERT_EQ(seen.size(), 10u);
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(seen[i].first, 234 + 18 * i);
    EXPECT_EQ(seen[i].second, order[i]);
  }
  EXPECT_EQ(table.findChild<QLabel*>("card6")->x(), 234);  // position 6 holds card 1
  feed("CMD_placecard+2+1+0+2+0+3+0+4+0+5+0+6+0+7+0");
  EXPECT_EQ(at("image_cards", 2)->width(), 101);
  feed("CMD_playcard+2+3+5");
  EXPECT_EQ(at("image_cards", 2)->width(), 96);
  // A host's position far past a hand draws a hand's fan, no wider.
  feed("CMD_placecard+3+1+0+99999+0");
  EXPECT_EQ(table.model().cardsShown(3), 10);
  EXPECT_EQ(at("image_cards", 3)->width(), 116);
  // Playing from slot 2 closes the gap.
  feed("CMD_playcard+1+2+3");
  seen.clear();
  for (CardImage* c : table.cardImages()) seen.emplace_back(c->x(), c->card);
  std::sort(seen.begin(), seen.end());
  EXPECT_EQ(seen.size(), 9u);
  EXPECT_EQ(seen[1], std::make_pair(252, 13));
  EXPECT_EQ(table.handInOrder().back()->x(), 234 + 18 * 8);  // slot 10 is free
}

TEST_F(Table, BidBoxLimitsAndStartNeedsAConnection) {
  feed("CMD_bid+2+3+1");  // another seat bids: the limit is 3
  edit_bid(table)->setText("12");
  table.button_bidClick();
  EXPECT_EQ(boxes, (std::vector<QString>{"You can't bid more then 3."}));
  edit_bid(table)->setText("x");
  table.button_bidClick();
  EXPECT_EQ(boxes.back(), "'x' is not a valid integer value");
  table.button_startClick();
  EXPECT_EQ(boxes.back(), "You are not connected.");
  feed("CMD_bid+2+2+1");
  edit_bid(table)->setText("5");
  feed("CMD_bid+2+2+1");
  EXPECT_EQ(edit_bid(table)->text(), "2");
  feed("CMD_trump+x");
  EXPECT_EQ(boxes.back(), "'x' is not a valid integer value");
  feed("CMD_full");  // no "+": no command
  EXPECT_FALSE(closed);
  feed("CMD_full+");
  EXPECT_EQ(boxes.back(), "The Game is full, Disconnecting..");
  EXPECT_TRUE(closed);
}

TEST_F(Table, SpectatorsComeAndGoInTheSpyList) {
  seatAt(table, 1);
  feed("CMD_newplayerinfo+7+Ann");
  ASSERT_EQ(spies.listbox_spys->count(), 1);
  EXPECT_EQ(spies.listbox_spys->item(0)->text(), "7: Ann");
  EXPECT_EQ(at("label_playername", 3)->text(), "<Waiting>");
  feed("CMD_playerdisconnected+7+Bob");
  EXPECT_EQ(spies.listbox_spys->count(), 1);
  feed("CMD_playerdisconnected+7+ann");
  EXPECT_EQ(spies.listbox_spys->count(), 0);
  feed("CMD_newplayerinfo+2+Bo");
  feed("CMD_justwatching+2+1");
  EXPECT_TRUE(at("image_eyes", 2)->isVisibleTo(&table));
  feed("CMD_playerdisconnected+2+Bo");
  EXPECT_EQ(at("label_playername", 2)->text(), "Reza");
  EXPECT_FALSE(at("image_eyes", 2)->isVisibleTo(&table));
  feed("CMD_playerdisconnected+1+You");
  EXPECT_TRUE(closed);
}

TEST_F(Table, AHostThatAnnouncesWithoutEndCannotGrowTheTable) {
  seatAt(table, 1);
  // Spectators: one line a slot, and only slots that exist.
  feed("CMD_newplayerinfo+7+Ann");
  feed("CMD_newplayerinfo+7+Bo");
  for (int n = 5; n < 300; ++n) feed("CMD_newplayerinfo+" + std::to_string(n) + "+Spy");
  ASSERT_EQ(spies.listbox_spys->count(), 5);
  EXPECT_EQ(spies.listbox_spys->item(0)->text(), "7: Spy");
  // Game record, chat pane and sounds stop at their bounds.
  feed("CMD_startgame+Ann+f+");
  for (int i = 0; i < 2100; ++i) {
    feed("CMD_startround+1+1");
    feed("CMD_chat+Ann: line " + std::to_string(i) + "|clRed");
    if (i < 100) feed("CMD_trickwinner+1+" + std::to_string(i));
  }
  EXPECT_EQ(table.gameRecord().entries(), client::GameRecord::kMaxEntries);
  EXPECT_LT(mainchat(table)->document()->blockCount(), 2100);
  EXPECT_TRUE(mainchat(table)->document()->lastBlock().text().endsWith("line 2099"));
  EXPECT_EQ(table.soundsPlayed().size(), Tchat::kSoundsKept);
  // A new game starts a new record.
  feed("CMD_startgame+Ann+h+");
  feed("CMD_startround+1+1");
  EXPECT_EQ(table.gameRecord().entries(), 1u);
}

TEST_F(Table, ALateJoinerSeesTheTableAsItStands) {
  seatAt(table, 2);
  feed("CMD_newplayerstuff+1+3+1+22+1+14+2+0+3+40+4+0+");
  EXPECT_EQ(at("label_bid", 1)->text(), "3");
  EXPECT_EQ(at("label_score", 1)->text(), "22");
  EXPECT_EQ(table.model().playedCard(1), 14);
  EXPECT_EQ(table.model().playedCard(3), 40);
  EXPECT_FALSE(at("image_played", 3)->pixmap().isNull());
  EXPECT_TRUE(at("image_played", 2)->pixmap().isNull());
  feed("CMD_stats+3+0+7+33+h+");
  EXPECT_EQ(table.model().onTurn(), 3);
  EXPECT_EQ(label_round(table)->text(), "Round: 7");
  EXPECT_EQ(table.model().trump(), 33);
  EXPECT_EQ(score.cell(4, 15), "--");
  EXPECT_EQ(at("label_playername", 4)->text(), "Derev");
  feed("CMD_placecard+2+3+5+7+44");
  EXPECT_EQ(table.cardImages().size(), 2u);
}

TEST_F(Table, AFailedJoinSaysSoInTheChatPane) {
  int port;
  {
    net::TAsyncSock probe;
    probe.setPortName("0");
    probe.setListen(true);
    port = probe.LocalPort();
  }
  table.connection().socket().setPortName(std::to_string(port));
  table.hostAddress = "127.0.0.1";
  table.joinpress();
  EXPECT_TRUE(
      waitFor([&] { return mainchat(table)->toPlainText().contains("Could not connect to 127.0.0.1"); }));
  EXPECT_TRUE(mainchat(table)->toPlainText().contains("WSAECONNREFUSED"));
  Tchat other;
  other.hostAddress = "no-such-host.invalid";
  other.joinpress();
  // Looked up off the loop's thread: told once the answer is in.
  EXPECT_TRUE(waitFor(
      [&] { return mainchat(other)->toPlainText().contains("Host Lookup - Could Not Find Host Entry"); }));
}

// --- With the in-process host ---------------------------------------------------

TEST_F(Table, ASoloStartOffersTheLobbyAndAGameWithParametersDoesNot) {
  HostSockets host(7, 40);
  windows::Tdownload download(&table);
  HostBinding binding(host);
  table.attach(&score, &lastTrick, &spies, &binding);
  table.attachDownload(&download);
  table.hostPort = "0";
  table.processparams({"Ann", "10.0.0.1"});  // too few: nothing happens
  EXPECT_FALSE(download.isVisible());
  EXPECT_FALSE(table.isHost());
  table.processparams({});
  EXPECT_TRUE(download.isVisible());
  EXPECT_TRUE(table.isHost());
  ASSERT_TRUE(waitFor([&] { return table.model().loggedIn(); }));
  download.Button1Click();  // "Play Solo Game"
  EXPECT_FALSE(download.isVisible());
}

TEST_F(Solo, ClickRaisesAndSendsOnceAndNeedsuitLowers) {
  table.button_startClick();
  ASSERT_TRUE(waitFor([&] {
    if (edit_bid(table)->isVisible() || button_bid(table)->isVisibleTo(&table)) {
      if (button_bid(table)->isVisibleTo(&table)) table.button_bidClick();
    }
    return table.model().myTurn();
  }));
  auto cards = table.cardImages();
  ASSERT_FALSE(cards.empty());
  CardImage* c = cards[0];
  click(c);
  EXPECT_EQ(c->y(), 316);
  EXPECT_FALSE(table.model().myTurn());
  const int queuedBefore = static_cast<int>(host->server().receivedlist.size());
  if (cards.size() > 1) click(cards[1]);  // before the answer: nothing
  EXPECT_EQ(cards.size() > 1 ? cards[1]->y() : 320, 320);
  EXPECT_EQ(static_cast<int>(host->server().receivedlist.size()), queuedBefore);
  // A refused card comes back down and the turn is the player's again.
  feed("CMD_needsuit+1+2+1+");
  EXPECT_TRUE(table.model().myTurn());
  EXPECT_EQ(c->y(), 320);
  EXPECT_EQ(table.soundsPlayed().back(), "turnoverbad");
}

TEST_F(Solo, ACommandFindingTheQueueIdleIsHandledOnArrivalABurstOnePerTick) {
  auto shown = [&](const QString& text) { return mainchat(table)->toPlainText().contains(text); };
  ASSERT_TRUE(waitFor([&] { return table.connection().queued() == 0 && !table.connection().pacer().ticking(); }));
  // From here the dispatch's time moves only when the test moves it: what
  // is shown without a step ran on arrival.
  table.connection().useDispatchTimers(dispatchClock);
  host->send(1, "CMD_chat+Host chats: now|clBlack");
  ASSERT_TRUE(waitFor([&] { return shown("Host chats: now"); }));
  EXPECT_FALSE(table.connection().pacer().ticking());

  // Several in one read, the budget spent a tick ago: the first at once,
  // the rest one a tick, in order.
  dispatchClock.advance(client::TableConnection::kDispatchTickUs / 1000);
  std::string burst;
  for (const char* w : {"one", "two", "three"})
    burst += std::string("CMD_chat+Host chats: ") + w + "|clBlack" + wire::kTerminator;
  host->sock(1)->Send(burst);
  ASSERT_TRUE(waitFor([&] { return shown("Host chats: one") && table.connection().queued() == 2; }));
  EXPECT_FALSE(shown("Host chats: two"));
  ASSERT_TRUE(dispatchClock.step());
  EXPECT_TRUE(shown("Host chats: two"));
  EXPECT_FALSE(shown("Host chats: three"));
  ASSERT_TRUE(dispatchClock.step());
  EXPECT_TRUE(shown("Host chats: three"));
  EXPECT_EQ(dispatchClock.now(), 2 * client::TableConnection::kDispatchTickUs / 1000 + 1);
  EXPECT_FALSE(dispatchClock.step()) << "ticking with nothing queued";
  const QString all = mainchat(table)->toPlainText();
  EXPECT_LT(all.indexOf("one"), all.indexOf("two"));
  EXPECT_LT(all.indexOf("two"), all.indexOf("three"));
}

TEST_F(Solo, AWholeHalfGameByClickingCards) {
  table.StartHalfGame1Click();
  int clicks = 0;
  ASSERT_TRUE(playToTheEnd(table, 120000, [&] { ++clicks; }));
  EXPECT_EQ(clicks, 55);  // one card of each trick, 1 + 2 + ... + 10
  EXPECT_TRUE(table.cardImages().empty());
  int marks = 0;
  for (int s = 1; s <= 4; ++s) marks += table.el("image_winner", s)->isVisibleTo(&table);
  EXPECT_GE(marks, 1);
  EXPECT_TRUE(button_start(table)->isVisibleTo(&table));
  EXPECT_TRUE(button_starthalf(table)->isVisibleTo(&table));
  EXPECT_EQ(score.cell(1, 11), "--");
  EXPECT_FALSE(score.cell(1, 21).isEmpty());
  EXPECT_TRUE(boxes.empty());
}

}  // namespace
}  // namespace ombrix::test

namespace ombrix::test {
namespace {
// An environment variable set for one test, put back after it.
struct ScopedEnv {
  ScopedEnv(const char* name, const QByteArray& value) : name(name), saved(qgetenv(name)) { qputenv(name, value); }
  ~ScopedEnv() { saved.isNull() ? qunsetenv(name) : qputenv(name, saved); }
  const char* name;
  QByteArray saved;
};

TEST(PrevInstance, ASecondStartActivatesTheFirstAndTheNextAfterItIsFirstAgain) {
  // A runtime folder of the test's own, and a desktop display the test
  // must not reach: a player's game there is none of this test's business.
  QTemporaryDir runtime;
  ASSERT_TRUE(QFile::setPermissions(runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
  ScopedEnv folder("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
  ScopedEnv display("DISPLAY", ":77");
  const QString address = client::PrevInstance::scopedName("worrauq11");
  EXPECT_TRUE(address.startsWith("worrauq11-")) << address.toStdString();
  EXPECT_FALSE(address.contains("77")) << "drawn off screen, yet scoped to the display";
  {
    client::PrevInstance first, second;
    int activations = 0;
    first.onActivate = [&] { ++activations; };
    ASSERT_FALSE(first.running());
    EXPECT_TRUE(QFileInfo::exists(runtime.filePath(address)));
    EXPECT_TRUE(QFileInfo::exists(runtime.filePath(client::PrevInstance::scopedName("ombrix") + ".lock")));
    EXPECT_TRUE(second.running());
    EXPECT_TRUE(waitFor([&] { return activations == 1; }));
  }
  client::PrevInstance next;
  EXPECT_FALSE(next.running());
}
TEST_F(Table, HouseRulesAreShownAndTheHookedBidIsNeverOffered) {
  seatAt(table, 4);
  feed("CMD_rules+hook,scoring=penalty");
  EXPECT_TRUE(score.windowTitle().contains("hook,scoring=penalty"));
  feed("CMD_startgame+Ann+f+");
  EXPECT_EQ(label_status1(table)->text(), "House rules: hook,scoring=penalty.");
  EXPECT_TRUE(mainchat(table)->toPlainText().contains("House rules: hook,scoring=penalty."));
  feed("CMD_startround+3+4");  // seat 1 opens: seat 4 bids last, three cards
  feed("CMD_hisbid+1+1+1");
  feed("CMD_hisbid+2+1+2");
  feed("CMD_hisbid+3+0+2");
  feed("CMD_bid+4+3+1");
  edit_bid(table)->setText("1");  // 2 + 1 would make the round's 3
  table.button_bidClick();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_TRUE(boxes.back().startsWith("The hook:")) << boxes.back().toStdString();
  EXPECT_TRUE(button_bid(table)->isVisibleTo(&table)) << "the box stays for another bid";
  edit_bid(table)->setText("2");
  table.button_bidClick();
  EXPECT_EQ(boxes.size(), 1u);
  // A missed bid costs points: the totals are read with their sign.
  feed("CMD_hisbid+4+2+4");
  feed("CMD_score+4+-6+-6");
  EXPECT_EQ(at("label_score", 4)->text(), "-6");
  EXPECT_EQ(label_end(table)->text(), "You did not make your Bid!");
  feed("CMD_winner+Ann+-2");
  EXPECT_EQ(label_status2(table)->text(), "Winning Score: -2");
}

}  // namespace
}  // namespace ombrix::test
