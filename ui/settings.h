// The settings file, "quarrowlobby.ini": the common key=value format under
// [section] names, both compared without regard to letter case. The game
// and the lobby share the file, each reading and writing only its own
// section; every access opens and closes the file.
//
// Reading is tolerant: spaces around names and "=", comments (";" or "#"),
// lines without "=", LF or CR LF. Where a name is there twice, the first
// section and the first key count, for reading and writing alike.
#pragma once

#include <QHash>
#include <QString>
#include <utility>
#include <vector>

namespace ombrix::ui {

// The section's keys (in lower case) and values; empty when the file or
// the section is missing.
QHash<QString, QString> readSection(const QString& file, const QString& section);

// Sets the keys in the section, in the file's own style ("key=value" and
// its line end), and keeps every other byte of the file as it was: a key
// already there is changed in its line, a new one follows the section's
// last key, a missing section is added at the end. The file is replaced only
// once the new one is complete. False when it could not be read or written.
bool writeKeys(const QString& file, const QString& section,
               const std::vector<std::pair<QString, QString>>& keys);

}  // namespace ombrix::ui
