#include "app/commandline.h"

#include "ombrix_build.h"
#include "protocol/commands.h"

namespace ombrix::app {

namespace {
// The lobby passes exactly this many words.
constexpr int kLobbyWords = 3;
}  // namespace

QString versionText() {
  return QString("%1 (build %2)")
      .arg(QString::fromLatin1(wire::kVersion.data(), wire::kVersion.size()), OMBRIX_BUILD);
}

void describeGameOptions(QCommandLineParser& parser) {
  parser.setApplicationDescription(
      "A four-seat trick-taking card game with an exact bid before every round.\n"
      "Without parameters: a solo game against three computer players (one left\n"
      "unfinished is offered to resume).\n"
      "The lobby program starts a networked game with all three parameters;\n"
      "after them, --rules LIST gives the table hosted here house rules\n"
      "(comma-separated: hook, scoring=design|tricks|penalty,\n"
      "rounds=updown|downup; \"design\" for none, as ombrix-host --rules), and\n"
      "--lobby-server HOST[:PORT] [--private] [--no-port-mapping] registers it\n"
      "with that lobby server (without asking the home router for a port, with\n"
      "--no-port-mapping).");
  parser.addHelpOption();
  parser.addVersionOption();
  // All three or none: the usage line shows them as one optional group.
  parser.addPositionalArgument("name", "The player's name.", "[name");
  parser.addPositionalArgument("address",
                               "The table to join: a host name, an IPv4 address or an IPv6 address in\n"
                               "brackets, with :PORT when not 7772.",
                               "address");
  parser.addPositionalArgument("host", "\"true\" to host the table here; another word joins the address.",
                               "host]");
  // A word after the first is a parameter even when it starts with "-".
  parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
}

bool asksHelpOrVersion(const QStringList& arguments) {
  static const QStringList kAsks = {"-h", "--help", "-?", "--help-all", "-v", "--version"};
  for (int i = 1; i < arguments.size(); ++i) {
    const QString& a = arguments[i];
    if (a == "--" || !a.startsWith('-')) return false;
    if (kAsks.contains(a)) return true;
  }
  return false;
}

namespace {

// The LIST after "--rules" among the words after the three; an empty one
// for a "--rules" with nothing after it, which names no house rule either.
std::optional<QString> rulesWord(const QStringList& words) {
  for (int i = kLobbyWords; i < words.size(); ++i)
    if (words[i] == "--rules") return words.value(i + 1);
  return std::nullopt;
}

}  // namespace

std::optional<QStringList> gameWords(const QStringList& arguments, QString* error) {
  QCommandLineParser parser;
  describeGameOptions(parser);
  std::optional<QStringList> words;
  if (parser.parse(arguments)) words = parser.positionalArguments();
  else if (arguments.size() - 1 >= kLobbyWords) words = arguments.mid(1);
  if (!words) {
    if (error) *error = parser.errorText() + "\nTry 'ombrix --help'.";
    return std::nullopt;
  }
  // Worded as ombrix-host words them: the same LIST is wrong the same way.
  if (const auto list = rulesWord(*words)) {
    std::string why;
    if (words->value(2) != "true") why = "house rules are the host's: only a table hosted here takes them";
    else rules::parse(list->toStdString(), &why);
    if (!why.empty()) {
      if (error) *error = "ombrix: --rules: " + QString::fromStdString(why);
      return std::nullopt;
    }
  }
  return words;
}

HostWords hostWords(const QStringList& words) {
  HostWords out;
  if (const auto list = rulesWord(words))
    if (auto r = rules::parse(list->toStdString())) out.rules = *r;
  for (int i = kLobbyWords; i < words.size(); ++i) {
    if (words[i] == "--lobby-server" && i + 1 < words.size())
      out.address = words[++i];
    else if (words[i] == "--private")
      out.isPrivate = true;
    else if (words[i] == "--no-port-mapping")
      out.portMapping = false;
  }
  return out;
}

}  // namespace ombrix::app
