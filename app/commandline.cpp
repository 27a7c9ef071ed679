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
      "Without parameters: a solo game against three computer players.\n"
      "The lobby program starts a networked game with all three parameters;\n"
      "after them, --lobby-server HOST[:PORT] [--private] [--no-port-mapping]\n"
      "registers the table hosted here with that lobby server (without asking\n"
      "the home router for a port, with --no-port-mapping).");
  parser.addHelpOption();
  parser.addVersionOption();
  // All three or none: the usage line shows them as one optional group.
  parser.addPositionalArgument("name", "The player's name.", "[name");
  parser.addPositionalArgument("address", "The address of the table to join (port 7772).", "address");
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

std::optional<QStringList> gameWords(const QStringList& arguments, QString* error) {
  QCommandLineParser parser;
  describeGameOptions(parser);
  if (parser.parse(arguments)) return parser.positionalArguments();
  if (arguments.size() - 1 >= kLobbyWords) return arguments.mid(1);
  if (error) *error = parser.errorText() + "\nTry 'ombrix --help'.";
  return std::nullopt;
}

LobbyServerWords lobbyServerWords(const QStringList& words) {
  LobbyServerWords out;
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
