// The computer players' own random stream: SplitMix64, small and fast.
//
// Kept apart from the host's deck generator, so that a computer player that
// draws numbers never changes the deals that follow, and seeded per decision
// from public facts only (see Decision), so that a decision can be replayed.
#pragma once

#include <cstdint>

namespace ombrix::ai {

class Rng {
 public:
  explicit Rng(uint64_t seed = 0) : s_(seed) {}
  uint64_t next() {
    uint64_t z = (s_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // 0..n-1 by multiply-shift; the bias for n <= 52 is below 2^-26.
  int below(uint32_t n) { return static_cast<int>(((next() >> 32) * n) >> 32); }

 private:
  uint64_t s_;
};

// Folds several numbers into one seed.
inline uint64_t mixSeed(uint64_t a, uint64_t b) {
  Rng r(a ^ (b * 0xD1B54A32D192ED03ull));
  return r.next();
}

}  // namespace ombrix::ai
