// The settings file the lobby program shares: what a save leaves of it byte
// for byte, how tolerant reading is, and which tables may write at all.
#include "ui/settings.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QDir>
#include <QFile>
#include <QTextBlock>
#include <QTextEdit>

#include "tests/client/table_fixture.h"
#include "windows/phrasesform.h"

namespace ombrix::test {
namespace {

using ui::readSection;
using ui::writeKeys;

QByteArray contents(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void store(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
  f.write(bytes);
}

// What the lobby program keeps around the game's section, in its own style.
const QByteArray kBefore =
    "; Quarrow Lobby settings\r\n"
    "[Lobby]\r\n"
    "Name = Ann\r\n"
    "RememberMe\r\n"
    "\r\n"
    "\r\n"
    "  # kept as written\r\n"
    "[Window]\r\n"
    "Left=10\r\n"
    "\r\n";
const QByteArray kAfter =
    "[Games]\r\n"
    "Ombrix=installed\r\n"
    "  ; a last comment without a line end";

TEST(SettingsFile, ASaveChangesTheSectionAloneInTheFilesOwnStyle) {
  QTemporaryDir dir;
  const QString path = dir.filePath("quarrowlobby.ini");
  store(path, kBefore + "[ombrix]\r\nTop = 40\r\n; the player's note\r\nPhrase1=Hi = there\r\n\r\n" + kAfter);

  ASSERT_TRUE(writeKeys(path, "Ombrix", {{"Top", "3"}, {"Botspeed", "500"}, {"Playsounds", "false"}}));
  // A key that was there changes in its line; new ones follow the last key,
  // ahead of the blank line that leads to the next section.
  EXPECT_EQ(contents(path), kBefore +
                                "[ombrix]\r\nTop=3\r\n; the player's note\r\nPhrase1=Hi = there\r\n"
                                "Botspeed=500\r\nPlaysounds=false\r\n\r\n" +
                                kAfter);
  const QHash<QString, QString> s = readSection(path, "OMBRIX");
  EXPECT_EQ(s.value("top"), "3");
  EXPECT_EQ(s.value("phrase1"), "Hi = there");
  EXPECT_EQ(s.size(), 4);
  EXPECT_EQ(readSection(path, "lobby").value("name"), "Ann");
  EXPECT_FALSE(readSection(path, "lobby").contains("rememberme"));
}

TEST(SettingsFile, ANewSectionGoesAtTheEndWithTheFilesLineEnd) {
  QTemporaryDir dir;
  const QString path = dir.filePath("quarrowlobby.ini");
  // LF alone, and a last line without an end: that line gains one.
  const QByteArray lobby = "[Lobby]\nName=Ann\n\n[Games]\nList=a,b";
  store(path, lobby);
  ASSERT_TRUE(writeKeys(path, "Ombrix", {{"Top", "3"}, {"Left", "4"}}));
  EXPECT_EQ(contents(path), lobby + "\n[Ombrix]\nTop=3\nLeft=4\n");
  // A section at the very end, its header without a line end.
  store(path, "[Lobby]\r\nName=Ann\r\n[Ombrix]");
  ASSERT_TRUE(writeKeys(path, "Ombrix", {{"Top", "3"}}));
  EXPECT_EQ(contents(path), "[Lobby]\r\nName=Ann\r\n[Ombrix]\r\nTop=3\r\n");
  // A new file has the line end of the lobby's platform.
  const QString fresh = dir.filePath("new.ini");
  ASSERT_TRUE(writeKeys(fresh, "Ombrix", {{"Top", "3"}}));
  EXPECT_EQ(contents(fresh), "[Ombrix]\r\nTop=3\r\n");
}

TEST(SettingsFile, ReadingIsTolerantAndTheFirstOfTwinsCounts) {
  QTemporaryDir dir;
  const QString path = dir.filePath("quarrowlobby.ini");
  store(path,
        "\xEF\xBB\xBF[ Ombrix ]\n"
        "\tTextSize\t=  12 \r\n"
        "#Botspeed=1000\n"
        "Botspeed=500\n"
        "botspeed=1000\n"
        "just a line\n"
        "=orphan\n"
        "[Lobby]\n"
        "Top=99\n"
        "[OMBRIX]\n"
        "Height=600\n");
  QHash<QString, QString> s = readSection(path, "ombrix");
  EXPECT_EQ(s.value("textsize"), "12");
  EXPECT_EQ(s.value("botspeed"), "500");
  EXPECT_FALSE(s.contains("top"));
  EXPECT_FALSE(s.contains("height"));  // a second section of the name is not read
  EXPECT_EQ(s.size(), 2);

  // Writing agrees: the first key of the first section changes, and the
  // mark before the first line stays.
  ASSERT_TRUE(writeKeys(path, "Ombrix", {{"Botspeed", "750"}}));
  const QByteArray after = contents(path);
  EXPECT_TRUE(
      after.startsWith("\xEF\xBB\xBF[ Ombrix ]\n\tTextSize\t=  12 \r\n#Botspeed=1000\nBotspeed=750\n"
                       "botspeed=1000\n"));
  EXPECT_EQ(readSection(path, "Ombrix").value("botspeed"), "750");
  EXPECT_TRUE(readSection(dir.filePath("none.ini"), "Ombrix").isEmpty());
}

TEST(SettingsFile, AValueCannotStartALineOfItsOwn) {
  QTemporaryDir dir;
  const QString path = dir.filePath("quarrowlobby.ini");
  ASSERT_TRUE(writeKeys(path, "Ombrix", {{"Phrase1", "Hi\r\n[Lobby]\nName=Eve"}}));
  EXPECT_EQ(contents(path), "[Ombrix]\r\nPhrase1=Hi  [Lobby] Name=Eve\r\n");
  EXPECT_TRUE(readSection(path, "Lobby").isEmpty());
}

TEST_F(Table, ASeatedTablesSaveKeepsEveryByteOutsideItsSection) {
  const QByteArray section = "[Ombrix]\r\nBotspeed=500\r\nTop = 20\r\nPhrase4=Top!\r\n\r\n";
  store(table.settingsFile, kBefore + section + kAfter);
  seatAt(table, 2);
  feed("CMD_newplayerinfo+2+Me");
  EXPECT_TRUE(action(table, "Fast1")->isChecked());
  EXPECT_EQ(table.phrase(4), "Top!");
  table.TurnSoundClick(1);

  const QByteArray after = contents(table.settingsFile);
  ASSERT_TRUE(after.startsWith(kBefore)) << after.toStdString();
  ASSERT_TRUE(after.endsWith(kAfter)) << after.toStdString();
  const QByteArray mine = after.mid(kBefore.size(), after.size() - kBefore.size() - kAfter.size());
  EXPECT_FALSE(mine.contains(" = "));
  EXPECT_EQ(mine.count("\r\n"), mine.count('\n'));  // the file's own line end throughout
  EXPECT_TRUE(mine.startsWith("[Ombrix]\r\nBotspeed=500\r\nTop=20\r\nPhrase4=Top!\r\nTextsize=8\r\n"));
  EXPECT_TRUE(
      mine.endsWith("Turnsound=1\r\nChatterSounds=true\r\nPlaysounds=true\r\nShowscore=true\r\nAnimateCards=1\r\n\r\n"));
}

TEST_F(Table, ASaveThatFailsIsToldInThePane) {
  // A file stands where the folder would be: the folder cannot be made.
  QFile blocker(settingsDir.filePath("gone"));
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  blocker.close();
  table.settingsFile = settingsDir.filePath("gone/quarrowlobby.ini");
  seatAt(table, 1);
  feed("CMD_newplayerinfo+1+Me");
  EXPECT_FALSE(table.saveinifile());
  const QString line = mainchat(table)->document()->lastBlock().text();
  EXPECT_TRUE(line.startsWith("Your options could not be saved: ")) << line.toStdString();
  EXPECT_TRUE(line.contains(QDir::toNativeSeparators(table.settingsFile)));
}

TEST_F(Table, OnlyATableThatReadTheSettingsWritesThem) {
  const QByteArray stored = kBefore + "[Ombrix]\r\nBotspeed=500\r\nPhrase4=Top!\r\nLeft=200\r\n" + kAfter;
  store(table.settingsFile, stored);
  windows::Tphrases editor(&table);
  table.attach(&score, &lastTrick, &spies, nullptr, nullptr, &editor);

  // A spectator: its option changes, its phrases and its moved window stay
  // its own.
  seatAt(table, 6);
  feed("CMD_newplayerinfo+6+Me");
  table.BotSpeedClick(1000);
  table.TurnSoundClick(1);
  table.PhraseList1Click();
  editor.SelButton8Click();
  table.show();
  table.setGeometry(40, 50, 800, 530);
  table.close();
  EXPECT_EQ(contents(table.settingsFile), stored);

  // A table never seated, the same at close.
  Tchat unseated;
  unseated.settingsFile = settingsDir.filePath("other.ini");
  unseated.show();
  unseated.setGeometry(60, 70, 800, 530);
  unseated.close();
  EXPECT_FALSE(QFile::exists(unseated.settingsFile));
}

}  // namespace
}  // namespace ombrix::test
