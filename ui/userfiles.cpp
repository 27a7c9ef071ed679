#include "ui/userfiles.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace ombrix::ui {

namespace {
// The folder in each of the player's XDG folders.
constexpr const char* kOwnFolder = "ombrix";

std::function<bool(const QString&)>& decider() {
  static std::function<bool(const QString&)> decide;
  return decide;
}

struct XdgFolder {
  const char* variable;
  const char* fallback;  // under the home folder
};

XdgFolder xdgFolder(FileKind kind) {
  switch (kind) {
    case FileKind::Settings:
      return {"XDG_CONFIG_HOME", ".config"};
    case FileKind::Data:
      return {"XDG_DATA_HOME", ".local/share"};
    case FileKind::Cache:
      break;
  }
  return {"XDG_CACHE_HOME", ".cache"};
}
}  // namespace

bool folderWritable(const QString& folder) {
  if (decider()) return decider()(folder);
  // access() answers for the user who runs the program and also sees a folder
  // mounted read-only, which stops even root. Files are replaced by renaming
  // a new one into place, so the folder itself must be writable, not the file.
  const QByteArray path = QFile::encodeName(folder);
  return !folder.isEmpty() && ::access(path.constData(), W_OK | X_OK) == 0;
}

void setFolderWritable(std::function<bool(const QString&)> decide) { decider() = std::move(decide); }

QString userFolder(FileKind kind, const QString& programFolder) {
  if (folderWritable(programFolder)) return programFolder;
  const XdgFolder xdg = xdgFolder(kind);
  QString base = qEnvironmentVariable(xdg.variable);
  // An XDG variable holding a relative path is to be ignored, not read
  // from wherever the program was started.
  if (base.isEmpty() || QDir::isRelativePath(base)) base = QDir::home().filePath(xdg.fallback);
  return QDir(base).filePath(kOwnFolder);
}

QString userFolder(FileKind kind) { return userFolder(kind, QCoreApplication::applicationDirPath()); }

QString userFile(const QString& name, FileKind kind) { return QDir(userFolder(kind)).filePath(name); }

bool makeFolderFor(const QString& file) { return QDir().mkpath(QFileInfo(file).absolutePath()); }

QString runtimeFolder() {
  const QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
  return folder.isEmpty() ? QDir::tempPath() : folder;
}

}  // namespace ombrix::ui
