// ombrix-lobby without a window, for scripts: list the tables on this
// network (and a lobby server's), or start the game as the window would and
// follow it to its end.
#pragma once

#include <QString>
#include <optional>

#include "lobbywire/wire.h"
#include "rules/rules.h"

namespace ombrix::lobby {

// Waits `seconds` (and, given a lobby server, for its listing), prints every
// table seen (each once, however many addresses it has), one a line, plain
// or JSON. Says on standard error why a source could not be asked; returns
// 1 when none could, 0 otherwise.
int listTables(double seconds, bool json, const std::optional<lobbywire::HostPort>& server);

// Starts `ombrix NAME 127.0.0.1 true` (host) or `ombrix NAME ADDRESS join`,
// holds the lobby link and returns when the game has ended: 0, or 1 when the
// game could not be started (or an invite code led nowhere), 2 for an
// address that is none. An ADDRESS "+CODE" is an invite code, looked up at
// `server`; hosting with a `server` registers the table there and prints
// its invite code (having asked the home router for a port, unless not
// `portMapping`), with `houseRules` unless they are the design's. A game
// already open on this desktop is said, and nothing is started: the new
// game would only bring that one to the front.
int playWithoutWindow(bool host, const QString& name, const QString& address, const std::optional<lobbywire::HostPort>& server,
                      bool isPrivate, bool portMapping = true, const rules::Rules& houseRules = {});

}  // namespace ombrix::lobby
