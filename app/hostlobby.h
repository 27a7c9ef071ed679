// ombrix-host's registration with a lobby server (--lobby-server): the
// table's live state, read from the host twice a second and sent when it
// changed, and the invite code on standard error. Where the home router
// offers it, a port on the router is forwarded to the table first, so the
// server's probe finds the table and joiners come directly.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "host/hostsockets.h"
#include "lobbyclient/portmap.h"
#include "lobbyclient/registration.h"

namespace ombrix::app {

// Where the host's own listener is reached from this machine, for a host
// that listens on `bind` ("" for every address): relays and the web door
// connect there.
std::string ownListener(const std::string& bind);

class HostLobby {
 public:
  // `server` is "HOST[:PORT]"; `bind` is the address the host listens on
  // ("" for every address). Throws std::invalid_argument for a bad address.
  // Without `portMapping` no router is asked for anything: joiners come
  // directly or through the relay as they can. `leaseSeconds` is the
  // mapping's lease, renewed at half.
  HostLobby(HostSockets& host, const std::string& server, bool isPrivate, const std::string& bind,
            std::string name, std::function<void(std::string_view)> log, bool portMapping = true,
            int leaseSeconds = lobbyclient::PortMapper::kLeaseSeconds);
  ~HostLobby();

  // The invite code when the server gives one, for a caller that shows it
  // elsewhere too (the game tells its lobby); every line, the port
  // mapping's among them, goes to the log.
  std::function<void(const std::string& code)> onCode;

  // How long registering waits for the router's answer: the search's own
  // time, and the router's answer to the mapping with room to spare. The
  // table is hosted meanwhile; only its code comes this much later. A
  // mapping that comes later still is shown to the server then.
  static constexpr int kMappingWaitMs = lobbyclient::PortMapper::kDiscoverMs + 2000;

 private:
  void mapped(const lobbyclient::PortMapping& m);
  void registerNow();
  lobbywire::TableEntry state() const;

  HostSockets& host_;
  std::string name_;
  std::function<void(std::string_view)> log_;
  // Declared before the registration: the mapping goes after it, when the
  // table has left the server.
  lobbyclient::PortMapper mapper_;
  std::unique_ptr<lobbyclient::HostRegistration> registration_;
  QTimer poll_, mappingWait_;
  bool started_ = false;
  int reachedAt_ = 0;  // the port registered, once registered
};

}  // namespace ombrix::app
