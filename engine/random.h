// The host's pseudo-random generator: xoshiro256** seeded through splitmix64.
//
// Seeded once when the host is created, from the time of day unless a seed is
// given (replays and tests). Chosen over std::mt19937 because the shuffle draws
// about 240 numbers per round and the benchmark plays many thousands of games.
#pragma once

#include <array>
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

  // The whole state, so that a saved game deals on exactly as it would have.
  // All zeros is the one state the generator never leaves (it would deal
  // the same card for ever); setState refuses it and keeps the old one.
  using State = std::array<uint64_t, 4>;
  State state() const { return {s_[0], s_[1], s_[2], s_[3]}; }
  bool setState(const State& s);

 private:
  uint64_t s_[4];
};

}  // namespace ombrix
