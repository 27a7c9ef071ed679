// The chat area and the options: lines through the host and back, the
// pane's bold and regular runs, phrases and their cooldown, chatter sounds,
// and the settings file.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextEdit>
#include <QToolButton>

#include "client/colortext.h"
#include "ui/settings.h"
#include "client/sounds.h"
#include "tests/client/table_fixture.h"
#include "windows/phrasesform.h"

namespace ombrix::test {
namespace {

using client::colorToText;
using client::textToColor;

TEST(ColourText, NamesHexadecimalAndDecimal) {
  EXPECT_EQ(colorToText(0x000000), "clBlack");
  EXPECT_EQ(colorToText(0x804000), "$00804000");
  EXPECT_EQ(colorToText(0x80000005), "clWindow");
  EXPECT_EQ(colorToText(0x1FFFFFFF), "clNone");
  EXPECT_EQ(textToColor("CLRED"), 0x0000FFu);
  EXPECT_EQ(textToColor("clblack"), 0u);
  EXPECT_EQ(textToColor("$00804000"), 0x804000u);
  EXPECT_EQ(textToColor("255"), 255u);
  EXPECT_EQ(textToColor("clInfoBk"), 0x80000018u);
  for (const char* bad : {"", "$", "red", "12ab", "$xyz", "99999999999"})
    EXPECT_FALSE(textToColor(bad)) << bad;
  for (uint32_t v : {0x000000u, 0x804000u, 0xFFFFFFu, 0x80000010u, 0x12345678u})
    EXPECT_EQ(textToColor(colorToText(v)), v);
}

// The last line of the pane: its text, and per character bold and colour.
struct Line {
  QString text, bold;
  QColor colour;
};
Line lastLine(const QTextEdit* pane) {
  const QTextBlock b = pane->document()->lastBlock();
  Line l{b.text(), {}, {}};
  for (auto it = b.begin(); !it.atEnd(); ++it) {
    const QTextFragment f = it.fragment();
    if (f.charFormat().fontWeight() == QFont::Bold) l.bold += f.text();
    if (!f.text().isEmpty()) l.colour = f.charFormat().foreground().color();
  }
  return l;
}

TEST_F(Table, ReceivedLinesAreBoldUpToTheirFirstColon) {
  feed("CMD_chat+Bob chats: see you: later|clRed");
  Line l = lastLine(table.mainchat);
  EXPECT_EQ(l.text, "Bob chats: see you: later");
  EXPECT_EQ(l.bold, "Bob chats:");
  EXPECT_EQ(l.colour, QColor(255, 0, 0));
  table.addlinetochat("You are Connected.");
  l = lastLine(table.mainchat);
  EXPECT_EQ(l.bold, "");
  EXPECT_EQ(l.colour, QColor(0x00, 0x40, 0x80));
  EXPECT_EQ(table.mainchat->document()->blockCount(), 2);
}

TEST_F(Table, TheColourIsAfterTheLastBarAndAnUnreadableOneIsANoticesColour) {
  const QColor notice(0x00, 0x40, 0x80);
  feed("CMD_chat+Bob chats: a|b||clRed");  // typed "a|b|": the sender put the colour last
  EXPECT_EQ(lastLine(table.mainchat).text, "Bob chats: a|b|");
  EXPECT_EQ(lastLine(table.mainchat).colour, QColor(255, 0, 0));
  feed("CMD_me+Bob waves|nonsense");  // white would not show on the white pane
  EXPECT_EQ(lastLine(table.mainchat).text, "Bob waves");
  EXPECT_EQ(lastLine(table.mainchat).colour, notice);
  feed("CMD_chat+Bob chats: no colour at all");
  EXPECT_EQ(lastLine(table.mainchat).text, "Bob chats: no colour at all");
  EXPECT_EQ(lastLine(table.mainchat).colour, notice);
  feed("CMD_chat+Bob chats: x|clRed|");  // an empty colour text is unreadable too
  EXPECT_EQ(lastLine(table.mainchat).text, "Bob chats: x|clRed");
  EXPECT_EQ(lastLine(table.mainchat).colour, notice);
}

TEST_F(Table, CtrlCCopiesThePanesSelectionUnlessTheInputBoxHasOne) {
  table.addlinetochat("Ann chats: copy this");
  QTextCursor c(table.mainchat->document());
  c.movePosition(QTextCursor::Start);
  c.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
  table.mainchat->setTextCursor(c);
  QApplication::clipboard()->setText("before");
  table.mychat->setText("typed");
  QKeyEvent copy(QEvent::KeyPress, Qt::Key_C, Qt::ControlModifier, "\x03");
  QCoreApplication::sendEvent(table.mychat, &copy);
  EXPECT_EQ(QApplication::clipboard()->text(), "Ann chats: copy this");
  EXPECT_EQ(table.mychat->text(), "typed");

  table.mychat->selectAll();  // the input box's own selection comes first
  QKeyEvent again(QEvent::KeyPress, Qt::Key_C, Qt::ControlModifier, "\x03");
  QCoreApplication::sendEvent(table.mychat, &again);
  EXPECT_EQ(QApplication::clipboard()->text(), "typed");
}

TEST_F(Table, AHeldViewDoesNotMoveForNewLines) {
  table.show();
  for (int k = 0; k < 200; ++k) table.addlinetochat("line " + QString::number(k));
  QScrollBar* bar = table.mainchat->verticalScrollBar();
  EXPECT_EQ(bar->value(), bar->maximum());
  table.ScrollChatOff1Click();
  EXPECT_TRUE(table.ScrollChatOff2->isChecked());
  bar->setValue(10);
  table.addlinetochat("one more");
  EXPECT_EQ(bar->value(), 10);
  table.ScrollChatOff1Click();
  table.addlinetochat("and another");
  EXPECT_EQ(bar->value(), bar->maximum());
  table.ClearMainChat1Click();
  table.addlinetochat("fresh");
  EXPECT_EQ(table.mainchat->document()->blockCount(), 1);
}

TEST_F(Table, NothingIsSentBeforeLogIn) {
  table.mychat->setText("hello");
  QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, "\r");
  QCoreApplication::sendEvent(table.mychat, &enter);
  EXPECT_EQ(table.mychat->text(), "hello");
  // The placeholder goes at the first key.
  table.mychat->setText("<Enter Chat Here>");
  QKeyEvent a(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "a");
  QCoreApplication::sendEvent(table.mychat, &a);
  EXPECT_EQ(table.mychat->text(), "a");
}

TEST_F(Table, ChatterSoundsPlayOrAreNamedInThePane) {
  std::vector<QString> heard;
  client::setSoundSink([&](const QString& n) { heard.push_back(n); });
  feed("CMD_newplayerinfo+2+Ann");
  table.PlayChatterSounds1->setChecked(false);
  feed("CMD_playasound+2+wave3+");
  EXPECT_EQ(lastLine(table.mainchat).text, "Ann: <Chatter Sound> Hello");
  const int lines = table.mainchat->document()->blockCount();
  feed("CMD_playasound+7+wave3+");   // a spectator has no name label
  feed("CMD_playasound+2+wave99+");  // no such sound
  EXPECT_EQ(table.mainchat->document()->blockCount(), lines);
  EXPECT_TRUE(heard.empty());

  // Chatter sounds play even when game sounds are off.
  table.PlayChatterSounds1->setChecked(true);
  table.PlaySounds1->setChecked(false);
  feed("CMD_playasound+2+wave3+");
  table.playsounds("bid");
  EXPECT_EQ(heard, std::vector<QString>{"wave3"});
  table.PlaySounds1->setChecked(true);
  table.playsounds("bid");
  EXPECT_EQ(heard.back(), "bid");
  client::setSoundSink([](const QString&) {});
}

TEST(Sounds, EveryNamedSoundExistsWhateverItsCase) {
  for (const char* n : {"bid", "PLACECARD", "TakeTrick", "turn", "turnnew", "turnoverbad", "turnovergood",
                        "winner", "wave1", "WAVE12"})
    EXPECT_GT(client::soundSamples(n).size(), 1000) << n;
  EXPECT_TRUE(client::soundSamples("wave13").isEmpty());
}

TEST_F(Solo, TypedLinesAndPhrasesComeBackThroughTheHost) {
  auto typeAndEnter = [&](const QString& text) {
    table.mychat->setText(text);
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, "\r");
    QCoreApplication::sendEvent(table.mychat, &enter);
  };
  auto shows = [&](const QString& text) {
    return waitFor([&] { return lastLine(table.mainchat).text == text; });
  };
  typeAndEnter("hello + more");
  EXPECT_TRUE(table.mychat->text().isEmpty());
  ASSERT_TRUE(shows("You chats: hello + more"));
  EXPECT_EQ(lastLine(table.mainchat).bold, "You chats:");
  EXPECT_EQ(lastLine(table.mainchat).colour, QColor(0, 0, 0));
  table.textColor = 0x804000;
  typeAndEnter("coloured");
  ASSERT_TRUE(shows("You chats: coloured"));
  EXPECT_EQ(lastLine(table.mainchat).colour, QColor(0x00, 0x40, 0x80));
  typeAndEnter("/me grins");
  ASSERT_TRUE(shows("You grins"));
  typeAndEnter("/meow");
  ASSERT_TRUE(shows("You w"));
  typeAndEnter("/quit");
  EXPECT_TRUE(table.mychat->text().isEmpty());
  // The byte that ends a message cannot be typed into one.
  typeAndEnter(QString("ab") + QChar(0xFF) + "cd");
  ASSERT_TRUE(shows("You chats: ab?cd"));

  // Phrases are actions; a second within the cooldown is not sent.
  table.b_phrase1Click(table.b_phrase[1]);
  table.b_phrase1Click(table.b_phrase[2]);
  EXPECT_FALSE(table.phraseReady);
  for (int t = 0; t < 100; ++t) table.phraseTick();
  EXPECT_FALSE(table.phraseReady);
  table.phraseTick();
  EXPECT_TRUE(table.phraseReady);
  ASSERT_TRUE(shows("You says: Way To Go!"));
  EXPECT_EQ(lastLine(table.mainchat).bold, "You says:");
  table.b_phrase1Click(table.b_phrase[9]);  // "/me waves"
  ASSERT_TRUE(shows("You waves"));
  for (int t = 0; t <= 100; ++t) table.phraseTick();
  table.setPhrase(3, "/mewaves");
  table.b_phrase1Click(table.b_phrase[3]);
  ASSERT_TRUE(shows("You says: /mewaves"));
  int says = 0;
  for (QTextBlock b = table.mainchat->document()->begin(); b.isValid(); b = b.next())
    says += b.text() == "You says: Good One!";
  EXPECT_EQ(says, 0);
}

TEST_F(Solo, TheHostsPlayerSendsTheStoredBotSpeedAndEveryChoice) {
  // Seated in slot 1, the table read its (absent) settings: Normal, 750 ms.
  ASSERT_TRUE(waitFor([&] { return host->server().engine.botDelay == 750; }));
  table.Slow1Click(500);
  EXPECT_TRUE(table.Fast1->isChecked());
  EXPECT_FALSE(table.Normal1->isChecked());
  ASSERT_TRUE(waitFor([&] { return host->server().engine.botDelay == 500; }));
  EXPECT_EQ(ui::readSection(table.settingsFile, "Ombrix").value("botspeed"), "500");
}

TEST_F(Solo, TheHostsPlayerSendsTheComputerPlayersOnceChosen) {
  ASSERT_TRUE(waitFor([&] { return host->server().engine.botDelay == 750; }));  // seated and read
  EXPECT_TRUE(table.SkillClassic1->isChecked());
  table.New1Click(1);  // another option: no choice of skill is stored for the player
  EXPECT_FALSE(ui::readSection(table.settingsFile, "Ombrix").contains("botskill"));
  table.ComputerPlayers1Click(ai::Skill::Strong);
  EXPECT_TRUE(table.SkillStrong1->isChecked());
  EXPECT_FALSE(table.SkillClassic1->isChecked());
  ASSERT_TRUE(waitFor([&] { return host->server().engine.botSkill[3] == ai::Skill::Strong; }));
  EXPECT_EQ(ui::readSection(table.settingsFile, "Ombrix").value("botskill"), "strong");
}

TEST_F(Table, TheComputerPlayersAreReadWithTheOtherSettings) {
  ui::writeKeys(table.settingsFile, "Ombrix", {{"Botskill", "standard"}});
  table.mySeat = 2;
  feed("CMD_newplayerinfo+2+Me");
  EXPECT_TRUE(table.SkillStandard1->isChecked());
  EXPECT_FALSE(table.SkillClassic1->isChecked());
  // A name this version does not know: the table's own rule, and nothing stored over it.
  ui::writeKeys(table.settingsFile, "Ombrix", {{"Botskill", "expert"}});
  feed("CMD_newplayerinfo+2+Me");
  EXPECT_TRUE(table.SkillClassic1->isChecked());
  EXPECT_EQ(table.botSkill, ai::Skill::Classic);
  table.New1Click(1);
  EXPECT_EQ(ui::readSection(table.settingsFile, "Ombrix").value("botskill"), "expert");
}

TEST_F(Table, SettingsComeFromTheFileWhenSeatedWithChainedDefaults) {
  ui::writeKeys(table.settingsFile, "Lobby", {{"Name", "Ann"}});
  ui::writeKeys(table.settingsFile, "Ombrix",
                    {{"Botspeed", "500"}, {"Playsounds", "false"}, {"Textsize", "9"}});
  table.mySeat = 6;
  feed("CMD_newplayerinfo+6+Me");  // a spectator keeps the built-in settings
  EXPECT_TRUE(table.Normal1->isChecked());
  EXPECT_TRUE(table.PlaySounds1->isChecked());

  table.mySeat = 2;
  feed("CMD_newplayerinfo+2+Me");
  EXPECT_TRUE(table.Fast1->isChecked());
  EXPECT_FALSE(table.Normal1->isChecked());
  EXPECT_FALSE(table.PlaySounds1->isChecked());
  EXPECT_FALSE(table.ShowScorecard1->isChecked());  // defaults to what Playsounds read
  EXPECT_TRUE(table.PlayChatterSounds1->isChecked());
  EXPECT_TRUE(table.Classic1->isChecked());
  EXPECT_EQ(table.mainchat->font().pointSize(), 9);
  for (QAction* a : table.textSizes) EXPECT_FALSE(a->isChecked());
  EXPECT_EQ(table.geometry(), QRect(3, 3, 790, 520));

  // Any option change writes every setting, and nothing of the lobby's goes.
  table.New1Click(1);
  const QHash<QString, QString> s = ui::readSection(table.settingsFile, "OMBRIX");
  EXPECT_EQ(s.value("turnsound"), "1");
  EXPECT_EQ(s.value("botspeed"), "500");
  EXPECT_EQ(s.value("playsounds"), "false");
  EXPECT_EQ(s.value("textcolor"), "clBlack");
  EXPECT_EQ(s.value("scontop"), "false");
  EXPECT_EQ(s.value("textsize"), "9");
  EXPECT_EQ(ui::readSection(table.settingsFile, "lobby").value("name"), "Ann");
}

TEST_F(Table, ThePhraseEditorStoresWhatTheButtonsSend) {
  windows::Tphrases editor(&table);
  table.attach(&score, &lastTrick, &spies, nullptr, nullptr, &editor);
  table.mySeat = 2;
  feed("CMD_newplayerinfo+2+Me");  // seated: the settings were read
  table.PhraseList1Click();
  EXPECT_EQ(editor.text(4), "Excellent!");
  editor.phrase[4]->setText("Top!");
  editor.phrase[5]->clear();
  editor.SelButton8Click();
  EXPECT_EQ(table.phrase(4), "Top!");
  EXPECT_EQ(table.phrase(5), "");
  const QHash<QString, QString> s = ui::readSection(table.settingsFile, "Ombrix");
  EXPECT_EQ(s.value("phrase4"), "Top!");
  EXPECT_TRUE(s.contains("phrase5"));

  // The next run: a stored phrase replaces the built-in one, an empty one does not.
  Tchat next;
  next.settingsFile = table.settingsFile;
  next.mySeat = 1;
  next.receivedlist.push_back("CMD_newplayerinfo+1+Me");
  next.processsocktimer();
  EXPECT_EQ(next.phrase(4), "Top!");
  EXPECT_EQ(next.phrase(5), "Brilliant!");
}

TEST_F(Table, AMovedWindowIsSavedAtCloseAndAnUnmovedOneIsNot) {
  table.mySeat = 1;
  feed("CMD_newplayerinfo+1+Me");
  table.close();
  EXPECT_FALSE(QFile::exists(table.settingsFile));  // where the settings left it
  table.show();
  table.setGeometry(40, 50, 800, 530);
  table.close();
  const QHash<QString, QString> s = ui::readSection(table.settingsFile, "Ombrix");
  EXPECT_EQ(s.value("left"), "40");
  EXPECT_EQ(s.value("width"), "800");
  table.show();
  table.ResetScreenLocation1Click();
  table.close();
  EXPECT_EQ(ui::readSection(table.settingsFile, "Ombrix").value("left"), "3");
}

}  // namespace
}  // namespace ombrix::test
