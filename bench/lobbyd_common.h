// What the lobby server's benchmarks share: ombrix-lobbyd and peers as
// processes of their own, and plain blocking sockets from any local address
// (each 127.x address another home).
#pragma once

#include <sys/types.h>

#include <string>

#include "lobbywire/wire.h"

namespace ombrix::bench {

[[noreturn]] void die(const std::string& why);

struct Process {
  pid_t pid = -1;
  int port = 0, webPort = 0;
  ~Process();
  // Both user and system time, or the user time alone: the process's own
  // code apart from the kernel's work it asked for.
  double cpuSeconds(bool userOnly = false) const;
  long rssKb() const;
};

// ombrix-lobbyd from `dir`, listening on `bind` (every address when empty;
// any port), its log drained; with `web`, its web table on a port of its own.
void startLobbyd(Process& p, const std::string& dir, const std::string& bind = "127.0.0.1", bool web = false);

// 127.A.B.C for the n-th address of a group: the server counts its bounds
// per address, as it would for homes across the internet.
std::string loopback(int group, int n);
// A connection from `from` (IPv4 or IPv6) to the server at `to`; when it
// fails, the benchmark ends, or (`must` false) -1.
int connectFrom(const std::string& from, int port, const std::string& to = "127.0.0.1", bool must = true);
void sendAll(int fd, const std::string& s);
// One line, read a byte at a time: nothing after it is taken from the socket.
lobbywire::Message readMessage(int fd);
lobbywire::Message readUntil(int fd, lobbywire::Op op);
// A port nothing listens on: the server's probes of the benchmark's tables
// are refused at once.
int closedPort();

}  // namespace ombrix::bench
