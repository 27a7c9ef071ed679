// The host's authoritative game: the game's state by seat and every rule
// operation, from the start of a game to its winner.
//
// Pure C++ without the wire: moves arrive as typed calls, announcements
// leave as typed events (engine/events.h) through the GameHost, which also
// says who sits where; the few host-side message boxes go through Notices,
// and time arrives through the TimerFactory. The host (host/server)
// owns one GameEngine, turns requests into its calls and its events into
// text (host/announcer).
//
// Every operation keeps the name it has in the rules so that the two can be
// read side by side. Calls carry untrusted numbers: each operation checks
// the turn, the ranges and the phase before it changes anything.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ai/decision.h"
#include "ai/publicrecord.h"
#include "ai/rulewatch.h"
#include "base/cards.h"
#include "base/timer.h"
#include "engine/events.h"
#include "engine/random.h"
#include "engine/publiclog.h"
#include "engine/watchlog.h"
#include "rules/rules.h"

namespace ombrix {

// Hands use positions 1..10; the table has room for 13 as the record does.
constexpr int kHandPositions = 13;
constexpr int kMaxHand = rules::kMaxHand;

// Pause lengths and timer tags of `waitaminute`.
constexpr int kPauseMs = 1000;
constexpr int kTagTrick = 2;
constexpr int kTagRound = 3;
constexpr int kRoundPauseTicks = 2;  // the round starts on the tick after this many

// Bot speeds offered by the table window's menu.
constexpr int kBotSlowMs = 1000;
constexpr int kBotNormalMs = 750;
constexpr int kBotFastMs = 500;
// Longest delay a botspeed request may set; longer ones are refused so that a
// hostile request cannot park the computer seats for days.
constexpr int kMaxBotDelayMs = 60000;

// One seat's part of the game; who holds the seat is the host's.
struct SeatState {
  std::array<int, kHandPositions + 1> hand{};  // [1..13]; 0 = empty
  int tricks = 0;
  int score = 0;
  int played = 0;
  int bid = 0;
};

class Notices {
 public:
  virtual ~Notices() = default;
  // A host-side message box; must not block the caller.
  virtual void notice(std::string_view text) = 0;
};

struct GameState;

// Moments of a game the host's owner may act on (a solo game is saved after
// every trick and its save removed when a game starts or ends).
enum class Checkpoint { GameStarted, TrickDone, GameOver };

class GameEngine {
 public:
  GameEngine(GameHost& host, Notices& notices, TimerFactory& timers, uint64_t seed);

  // --- Set-up -------------------------------------------------------------
  // A new game by `starter`'s choice; kind "h" is a half game. Every seat
  // is back at the table: the host ends its people's watching first.
  void startgame(std::string_view starter, std::string_view kind);
  void startround();

  // --- Moves --------------------------------------------------------------
  void bid(int seat, int bid);
  void play(int seat, int position);
  bool checkforsuit(int seat) const;
  void findplayer();

  // --- Tricks, scoring, end -------------------------------------------------
  void finishtrick();
  int thewinner() const;
  void tallyscore();
  void endgame();
  void waitaminuteTimer();

  // --- Computer players -----------------------------------------------------
  void cbid(int seat, int handSize);
  void cplay(int seat);
  void computertimerTimer();
  // The computer seats' play delay; longer than kMaxBotDelayMs is refused.
  void setBotSpeed(int delayMs);
  // Every computer seat's skill.
  void setBotSkill(ai::Skill skill) { botSkill.fill(skill); }
  // What a seat's table window knows now: its own hand and the public record.
  // The only thing a computer player decides from.
  ai::SeatView viewFor(int seat) const;

  // --- A game saved and put back (engine/resume.cpp) -------------------------
  // The game in progress as it stands; false between games.
  bool saveState(GameState& out) const;
  // Puts the game back where `s` stood, with every timer stopped. False, and
  // nothing changed, when `s` is not a state a game can reach.
  bool restoreState(const GameState& s);
  // Starts what the restored game waits for: a pause, or the computer's move.
  void resumePlay();
  // A person sits at `seat` again: what the computer was deciding for it is
  // dropped, so that only the person moves there from now on.
  void personSits(int seat);
  // Tells the seat's own table again of the bid or card it owes, if any.
  void askAgain(int seat);
  uint64_t gameSerial() const { return gameSerial_; }

  // A seat the host moves for: no connection, or its person chose to watch.
  bool isComputer(int seat) const {
    const Occupant o = host_.occupant(seat);
    return !o.person || o.watching;
  }

  // --- State ----------------------------------------------------------------
  std::array<SeatState, kSeats + 1> seats{};  // [1..4]
  std::array<std::string, kSeats + 1> botNames;

  bool gameInProgress = false;
  int currentPlayer = 0;
  int leadSeat = 0;
  int currentBidder = 0;
  int biddingStarter = 0;
  int bidTotal = 0;
  int roundNumber = 0;
  int handSize = 0;
  int tricksPlayed = 0;
  int cardsInTrick = 0;
  int trumpCard = 0;
  int trumpSuit = 0;
  int ledSuit = 0;
  std::array<int, kDeckSize + 1> deck{};
  int deckIndex = 0;
  bool halfGame = false;
  // The house rules of the game in progress (or the last one).
  rules::Rules rules;
  std::string gameKind;
  int botDelay = 0;
  int pauseTicks = 0;
  int waitaminuteTag = 0;

  // The computer players' skill, by seat; Classic is the rule the table has
  // always played.
  std::array<ai::Skill, kSeats + 1> botSkill{};
  ai::StrongConfig strongConfig;
  // What every table has seen of the round, for the computer players.
  ai::PublicRecord record;
  // Which seats are seen to keep to the Classic rule. Fed only while a seat
  // plays Strong, the one skill that reads it: a round it saw in part counts
  // for nothing, so a skill chosen mid-game trusts no seat before it has
  // watched whole rounds.
  RecordedRuleWatch ruleWatch;
  // Each scored round's points by seat [1..4]: what a resumed table's score
  // card is filled from.
  std::vector<std::array<int, kSeats + 1>> roundPoints;
  // The game as the tables were told it, and who started it: what a resumed
  // table's game record is filled from.
  std::vector<PublicEvent> publicLog;
  std::string starter;
  // Adds to publicLog. A game resumed from a save that kept no log (version
  // 1) keeps none to its end: a log that began mid-game would tell no game,
  // and the next save would be refused for it.
  void logPublic(PublicEvent e) {
    if (keepPublicLog_) publicLog.push_back(e);
  }
  bool anyStrong() const {
    for (int s = 1; s <= kSeats; ++s)
      if (botSkill[s] == ai::Skill::Strong) return true;
    return false;
  }

  std::unique_ptr<Timer> waitaminute;
  std::unique_ptr<Timer> computertimer;
  // Runs a computer decision step by step while the event loop is idle.
  std::unique_ptr<Timer> thinktimer;

  // Told the winner's names and score once a game has ended. May be empty.
  std::function<void(std::string_view names, int best)> onWinner;
  // Told when a game starts, after every trick and when a game ends. May be empty.
  std::function<void(Checkpoint)> onCheckpoint;
  // Told every computer decision of a skill other than Classic as it is
  // carried out (what it cost, for the arena). May be empty.
  std::function<void(const ai::Decision&)> onDecision;

 private:
  void shuffle();
  void deal();
  void sendhands();
  void report(const GameEvent& e, ev::Audience to = ev::Audience::everyone()) { host_.report(e, to); }
  std::string nameOf(int seat) const;
  // A computer seat comes on turn to play: the delay starts, and a player
  // that needs time starts thinking.
  void computerTurn();
  // Decides the seat's bid or card with its skill; `due` says the move is
  // to be made as soon as it is decided.
  void think(int seat, bool bid, bool due);
  void thinktimerTimer();
  void carryOut();
  // The seat's bid or card by the Classic rule, whatever its skill.
  void classicMove(int seat, bool bid);
  // A step of the game changed what the pending decision was made for.
  void moved() { ++moveSerial_; }

  GameHost& host_;
  Notices& notices_;
  Random rng_;
  uint64_t botSeed_;
  uint64_t gameSerial_ = 0, moveSerial_ = 0;
  bool keepPublicLog_ = true;  // see logPublic
  ai::Decision decision_;
  uint64_t decisionSerial_ = 0;  // moveSerial_ when the decision began
  bool decisionDue_ = false;
};

}  // namespace ombrix
