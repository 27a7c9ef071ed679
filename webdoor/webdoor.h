// The host's web door: the web table's page and its WebSocket beside the
// game's port. Each WebSocket is handed to the host in this process as a
// connection of its own (HostSockets::Line), its lines passed by call rather
// than through a loopback socket, so a browser's card reaches the host and
// the others' cards reach the browser as fast as a desktop table's. The host
// holds it in a slot as any table: every bound, the rejoin and every rule
// of the host apply as they stand, and the other tables see nothing new.
// One WebSocket text message is one line of the game.
#pragma once

#include <QTimer>
#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "host/hostsockets.h"
#include "net/asyncsock.h"
#include "net/wsock.h"
#include "webgate/gateway.h"
#include "webgate/site.h"

namespace ombrix::web {

class WebDoor {
 public:
  static constexpr int kDefaultPort = 7780;
  // Browsers at once: a household's phones and laptops behind one address,
  // each with a few connections for the page's files and one WebSocket; in
  // all, far more than a table's nine places and their pages.
  static constexpr size_t kPerAddress = 24, kMaxConnections = 96;

  // Browsers' WebSockets become tables of `host`, which outlives the door.
  WebDoor(webgate::Site site, HostSockets& host, webgate::Limits limits = {});
  ~WebDoor();
  WebDoor(const WebDoor&) = delete;
  WebDoor& operator=(const WebDoor&) = delete;

  // Listens on every address, or on `address` only; "0" takes a free port.
  // Throws net::ESockException when the port cannot be had.
  void listen(const std::string& port, const std::string& address = {});
  int port() const { return listener_.LocalPort(); }
  // "http://ADDRESS:PORT/" with this machine's address on the local
  // network (or the one it listens on).
  std::string link() const;

  std::function<void(std::string_view)> log;

  size_t connections() const { return visitors_.size(); }
  // Bytes the door holds for its connections (not the files it serves).
  size_t footprint() const;
  const webgate::Site& site() const { return site_; }

 private:
  struct Visitor;
  void accept();
  void read(Visitor* v);
  // After the browser's bytes or the clock: held input goes on, a new
  // WebSocket takes its seat, the page's lines go to the host, the answers
  // out. Never from inside the host's calls of a line.
  void settle(Visitor* v);
  // Writes what the gateway has to say; closes it once it is done.
  void pump(Visitor* v);
  void drop(Visitor* v);
  void say(const std::string& s) {
    if (log) log(s);
  }

  webgate::Site site_;
  HostSockets& host_;
  webgate::Limits limits_;
  std::string address_;
  net::TAsyncSock listener_;
  std::list<std::unique_ptr<Visitor>> visitors_;
  std::map<std::string, size_t> perAddress_;
  QTimer tick_;
  std::shared_ptr<int> life_ = std::make_shared<int>(0);
};

// This machine's address for a link others on the local network can open:
// `bound` when the door listens on one address, else the first private
// IPv4 address of an interface that is up, any other IPv4 one, a global
// IPv6 one, or the host's name.
std::string lanAddress(const std::string& bound);
// The milliseconds of a steady clock.
int64_t nowMs();

}  // namespace ombrix::web
