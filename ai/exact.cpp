#include "ai/exact.h"

#include <cstddef>

namespace ombrix::ai {

namespace {
// Positions remembered per deal: the last few tricks of four hands meet far
// fewer distinct positions than this, and a full table only forgets.
constexpr size_t kTableSize = 1 << 12;
constexpr uint32_t kTableMask = kTableSize - 1;
}  // namespace

Mask distinctCards(const PlayState& st, Mask legal) {
  const Mask gone = st.inTrick ? st.gone & ~bit(st.winCard) : st.gone;
  Mask keep = 0;
  for (Mask m = legal; m; m &= m - 1) {
    const int c = lowest(m);
    const Mask between = below(c) & ~gone;                     // cards below c still in some hand
    if (between && (legal & bit(highest(between)))) continue;  // the next one down is ours too
    keep |= bit(c);
  }
  return keep;
}

int orderedOptions(const PlayState& st, int seat, Mask options, std::array<int8_t, 13>& out) {
  const bool wants = st.taken[seat] < st.bid[seat];
  int n = 0;
  auto add = [&](Mask m, bool highFirst) {
    for (; m; m &= highFirst ? ~bit(highest(m)) : m - 1) out[n++] = static_cast<int8_t>(highFirst ? highest(m) : lowest(m));
  };
  if (st.inTrick == 0) {
    // Leading: by rank across suits, high first for a seat that wants the
    // trick, low first otherwise.
    int8_t byRank[13];
    int k = 0;
    for (Mask m = options; m; m &= m - 1) byRank[k++] = static_cast<int8_t>(lowest(m));
    for (int i = 1; i < k; ++i)  // insertion sort on (rank, suit): at most 13 cards
      for (int j = i; j > 0; --j) {
        const int a = byRank[j - 1], b = byRank[j];
        const bool before = wants ? rankIx(b) > rankIx(a) : rankIx(b) < rankIx(a);
        if (!before) break;
        byRank[j - 1] = static_cast<int8_t>(b);
        byRank[j] = static_cast<int8_t>(a);
      }
    for (int i = 0; i < k; ++i) out[n++] = byRank[i];
    return n;
  }
  Mask winners = 0;
  for (Mask m = options; m; m &= m - 1)
    if (beats(lowest(m), st.winCard, st.trump)) winners |= bit(lowest(m));
  if (wants) {
    add(winners, false);  // the cheapest winner first
    add(options & ~winners, false);
  } else {
    add(options & ~winners, true);  // the highest card that loses first
    add(winners, false);
  }
  return n;
}

ExactSolver::ExactSolver() : table_(kTableSize) {}

void ExactSolver::forget() {
  if (++generation_ == 0) {  // wrapped: clear for real once in four billion deals
    for (Entry& e : table_) e.generation = 0;
    generation_ = 1;
  }
}

ExactSolver::Entry& ExactSolver::slot(const PlayState& st, Mask& cards, uint64_t& aux) {
  // At a trick's start the cards still held (each hand is the deal's hand
  // less what it played), the leader, the tricks taken and the bids are the
  // whole position.
  aux = static_cast<uint64_t>(st.leader);
  for (int s = 0; s < 4; ++s) aux = aux << 8 | static_cast<uint64_t>((st.taken[s] & 15) << 4 | (st.bid[s] & 15));
  cards = st.hand[0] | st.hand[1] | st.hand[2] | st.hand[3];
  const uint64_t h = (cards ^ (aux * 0xD1B54A32D192ED03ull)) * 0x9E3779B97F4A7C15ull;
  return table_[(h >> 40) & kTableMask];
}

std::array<int, 4> ExactSolver::search(const PlayState& st) {
  ++nodes_;
  const int s = st.toMove();
  const Mask legal = st.legal(s);
  if (!legal) return {st.points(0), st.points(1), st.points(2), st.points(3)};
  Entry* stored = nullptr;
  Mask cards = 0;
  uint64_t aux = 0;
  if (st.inTrick == 0) {
    stored = &slot(st, cards, aux);
    if (stored->generation == generation_ && stored->cards == cards && stored->aux == aux)
      return {stored->value[0], stored->value[1], stored->value[2], stored->value[3]};
  }
  std::array<int, 4> best{};
  if ((st.classic & (1u << s)) || !(legal & (legal - 1))) {
    PlayState next = st;
    next.play(s, (st.classic & (1u << s)) ? st.classicCard(s) : lowest(legal));
    best = search(next);
  } else {
    std::array<int8_t, 13> options;
    const int n = nodes_ < stopAt_ ? orderedOptions(st, s, distinctCards(st, legal), options)
                                   : (orderedOptions(st, s, distinctCards(st, legal), options), 1);
    const int most = st.bestFor(s);
    for (int i = 0; i < n; ++i) {
      PlayState next = st;
      next.play(s, options[i]);
      const std::array<int, 4> v = search(next);
      if (i == 0 || v[s] > best[s]) best = v;
      if (best[s] >= most) break;  // nothing better to be had
    }
  }
  if (stored) {  // the searches below may have used the same slot
    stored->cards = cards;
    stored->aux = aux;
    stored->generation = generation_;
    for (int k = 0; k < 4; ++k) stored->value[k] = static_cast<int16_t>(best[k]);
  }
  return best;
}

std::array<int, 4> ExactSolver::solve(const PlayState& st) {
  stopAt_ = nodes_ + kMostNodes;
  return search(st);
}

std::array<int, 4> solveExact(const PlayState& st, long& nodes) {
  ExactSolver solver;
  const auto v = solver.solve(st);
  nodes += solver.nodes();
  return v;
}

// --- Certain winners ------------------------------------------------------------

namespace {

// Could some seat of `after` (bit per seat 0..3), holding any of what it may
// hold, beat `c` in a trick led in `led`? A seat may follow or not as far as
// anyone can tell, unless it has shown it lacks the suit.
bool canBeBeaten(int c, int led, int trump, const std::array<Mask, 4>& mayHold, unsigned after) {
  const int suit = suitIx(c);
  for (int s = 0; s < 4; ++s) {
    if (!(after & (1u << s))) continue;
    const Mask m = mayHold[s];
    if (m & above(c)) return true;                              // higher in its own suit
    if (suit != trump && suit == led && (m & suitMask(trump))) return true;  // a ruff
  }
  return false;
}

}  // namespace

int SureTricks::count() const {
  const int rest = ai::count(now >= 0 ? leads & ~bit(now) : leads);
  return now >= 0 ? 1 + rest : rest;
}

SureTricks sureTricks(const SeatView& v) {
  SureTricks out;
  const int trump = v.trumpSuit();
  const Mask own = v.handMask();
  const Mask unseen = kAllCards & ~own & ~v.played & ~bit(indexOf(v.trumpCard));
  std::array<Mask, 4> mayHold{};
  unsigned others = 0;
  for (int s = 1; s <= 4; ++s) {
    if (s == v.seat || v.cardsHeld(s) <= 0) continue;
    Mask m = unseen;
    for (int suit = 0; suit < 4; ++suit)
      if (v.voids[s] & suitBit(suit)) m &= ~suitMask(suit);
    mayHold[s - 1] = m;
    others |= 1u << (s - 1);
  }
  for (Mask m = own; m; m &= m - 1)
    if (!canBeBeaten(lowest(m), suitIx(lowest(m)), trump, mayHold, others)) out.leads |= bit(lowest(m));
  if (v.inTrick == 0) return out;
  // Following: the seats still to play this trick, and the card now winning it.
  const int led = suitIx(indexOf(v.trick[0]));
  int win = indexOf(v.trick[0]);
  for (int k = 1; k < v.inTrick; ++k)
    if (beats(indexOf(v.trick[k]), win, trump)) win = indexOf(v.trick[k]);
  unsigned after = 0;
  for (int k = v.inTrick + 1; k < 4; ++k) after |= 1u << ((v.leader - 1 + k) & 3);
  after &= others;
  for (Mask m = v.legal(); m; m &= m - 1) {
    const int c = lowest(m);  // the lowest first: a certain winner costs no more than it must
    if (beats(c, win, trump) && !canBeBeaten(c, led, trump, mayHold, after)) {
      out.now = c;
      break;
    }
  }
  return out;
}

int sureTrickCard(const SeatView& v) {
  if (v.bidding() || v.bids[v.seat] < 0) return -1;
  const int need = v.bids[v.seat] - v.tricks[v.seat];
  if (need <= 0) return -1;
  const SureTricks sure = sureTricks(v);
  if (sure.count() < need) return -1;
  if (v.inTrick > 0) return sure.now;
  // Leading: trumps first (they are certain however the play goes; a side
  // card only while nobody can ruff it), the highest of them.
  const Mask trumps = sure.leads & suitMask(v.trumpSuit());
  if (trumps) return highest(trumps);
  int best = -1;
  for (Mask m = sure.leads; m; m &= m - 1)
    if (best < 0 || rankIx(lowest(m)) > rankIx(best)) best = lowest(m);
  return best;
}

}  // namespace ombrix::ai
