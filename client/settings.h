// The settings file, "quarrowlobby.ini": the common key=value format under
// [section] names, both compared without regard to letter case. The lobby
// program keeps its own sections in the same file; this program reads and
// writes only its one, and every access opens and closes the file.
#pragma once

#include <QHash>
#include <QString>
#include <utility>
#include <vector>

namespace ombrix::client {

// The section's keys (in lower case) and values; empty when the file or
// the section is missing.
QHash<QString, QString> readSection(const QString& file, const QString& section);

// Sets the keys in the section and keeps everything else the file holds;
// the file is replaced only once the new one is complete. False when it
// could not be written.
bool writeKeys(const QString& file, const QString& section,
               const std::vector<std::pair<QString, QString>>& keys);

}  // namespace ombrix::client
