// The computer players against each other, in virtual time.
//
//   bot_arena [--games N] [--full] [--seed S] [--seats A,B,C,D] [--work W]
//
// Without --seats it plays the four match-ups the skills are judged by: one
// Strong against three Classic, one Standard against three Classic, one
// Strong against three Standard, one Classic against three Strong. The first
// skill named is the one under test; it moves round the four seats from game
// to game, and every match-up plays the same deals (one seed, one deck
// generator, which the players never draw from).
//
// For each skill: its share of the games won (a win shared by k seats counts
// 1/k) with a 95 % confidence interval, the share of its rounds with the bid
// made exactly, its mean points a round, and what its decisions cost on this
// machine (each decision's total, and its longest single step, which is what
// the window would wait for). For Strong also the deals its search drew
// without finding one that agrees with what the table showed (fallbacks).
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "base/virtualclock.h"
#include "protocol/commands.h"
#include "host/serverform.h"

using namespace ombrix;
using ai::Skill;

namespace {

constexpr int kWatcher = kFirstSpectator;  // the arena listens as a spectator

struct Tally {
  double wins = 0, winsSq = 0;  // per game, the skill's share of the win
  long rounds = 0, made = 0, points = 0;
  long samples = 0, fallbacks = 0;  // deals drawn by Strong's searches, and those that fell back
  std::vector<double> decisionMs, stepMs, cpuMs, cpuStepMs;
};

class Listener : public HostTransport, public Notices {
 public:
  void send(int slot, std::string_view m) override {
    if (slot != kWatcher) return;
    const auto [name, fields] = wire::splitCommand(m);
    if (name != "CMD_score") return;
    if (auto v = wire::parse::score(fields); v && isSeat(v->a)) {
      ++rounds[v->a];
      points[v->a] += v->c;
      if (v->c > 0) ++made[v->a];
    }
  }
  void closeConnection(int) override {}
  void moveConnection(int, int) override {}
  void notice(std::string_view t) override {
    std::fprintf(stderr, "bot_arena: notice \"%.*s\"\n", static_cast<int>(t.size()), t.data());
    ++notices;
  }
  void reset() {
    rounds.fill(0);
    made.fill(0);
    points.fill(0);
  }
  std::array<long, kSeats + 1> rounds{}, made{}, points{};
  int notices = 0;
};

double percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const size_t i = std::min(v.size() - 1, static_cast<size_t>(p * (v.size() - 1) + 0.5));
  return v[i];
}

double mean(const std::vector<double>& v) {
  double s = 0;
  for (double x : v) s += x;
  return v.empty() ? 0 : s / v.size();
}

struct Result {
  std::map<Skill, Tally> tally;
  std::map<Skill, int> seats;
  int games = 0;
  double seconds = 0;
  bool clean = true;
};

Result play(const std::array<Skill, 4>& lineup, int games, bool full, uint64_t seed, long work) {
  Listener out;
  VirtualClock clock;
  TServer host(out, out, clock, seed);
  GameEngine& e = host.engine;
  e.slots[kWatcher].inUse = true;
  e.slotCount = kWatcher;
  e.botDelay = kBotFastMs;
  if (work > 0) e.strongConfig.work = work;
  Result r;
  r.games = games;
  for (Skill s : lineup) ++r.seats[s];
  std::array<Skill, kSeats + 1> bySeat{};
  e.onDecision = [&](const ai::Decision& d) {
    Tally& t = r.tally[bySeat[d.seat()]];
    t.decisionMs.push_back(d.elapsedNs() / 1e6);
    t.stepMs.push_back(d.longestStepNs() / 1e6);
    t.cpuMs.push_back(d.cpuNs() / 1e6);
    t.cpuStepMs.push_back(d.longestStepCpuNs() / 1e6);
    t.samples += d.samples();
    t.fallbacks += d.fallbacks();
  };
  const auto t0 = std::chrono::steady_clock::now();
  for (int g = 0; g < games; ++g) {
    // The skill under test moves round the seats.
    for (int s = 1; s <= kSeats; ++s) bySeat[s] = lineup[(s - 1 + kSeats - g % kSeats) % kSeats];
    e.botSkill = bySeat;
    out.reset();
    e.startgame(full ? "Arena+f+" : "Arena+h+");
    while (e.gameInProgress && clock.step()) {
    }
    if (e.gameInProgress || out.rounds[1] != (full ? 20 : 10)) {
      std::fprintf(stderr, "game %d: in progress %d, rounds %ld\n", g, e.gameInProgress, out.rounds[1]);
      r.clean = false;
    }
    int best = e.slots[1].score, winners = 0;
    for (int s = 2; s <= kSeats; ++s) best = std::max(best, e.slots[s].score);
    for (int s = 1; s <= kSeats; ++s) winners += e.slots[s].score == best;
    std::map<Skill, double> share;
    for (int s = 1; s <= kSeats; ++s) {
      Tally& t = r.tally[bySeat[s]];
      if (e.slots[s].score == best) share[bySeat[s]] += 1.0 / winners;
      t.rounds += out.rounds[s];
      t.made += out.made[s];
      t.points += out.points[s];
    }
    for (auto& [skill, t] : r.tally) {
      t.wins += share[skill];
      t.winsSq += share[skill] * share[skill];
    }
  }
  r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  if (out.notices) r.clean = false;
  return r;
}

std::string lineupText(const std::array<Skill, 4>& l) {
  std::string s;
  for (Skill k : l) s += (s.empty() ? "" : ",") + std::string(ai::skillName(k));
  return s;
}

void report(const std::array<Skill, 4>& lineup, const Result& r, bool full) {
  std::printf("\n== %s: %d %s games (%.1f s)%s\n", lineupText(lineup).c_str(), r.games,
              full ? "full" : "half", r.seconds, r.clean ? "" : "  [NOT CLEAN]");
  std::printf("%-9s %5s %8s %17s %8s %8s\n", "skill", "seats", "won", "95% CI", "chance", "made");
  for (const auto& [skill, t] : r.tally) {
    const double n = r.games, m = t.wins / n;
    const double var = std::max(0.0, t.winsSq / n - m * m);
    const double half = 1.96 * std::sqrt(var / n);
    std::printf("%-9s %5d %7.1f%% [%5.1f%%, %5.1f%%] %7.0f%% %7.1f%%  %.2f points/round\n",
                std::string(ai::skillName(skill)).c_str(), r.seats.at(skill), 100 * m,
                100 * std::max(0.0, m - half), 100 * std::min(1.0, m + half), 25.0 * r.seats.at(skill),
                t.rounds ? 100.0 * t.made / t.rounds : 0, t.rounds ? double(t.points) / t.rounds : 0);
  }
  auto times = [](const char* what, const std::vector<double>& v, const std::vector<double>& steps) {
    std::printf("  %-5s mean %6.2f ms  p50 %6.2f  p90 %6.2f  p99 %6.2f  max %6.2f  longest step %6.2f\n",
                what, mean(v), percentile(v, 0.5), percentile(v, 0.9), percentile(v, 0.99),
                percentile(v, 1.0), percentile(steps, 1.0));
  };
  for (const auto& [skill, t] : r.tally) {
    if (t.decisionMs.empty()) continue;
    std::printf("%s: %zu decisions\n", std::string(ai::skillName(skill)).c_str(), t.decisionMs.size());
    times("wall", t.decisionMs, t.stepMs);
    times("cpu", t.cpuMs, t.cpuStepMs);
    if (t.samples) std::printf("  deals drawn %ld, fallbacks %ld\n", t.samples, t.fallbacks);
  }
}

bool parseLineup(const char* text, std::array<Skill, 4>& out) {
  std::string s = text;
  for (int i = 0; i < 4; ++i) {
    const size_t comma = s.find(',');
    auto k = ai::skillNamed(s.substr(0, comma));
    if (!k || (i < 3) != (comma != std::string::npos)) return false;
    out[i] = *k;
    s = comma == std::string::npos ? "" : s.substr(comma + 1);
  }
  return true;
}

int usage() {
  std::fprintf(stderr, "usage: bot_arena [--games N] [--full] [--seed S] [--seats A,B,C,D] [--work W]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  int games = 1000;
  bool full = false;
  uint64_t seed = 2026;
  long work = 0;
  std::vector<std::array<Skill, 4>> lineups;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--full") {
      full = true;
      continue;
    }
    if (i + 1 >= argc) return usage();
    if (a == "--games")
      games = std::atoi(argv[++i]);
    else if (a == "--seed")
      seed = std::strtoull(argv[++i], nullptr, 10);
    else if (a == "--work")
      work = std::atol(argv[++i]);
    else if (a == "--seats") {
      std::array<Skill, 4> l;
      if (!parseLineup(argv[++i], l)) return usage();
      lineups.push_back(l);
    } else
      return usage();
  }
  if (games <= 0) return usage();
  if (lineups.empty())
    lineups = {{Skill::Strong, Skill::Classic, Skill::Classic, Skill::Classic},
               {Skill::Standard, Skill::Classic, Skill::Classic, Skill::Classic},
               {Skill::Strong, Skill::Standard, Skill::Standard, Skill::Standard},
               {Skill::Classic, Skill::Strong, Skill::Strong, Skill::Strong}};
  bool clean = true;
  for (const auto& l : lineups) {
    const Result r = play(l, games, full, seed, work);
    report(l, r, full);
    clean = clean && r.clean;
  }
  return clean ? 0 : 1;
}
