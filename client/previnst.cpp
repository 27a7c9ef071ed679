#include "client/previnst.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>

#include "ui/oneinstance.h"

namespace ombrix::client {

QString PrevInstance::scopedName(const QString& base) { return ui::instanceName(base); }

PrevInstance::PrevInstance() = default;
PrevInstance::~PrevInstance() = default;

bool PrevInstance::running() {
  // Both live in the player's runtime folder: never the program's, which an
  // installed copy cannot write, nor a folder other users share.
  const QString address = ui::instanceAddress();
  lock_ = std::make_unique<QLockFile>(ui::instanceLockFile());
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
      // "activate" from a second start, "close" from a lobby that needs the
      // desktop's one game for a table.
      QObject::connect(c, &QLocalSocket::readyRead, c, [this, c] {
        while (c->canReadLine()) {
          if (c->readLine().trimmed() == "close") {
            if (onClose) onClose();
          } else if (onActivate) {
            onActivate();
          }
        }
      });
    }
  });
  return false;
}

}  // namespace ombrix::client
