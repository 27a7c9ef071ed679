#include "ai/rulewatch.h"

#include <algorithm>

namespace ombrix::ai {

namespace {
int suitOfCard(int card) { return card >= 1 && card <= 52 ? (card - 1) / 13 + 1 : 0; }
bool aceCard(int card) { return card >= 1 && card <= 52 && card % 13 == 0; }
constexpr int kPositions = 10;
}  // namespace

void RuleWatch::startRound(int handSize, int trumpCard) {
  handSize_ = std::clamp(handSize, 0, kPositions);
  trumpSuit_ = suitOfCard(trumpCard);
  partial_ = false;
  plays_.clear();
  bids_.fill(-1);
  bidTotal_ = bidsMade_ = 0;
  usedPositions_.fill(0);
  barred_ = {};
}

uint8_t RuleWatch::barred(int seat, int position) const {
  uint8_t suits = 0;
  for (int s = 1; s <= 4; ++s)
    if (barred_[seat][s] & (1u << position)) suits |= 1u << (s - 1);
  return suits;
}

uint16_t RuleWatch::openPositions(int seat) const {
  const unsigned all = ((1u << handSize_) - 1) << 1;  // positions 1..handSize
  return static_cast<uint16_t>(all & ~usedPositions_[seat]);
}

void RuleWatch::bid(int seat, int bid) {
  if (seat < 1 || seat > 4) return;
  bids_[seat] = bid;
  bidBefore_[seat] = bidTotal_;
  bidLast_[seat] = ++bidsMade_ == 4;
  bidTotal_ += bid;
}

void RuleWatch::play(int seat, int position, int card) {
  if (partial_ || seat < 1 || seat > 4 || position < 1 || position > kPositions) return;
  const bool leads = plays_.size() % 4 == 0;
  const bool follows = !leads && suitOfCard(card) == suitOfCard(plays_[plays_.size() / 4 * 4].card);
  // Leading or discarding, the rule takes the first position still held.
  const unsigned lower = (1u << position) - 2;  // positions 1 .. position - 1
  if (!follows) {
    if ((usedPositions_[seat] & lower) != lower) broken_[seat] = true;
  } else {
    // Following from here, the rule had no card of the suit further up the hand.
    barred_[seat][suitOfCard(card)] |= lower & ~usedPositions_[seat];
  }
  usedPositions_[seat] |= 1u << position;
  plays_.push_back({seat, position, card});
}

void RuleWatch::endRound() {
  if (partial_ || handSize_ == 0 || static_cast<int>(plays_.size()) != 4 * handSize_)
    return;  // seen only in part
  // Each seat's hand as positions by suit (bit p), and its trumps and aces.
  std::array<std::array<unsigned, 5>, 5> bySuit{};
  std::array<int, 5> count{};
  for (const Play& p : plays_) {
    bySuit[p.seat][suitOfCard(p.card)] |= 1u << p.position;
    count[p.seat] += (suitOfCard(p.card) == trumpSuit_) + aceCard(p.card);
  }
  for (int s = 1; s <= 4; ++s)
    if (bids_[s] != rules::classicBid(rules_, count[s], handSize_, bidBefore_[s], bidLast_[s])) broken_[s] = true;
  int led = 0;
  for (size_t i = 0; i < plays_.size(); ++i) {
    const Play& p = plays_[i];
    auto& h = bySuit[p.seat];
    if (i % 4 == 0) led = suitOfCard(p.card);
    const unsigned any = h[1] | h[2] | h[3] | h[4];
    // The first position holding the led suit, else the first one held.
    const unsigned pick = (i % 4 != 0 && h[led]) ? h[led] : any;
    if ((1u << p.position) != (pick & (0u - pick))) broken_[p.seat] = true;
    h[suitOfCard(p.card)] &= ~(1u << p.position);
  }
  for (int s = 1; s <= 4; ++s)
    if (!broken_[s]) ++rounds_[s];
}

}  // namespace ombrix::ai
