#include "base/random.h"

#include <sys/random.h>

#include <cerrno>
#include <stdexcept>
#include <vector>

namespace ombrix {

void secureRandom(void* out, size_t n) {
  auto* p = static_cast<unsigned char*>(out);
  while (n > 0) {
    const ssize_t got = ::getrandom(p, n, 0);
    if (got < 0) {
      if (errno == EINTR) continue;
      throw std::runtime_error("no random source");
    }
    p += got;
    n -= static_cast<size_t>(got);
  }
}

std::string randomHex(size_t bytes) {
  std::vector<unsigned char> raw(bytes);
  secureRandom(raw.data(), raw.size());
  static const char digits[] = "0123456789abcdef";
  std::string out;
  out.reserve(2 * bytes);
  for (unsigned char b : raw) {
    out.push_back(digits[b >> 4]);
    out.push_back(digits[b & 0xF]);
  }
  return out;
}

}  // namespace ombrix
