// ombrix-host's registration with a lobby server (--lobby-server): the
// table's live state, read from the host twice a second and sent when it
// changed, and the invite code on standard error.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "host/hostwindow.h"
#include "lobbyclient/registration.h"

namespace ombrix::app {

// The table's state as the lobby shows it (the DNS-SD record's fields).
lobby::TableState tableStateOf(const TServer& server, std::string name, int port);

class HostLobby {
 public:
  // `server` is "HOST[:PORT]"; `bind` is the address the host listens on
  // ("" for every address). Throws std::invalid_argument for a bad address.
  HostLobby(HostWindow& host, const std::string& server, bool isPrivate, const std::string& bind,
            std::string name, std::function<void(std::string_view)> log);
  ~HostLobby();

 private:
  HostWindow& host_;
  std::string name_;
  std::unique_ptr<lobby::HostRegistration> registration_;
  QTimer poll_;
};

}  // namespace ombrix::app
