// The host's pseudo-random generator: xoshiro256** seeded through splitmix64.
//
// Seeded once when the host is created, from the time of day unless a seed is
// given (replays and tests). Chosen over std::mt19937 because the shuffle draws
// about 240 numbers per round and the benchmark plays many thousands of games.
#pragma once

#include <cstdint>

namespace ombrix {

class Random {
 public:
  explicit Random(uint64_t seed = 0) { reseed(seed); }
  void reseed(uint64_t seed);

  uint64_t next();

  // Uniform integer in 1..n (n >= 1), without modulo bias.
  int uniform1(uint32_t n);

  // A seed taken from the time of day, as the host does when none is given.
  static uint64_t timeOfDaySeed();

 private:
  uint64_t s_[4];
};

}  // namespace ombrix
