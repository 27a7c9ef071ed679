// The host window: TServer bound to real sockets and to the Qt event loop.
// It owns the listening socket Sock1, the handler template tempsock and, per
// slot, the accepted connection; it turns their events into TServer calls and
// TServer's messages into Send calls. A door in this process (the web door)
// hands it connections of its own instead of sockets. Runs in the game and
// alone in ombrix-host.
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "net/asyncsock.h"
#include "net/qttimers.h"
#include "net/wsock.h"
#include "host/server.h"

namespace ombrix {

class HostSockets : public HostTransport, public Notices {
 public:
  // A table's connection from a door in this process (a browser's
  // WebSocket): its lines pass by call, not through the kernel and another
  // turn of the loop, and it holds a slot as an accepted socket does, under
  // every bound and rule of the host. The door keeps it until the host no
  // longer holds it, and the host outlives the door.
  class Line {
   public:
    virtual ~Line() = default;
    // Whole messages for the table, each with its terminator.
    virtual void write(std::string_view bytes) = 0;
    // What the table has not taken of them yet.
    virtual size_t unsent() const = 0;
    // The host ends the connection (a removal, a bound, a full table): it
    // is no longer the host's when this is called.
    virtual void hangUp() = 0;
    // The slot that holds it, 0 when the host does not hold it.
    int slot() const { return slot_; }

   private:
    friend class HostSockets;
    int slot_ = 0;
  };

  // Most a connection may have sent to it and not yet taken: about half a
  // minute of a full table chatting at the host's whole dispatch rate. A
  // table that stops reading is closed there, as a departure.
  static constexpr size_t kMaxUnsentBytes = 1 << 20;

  // `timeScale` > 1 runs every host timer that much faster (tests, demos).
  explicit HostSockets(uint64_t seed, double timeScale = 1.0);
  // Every host timer on `timers` instead (a test's virtual clock), which
  // outlives the host.
  HostSockets(uint64_t seed, TimerFactory& timers);
  ~HostSockets() override;

  // Starts listening on every address, or only on `address` when one is
  // given; port "0" takes any free port (see port()).
  void listen(const std::string& port, const std::string& address = {});
  int port() const { return Sock1.LocalPort(); }
  TServer& server() { return server_; }

  // Lines for a log (connections, log-ins, departures, game ends, notices).
  std::function<void(std::string_view)> log;
  // The host's message boxes ("Card does't exist"): the game shows them to
  // its player, a headless host only logs them. Must not block.
  std::function<void(std::string_view)> onNotice;

  // HostTransport and Notices.
  void send(int slot, std::string_view message) override;
  void closeConnection(int slot) override { disconnectsock(slot); }
  void moveConnection(int from, int to) override;
  void notice(std::string_view text) override;

  // A door's connection arrives, as an accepted socket does: it takes a
  // slot and is told its number. False when the table is full: it was told
  // so ("CMD_full+") and is not held.
  bool arrive(Line& line);
  // Bytes from the table at a line the host holds. Never from inside the
  // host's own call of that line (write, hangUp).
  void fromLine(Line& line, std::string_view bytes);
  // The line is over on the door's side (its browser left): a departure.
  // Nothing when the host no longer holds it.
  void lineEnded(Line& line);

  // The listening socket (tests watch its reports).
  net::TAsyncSock& listener() { return Sock1; }

  // How soon a table's dead line is found (a cable pulled sends no reset):
  // within about 30 s, so that its seat is free for the name well inside the
  // minute its table tries to connect again. While a game runs the host
  // sends every card, so unacknowledged data finds it; an idle line is
  // probed after 10 s of silence. A live table at the other end of the
  // world answers a probe in well under a second.
  static constexpr net::DeadLineTimes kDeadLine{10, 5, 4, 30'000};

  // The socket held by a slot, or nullptr (none, or a door's line).
  net::TAsyncSock* sock(int slot) const { return slot >= 1 && slot <= kLastSlot ? socks_[slot] : nullptr; }

 private:
  void Sock1Accept(net::TAsyncSock* sender);
  void Sock1Read(net::TAsyncSock* sender, int count);
  void tempsockDisconnect(net::TAsyncSock* sender);
  // A break (a reset, a dead line) arrives as an error report alone: the
  // slot's socket is closed, so that its end frees the slot.
  void tempsockInfo(net::TAsyncSock* sender, net::TSocketInfo info, const std::string& msg);
  // The slot's connection is over, however it ended: the clean-up.
  void tempsockEnd(net::TAsyncSock* sender);
  void disconnectsock(int slot);
  // Closes a slot's connection from the event loop, not from inside the
  // handler whose send found it over its bound.
  void closeLater(int slot);
  bool owns(net::TAsyncSock* s) const;
  bool held(int slot) const { return socks_[slot] || lines_[slot]; }
  void bind();  // the sockets' events to the server's calls
  void say(std::string_view line) {
    if (log) log(line);
  }

  net::QtTimerFactory timers_;
  TServer server_;
  net::TAsyncSock Sock1, tempsock;
  std::array<net::TAsyncSock*, kSlotTableSize> socks_{};
  std::array<Line*, kSlotTableSize> lines_{};  // a slot holds a socket or a line
  // Per slot: which connection holds it (a later one in the same slot
  // counts up), and whether it is over its output bound and being closed.
  std::array<uint64_t, kSlotTableSize> generation_{};
  std::array<bool, kSlotTableSize> overflowed_{};
  std::shared_ptr<int> life_ = std::make_shared<int>(0);  // what posted work checks first
  std::string out_;
};

}  // namespace ombrix
