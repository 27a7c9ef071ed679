// A host's registration with the lobby server: one kept connection that
// carries the table's live state, brings back the invite code, and asks for
// relays. For each relay the host opens a second connection to the server
// and splices it to its own game listener, so the host sees an ordinary
// connection (from this machine). Used by ombrix-host and by the lobby
// program while the game hosts.
//
// A lost connection is tried again after a pause that grows to a minute;
// a new registration brings a new code.
#pragma once

#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <string>
#include <vector>

#include "base/timer.h"
#include "lobbyclient/lobbylink.h"
#include "lobbywire/wire.h"

namespace ombrix::lobbyclient {

// How the server reaches a registered table (its direct addresses), in
// words for the player.
std::string reachText(const std::vector<std::string>& direct);

class HostRegistration {
 public:
  static constexpr int kFirstRetryMs = 5000, kLastRetryMs = 60000;

  // `game` is where the table's own listener is reached from this machine.
  // The retries and the relays' timers come from `timers` (the event loop's
  // when none is given; a test's virtual clock), which outlives this.
  HostRegistration(lobbywire::HostPort server, lobbywire::HostPort game, lobbywire::TableEntry table, bool isPrivate,
                   TimerFactory* timers = nullptr);
  ~HostRegistration();

  void start();
  // The table changed; sent at once when it differs from what was sent.
  void update(const lobbywire::TableEntry& table);
  // The table is reached at `port` from outside now (a router's mapping
  // that came after the registration): the server is shown it (a stun with
  // that port), so later joiners come directly; registrations from now on
  // name that port. A server that does not know the field only looks again
  // where it looked.
  void showPort(int port);

  const std::string& code() const { return code_; }
  // The server's web link for the table, "http://SERVER:PORT/+CODE", when it
  // serves the web table (a server that does not says no port).
  std::string webLink() const;
  // Addresses the server reached the table at ("HOST:PORT"); empty when
  // only the relay reaches it.
  const std::vector<std::string>& direct() const { return direct_; }
  size_t relays() const { return relays_.size(); }

  std::function<void(const std::string& code)> onCode;
  std::function<void(const std::vector<std::string>& direct)> onDirect;
  std::function<void(std::string_view line)> log;

 private:
  void connected();
  void message(const lobbywire::Message& m);
  void lost(const std::string& why);
  void openRelay(const std::string& ticket);
  // Shows the server this host's address of the other family, when the
  // server's name has one: joiners may then come directly over either.
  void stun();
  void stunAt(const std::string& address);
  void say(const std::string& s) {
    if (log) log(s);
  }

  struct Relay;
  lobbywire::HostPort server_, game_;
  lobbywire::TableEntry table_, sent_;
  bool private_;
  LineLink link_;
  std::unique_ptr<LineLink> stun_, shown_;
  // A port shown after the registration's line was sent: shown again once
  // it is registered.
  bool showPending_ = false;
  std::string code_, secret_;
  std::vector<std::string> direct_;
  std::list<std::unique_ptr<Relay>> relays_;
  TimerFactory& timers_;
  std::unique_ptr<Timer> retry_;
  int retryMs_ = kFirstRetryMs;
  bool registered_ = false;
  std::shared_ptr<int> life_ = std::make_shared<int>(0);  // what a look-up's answer checks first
  int webPort_ = 0;
};

}  // namespace ombrix::lobbyclient
