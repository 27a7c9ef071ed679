#include "client/previnst.h"

#include <unistd.h>

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>

namespace ombrix::client {

QString PrevInstance::scopedName(const QString& base) {
  QString display = qEnvironmentVariable("WAYLAND_DISPLAY");
  if (display.isEmpty()) display = qEnvironmentVariable("DISPLAY");
  if (display.isEmpty()) display = qEnvironmentVariable("QT_QPA_PLATFORM", "console");
  display.replace('/', '_').replace(':', '_');
  return QString("%1-%2-%3").arg(base).arg(::getuid()).arg(display);
}

PrevInstance::PrevInstance() = default;
PrevInstance::~PrevInstance() = default;

bool PrevInstance::running() {
  lock_ = std::make_unique<QLockFile>(QDir::tempPath() + "/" + scopedName("ombrix") + ".lock");
  lock_->setStaleLockTime(0);
  if (!lock_->tryLock(0)) {
    // Someone holds it: ask them to come to the front.
    QLocalSocket s;
    s.connectToServer(scopedName("worrauq11"));
    if (s.waitForConnected(1000)) {
      s.write("activate\n");
      s.waitForBytesWritten(1000);
    }
    return true;
  }
  server_ = std::make_unique<QLocalServer>();
  QLocalServer::removeServer(scopedName("worrauq11"));  // a crashed first instance's leftover
  server_->listen(scopedName("worrauq11"));
  QObject::connect(server_.get(), &QLocalServer::newConnection, [this] {
    while (QLocalSocket* c = server_->nextPendingConnection()) {
      QObject::connect(c, &QLocalSocket::disconnected, c, &QObject::deleteLater);
      if (onActivate) onActivate();
    }
  });
  return false;
}

}  // namespace ombrix::client
