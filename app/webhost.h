// The web door of a hosted table, as ombrix-host and the game hosting for
// the lobby open it: the web table's files from the installed folder, a
// WebSocket per browser held by the host as a table, and the line
// "web link: http://ADDRESS:PORT/" for the log.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "host/hostsockets.h"
#include "webdoor/webdoor.h"

namespace ombrix::app {

// Opens the door on `port` ("" for the default, 7780, or any free port when
// that one is taken) at `bind`. Says "web link: ..." through `log`, or why
// there is none (then returns nullptr: the table is hosted all the same).
std::unique_ptr<web::WebDoor> openWebDoor(HostSockets& host, const std::string& port, const std::string& bind,
                                          const std::string& programPath,
                                          const std::function<void(std::string_view)>& log);

}  // namespace ombrix::app
