#include "app/webhost.h"

namespace ombrix::app {

std::unique_ptr<web::WebDoor> openWebDoor(HostSockets& host, const std::string& port, const std::string& bind,
                                          const std::string& programPath,
                                          const std::function<void(std::string_view)>& log) {
  webgate::Site site = webgate::Site::load(webgate::webRoot(programPath), webgate::cardDeck());
  if (!site.problem().empty()) log("web: " + site.problem());
  auto door = std::make_unique<web::WebDoor>(std::move(site), host);
  door->log = log;
  const std::string wanted = port.empty() ? std::to_string(web::WebDoor::kDefaultPort) : port;
  try {
    door->listen(wanted, bind);
  } catch (const std::exception& e) {
    if (!port.empty()) {
      log("no web link: cannot listen on port " + wanted + ": " + e.what());
      return nullptr;
    }
    // The usual port is someone else's (another table here): any will do,
    // the link names it.
    try {
      door->listen("0", bind);
    } catch (const std::exception& again) {
      log(std::string("no web link: ") + again.what());
      return nullptr;
    }
  }
  log("web link: " + door->link());
  return door;
}

}  // namespace ombrix::app
