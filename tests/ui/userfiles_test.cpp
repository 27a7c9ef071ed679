// Where the settings, the tally and downloads go: beside the program when
// its folder can be written, else in the player's XDG folders, which the
// first write creates.
#include "ui/userfiles.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "client/tablewindow.h"
#include "ui/settings.h"
#include "ui/msgbox.h"
#include "windows/tallylistform.h"

// Paths in failure messages as text.
inline void PrintTo(const QString& s, std::ostream* os) { *os << s.toStdString(); }

namespace ombrix::test {
namespace {

using ui::FileKind;

// A home of its own, XDG variables as each test sets them, and the
// environment given back afterwards.
struct UserFiles : ::testing::Test {
  void SetUp() override {
    for (const char* v : kVariables) saved.push_back({v, qgetenv(v), qEnvironmentVariableIsSet(v)});
    qputenv("HOME", QFile::encodeName(home.path()));
    for (const char* v : kVariables)
      if (std::string(v) != "HOME") qunsetenv(v);
    ui::setMessageBoxSink([](const QString&, std::function<void()> then) {
      if (then) then();
    });
  }
  void TearDown() override {
    ui::setFolderWritable({});
    ui::setMessageBoxSink({});
    for (const auto& [name, value, set] : saved) set ? qputenv(name, value) : qunsetenv(name);
  }
  QString under(const char* path) const { return QDir(home.path()).filePath(path); }

  static constexpr const char* kVariables[] = {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"};
  struct Saved {
    const char* name;
    QByteArray value;
    bool set;
  };
  std::vector<Saved> saved;
  QTemporaryDir home, program;
};

TEST_F(UserFiles, AProgramFolderThatCanBeWrittenKeepsEveryKindBesideTheProgram) {
  ASSERT_TRUE(ui::folderWritable(program.path()));
  for (FileKind k : {FileKind::Settings, FileKind::Data, FileKind::Cache})
    EXPECT_EQ(ui::userFolder(k, program.path()), program.path());
  EXPECT_FALSE(ui::folderWritable(program.filePath("missing")));
  EXPECT_FALSE(ui::folderWritable(""));
}

TEST_F(UserFiles, OtherwiseEachKindGoesToItsXdgFolderOrItsUsualDefault) {
  ui::setFolderWritable([this](const QString& folder) { return folder != program.path(); });
  EXPECT_EQ(ui::userFolder(FileKind::Settings, program.path()), under(".config/ombrix"));
  EXPECT_EQ(ui::userFolder(FileKind::Data, program.path()), under(".local/share/ombrix"));
  EXPECT_EQ(ui::userFolder(FileKind::Cache, program.path()), under(".cache/ombrix"));

  qputenv("XDG_CONFIG_HOME", QFile::encodeName(under("c")));
  qputenv("XDG_DATA_HOME", QFile::encodeName(under("d")));
  qputenv("XDG_CACHE_HOME", QFile::encodeName(under("k")));
  EXPECT_EQ(ui::userFolder(FileKind::Settings, program.path()), under("c/ombrix"));
  EXPECT_EQ(ui::userFolder(FileKind::Data, program.path()), under("d/ombrix"));
  EXPECT_EQ(ui::userFolder(FileKind::Cache, program.path()), under("k/ombrix"));
  // Nothing is made before the first write.
  EXPECT_FALSE(QDir(under("c")).exists());

  // A relative XDG path is not a place: the default stands.
  qputenv("XDG_DATA_HOME", "relative/data");
  EXPECT_EQ(ui::userFolder(FileKind::Data, program.path()), under(".local/share/ombrix"));
}

TEST_F(UserFiles, TheTableAndTheTallyWriteIntoFoldersTheyCreate) {
  // The test program's own folder stands for one the player cannot write.
  ui::setFolderWritable([](const QString&) { return false; });
  qputenv("XDG_CONFIG_HOME", QFile::encodeName(under("config")));
  qputenv("XDG_DATA_HOME", QFile::encodeName(under("data")));
  const QString settings = under("config/ombrix/quarrowlobby.ini");
  const QString tally = under("data/ombrix/ombrixtally.tld");
  {
    client::Tchat table;
    EXPECT_EQ(table.settingsFile, settings);
    table.loadinifile();  // nothing there yet: the built-in options
    EXPECT_TRUE(table.saveinifile());
    EXPECT_TRUE(QFile::exists(settings));
    EXPECT_EQ(ui::readSection(settings, "Ombrix").value("width"), "790");

    windows::Ttallylist list(&table);
    EXPECT_EQ(list.tallyFile, tally);
    EXPECT_FALSE(QFile::exists(tally));  // written when the program ends
  }
  EXPECT_TRUE(QFile::exists(tally));
  windows::Ttallylist again;  // and read from there at the next start
  EXPECT_EQ(again.mylabel_1->text(), "0");
  EXPECT_TRUE(QDir(QCoreApplication::applicationDirPath()).entryList({"ombrixtally.tld*"}).isEmpty());
}

TEST_F(UserFiles, AFolderThatCannotBeMadeFailsTheSaveQuietly) {
  ui::setFolderWritable([](const QString&) { return false; });
  QFile blocker(under("blocked"));  // a file where the folder would go
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  blocker.close();
  qputenv("XDG_CONFIG_HOME", QFile::encodeName(under("blocked")));
  EXPECT_FALSE(ui::makeFolderFor(under("blocked/ombrix/quarrowlobby.ini")));
  EXPECT_FALSE(ui::writeKeys(under("blocked/ombrix/quarrowlobby.ini"), "Ombrix", {{"Top", "3"}}));
}

TEST(RuntimeFolder, IsThePlayersAndNeverTheProgramsFolder) {
  const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
  QTemporaryDir runtime;
  QFile::setPermissions(runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
  EXPECT_EQ(ui::runtimeFolder(), runtime.path());
  saved.isNull() ? qunsetenv("XDG_RUNTIME_DIR") : qputenv("XDG_RUNTIME_DIR", saved);
  EXPECT_NE(ui::runtimeFolder(), QCoreApplication::applicationDirPath());
}

}  // namespace
}  // namespace ombrix::test
