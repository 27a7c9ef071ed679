// What an exact end of a round costs, by the cards left in each hand: the
// positions the solver visits and the processor time one solve takes on this machine,
// on random deals with bids the Standard player would make for the hands.
//
//   endgame_bench [--deals N] [--seed S]
//
// A Strong decision solves one such position per candidate card and deal it
// draws; the bound on the cards left (StrongConfig::exactCards) is chosen so
// that a decision stays within its time.
#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "ai/exact.h"
#include "ai/rng.h"
#include "ai/standard.h"

using namespace ombrix::ai;

namespace {

constexpr int kMostCards = 6;

PlayState randomEnd(Rng& rng, int cards) {
  PlayState st;
  Mask deck = kAllCards;
  auto take = [&] {
    const int c = nthBit(deck, rng.below(static_cast<uint32_t>(count(deck))));
    deck &= ~bit(c);
    return c;
  };
  const int trumpCard = take();
  st.trump = static_cast<int8_t>(suitIx(trumpCard));
  st.gone = bit(trumpCard);
  for (int s = 0; s < 4; ++s)
    for (int k = 0; k < cards; ++k) st.hand[s] |= bit(take());
  // Cards already gone, as if the round had been longer.
  for (int k = 0; k < 4 * static_cast<int>(rng.below(3)); ++k) st.gone |= bit(take());
  for (int s = 0; s < 4; ++s) st.bid[s] = static_cast<int8_t>(standardBid(st.hand[s], trumpCard, cards, s == 0));
  st.leader = static_cast<int8_t>(rng.below(4));
  return st;
}

// This thread's processor time: what the work costs, whatever else the machine runs.
double cpuMicros() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return t.tv_sec * 1e6 + t.tv_nsec / 1e3;
}

double percentile(std::vector<double> v, double p) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[std::min(v.size() - 1, static_cast<size_t>(p * (v.size() - 1) + 0.5))];
}

}  // namespace

int main(int argc, char** argv) {
  int deals = 2000;
  uint64_t seed = 7;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string a = argv[i];
    if (a == "--deals")
      deals = std::atoi(argv[i + 1]);
    else if (a == "--seed")
      seed = std::strtoull(argv[i + 1], nullptr, 10);
    else {
      std::fprintf(stderr, "usage: endgame_bench [--deals N] [--seed S]\n");
      return 2;
    }
  }
  std::printf("%5s %10s %10s %10s %10s %10s %10s\n", "cards", "nodes", "p99", "max", "us/solve", "p99 us",
              "max us");
  ExactSolver solver;
  for (int cards = 1; cards <= kMostCards; ++cards) {
    Rng rng(mixSeed(seed, static_cast<uint64_t>(cards)));
    std::vector<double> nodes, us;
    const int n = cards <= 5 ? deals : cards == 6 ? deals / 4 : deals / 20;
    for (int i = 0; i < n; ++i) {
      const PlayState st = randomEnd(rng, cards);
      solver.forget();
      const long before = solver.nodes();
      const double t0 = cpuMicros();
      solver.solve(st);
      us.push_back(cpuMicros() - t0);
      nodes.push_back(static_cast<double>(solver.nodes() - before));
    }
    double mn = 0, mu = 0;
    for (size_t i = 0; i < us.size(); ++i) mn += nodes[i], mu += us[i];
    std::printf("%5d %10.0f %10.0f %10.0f %10.2f %10.2f %10.2f\n", cards, mn / n, percentile(nodes, 0.99),
                percentile(nodes, 1), mu / n, percentile(us, 0.99), percentile(us, 1));
    std::fflush(stdout);
  }
  return 0;
}
