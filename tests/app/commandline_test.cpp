// The game's command line: Qt's options around the lobby's three words,
// which keep their meaning.
#include "app/commandline.h"

#include <gtest/gtest.h>

namespace ombrix::app {
namespace {

std::optional<QStringList> words(QStringList args, QString* error = nullptr) {
  args.prepend("ombrix");
  return gameWords(args, error);
}

TEST(GameCommandLine, TheLobbysWordsAndASoloStartPassAsTheyCome) {
  EXPECT_EQ(words({}), QStringList());
  EXPECT_EQ(words({"Ann", "10.0.0.2", "true"}), (QStringList{"Ann", "10.0.0.2", "true"}));
  EXPECT_EQ(words({"Ann Lee", "host", "yes", "more"}), (QStringList{"Ann Lee", "host", "yes", "more"}));
  EXPECT_EQ(words({"Ann"}), QStringList{"Ann"});  // too few: the table stays unconnected
  // Names that look like options are still names.
  EXPECT_EQ(words({"Ann", "-host", "--true"}), (QStringList{"Ann", "-host", "--true"}));
  EXPECT_EQ(words({"-Bob", "10.0.0.2", "true"}), (QStringList{"-Bob", "10.0.0.2", "true"}));
  EXPECT_EQ(words({"--", "-Bob"}), QStringList{"-Bob"});
}

TEST(GameCommandLine, TheLobbyServersWordsAfterTheThree) {
  const auto all = lobbyServerWords({"Ann", "127.0.0.1", "true", "--lobby-server", "lobby.example:7773", "--private",
                                     "--no-port-mapping", "--later-word"});
  EXPECT_EQ(all.address, "lobby.example:7773");
  EXPECT_TRUE(all.isPrivate);
  EXPECT_FALSE(all.portMapping);
  const auto plain = lobbyServerWords({"--no-port-mapping", "127.0.0.1", "true", "--lobby-server", "lobby.example"});
  EXPECT_FALSE(plain.isPrivate);
  EXPECT_TRUE(plain.portMapping);  // a name, not an option: the three words are the lobby's
}

TEST(GameCommandLine, AnUnknownOptionIsAnErrorThatPointsToHelp) {
  QString error;
  EXPECT_FALSE(words({"--fullscreen"}, &error));
  EXPECT_TRUE(error.contains("fullscreen"));
  EXPECT_TRUE(error.contains("ombrix --help"));
}

TEST(GameCommandLine, HelpAndVersionAreSeenBeforeTheFirstWordOnly) {
  for (const char* ask : {"-h", "--help", "-?", "--help-all", "-v", "--version"})
    EXPECT_TRUE(asksHelpOrVersion({"ombrix", ask})) << ask;
  EXPECT_TRUE(asksHelpOrVersion({"ombrix", "--unknown", "--version"}));
  EXPECT_FALSE(asksHelpOrVersion({"ombrix"}));
  EXPECT_FALSE(asksHelpOrVersion({"ombrix", "Ann", "--help", "true"}));
  EXPECT_FALSE(asksHelpOrVersion({"ombrix", "--", "--help"}));

  QCommandLineParser parser;
  describeGameOptions(parser);
  const QString help = parser.helpText();
  EXPECT_TRUE(help.contains("[name address host]")) << help.toStdString();
  for (const char* s : {"--help", "--version", "name", "address", "host", "7772"})
    EXPECT_TRUE(help.contains(s)) << s;
}

TEST(GameCommandLine, TheVersionIsTheLogInsWithTheBuild) {
  EXPECT_TRUE(versionText().startsWith("1.0.14 (build ")) << versionText().toStdString();
  EXPECT_TRUE(versionText().endsWith(")"));
}

}  // namespace
}  // namespace ombrix::app
