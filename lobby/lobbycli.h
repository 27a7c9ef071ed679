// ombrix-lobby without a window, for scripts: list the tables on this
// network, or start the game as the window would and follow it to its end.
#pragma once

#include <QString>

namespace ombrix::lobby {

// Waits `seconds`, prints every table seen (each once, however many
// addresses it has), one a line, plain or JSON, and returns 0; without an
// avahi-daemon says why on standard error and returns 1.
int listTables(double seconds, bool json);

// Starts `ombrix NAME 127.0.0.1 true` (host) or `ombrix NAME ADDRESS join`,
// holds the lobby link and returns when the game has ended: 0, or 1 when the
// game could not be started, 2 for an address that is none.
int playWithoutWindow(bool host, const QString& name, const QString& address);

}  // namespace ombrix::lobby
