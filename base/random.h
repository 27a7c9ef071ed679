// Secrets and codes from the kernel's random source (getrandom): seat
// secrets, relay tickets, invite codes. Never a seeded generator, which a
// stranger who saw a few outputs could follow.
#pragma once

#include <cstddef>
#include <string>

namespace ombrix {

// Fills out with n random bytes; throws std::runtime_error when the
// kernel has no random source to give.
void secureRandom(void* out, size_t n);
// `bytes` random bytes as twice as many lower-case hexadecimal digits.
std::string randomHex(size_t bytes);

}  // namespace ombrix
