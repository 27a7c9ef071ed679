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
  plays_.clear();
  bids_.fill(-1);
  usedPositions_.fill(0);
  barred_ = {};
}

uint16_t RuleWatch::openPositions(int seat) const {
  const unsigned all = ((1u << handSize_) - 1) << 1;  // positions 1..handSize
  return static_cast<uint16_t>(all & ~usedPositions_[seat]);
}

void RuleWatch::bid(int seat, int bid) {
  if (seat >= 1 && seat <= 4) bids_[seat] = bid;
}

void RuleWatch::play(int seat, int position, int card) {
  if (seat < 1 || seat > 4 || position < 1 || position > kPositions) return;
  const bool leads = plays_.size() % 4 == 0;
  const bool follows = !leads && suitOfCard(card) == suitOfCard(plays_[plays_.size() / 4 * 4].card);
  // Leading or discarding, the rule takes the first position still held.
  const unsigned lower = (1u << position) - 2;  // positions 1 .. position - 1
  if (!follows) {
    if ((usedPositions_[seat] & lower) != lower) broken_[seat] = true;
  } else {
    // Following from here, the rule had no card of the suit further up the hand.
    for (int q = 1; q < position; ++q)
      if (!(usedPositions_[seat] & (1u << q))) barred_[seat][q] |= 1u << (suitOfCard(card) - 1);
  }
  usedPositions_[seat] |= 1u << position;
  plays_.push_back({seat, position, card});
}

void RuleWatch::endRound() {
  if (handSize_ == 0 || static_cast<int>(plays_.size()) != 4 * handSize_) return;  // seen only in part
  std::array<std::array<int, kPositions + 1>, 5> hand{};
  for (const Play& p : plays_) hand[p.seat][p.position] = p.card;
  for (int s = 1; s <= 4; ++s) {
    int count = 0;
    for (int k = 1; k <= handSize_; ++k)
      count += (suitOfCard(hand[s][k]) == trumpSuit_) + aceCard(hand[s][k]);
    if (bids_[s] != std::min(count, handSize_)) broken_[s] = true;
  }
  int led = 0;
  for (size_t i = 0; i < plays_.size(); ++i) {
    const Play& p = plays_[i];
    if (i % 4 == 0) led = suitOfCard(p.card);
    auto& h = hand[p.seat];
    int firstLed = 0, firstAny = 0;
    for (int k = 1; k <= handSize_; ++k) {
      if (!h[k]) continue;
      if (!firstAny) firstAny = k;
      if (!firstLed && suitOfCard(h[k]) == led) firstLed = k;
    }
    const int want = (i % 4 != 0 && firstLed) ? firstLed : firstAny;
    if (p.position != want) broken_[p.seat] = true;
    h[p.position] = 0;
  }
  for (int s = 1; s <= 4; ++s)
    if (!broken_[s]) ++rounds_[s];
}

}  // namespace ombrix::ai
