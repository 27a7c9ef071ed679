#include "engine/random.h"

#include <chrono>

namespace ombrix {

namespace {
uint64_t splitmix64(uint64_t& x) {
  uint64_t z = (x += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}
uint64_t rotl(uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }
}  // namespace

void Random::reseed(uint64_t seed) {
  for (uint64_t& s : s_) s = splitmix64(seed);
}

bool Random::setState(const State& s) {
  if ((s[0] | s[1] | s[2] | s[3]) == 0) return false;
  for (int i = 0; i < 4; ++i) s_[i] = s[i];
  return true;
}

uint64_t Random::next() {
  const uint64_t result = rotl(s_[1] * 5, 7) * 9;
  const uint64_t t = s_[1] << 17;
  s_[2] ^= s_[0];
  s_[3] ^= s_[1];
  s_[1] ^= s_[2];
  s_[0] ^= s_[3];
  s_[2] ^= t;
  s_[3] = rotl(s_[3], 45);
  return result;
}

int Random::uniform1(uint32_t n) {
  // Lemire's multiply-shift with rejection of the biased low band.
  uint64_t m = (next() >> 32) * n;
  uint32_t low = static_cast<uint32_t>(m);
  if (low < n) {
    const uint32_t floor = static_cast<uint32_t>(-n) % n;
    while (low < floor) {
      m = (next() >> 32) * n;
      low = static_cast<uint32_t>(m);
    }
  }
  return static_cast<int>(m >> 32) + 1;
}

uint64_t Random::timeOfDaySeed() {
  return static_cast<uint64_t>(std::chrono::system_clock::now().time_since_epoch().count());
}

}  // namespace ombrix
