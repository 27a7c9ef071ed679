// One instance per desktop. The first instance publishes itself under the
// name "worrauq11" (scoped to the user and the display, so two X displays
// are two desktops, and a game drawn off screen is on none) and holds the "ombrix" lock for its life, both in the
// player's runtime folder; a second start asks the first to come to the
// front and ends before creating any window.
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class QLocalServer;
class QLockFile;

namespace ombrix::client {

class PrevInstance {
 public:
  PrevInstance();
  ~PrevInstance();
  // True when another instance runs on this desktop; it has been asked to
  // activate its window.
  bool running();
  // Called in the first instance when a second start asks for the front.
  std::function<void()> onActivate;
  // Called when the lobby asks this game to close (for a table of its own).
  std::function<void()> onClose;
  static QString scopedName(const QString& base);

 private:
  std::unique_ptr<QLocalServer> server_;
  std::unique_ptr<QLockFile> lock_;
};

}  // namespace ombrix::client
