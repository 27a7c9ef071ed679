#include "lobbyd/bounds.h"

#include <arpa/inet.h>

#include <cstring>

namespace ombrix::lobbyd {

const ScopeBounds& boundsOf(const Limits& l, Scope s) {
  switch (s) {
    case Scope::Net56:
      return l.net56;
    case Scope::Net48:
      return l.net48;
    default:
      return l.address;
  }
}

Peer Peer::of(std::string_view printable) {
  Peer p;
  std::string text(printable);
  in6_addr a6{};
  in_addr a4{};
  auto v4 = [&p](const in_addr& a) {
    p.key.assign(reinterpret_cast<const char*>(&a), 4);
    p.spread = p.key.substr(0, 3) + "/24";
  };
  if (::inet_pton(AF_INET6, text.c_str(), &a6) == 1) {
    if (IN6_IS_ADDR_V4MAPPED(&a6)) {
      std::memcpy(&a4, a6.s6_addr + 12, 4);
      char dotted[INET_ADDRSTRLEN];
      ::inet_ntop(AF_INET, &a4, dotted, sizeof dotted);
      p.address = dotted;
      v4(a4);
    } else {
      const char* bytes = reinterpret_cast<const char*>(a6.s6_addr);
      p.address = text;
      p.v6 = true;
      p.key.assign(bytes, 8);
      p.key.push_back('6');
      p.blocks[0] = {Scope::Net56, std::string(bytes, 7) + "/56"};
      p.blocks[1] = {Scope::Net48, std::string(bytes, 6) + "/48"};
      p.blockCount = 2;
      p.spread = p.blocks[1].key;
    }
  } else {
    p.address = text;
    if (::inet_pton(AF_INET, text.c_str(), &a4) == 1) {
      v4(a4);
    } else {
      p.key = text;
      p.spread = text;
    }
  }
  return p;
}

}  // namespace ombrix::lobbyd
