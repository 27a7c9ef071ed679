// The rule watch, with a log of everything it was told this game.
//
// The watch's judgement rests on whole rounds of the game so far, so a saved
// game cannot keep only where it stands: it keeps what the watch was told,
// and a resumed game tells a fresh watch the same again. Keeping the inputs
// rather than the watch's own fields leaves ai/ free to change how it judges.
#pragma once

#include <cstdint>
#include <vector>

#include "ai/rulewatch.h"

namespace ombrix {

struct WatchEvent {
  enum Kind : uint8_t { Round, Bid, Play, EndRound, Unseen };
  Kind kind = Round;
  // Round: hand size, trump card. Bid: seat, bid. Play: seat, position, card.
  uint8_t a = 0, b = 0, c = 0;
  bool operator==(const WatchEvent&) const = default;
};

class RecordedRuleWatch : public ai::RuleWatch {
 public:
  void startGame() {
    RuleWatch::startGame();
    log_.clear();
  }
  void startRound(int handSize, int trumpCard) {
    RuleWatch::startRound(handSize, trumpCard);
    unseenThisRound_ = false;
    log_.push_back({WatchEvent::Round, byte(handSize), byte(trumpCard), 0});
  }
  void bid(int seat, int bid) {
    RuleWatch::bid(seat, bid);
    log_.push_back({WatchEvent::Bid, byte(seat), byte(bid), 0});
  }
  void play(int seat, int position, int card) {
    RuleWatch::play(seat, position, card);
    log_.push_back({WatchEvent::Play, byte(seat), byte(position), byte(card)});
  }
  // Once a round is unseen it stays so: one entry is enough.
  void unseen() {
    RuleWatch::unseen();
    if (unseenThisRound_) return;
    unseenThisRound_ = true;
    log_.push_back({WatchEvent::Unseen, 0, 0, 0});
  }
  void endRound() {
    RuleWatch::endRound();
    log_.push_back({WatchEvent::EndRound, 0, 0, 0});
  }

  const std::vector<WatchEvent>& log() const { return log_; }

  // A fresh watch told `log` over again.
  void replay(const std::vector<WatchEvent>& log) {
    startGame();
    for (const WatchEvent& e : log) {
      switch (e.kind) {
        case WatchEvent::Round:
          startRound(e.a, e.b);
          break;
        case WatchEvent::Bid:
          bid(e.a, e.b);
          break;
        case WatchEvent::Play:
          play(e.a, e.b, e.c);
          break;
        case WatchEvent::EndRound:
          endRound();
          break;
        case WatchEvent::Unseen:
          unseen();
          break;
      }
    }
  }

 private:
  // Seats, positions, bids, hand sizes and cards all fit a byte.
  static uint8_t byte(int n) { return static_cast<uint8_t>(n); }
  std::vector<WatchEvent> log_;
  bool unseenThisRound_ = false;
};

}  // namespace ombrix
