// View > "Card Deck": decks of the test's own (small SVG files, one broken),
// chosen in the window, drawn on the table, kept in the settings file and
// read back; a deck that cannot be read gives way to the next, said once.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QFile>
#include <QListWidget>

#include "tests/client/table_fixture.h"
#include "ui/cardlabel.h"
#include "ui/cardpictures.h"
#include "ui/settings.h"
#include "windows/carddeckform.h"

namespace ombrix::test {
namespace {

// A deck whose every card is one colour: what the table draws shows whose it is.
void writeDeck(const QString& path, const char* colour) {
  static const char* const ranks[] = {"2", "3", "4", "5", "6", "7", "8", "9", "10", "jack", "queen", "king", "1"};
  static const char* const suits[] = {"club", "diamond", "heart", "spade"};
  QString svg = "<svg xmlns='http://www.w3.org/2000/svg' width='71' height='96'>"
                "<rect id='back' width='71' height='96' fill='#000000'/>";
  for (const char* s : suits)
    for (const char* r : ranks)
      svg += QString("<rect id='%1_%2' width='71' height='96' fill='%3'/>").arg(r, s, colour);
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write((svg + "</svg>").toUtf8());
}

QColor middle(const QPixmap& p) { return p.toImage().pixelColor(p.width() / 2, p.height() / 2); }

struct Decks : Table {
  void SetUp() override {
    Table::SetUp();
    writeDeck(dir.filePath("blue.svg"), "#2244cc");
    writeDeck(dir.filePath("red.svg"), "#cc2222");
    QFile broken(dir.filePath("broken.svg"));
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write("<svg>no cards here");
    broken.close();
    ui::CardPictures::instance().setDecks({{"svg-broken", "Broken", dir.filePath("broken.svg"), {}},
                                           {"svg-blue", "Blue", dir.filePath("blue.svg"), {}},
                                           {"svg-red", "Red", dir.filePath("red.svg"), {}}});
  }
  void TearDown() override {
    ui::CardPictures::instance().setDecks(ui::installedDecks());
    ui::CardPictures::instance().useDrawnCards();
    Table::TearDown();
  }
  QTemporaryDir dir;
};

TEST_F(Decks, AChosenDeckIsDrawnKeptAndReadBackAndABrokenOneGivesWaySayingSoOnce) {
  ui::CardPictures& pictures = ui::CardPictures::instance();
  seatAt(table, 1);
  feed("CMD_newplayerinfo+1+You");  // seated: the settings are read
  feed("CMD_trump+40");
  auto* trump = static_cast<ui::CardLabel*>(trumpcard(table));

  action(table, "CardDeck1")->trigger();
  auto* window = table.findChild<windows::Tcarddeck*>("Tcarddeck");
  ASSERT_NE(window, nullptr);
  ASSERT_EQ(window->list_decks->count(), 3);
  EXPECT_EQ(window->list_decks->item(2)->text(), "Red");
  // Every deck previewed with its own cards (the broken one in plain cards).
  ASSERT_TRUE(waitFor([&] { return window->previewsReady(); }, 20000));
  EXPECT_EQ(middle(window->list_decks->item(2)->icon().pixmap(window->list_decks->iconSize())).red(), 0xcc);

  window->list_decks->setCurrentRow(2);
  window->combo_back->setCurrentIndex(window->combo_back->findText("Blue"));
  EXPECT_EQ(pictures.style(), (ui::CardPictures::Style{"svg-red", "svg-blue"}));
  ASSERT_TRUE(waitFor([&] { return trump->sharp() && middle(trump->pixmap()) == QColor("#cc2222"); }, 20000));
  window->close();
  table.close();
  const QHash<QString, QString> kept = ui::readSection(table.settingsFile, "Ombrix");
  EXPECT_EQ(kept.value("carddeck"), "svg-red");
  EXPECT_EQ(kept.value("cardback"), "svg-blue");

  // The next run reads the choice.
  pictures.useDrawnCards();
  {
    Tchat again;
    again.settingsFile = table.settingsFile;
    seatAt(again, 1);
    dispatch(again, "CMD_newplayerinfo+1+You");
    EXPECT_EQ(pictures.style(), (ui::CardPictures::Style{"svg-red", "svg-blue"}));
  }

  // A deck that cannot be read, found so while the table draws it: the
  // next one that can, and the chat says so once.
  pictures.setDecks(pictures.decks());  // forgets that its preview failed
  ASSERT_TRUE(ui::writeKeys(table.settingsFile, "Ombrix", {{"CardDeck", "svg-broken"}, {"CardBack", "svg-broken"}}));
  Tchat broken;
  broken.settingsFile = table.settingsFile;
  seatAt(broken, 1);
  dispatch(broken, "CMD_newplayerinfo+1+You");
  dispatch(broken, "CMD_trump+40");
  auto said = [&] { return mainchat(broken)->toPlainText().count("could not be read"); };
  ASSERT_TRUE(waitFor([&] { return pictures.style().faces == "svg-blue"; }, 20000));
  EXPECT_EQ(pictures.style().back, "svg-blue");
  EXPECT_EQ(said(), 1);
  dispatch(broken, "CMD_newplayerinfo+1+You");  // read again: the same deck, no second word
  EXPECT_EQ(pictures.style().faces, "svg-blue");
  EXPECT_EQ(said(), 1);
}

}  // namespace
}  // namespace ombrix::test
