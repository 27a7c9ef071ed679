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

TEST(GameCommandLine, TheHostsWordsAfterTheThree) {
  const QStringList words = {"Ann", "127.0.0.1", "true", "--rules", "rounds=downup,hook", "--lobby-server",
                             "lobby.example:7773", "--private", "--no-port-mapping", "--later-word"};
  ASSERT_EQ(gameWords(QStringList{"ombrix"} + words, nullptr), words);
  const auto all = hostWords(words);
  EXPECT_EQ(rules::format(all.rules), "hook,rounds=downup");
  EXPECT_EQ(all.address, "lobby.example:7773");
  EXPECT_TRUE(all.isPrivate);
  EXPECT_FALSE(all.portMapping);
  const auto plain = hostWords({"--no-port-mapping", "--rules", "true", "--lobby-server", "lobby.example"});
  EXPECT_FALSE(plain.isPrivate);
  EXPECT_TRUE(plain.portMapping);  // a name, not an option: the three words are the lobby's
  EXPECT_TRUE(plain.rules.design());
}

// Each is a usage error (the program ends with status 2 and the text).
TEST(GameCommandLine, UsageErrorsSayWhatIsWrong) {
  const struct {
    QStringList args;
    const char* said;
  } cases[] = {
      {{"--fullscreen"}, "Unknown option 'fullscreen'.\nTry 'ombrix --help'."},
      // House rules as ombrix-host words their faults.
      {{"Ann", "127.0.0.1", "true", "--rules", "hook,hook"}, "ombrix: --rules: house rule \"hook\" named twice"},
      {{"Ann", "127.0.0.1", "true", "--rules", "scoring=most"},
       "ombrix: --rules: unknown scoring \"most\" (design, tricks or penalty)"},
      {{"Ann", "127.0.0.1", "true", "--rules", "design,hook"},
       "ombrix: --rules: \"design\" names no house rule and stands alone"},
      {{"Ann", "127.0.0.1", "true", "--rules"}, "ombrix: --rules: an empty house rule"},
      {{"Ann", "10.0.0.2", "join", "--rules", "hook"},
       "ombrix: --rules: house rules are the host's: only a table hosted here takes them"},
  };
  for (const auto& c : cases) {
    QString error;
    EXPECT_FALSE(words(c.args, &error)) << c.args.join(' ').toStdString();
    EXPECT_EQ(error, c.said);
  }
  // The design's rules, named, are no fault.
  EXPECT_TRUE(words({"Ann", "127.0.0.1", "true", "--rules", "design"}));
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
