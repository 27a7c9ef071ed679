// A network of the test's own, for bounds that count IPv6 blocks: this
// process moves into a new network namespace whose loopback owns all of
// 2001:db8::/32 (a documentation prefix), so a client may come from any /64,
// /56 or /48 of it, as 127.x addresses stand in for IPv4 homes. Needs root
// (CAP_SYS_ADMIN and CAP_NET_ADMIN), as the NAT test does; elsewhere the
// test is skipped. Threads started afterwards (the server's) are in it too.
#pragma once

#include <sched.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

namespace ombrix::lobbytest {

inline const char* enterTestNetwork() {
  static const char* why = [] () -> const char* {
    if (::geteuid() != 0) return "needs root for a network namespace";
    if (::unshare(CLONE_NEWNET) != 0) return "this machine does not let us make a network namespace";
    if (std::system("ip link set lo up && ip -6 route add local 2001:db8::/32 dev lo") != 0)
      return "needs ip (iproute2)";
    // Binding a client to an address the route makes local, not one of lo's own.
    std::ofstream("/proc/sys/net/ipv6/ip_nonlocal_bind") << "1\n";
    return nullptr;
  }();
  return why;
}

}  // namespace ombrix::lobbytest
