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
  Line l = lastLine(mainchat(table));
  EXPECT_EQ(l.text, "Bob chats: see you: later");
  EXPECT_EQ(l.bold, "Bob chats:");
  EXPECT_EQ(l.colour, QColor(255, 0, 0));
  table.addlinetochat("You are Connected.");
  l = lastLine(mainchat(table));
  EXPECT_EQ(l.bold, "");
  EXPECT_EQ(l.colour, QColor(0x00, 0x40, 0x80));
  EXPECT_EQ(mainchat(table)->document()->blockCount(), 2);
}

TEST_F(Table, TheColourIsAfterTheLastBarAndAnUnreadableOneIsANoticesColour) {
  const QColor notice(0x00, 0x40, 0x80);
  feed("CMD_chat+Bob chats: a|b||clRed");  // typed "a|b|": the sender put the colour last
  EXPECT_EQ(lastLine(mainchat(table)).text, "Bob chats: a|b|");
  EXPECT_EQ(lastLine(mainchat(table)).colour, QColor(255, 0, 0));
  feed("CMD_me+Bob waves|nonsense");  // white would not show on the white pane
  EXPECT_EQ(lastLine(mainchat(table)).text, "Bob waves");
  EXPECT_EQ(lastLine(mainchat(table)).colour, notice);
  feed("CMD_chat+Bob chats: no colour at all");
  EXPECT_EQ(lastLine(mainchat(table)).text, "Bob chats: no colour at all");
  EXPECT_EQ(lastLine(mainchat(table)).colour, notice);
  feed("CMD_chat+Bob chats: x|clRed|");  // an empty colour text is unreadable too
  EXPECT_EQ(lastLine(mainchat(table)).text, "Bob chats: x|clRed");
  EXPECT_EQ(lastLine(mainchat(table)).colour, notice);
}

TEST_F(Table, CtrlCCopiesThePanesSelectionUnlessTheInputBoxHasOne) {
  table.addlinetochat("Ann chats: copy this");
  QTextCursor c(mainchat(table)->document());
  c.movePosition(QTextCursor::Start);
  c.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
  mainchat(table)->setTextCursor(c);
  QApplication::clipboard()->setText("before");
  mychat(table)->setText("typed");
  QKeyEvent copy(QEvent::KeyPress, Qt::Key_C, Qt::ControlModifier, "\x03");
  QCoreApplication::sendEvent(mychat(table), &copy);
  EXPECT_EQ(QApplication::clipboard()->text(), "Ann chats: copy this");
  EXPECT_EQ(mychat(table)->text(), "typed");

  mychat(table)->selectAll();  // the input box's own selection comes first
  QKeyEvent again(QEvent::KeyPress, Qt::Key_C, Qt::ControlModifier, "\x03");
  QCoreApplication::sendEvent(mychat(table), &again);
  EXPECT_EQ(QApplication::clipboard()->text(), "typed");
}

TEST_F(Table, AHeldViewDoesNotMoveForNewLines) {
  table.show();
  for (int k = 0; k < 200; ++k) table.addlinetochat("line " + QString::number(k));
  QScrollBar* bar = mainchat(table)->verticalScrollBar();
  EXPECT_EQ(bar->value(), bar->maximum());
  table.ScrollChatOff1Click();
  EXPECT_TRUE(action(table, "ScrollChatOff2")->isChecked());
  bar->setValue(10);
  table.addlinetochat("one more");
  EXPECT_EQ(bar->value(), 10);
  table.ScrollChatOff1Click();
  table.addlinetochat("and another");
  EXPECT_EQ(bar->value(), bar->maximum());
  table.ClearMainChat1Click();
  table.addlinetochat("fresh");
  EXPECT_EQ(mainchat(table)->document()->blockCount(), 1);
}

TEST_F(Table, NothingIsSentBeforeLogIn) {
  mychat(table)->setText("hello");
  QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, "\r");
  QCoreApplication::sendEvent(mychat(table), &enter);
  EXPECT_EQ(mychat(table)->text(), "hello");
  // The placeholder goes at the first key.
  mychat(table)->setText("<Enter Chat Here>");
  QKeyEvent a(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "a");
  QCoreApplication::sendEvent(mychat(table), &a);
  EXPECT_EQ(mychat(table)->text(), "a");
}

TEST_F(Table, ChatterSoundsPlayOrAreNamedInThePane) {
  std::vector<QString> heard;
  client::setSoundSink([&](const QString& n) { heard.push_back(n); });
  feed("CMD_newplayerinfo+2+Ann");
  action(table, "PlayChatterSounds1")->setChecked(false);
  feed("CMD_playasound+2+wave3+");
  EXPECT_EQ(lastLine(mainchat(table)).text, "Ann: <Chatter Sound> Hello");
  const int lines = mainchat(table)->document()->blockCount();
  feed("CMD_playasound+7+wave3+");   // a spectator has no name label
  feed("CMD_playasound+2+wave99+");  // no such sound
  EXPECT_EQ(mainchat(table)->document()->blockCount(), lines);
  EXPECT_TRUE(heard.empty());

  // Chatter sounds play even when game sounds are off.
  action(table, "PlayChatterSounds1")->setChecked(true);
  action(table, "PlaySounds1")->setChecked(false);
  feed("CMD_playasound+2+wave3+");
  table.playsounds("bid");
  EXPECT_EQ(heard, std::vector<QString>{"wave3"});
  action(table, "PlaySounds1")->setChecked(true);
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
    mychat(table)->setText(text);
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, "\r");
    QCoreApplication::sendEvent(mychat(table), &enter);
  };
  auto shows = [&](const QString& text) {
    return waitFor([&] { return lastLine(mainchat(table)).text == text; });
  };
  typeAndEnter("hello + more");
  EXPECT_TRUE(mychat(table)->text().isEmpty());
  ASSERT_TRUE(shows("You chats: hello + more"));
  EXPECT_EQ(lastLine(mainchat(table)).bold, "You chats:");
  EXPECT_EQ(lastLine(mainchat(table)).colour, QColor(0, 0, 0));
  table.setTextColor(0x804000);
  typeAndEnter("coloured");
  ASSERT_TRUE(shows("You chats: coloured"));
  EXPECT_EQ(lastLine(mainchat(table)).colour, QColor(0x00, 0x40, 0x80));
  typeAndEnter("/me grins");
  ASSERT_TRUE(shows("You grins"));
  typeAndEnter("/meow");
  ASSERT_TRUE(shows("You w"));
  typeAndEnter("/quit");
  EXPECT_TRUE(mychat(table)->text().isEmpty());
  // The byte that ends a message cannot be typed into one.
  typeAndEnter(QString("ab") + QChar(0xFF) + "cd");
  ASSERT_TRUE(shows("You chats: ab?cd"));

  // Phrases are actions; a second within the cooldown is not sent.
  table.phraseButtonClick(phraseButton(table, 1));
  table.phraseButtonClick(phraseButton(table, 2));
  EXPECT_FALSE(table.phraseReady());
  for (int t = 0; t < 100; ++t) table.phraseTick();
  EXPECT_FALSE(table.phraseReady());
  table.phraseTick();
  EXPECT_TRUE(table.phraseReady());
  ASSERT_TRUE(shows("You says: Way To Go!"));
  EXPECT_EQ(lastLine(mainchat(table)).bold, "You says:");
  table.phraseButtonClick(phraseButton(table, 9));  // "/me waves"
  ASSERT_TRUE(shows("You waves"));
  for (int t = 0; t <= 100; ++t) table.phraseTick();
  table.setPhrase(3, "/mewaves");
  table.phraseButtonClick(phraseButton(table, 3));
  ASSERT_TRUE(shows("You says: /mewaves"));
  int says = 0;
  for (QTextBlock b = mainchat(table)->document()->begin(); b.isValid(); b = b.next())
    says += b.text() == "You says: Good One!";
  EXPECT_EQ(says, 0);
}

TEST_F(Solo, TheHostsPlayerSendsTheStoredBotSpeedAndEveryChoice) {
  // Seated in slot 1, the table read its (absent) settings: Normal, 750 ms.
  ASSERT_TRUE(waitFor([&] { return host->server().engine.botDelay == 750; }));
  table.BotSpeedClick(500);
  EXPECT_TRUE(action(table, "Fast1")->isChecked());
  EXPECT_FALSE(action(table, "Normal1")->isChecked());
  ASSERT_TRUE(waitFor([&] { return host->server().engine.botDelay == 500; }));
  EXPECT_EQ(ui::readSection(table.settingsFile, "Ombrix").value("botspeed"), "500");
}

TEST_F(Solo, TheHostsPlayerSendsTheComputerPlayersOnceChosen) {
  ASSERT_TRUE(waitFor([&] { return host->server().engine.botDelay == 750; }));  // seated and read
  EXPECT_TRUE(action(table, "SkillClassic1")->isChecked());
  table.TurnSoundClick(1);  // another option: no choice of skill is stored for the player
  EXPECT_FALSE(ui::readSection(table.settingsFile, "Ombrix").contains("botskill"));
  table.ComputerPlayers1Click(ai::Skill::Strong);
  EXPECT_TRUE(action(table, "SkillStrong1")->isChecked());
  EXPECT_FALSE(action(table, "SkillClassic1")->isChecked());
  ASSERT_TRUE(waitFor([&] { return host->server().engine.botSkill[3] == ai::Skill::Strong; }));
  EXPECT_EQ(ui::readSection(table.settingsFile, "Ombrix").value("botskill"), "strong");
}

TEST_F(Table, TheComputerPlayersAreReadWithTheOtherSettings) {
  ui::writeKeys(table.settingsFile, "Ombrix", {{"Botskill", "standard"}});
  seatAt(table, 2);
  feed("CMD_newplayerinfo+2+Me");
  EXPECT_TRUE(action(table, "SkillStandard1")->isChecked());
  EXPECT_FALSE(action(table, "SkillClassic1")->isChecked());
  // A name this version does not know: the table's own rule, and nothing stored over it.
  ui::writeKeys(table.settingsFile, "Ombrix", {{"Botskill", "expert"}});
  feed("CMD_newplayerinfo+2+Me");
  EXPECT_TRUE(action(table, "SkillClassic1")->isChecked());
  EXPECT_EQ(table.botSkill(), ai::Skill::Classic);
  table.TurnSoundClick(1);
  EXPECT_EQ(ui::readSection(table.settingsFile, "Ombrix").value("botskill"), "expert");
}

TEST_F(Table, SettingsComeFromTheFileWhenSeatedWithChainedDefaults) {
  ui::writeKeys(table.settingsFile, "Lobby", {{"Name", "Ann"}});
  ui::writeKeys(table.settingsFile, "Ombrix",
                    {{"Botspeed", "500"}, {"Playsounds", "false"}, {"Textsize", "9"}});
  seatAt(table, 6);
  feed("CMD_newplayerinfo+6+Me");  // a spectator keeps the built-in settings
  EXPECT_TRUE(action(table, "Normal1")->isChecked());
  EXPECT_TRUE(action(table, "PlaySounds1")->isChecked());

  seatAt(table, 2);
  feed("CMD_newplayerinfo+2+Me");
  EXPECT_TRUE(action(table, "Fast1")->isChecked());
  EXPECT_FALSE(action(table, "Normal1")->isChecked());
  EXPECT_FALSE(action(table, "PlaySounds1")->isChecked());
  EXPECT_FALSE(action(table, "ShowScorecard1")->isChecked());  // defaults to what Playsounds read
  EXPECT_TRUE(action(table, "PlayChatterSounds1")->isChecked());
  EXPECT_TRUE(action(table, "Classic1")->isChecked());
  EXPECT_EQ(mainchat(table)->font().pointSize(), 9);
  for (const char* size : {"N8", "N10", "N12", "N14"}) EXPECT_FALSE(action(table, size)->isChecked());
  EXPECT_EQ(table.geometry(), QRect(3, 3, 790, 520));

  // Any option change writes every setting, and nothing of the lobby's goes.
  table.TurnSoundClick(1);
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
  seatAt(table, 2);
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
  seatAt(next, 1);
  next.connection().enqueue("CMD_newplayerinfo+1+Me");
  next.processsocktimer();
  EXPECT_EQ(next.phrase(4), "Top!");
  EXPECT_EQ(next.phrase(5), "Brilliant!");
}

TEST_F(Table, AMovedWindowIsSavedAtCloseAndAnUnmovedOneIsNot) {
  seatAt(table, 1);
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
