#include "ui/oneinstance.h"

#include <unistd.h>

#include <QDir>
#include <QGuiApplication>
#include <QLocalSocket>
#include <QLockFile>

#include "ui/userfiles.h"

namespace ombrix::ui {

namespace {
// How long a local connection may take: the game answers on its own loop.
constexpr int kLocalMs = 1000;
}  // namespace

QString instanceName(const QString& base) {
  // A game drawn off screen (a test, a headless run) is on no desktop: it
  // must neither give way to nor raise the player's game on the display.
  // A program without windows (the lobby's command line) asks for the
  // desktop the game it starts will be drawn on.
  const QString platform =
      qobject_cast<QGuiApplication*>(QCoreApplication::instance()) ? QGuiApplication::platformName()
                                                                   : qEnvironmentVariable("QT_QPA_PLATFORM");
  QString display = platform == "offscreen" || platform == "minimal" ? platform : QString();
  if (display.isEmpty()) display = qEnvironmentVariable("WAYLAND_DISPLAY");
  if (display.isEmpty()) display = qEnvironmentVariable("DISPLAY");
  if (display.isEmpty()) display = qEnvironmentVariable("QT_QPA_PLATFORM", "console");
  display.replace('/', '_').replace(':', '_');
  return QString("%1-%2-%3").arg(base).arg(::getuid()).arg(display);
}

QString instanceLockFile() { return QDir(runtimeFolder()).filePath(instanceName("ombrix") + ".lock"); }

QString instanceAddress() { return QDir(runtimeFolder()).filePath(instanceName("worrauq11")); }

bool gameOpen() {
  QLockFile lock(instanceLockFile());
  lock.setStaleLockTime(0);  // a lock whose process is gone is no game
  if (!lock.tryLock(0)) return true;
  lock.unlock();
  return false;
}

bool askGameToClose() {
  QLocalSocket s;
  s.connectToServer(instanceAddress());
  if (!s.waitForConnected(kLocalMs)) return false;
  s.write("close\n");
  return s.waitForBytesWritten(kLocalMs);
}

}  // namespace ombrix::ui
