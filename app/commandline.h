// What the programs' command lines share: the version text, and the game's
// own command line in Qt's usual form around the three words the lobby
// program passes (name, host address, "true" to host).
#pragma once

#include <QCommandLineParser>
#include <QString>
#include <QStringList>
#include <optional>

#include "rules/rules.h"

namespace ombrix::app {

// "1.0.14 (build <commit>)": the version the log-in exchanges, and the build.
QString versionText();

// The game's options (--help, --version) and its positional parameters.
void describeGameOptions(QCommandLineParser& parser);

// True when `arguments` (the program first) ask for help or the version:
// they are answered before the window system starts, so they work without
// a desktop. Only options before the first word count.
bool asksHelpOrVersion(const QStringList& arguments);

// The words for the table window (none for a solo game), or nothing when
// the command line is wrong; `error` then says why. The lobby's three words
// are taken as they come even when the name looks like an option; a
// "--rules LIST" after them must name house rules, at a table hosted here.
std::optional<QStringList> gameWords(const QStringList& arguments, QString* error);

// What the lobby adds after its three words for a table it hosts: its house
// rules ("--rules LIST"), and when it is to be registered with a lobby
// server, "--lobby-server HOST[:PORT]", "--private" and "--no-port-mapping"
// (no router is asked for a port). Empty `address` when there is no server;
// other words are left to a later lobby; a LIST gameWords took is read.
struct HostWords {
  rules::Rules rules;
  QString address;
  bool isPrivate = false;
  bool portMapping = true;
};
HostWords hostWords(const QStringList& words);

}  // namespace ombrix::app
