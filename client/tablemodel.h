// TableModel: the table as this window knows it, from the host's events.
//
// The one place that follows the game at the table: the company (who sits
// where, who watches, who spies), the game (round, trump, bids, tricks,
// scores, whose bid or card is due), this table's own hand, the trick on the
// table and the last one taken, and what every table sees of a round (the
// public record of cards and voids, and who keeps the Classic rule) from
// which the hint decides. Everything else at the table observes it: the
// window draws from it, the game record, the keys, the screen reader's names
// and the mute list read it. Nothing outside changes it but apply() and the
// local player's own card request.
//
// Pure C++. Numbers a host sends are kept within the game's bounds here
// (hand sizes, bids and tricks 0..10, hand positions 1..10), so a hostile
// host cannot make the hint or the hand work on a table no game can have.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "ai/publicrecord.h"
#include "ai/rulewatch.h"
#include "ai/seatview.h"
#include "client/tableevents.h"
#include "rules/rules.h"

namespace ombrix::client {

// Told of every event, in the order the observers were added.
class TableObserver {
 public:
  virtual ~TableObserver() = default;
  // Before the model takes the event in: it still shows the table as it was.
  virtual void before(const TableEvent&) {}
  // After: the model shows the table with the event.
  virtual void after(const TableEvent& e) = 0;
};

class TableModel {
 public:
  static constexpr int kSeats = ombrix::kSeats;
  static constexpr int kFirstSpectator = 5, kLastSlot = 9;  // slots 5..9 watch
  static constexpr int kMostCards = rules::kMaxHand;        // a hand's size, and its positions
  static constexpr int kRounds = rules::kFullRounds;        // a full game
  static constexpr const char* kWaiting = "<Waiting>";      // a seat's caption before anyone sits there

  TableModel();

  void addObserver(TableObserver& o) { observers_.push_back(&o); }
  // Takes one event in and tells the observers.
  void apply(const TableEvent& e);
  // The local player's card went to the host: no other until it answers.
  void cardSent() { myTurn_ = false; }
  // Back to a table that has just opened, before its log-in: what a new
  // connection starts from. The observers stay.
  void reset();

  // --- The connection -----------------------------------------------------
  int mySeat() const { return mySeat_; }  // 1..4 a seat, 5..9 a spectator, 0 before the log-in
  bool loggedIn() const { return loggedIn_; }
  bool seated() const { return isSeat(mySeat_); }

  // --- The company -----------------------------------------------------------
  // A seat's caption (1..4), or a spectator's name (5..9, empty for none).
  const std::string& name(int slot) const;
  static const std::string& defaultName(int seat);  // "You", "Reza", "Vivav", "Derev"
  bool watching(int seat) const { return isSeat(seat) && watching_[seat]; }

  // --- The game --------------------------------------------------------------
  bool gameSeen() const { return gameSeen_; }  // a game was started or joined here
  bool halfGame() const { return half_; }
  // The house rules the host plays by, as it told them (the design's until then).
  const rules::Rules& rules() const { return rules_; }
  int round() const { return round_; }  // as announced; the score card's row
  int dealer() const { return dealer_; }
  int handSize() const { return handSize_; }  // the round's, 0..10: the bid's limit
  int trump() const { return trump_; }        // the turned-up card, as announced
  int bidder() const { return bidder_; }      // the seat asked to bid, 0 while none is
  int opener() const { return opener_; }      // bids first and leads the first trick
  int onTurn() const { return player_; }      // the seat to play a card, 0 while none is
  bool myTurn() const { return myTurn_; }     // this table may send a card now
  int bid(int seat) const { return isSeat(seat) ? bids_[seat] : ai::kNotBid; }  // kNotBid: none yet
  int tricks(int seat) const { return isSeat(seat) ? tricks_[seat] : 0; }
  int score(int seat) const { return isSeat(seat) ? scores_[seat] : 0; }
  const std::string& winner() const { return winner_; }  // the last game's winner text

  // --- The cards ---------------------------------------------------------------
  // This table's own cards by hand position 1..10 (0: none there).
  const std::array<int, kMostCards + 1>& hand() const { return hand_; }
  // The backs another seat's fan shows.
  int cardsShown(int seat) const { return isSeat(seat) ? cardsShown_[seat] : 0; }
  // The card last put down in front of a seat (kept after the trick, as its
  // picture's record), and the first card of the trick under way (0 before).
  int playedCard(int seat) const { return isSeat(seat) ? playedCard_[seat] : 0; }
  int ledCard() const { return ledCard_; }
  struct LastTrick {
    std::array<int, kSeats + 1> cards{};  // by seat
    int led = 0, winner = 0;
  };
  const LastTrick& lastTrick() const { return lastTrick_; }
  // The trick under way as the rules see it: its leader and its cards in
  // the order played.
  int leader() const { return leader_; }
  int inTrick() const { return inTrick_; }
  const std::array<int, kSeats>& trick() const { return trick_; }
  const ai::PublicRecord& record() const { return record_; }

  // --- The hint's view -------------------------------------------------------
  // Grows with every announcement of the game: advice worked out for an
  // older value is out of date.
  uint64_t serial() const { return serial_; }
  // The table asks `seat` for its bid / waits for `seat` to play a card.
  bool asksBid(int seat) const { return bidder_ == seat && player_ == 0 && handSize_ > 0; }
  bool awaitsCard(int seat) const;
  // What this table's own seat knows now: the view the host builds for a
  // computer seat, from what this table was told and nothing else.
  ai::SeatView seatView() const;

  static bool isSeat(int n) { return n >= 1 && n <= kSeats; }
  static bool isCard(int c) { return c >= 1 && c <= ai::kCards; }

 private:
  // One method an event, each the model's part of it.
  void on(const ev::LogIn& e);
  void on(const ev::Arrived& e);
  void on(const ev::Departed& e);
  void on(const ev::JustWatching& e);
  void on(const ev::SeatFound& e);
  void on(const ev::GameFound& e);
  void on(const ev::GameStarted& e);
  void on(const ev::RoundStarted& e);
  void on(const ev::Dealt& e);
  void on(const ev::Trump& e);
  void on(const ev::BidAsked& e);
  void on(const ev::BidMade& e);
  void on(const ev::Turn& e);
  void on(const ev::CardPlayed& e);
  void on(const ev::CardRefused& e);
  void on(const ev::TrickTaken& e);
  void on(const ev::Scored& e);
  void on(const ev::GameOver& e);
  template <class Other>
  void on(const Other&) {}  // talk and notices: nothing of the table changes

  // A card to the trick under way, in the public record and the rule watch.
  void playToTrick(int seat, int position, int card);
  void clearHand() { hand_ = {}; }

  std::vector<TableObserver*> observers_;

  int mySeat_ = 0;
  bool loggedIn_ = false;
  std::array<std::string, kLastSlot + 1> names_;  // [1..4] captions, [5..9] spectators
  std::array<bool, kSeats + 1> watching_{};

  bool gameSeen_ = false, half_ = false;
  rules::Rules rules_;
  int round_ = 0, dealer_ = 0, handSize_ = 0, trump_ = 0;
  int bidder_ = 0, opener_ = 0, player_ = 0;
  bool myTurn_ = false;
  std::array<int, kSeats + 1> bids_{}, tricks_{}, scores_{};
  std::string winner_;

  std::array<int, kMostCards + 1> hand_{};
  std::array<int, kSeats + 1> cardsShown_{}, playedCard_{};
  int ledCard_ = 0;
  LastTrick lastTrick_;
  int leader_ = 0, inTrick_ = 0;
  std::array<int, kSeats> trick_{};
  // A late joiner's cards on the table, by seat, until the game's state
  // tells whose turn it is and so the order they were played in.
  std::array<int, kSeats + 1> foundOnTable_{};
  ai::PublicRecord record_;
  ai::RuleWatch watch_;
  bool roundScored_ = false;
  uint64_t serial_ = 0;
};

}  // namespace ombrix::client
