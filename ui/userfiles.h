// Where the program keeps the files it writes. Beside the program when that
// folder can be written (a copy unpacked into the player's own folder, the
// build folder); otherwise, as for a copy installed for the whole system, in
// the player's own folders: settings under $XDG_CONFIG_HOME/ombrix, the tally
// under $XDG_DATA_HOME/ombrix, downloads under $XDG_CACHE_HOME/ombrix (each
// with its usual default when unset), created on the first write.
#pragma once

#include <QString>
#include <functional>

namespace ombrix::ui {

enum class FileKind { Settings, Data, Cache };

// Whether the program may create and replace files in a folder.
bool folderWritable(const QString& folder);
// Replaces that decision (tests); an empty function restores the real one.
void setFolderWritable(std::function<bool(const QString& folder)> decide);

// The folder for files of that kind of a program in `programFolder`.
QString userFolder(FileKind kind, const QString& programFolder);
// The same for this program (the folder of its executable).
QString userFolder(FileKind kind);
// The file `name` in that folder.
QString userFile(const QString& name, FileKind kind);

// Creates the folder that `file` is to be written into; false when it cannot.
bool makeFolderFor(const QString& file);

// The player's private folder for sockets and locks ($XDG_RUNTIME_DIR, or the
// one Qt makes when that is unset); never the program's folder.
QString runtimeFolder();

}  // namespace ombrix::ui
