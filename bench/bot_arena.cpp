// The computer players against each other, in virtual time, on duplicate deals.
//
//   bot_arena [--games N] [--full] [--seed S] [--seats A,B,C,D]
//             [--strong NAME=VALUE,...] [--against NAME=VALUE,...] [--inference]
//             [--peek bid|play|hands|all] [--dump FILE] [--rules LIST]
//
// --rules plays every game by the house rules LIST ("hook,scoring=tricks", as the
// host's option takes them); the design's own without it.
//
// Without --seats it plays the four match-ups the skills are judged by: one
// Strong against three Classic, one Standard against three Classic, one
// Strong against three Standard, one Classic against three Strong. The first
// skill named is the one under test. Games come in fours on the same deals:
// each deal (the deck generator's seed, hence every shuffle and the opening
// seat) is played once with the skill under test at each seat, so the luck of
// the cards cancels; every match-up plays the same deals.
//
// For the skill under test, with a 95 % interval taken over the deals (the
// four games of a deal are not independent): its share of the games won (a
// win shared by k seats counts 1/k), its points less the mean of the other
// three seats' a game, and the share of its rounds with the bid made exactly,
// also by hand size. For each skill, what its decisions cost on this machine
// (each decision's total, and its longest single step, which is what the
// window would wait for), and for Strong the deals its search drew without
// finding one that agrees with what the table showed (fallbacks) and the
// hands its inference drew and set aside (rejected).
//
// With --inference, at every card Strong decides the arena also draws deals
// as Strong would, with and without reading the bids and plays, and counts
// how many of the other seats' cards each deal puts in the seat that really
// holds them.
//
// --strong sets Strong's search (StrongConfig), so its bounds can be chosen by
// measurement: work, rule-work, bid-scale (of work), exact, playout-exact, bid-exact,
// rule-exact, rule-bid-exact (cards),
// bid-weight, sure-tricks, inference (0 or 1), win-spread and win-worth (points;
// either 0 plays for points alone), rule-bid-trust and bid-trust (the
// measured trust of a bid's play-outs, against Classic seats and others,
// taken this far from 1; 0 trusts them as they are). --against plays every
// match-up again on the same deals with Strong set otherwise (on top of
// --strong) and reports the difference deal by deal, which cancels far more
// luck than two separate runs: the way to tell two settings apart.
//
// For Strong's bids, by hand size and by bid: the worth its search expected
// of the bid it made and the points the bid scored; with --strong
// win-worth=0 the worth is points alone, and a search too sure of its bids
// shows here. By bid and hand size, the share of its bids made at the table
// over the share its play-outs made (what StrongConfig::ruleBidTrust and
// bidTrust are measured by, on deals of another --seed).
//
// --peek lets Strong search the real deal (every hand, every Classic seat's
// order of cards) instead of drawn ones, for its bids (bid), its cards
// (play) or both (all), or search its cards on the real hands in orders
// drawn (hands): what the table hides is worth, and where. --dump appends
// each deal's result to FILE (match-up, deal, won, points, rounds, bids
// made), for comparing runs deal by deal.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "ai/sampler.h"
#include "base/virtualclock.h"
#include "host/server.h"
#include "protocol/commands.h"
#include "rules/rules.h"

using namespace ombrix;
using ai::Skill;

namespace {

constexpr int kWatcher = kFirstSpectator;  // the arena listens as a spectator
constexpr int kRotations = kSeats;          // games per deal: the skill under test at each seat
constexpr int kMostHand = 10;
constexpr int kProgressDeals = 25;  // deals between the interim figures on stderr
std::string gDump;  // --dump FILE
std::string gPeek;  // --peek WHEN
rules::Rules gRules;  // --rules LIST

struct Times {
  std::vector<double> decisionMs, stepMs, cpuMs, cpuStepMs;
  long samples = 0, fallbacks = 0, drawn = 0, rejected = 0;
};

// Per deal, the skill under test's four games together.
struct DealResult {
  double won = 0, pointsDiff = 0;
  long rounds = 0, made = 0;
};

class Listener : public HostTransport, public Notices {
 public:
  void send(int slot, std::string_view m) override {
    if (slot != kWatcher || !engine) return;
    const auto [name, fields] = wire::splitCommand(m);
    if (name != "CMD_score") return;
    if (auto v = wire::parse::score(fields); v && isSeat(v->a)) {
      const int size = std::clamp(engine->handSize, 1, kMostHand);
      ++rounds[v->a];
      ++bySize[v->a][size].rounds;
      bySize[v->a][size].bids += engine->seats[v->a].bid;
      if (expected[v->a] >= 0) {
        const int bid = std::clamp(engine->seats[v->a].bid, 0, kMostHand);
        bySize[v->a][size].estimate(expected[v->a], v->c, playoutMade[v->a]);
        byBid[v->a][bid].estimate(expected[v->a], v->c, playoutMade[v->a]);
        byBidSize[v->a][std::min(bid, 3)][size].estimate(expected[v->a], v->c, playoutMade[v->a]);
        expected[v->a] = -1;
      }
      if (v->c > 0) {
        ++made[v->a];
        ++bySize[v->a][size].made;
      }
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
    bySize = {};
  }
  struct BySize {
    long rounds = 0, made = 0, bids = 0;
    // Strong's bids: the points its search expected of the bid it made, and
    // those it scored; how often its play-outs made the bid, and the table.
    long estimated = 0, madeAtTable = 0;
    double expected = 0, scored = 0, madeInPlayOuts = 0;
    void estimate(double e, double points, double playouts) {
      expected += e;
      scored += points;
      ++estimated;
      madeAtTable += points > 0;
      madeInPlayOuts += playouts;
    }
    BySize& operator+=(const BySize& o) {
      rounds += o.rounds;
      made += o.made;
      bids += o.bids;
      estimated += o.estimated;
      expected += o.expected;
      scored += o.scored;
      madeAtTable += o.madeAtTable;
      madeInPlayOuts += o.madeInPlayOuts;
      return *this;
    }
  };
  std::array<double, kSeats + 1> expected{-1, -1, -1, -1, -1}, playoutMade{};
  const GameEngine* engine = nullptr;
  std::array<long, kSeats + 1> rounds{}, made{};
  std::array<std::array<BySize, kMostHand + 1>, kSeats + 1> bySize{}, byBid{};
  // By bid (0, 1, 2, 3 or more) and hand size.
  using ByBidSize = std::array<std::array<BySize, kMostHand + 1>, 4>;
  std::array<ByBidSize, kSeats + 1> byBidSize{};
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

// Mean and the half width of its 95 % interval.
std::pair<double, double> interval(const std::vector<double>& v) {
  const double m = mean(v);
  if (v.size() < 2) return {m, 0};
  double ss = 0;
  for (double x : v) ss += (x - m) * (x - m);
  return {m, 1.96 * std::sqrt(ss / (v.size() - 1) / v.size())};
}

// How close sampled deals come to the real one: the other seats' cards each
// deal puts where they really are, summed with and without inference.
struct Placement {
  long decisions = 0;
  double cards = 0, rightWith = 0, rightWithout = 0;
  long drawn = 0, rejected = 0;
};

constexpr int kPlacementDeals = 32;  // deals drawn each way per decision measured

void measurePlacement(const GameEngine& e, int seat, Placement& p) {
  const ai::SeatView v = e.viewFor(seat);
  if (v.bidding() || !v.consistent()) return;
  std::array<ai::Mask, kSeats> real{};
  double cards = 0;
  for (int s = 1; s <= kSeats; ++s) {
    for (int pos = 1; pos <= kMaxHand; ++pos)
      if (e.seats[s].hand[pos] != kNoCard) real[s - 1] |= ai::bit(ai::indexOf(e.seats[s].hand[pos]));
    if (s != seat) cards += ai::count(real[s - 1]);
  }
  if (cards == 0) return;
  auto right = [&](bool infer) {
    ai::SamplerOptions o;
    o.inference = infer;
    const ai::Sampler sampler(v, o);
    ai::Rng rng(ai::mixSeed(v.played, static_cast<uint64_t>(seat)));
    double n = 0;
    for (int i = 0; i < kPlacementDeals; ++i) {
      const ai::Deal d = sampler.draw(rng);
      for (int s = 0; s < kSeats; ++s)
        if (s != seat - 1) n += ai::count(d.hands[s] & real[s]);
    }
    if (infer) {
      p.drawn += sampler.stats().drawn;
      p.rejected += sampler.stats().rejected;
    }
    return n / kPlacementDeals;
  };
  ++p.decisions;
  p.cards += cards;
  p.rightWith += right(true);
  p.rightWithout += right(false);
}

struct Result {
  std::map<Skill, Times> times;
  std::vector<DealResult> deals;
  std::array<Listener::BySize, kMostHand + 1> bySize{}, byBid{};
  Listener::ByBidSize byBidSize{};
  Placement placement;
  int games = 0;
  double seconds = 0;
  bool clean = true;
};

// One game on the deal `seed`, the skill under test at `testSeat`.
void playGame(const std::array<Skill, 4>& lineup, int testSeat, bool full, uint64_t seed, const ai::StrongConfig& config, bool inference, Result& r,
              DealResult& d) {
  Listener out;
  VirtualClock clock;
  TServer host(out, out, clock, seed);
  GameEngine& e = host.engine;
  out.engine = &e;
  host.slots[kWatcher].inUse = true;
  host.slotCount = kWatcher;
  e.botDelay = kBotFastMs;
  host.slots[kWatcher].rulesAware = true;  // the arena follows any house rules
  host.setRules(gRules);
  e.strongConfig = config;
  if (config.peek) {  // --peek: Strong searches the real deal, as the engine holds it
    e.strongConfig.peek = [&e](ai::Deal& d) {
      using Peek = ai::StrongConfig::Peek;
      if (e.currentPlayer == 0 ? gPeek == "play" || gPeek == "hands" : gPeek == "bid") return Peek::None;
      for (int s = 1; s <= kSeats; ++s) {
        int k = 0;
        for (int pos = 1; pos <= kMaxHand; ++pos) {
          const int card = e.seats[s].hand[pos];
          if (card == kNoCard) continue;
          d.hands[s - 1] |= ai::bit(ai::indexOf(card));
          if (gPeek != "hands") d.order[s - 1][k++] = static_cast<int8_t>(ai::indexOf(card));
        }
      }
      return gPeek == "hands" ? Peek::Hands : Peek::Whole;
    };
  }
  std::array<Skill, kSeats + 1> bySeat{};
  for (int s = 1; s <= kSeats; ++s) bySeat[s] = lineup[(s - testSeat + kSeats) % kSeats];
  e.botSkill = bySeat;
  e.onDecision = [&](const ai::Decision& dec) {
    Times& t = r.times[bySeat[dec.seat()]];
    t.decisionMs.push_back(dec.elapsedNs() / 1e6);
    t.stepMs.push_back(dec.longestStepNs() / 1e6);
    t.cpuMs.push_back(dec.cpuNs() / 1e6);
    t.cpuStepMs.push_back(dec.longestStepCpuNs() / 1e6);
    t.samples += dec.samples();
    t.fallbacks += dec.fallbacks();
    t.drawn += dec.handsDrawn();
    t.rejected += dec.handsRejected();
    if (const ai::StrongSearch* search = dec.search(); search && dec.isBid())
      for (size_t i = 0; i < search->candidates().size(); ++i)
        if (search->candidates()[i] == dec.result()) {
          out.expected[dec.seat()] = search->meanOf(i);
          out.playoutMade[dec.seat()] = search->madeShare(i);
        }
    if (inference && bySeat[dec.seat()] == Skill::Strong && !dec.isBid())
      measurePlacement(e, dec.seat(), r.placement);
  };
  host.startgame(full ? "Arena+f+" : "Arena+h+");
  while (e.gameInProgress && clock.step()) {
  }
  if (e.gameInProgress || out.rounds[1] != (full ? 20 : 10)) {
    std::fprintf(stderr, "deal %llu: in progress %d, rounds %ld\n", static_cast<unsigned long long>(seed),
                 e.gameInProgress, out.rounds[1]);
    r.clean = false;
  }
  if (out.notices) r.clean = false;
  int best = e.seats[1].score, winners = 0;
  for (int s = 2; s <= kSeats; ++s) best = std::max(best, e.seats[s].score);
  for (int s = 1; s <= kSeats; ++s) winners += e.seats[s].score == best;
  double others = 0;
  for (int s = 1; s <= kSeats; ++s)
    if (s != testSeat) others += e.seats[s].score;
  if (e.seats[testSeat].score == best) d.won += 1.0 / winners / kRotations;
  d.pointsDiff += (e.seats[testSeat].score - others / (kSeats - 1)) / kRotations;
  d.rounds += out.rounds[testSeat];
  d.made += out.made[testSeat];
  for (int h = 0; h <= kMostHand; ++h) {
    r.bySize[h] += out.bySize[testSeat][h];
    r.byBid[h] += out.byBid[testSeat][h];
    for (int b = 0; b < 4; ++b) r.byBidSize[b][h] += out.byBidSize[testSeat][b][h];
  }
}

Result play(const std::array<Skill, 4>& lineup, int deals, bool full, uint64_t seed,
            const ai::StrongConfig& config, bool inference) {
  Result r;
  r.games = deals * kRotations;
  const auto t0 = std::chrono::steady_clock::now();
  for (int n = 0; n < deals; ++n) {
    const uint64_t dealSeed = ai::mixSeed(seed, static_cast<uint64_t>(n));
    DealResult d;
    for (int testSeat = 1; testSeat <= kSeats; ++testSeat)
      playGame(lineup, testSeat, full, dealSeed, config, inference, r, d);
    r.deals.push_back(d);
    // A long run on a busy machine may be cut short: what it has so far.
    if ((n + 1) % kProgressDeals == 0 && n + 1 < deals) {
      std::vector<double> won, diff;
      for (const DealResult& x : r.deals) won.push_back(x.won), diff.push_back(x.pointsDiff);
      const auto [w, wh] = interval(won);
      const auto [p, ph] = interval(diff);
      std::fprintf(stderr, "bot_arena: %d deals: won %.1f%% [%.1f%%, %.1f%%], points %+.1f [%+.1f, %+.1f]\n", n + 1,
                   100 * w, 100 * (w - wh), 100 * (w + wh), p, p - ph, p + ph);
    }
  }
  r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  return r;
}

std::string lineupText(const std::array<Skill, 4>& l) {
  std::string s;
  for (Skill k : l) s += (s.empty() ? "" : ",") + std::string(ai::skillName(k));
  return s;
}

void report(const std::array<Skill, 4>& lineup, const Result& r, bool full) {
  const std::string tester(ai::skillName(lineup[0]));
  std::printf("\n== %s: %zu deals x %d seats = %d %s games (%.1f s)%s\n", lineupText(lineup).c_str(),
              r.deals.size(), kRotations, r.games, full ? "full" : "half", r.seconds,
              r.clean ? "" : "  [NOT CLEAN]");
  std::vector<double> won, diff, made;
  for (const DealResult& d : r.deals) {
    won.push_back(d.won);
    diff.push_back(d.pointsDiff);
    made.push_back(d.rounds ? double(d.made) / d.rounds : 0);
  }
  const auto [w, wh] = interval(won);
  const auto [p, ph] = interval(diff);
  const auto [m, mh] = interval(made);
  std::printf("%s won       %6.1f%%  [%5.1f%%, %5.1f%%]   (an equal share is 25%%)\n", tester.c_str(), 100 * w,
              100 * (w - wh), 100 * (w + wh));
  std::printf("%s points    %+6.1f   [%+5.1f, %+5.1f]   a game, less the others' mean\n", tester.c_str(), p,
              p - ph, p + ph);
  std::printf("%s bids made %6.1f%%  [%5.1f%%, %5.1f%%]   of its rounds\n", tester.c_str(), 100 * m,
              100 * (m - mh), 100 * (m + mh));
  std::printf("  by hand size: ");
  for (int h = 1; h <= kMostHand; ++h) std::printf(" %5d", h);
  std::printf("\n  made         ");
  for (int h = 1; h <= kMostHand; ++h) {
    const auto& b = r.bySize[h];
    std::printf(" %4.0f%%", b.rounds ? 100.0 * b.made / b.rounds : 0);
  }
  std::printf("\n  mean bid     ");
  for (int h = 1; h <= kMostHand; ++h) {
    const auto& b = r.bySize[h];
    std::printf(" %5.2f", b.rounds ? double(b.bids) / b.rounds : 0);
  }
  std::printf("\n");
  if (r.bySize[kMostHand].estimated) {
    std::printf("  bid worth    ");
    for (int h = 1; h <= kMostHand; ++h) {
      const auto& b = r.bySize[h];
      std::printf(" %5.2f", b.estimated ? b.expected / b.estimated : 0);
    }
    std::printf("\n  bid scored   ");
    for (int h = 1; h <= kMostHand; ++h) {
      const auto& b = r.bySize[h];
      std::printf(" %5.2f", b.estimated ? b.scored / b.estimated : 0);
    }
    std::printf("\n  by bid:      ");
    for (int b = 0; b <= 6; ++b) std::printf(" %5d", b);
    std::printf("\n  bids         ");
    for (int b = 0; b <= 6; ++b) std::printf(" %5ld", r.byBid[b].estimated);
    std::printf("\n  worth        ");
    for (int b = 0; b <= 6; ++b) std::printf(" %5.2f", r.byBid[b].estimated ? r.byBid[b].expected / r.byBid[b].estimated : 0);
    std::printf("\n  scored       ");
    for (int b = 0; b <= 6; ++b) std::printf(" %5.2f", r.byBid[b].estimated ? r.byBid[b].scored / r.byBid[b].estimated : 0);
    // What StrongConfig::ruleBidTrust and bidTrust are measured by: the share
    // of bids made at the table over the share the search's play-outs made them.
    std::printf("\n  made at the table over made in its play-outs, by hand size:");
    for (int b = 1; b < 4; ++b) {
      std::printf("\n  bid %d%s       ", b, b == 3 ? "+" : " ");
      for (int h = 1; h <= kMostHand; ++h) {
        const auto& c = r.byBidSize[b][h];
        if (c.madeInPlayOuts > 0)
          std::printf(" %5.2f", c.madeAtTable / c.madeInPlayOuts);
        else
          std::printf("     -");
      }
    }
    std::printf("\n");
  }
  auto times = [](const char* what, const std::vector<double>& v, const std::vector<double>& steps) {
    std::printf("  %-5s mean %6.2f ms  p50 %6.2f  p90 %6.2f  p99 %6.2f  max %6.2f  longest step %6.2f\n",
                what, mean(v), percentile(v, 0.5), percentile(v, 0.9), percentile(v, 0.99),
                percentile(v, 1.0), percentile(steps, 1.0));
  };
  for (const auto& [skill, t] : r.times) {
    if (t.decisionMs.empty()) continue;
    std::printf("%s: %zu decisions\n", std::string(ai::skillName(skill)).c_str(), t.decisionMs.size());
    times("wall", t.decisionMs, t.stepMs);
    times("cpu", t.cpuMs, t.cpuStepMs);
    if (t.samples)
      std::printf("  deals drawn %ld, fallbacks %ld; hands drawn %ld, rejected by inference %ld (%.1f%%)\n",
                  t.samples, t.fallbacks, t.drawn, t.rejected, t.drawn ? 100.0 * t.rejected / t.drawn : 0);
  }
  const Placement& pl = r.placement;
  if (pl.decisions) {
    std::printf("inference, over %ld card decisions of Strong (%d deals each way): of %.2f cards the\n"
                "  other seats hold, a deal puts %.3f in the right seat with it, %.3f without (+%.1f%%);\n"
                "  hands rejected %.1f%%\n",
                pl.decisions, kPlacementDeals, pl.cards / pl.decisions, pl.rightWith / pl.decisions,
                pl.rightWithout / pl.decisions, 100 * (pl.rightWith / pl.rightWithout - 1),
                pl.drawn ? 100.0 * pl.rejected / pl.drawn : 0);
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

// "work=20000,exact=5": Strong's settings by name.
bool parseConfig(const std::string& text, ai::StrongConfig& c) {
  size_t from = 0;
  while (from < text.size()) {
    size_t to = text.find(',', from);
    if (to == std::string::npos) to = text.size();
    const std::string item = text.substr(from, to - from);
    const size_t eq = item.find('=');
    if (eq == std::string::npos) return false;
    const std::string name = item.substr(0, eq);
    const double v = std::atof(item.c_str() + eq + 1);
    if (name == "work")
      c.work = static_cast<long>(v);
    else if (name == "rule-work")
      c.ruleWork = static_cast<long>(v);
    else if (name == "bid-scale")
      c.bidWorkScale = v;
    else if (name == "exact")
      c.exactCards = static_cast<int>(v);
    else if (name == "playout-exact")
      c.playoutExactCards = static_cast<int>(v);
    else if (name == "bid-exact")
      c.bidExactCards = static_cast<int>(v);
    else if (name == "bid-weight")
      c.bidPointsWeight = v;
    else if (name == "sure-tricks")
      c.sureTricks = v != 0;
    else if (name == "inference")
      c.inference = v != 0;
    else if (name == "rule-exact")
      c.ruleExactCards = static_cast<int>(v);
    else if (name == "rule-bid-exact")
      c.ruleBidExactCards = static_cast<int>(v);
    else if (name == "win-spread")
      c.winSpread = v;
    else if (name == "win-worth")
      c.winWorth = v;
    else if (name == "rule-bid-trust" || name == "bid-trust")  // 0 trusts the play-outs, 1 the measured table
      for (auto& row : name == "bid-trust" ? c.bidTrust : c.ruleBidTrust)
        for (double& t : row) t = 1 + v * (t - 1);
    else
      return false;
    from = to + 1;
  }
  return true;
}

// The second setting less the first, deal by deal, for the skill under test.
void reportDifference(const Result& a, const Result& b) {
  std::vector<double> won, diff, made;
  for (size_t i = 0; i < a.deals.size() && i < b.deals.size(); ++i) {
    const DealResult &x = a.deals[i], &y = b.deals[i];
    won.push_back(y.won - x.won);
    diff.push_back(y.pointsDiff - x.pointsDiff);
    made.push_back((y.rounds ? double(y.made) / y.rounds : 0) - (x.rounds ? double(x.made) / x.rounds : 0));
  }
  const auto [w, wh] = interval(won);
  const auto [p, ph] = interval(diff);
  const auto [m, mh] = interval(made);
  std::printf("--against less --strong, deal by deal: won %+5.1f%% [%+5.1f%%, %+5.1f%%], points %+5.2f [%+5.2f, %+5.2f],"
              " bids made %+5.1f%% [%+5.1f%%, %+5.1f%%]\n",
              100 * w, 100 * (w - wh), 100 * (w + wh), p, p - ph, p + ph, 100 * m, 100 * (m - mh), 100 * (m + mh));
}

int usage() {
  std::fprintf(stderr,
               "usage: bot_arena [--games N] [--full] [--seed S] [--seats A,B,C,D]\n"
               "                 [--strong NAME=VALUE,...] [--against NAME=VALUE,...] [--inference]\n"
               "                 [--peek bid|play|hands|all] [--dump FILE] [--rules LIST]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  int games = 2000;
  bool full = false, inference = false;
  uint64_t seed = 2026;
  ai::StrongConfig config;
  std::string against;
  std::vector<std::array<Skill, 4>> lineups;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--full" || a == "--inference") {
      (a == "--full" ? full : inference) = true;
      continue;
    }
    if (a == "--dump" && i + 1 < argc) {
      gDump = argv[++i];
      continue;
    }
    if (a == "--rules" && i + 1 < argc) {
      const auto r = rules::parse(argv[++i]);
      if (!r) return usage();
      gRules = *r;
      continue;
    }
    if (a == "--peek" && i + 1 < argc) {  // bound to each game's engine in playGame
      gPeek = argv[++i];
      if (gPeek != "bid" && gPeek != "play" && gPeek != "all" && gPeek != "hands") return usage();
      config.peek = [](ai::Deal&) { return ai::StrongConfig::Peek::None; };
      continue;
    }
    if (i + 1 >= argc) return usage();
    if (a == "--games")
      games = std::atoi(argv[++i]);
    else if (a == "--seed")
      seed = std::strtoull(argv[++i], nullptr, 10);
    else if (a == "--strong") {
      if (!parseConfig(argv[++i], config)) return usage();
    } else if (a == "--against") {
      against = argv[++i];
    }
    else if (a == "--seats") {
      std::array<Skill, 4> l;
      if (!parseLineup(argv[++i], l)) return usage();
      lineups.push_back(l);
    } else
      return usage();
  }
  ai::StrongConfig other = config;
  if (games <= 0 || (!against.empty() && !parseConfig(against, other))) return usage();
  const int deals = (games + kRotations - 1) / kRotations;
  if (lineups.empty())
    lineups = {{Skill::Strong, Skill::Classic, Skill::Classic, Skill::Classic},
               {Skill::Standard, Skill::Classic, Skill::Classic, Skill::Classic},
               {Skill::Strong, Skill::Standard, Skill::Standard, Skill::Standard},
               {Skill::Classic, Skill::Strong, Skill::Strong, Skill::Strong}};
  bool clean = true;
  for (const auto& l : lineups) {
    const Result r = play(l, deals, full, seed, config, inference);
    report(l, r, full);
    if (!gDump.empty()) {
      if (FILE* f = std::fopen(gDump.c_str(), "a")) {
        for (size_t n = 0; n < r.deals.size(); ++n)
          std::fprintf(f, "%s %zu %.4f %.4f %ld %ld\n", lineupText(l).c_str(), n, r.deals[n].won, r.deals[n].pointsDiff,
                       r.deals[n].rounds, r.deals[n].made);
        std::fclose(f);
      }
    }
    std::fflush(stdout);
    clean = clean && r.clean;
    if (against.empty()) continue;
    const Result o = play(l, deals, full, seed, other, inference);
    std::printf("-- with --against %s:", against.c_str());
    report(l, o, full);
    reportDifference(r, o);
    std::fflush(stdout);
    clean = clean && o.clean;
  }
  return clean ? 0 : 1;
}
