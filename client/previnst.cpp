#include "client/previnst.h"

#include <unistd.h>

#include <QDir>
#include <QGuiApplication>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>

#include "ui/userfiles.h"

namespace ombrix::client {

QString PrevInstance::scopedName(const QString& base) {
  // A game drawn off screen (a test, a headless run) is on no desktop: it
  // must neither give way to nor raise the player's game on the display.
  const QString platform = QGuiApplication::platformName();
  QString display = platform == "offscreen" || platform == "minimal" ? platform : QString();
  if (display.isEmpty()) display = qEnvironmentVariable("WAYLAND_DISPLAY");
  if (display.isEmpty()) display = qEnvironmentVariable("DISPLAY");
  if (display.isEmpty()) display = qEnvironmentVariable("QT_QPA_PLATFORM", "console");
  display.replace('/', '_').replace(':', '_');
  return QString("%1-%2-%3").arg(base).arg(::getuid()).arg(display);
}

PrevInstance::PrevInstance() = default;
PrevInstance::~PrevInstance() = default;

bool PrevInstance::running() {
  // Both live in the player's runtime folder: never the program's, which an
  // installed copy cannot write, nor a folder other users share.
  const QDir folder(ui::runtimeFolder());
  const QString address = folder.filePath(scopedName("worrauq11"));
  lock_ = std::make_unique<QLockFile>(folder.filePath(scopedName("ombrix") + ".lock"));
  lock_->setStaleLockTime(0);
  if (!lock_->tryLock(0)) {
    // Someone holds it: ask them to come to the front.
    QLocalSocket s;
    s.connectToServer(address);
    if (s.waitForConnected(1000)) {
      s.write("activate\n");
      s.waitForBytesWritten(1000);
    }
    return true;
  }
  server_ = std::make_unique<QLocalServer>();
  QLocalServer::removeServer(address);  // a crashed first instance's leftover
  server_->listen(address);
  QObject::connect(server_.get(), &QLocalServer::newConnection, [this] {
    while (QLocalSocket* c = server_->nextPendingConnection()) {
      QObject::connect(c, &QLocalSocket::disconnected, c, &QObject::deleteLater);
      if (onActivate) onActivate();
    }
  });
  return false;
}

}  // namespace ombrix::client
