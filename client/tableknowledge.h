// What one table window knows of the game, kept from the announcements it
// receives: the same view the host builds for a computer seat, so the hint
// decides as a computer player in that seat would, from what that seat's
// window was told and nothing else.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "ai/publicrecord.h"
#include "ai/rulewatch.h"
#include "ai/seatview.h"

namespace ombrix::client {

class TableKnowledge {
 public:
  // One announcement, as the window dispatches it: its command name
  // ("CMD_playcard") and the fields after it. Others are ignored.
  void observe(std::string_view name, std::string_view fields);

  // What `seat` knows now (meaningful for the seat whose cards this window
  // was given).
  ai::SeatView view(int seat) const;
  int round() const { return round_; }
  // Grows with every announcement of the game: a decision made for an older
  // value is out of date.
  uint64_t serial() const { return serial_; }
  // The table asks `seat` for its bid / waits for `seat` to play a card.
  bool asksBid(int seat) const { return bidder_ == seat && player_ == 0 && handSize_ > 0; }
  bool awaitsCard(int seat) const { return player_ == seat && inTrick_ < 4 && hand_ != 0; }

 private:
  void startRound(int round, int dealer);
  void play(int seat, int position, int card);

  ai::RuleWatch watch_;
  uint64_t serial_ = 0;
  int round_ = 0, handSize_ = 0, trumpCard_ = 0, opener_ = 0;
  int bidder_ = 0, player_ = 0, leader_ = 0, inTrick_ = 0;
  bool scored_ = false;
  std::array<int, 11> positions_{};  // the window's own cards by hand position
  ai::Mask hand_ = 0;
  std::array<int, 5> bids_{}, tricks_{};
  std::array<int, 4> trick_{};
  std::array<int, 5> onTable_{};  // a late joiner's view of the trick, by seat
  ai::PublicRecord record_;
};

}  // namespace ombrix::client
