// One game per desktop. The running game holds a lock and answers on a local
// server, both in the player's runtime folder under names scoped to the user
// and the display (two X displays are two desktops). The game's side is
// client/previnst; the lobby asks here whether a game is open and asks that
// game to close (it saves a solo game as its own Exit does).
#pragma once

#include <QString>

namespace ombrix::ui {

// `base` scoped to this user and this display: "base-UID-DISPLAY".
QString instanceName(const QString& base);
// The lock the running game holds, and its local server's address.
QString instanceLockFile();
QString instanceAddress();

// A game holds the lock on this desktop.
bool gameOpen();
// Asks the game open on this desktop to close; false when none answered.
bool askGameToClose();

}  // namespace ombrix::ui
