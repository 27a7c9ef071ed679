// GameRecord: what this table saw of the current (or last) game, kept from
// the host's announcements and written as plain text by File > "Save Game
// Record…". The format is described in docs/game-record.md.
//
// It only listens: it observes the table's model after the window, so the
// seat captions it reads are the ones the table shows (computer seats by
// their default names). Built from events alone, it can as well be filled
// from a saved game's events.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <utility>
#include <vector>

#include "client/inprocesshost.h"
#include "client/tablemodel.h"

namespace ombrix::client {

class GameRecord : public TableObserver {
 public:
  explicit GameRecord(const TableModel& table) : table_(table) {}

  // One event of the table, after the model took it in.
  void after(const TableEvent& e) override;

  // The table's line dropped and it is connecting again: the game it finds
  // next, if it is still the one under way here, goes on in this record.
  void lineDropped() { rejoining_ = true; }
  // A saved solo game is taken up again: once the table has logged in, the
  // record holds the game's rounds as this table saw them before it closed.
  void resumeWith(const SavedGame& saved) { resumed_ = saved; }

  // A game was started or joined since this table connected.
  bool hasGame() const { return game_.seen; }
  // Rounds, cards, bids and scores one game may add to the record: a whole
  // game adds about 750 (20 rounds, 440 cards, 80 bids, 80 scores), so only
  // a host that announces endlessly reaches it; then the record stops growing.
  static constexpr size_t kMaxEntries = 2048;
  size_t entries() const { return entries_; }
  QString text() const;
  // Writes text() to `path`; on failure returns false and says why in `error`.
  bool save(const QString& path, QString* error) const;

  // A card as the record writes it: rank ("2".."10", "J", "Q", "K", "A") and
  // suit letter ("C", "D", "H", "S"); "?" for a number outside 1..52.
  static QString cardName(int card);

 private:
  using SeatCard = std::pair<int, int>;
  struct Trick {
    int number = 0;
    std::vector<SeatCard> cards;  // in the order they were played
    int winner = 0;               // 0 while the trick is open
    int onTableAtJoin = 0;        // cards already down when this table joined
  };
  struct Score {
    int seat, points, total;
  };
  struct Round {
    int number = 0, dealer = 0, handSize = 0, trump = 0;
    QStringList names;          // seats 1..4 at the round's start
    bool namesChanged = false;  // differ from the round before
    std::vector<int> hand;      // this table's own cards as dealt (or as held when joining)
    bool handAtJoin = false;
    std::vector<SeatCard> bids;  // in bidding order
    int totalBids = 0;
    std::vector<Trick> tricks;
    std::vector<Score> scores;
    bool joinedHere = false;  // this table joined during this round
    bool backHere = false;    // or came back to it after its line dropped
    QString joinedState;      // what the table showed then, seat by seat
    int trickBase = 0;        // tricks finished before the first one recorded
  };
  struct Game {
    bool seen = false, half = false, joined = false;
    QString starter;
    QString rules;  // the house rules, empty for the design's
    QStringList names;
    std::vector<Round> rounds;
    QString winner;
    int best = -1;
  };

  QStringList captions() const;
  QString houseRules() const;
  Round& round();
  // Counts one more entry; false once the record is full.
  bool room();
  void beginGame(bool half, const std::string& starter);
  void startGame(const ev::GameStarted& e);
  void joinGame(const ev::GameFound& e);
  void resumeGame(const ev::GameFound& e, const SavedGame& saved);
  void startRound(const ev::RoundStarted& e);
  void found(const ev::SeatFound& e);
  void dealt(const ev::Dealt& e);
  void cardPlayed(const ev::CardPlayed& e);
  void trickWon(const ev::TrickTaken& e);
  void inRound(const TableEvent& e);
  QString name(const Round& r, int seat) const;

  const TableModel& table_;
  Game game_;
  size_t entries_ = 0;
  // CMD_newplayerstuff comes before CMD_stats: the table as a late joiner
  // found it, seat by seat (bid, tricks, score, card on the table).
  struct Found {
    int bid = 0, tricks = 0, score = 0, card = 0;
  };
  std::vector<std::pair<int, Found>> found_;
  std::vector<int> foundHand_;  // the own cards of the last CMD_placecard
  bool rejoining_ = false;
  std::optional<SavedGame> resumed_;
};

}  // namespace ombrix::client
