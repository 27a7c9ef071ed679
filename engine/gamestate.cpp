// Holding a saved state against what a game can reach. Every number is
// bounded, every card is in one place only, and the phase, the turn, the
// trick on the table, the cards held, the bids and the scores agree with one
// another, so a restored engine meets no state its rules never made.
#include "engine/gamestate.h"

#include <bit>

namespace ombrix {

namespace {

constexpr uint64_t bit(int card) { return uint64_t{1} << (card - 1); }
constexpr uint64_t kAllCards = (uint64_t{1} << kDeckSize) - 1;

class Checker {
 public:
  explicit Checker(const GameState& s) : s_(s) {}

  std::string run() {
    if (!game() || !phase() || !cards() || !trick() || !bids() || !scores() || !watch() || !publicLog()) return why_;
    return {};
  }

 private:
  bool fail(std::string why) {
    why_ = std::move(why);
    return false;
  }
  bool within(int n, int lo, int hi, const char* what) {
    return n >= lo && n <= hi ? true : fail(std::string(what) + " out of range");
  }

  bool game() {
    if (s_.gameKind.size() > kMaxGameKind) return fail("game kind too long");
    for (char c : s_.gameKind)
      if (c == '+' || c == '\xFF' || c == '\r' || c == '\n') return fail("game kind not one field");
    const int lastRound = rules::roundsOf(s_.gameKind == "h");
    if (!within(s_.roundNumber, 1, lastRound, "round")) return false;
    if (s_.handSize != rules::handSize(s_.rules, s_.roundNumber)) return fail("hand size not the round's");
    if (!within(s_.leadSeat, 1, kSeats, "opening seat")) return false;
    if (!within(s_.botDelay, 0, kMaxBotDelayMs, "bot delay")) return false;
    for (int seat = 1; seat <= kSeats; ++seat)
      if (!within(static_cast<int>(s_.botSkill[seat]), 0, static_cast<int>(ai::Skill::Strong), "skill"))
        return false;
    if (s_.gameSerial == 0) return fail("no game started");
    if ((s_.deckRandom[0] | s_.deckRandom[1] | s_.deckRandom[2] | s_.deckRandom[3]) == 0)
      return fail("a generator that cannot shuffle");
    return true;
  }

  // Bidding, play, the pause after a trick's fourth card, or the pause
  // between rounds; nothing else is ever saved.
  bool phase() {
    if (!within(s_.tricksPlayed, 0, s_.handSize, "tricks played")) return false;
    if (!within(s_.cardsInTrick, 0, kSeats, "cards in the trick")) return false;
    if (!within(s_.pauseTicks, 0, kRoundPauseTicks, "pause")) return false;
    bidding_ = s_.currentPlayer == 0;
    roundPause_ = !bidding_ && s_.tricksPlayed == s_.handSize;
    if (bidding_) {
      if (!within(s_.currentBidder, 1, kSeats, "bidder")) return false;
      if (s_.biddingStarter != s_.leadSeat) return fail("bidding not opened by the opening seat");
      if (s_.tricksPlayed != 0 || s_.cardsInTrick != 0) return fail("cards played while bidding");
    } else {
      if (!within(s_.currentPlayer, 1, kSeats, "seat on turn")) return false;
      if (s_.currentBidder != 0 || s_.biddingStarter != 0) return fail("bidding while playing");
      if (roundPause_ && s_.cardsInTrick != 0) return fail("a trick open after the round");
    }
    if (s_.pauseTicks != 0 && !roundPause_) return fail("a round pause outside one");
    return true;
  }

  bool cards() {
    uint64_t seen = 0;
    auto place = [&](int card) {
      if (card < 1 || card > kDeckSize) return fail("not a card");
      if (seen & bit(card)) return fail("a card in two places");
      seen |= bit(card);
      return true;
    };
    if (!place(s_.trumpCard)) return false;
    if ((s_.played & ~kAllCards) != 0) return fail("not a card among those played");
    uint64_t union_ = 0;
    int byCount = 0;
    for (int seat = 1; seat <= kSeats; ++seat) {
      union_ |= s_.playedBy[seat];
      byCount += std::popcount(s_.playedBy[seat]);
    }
    if (union_ != s_.played || byCount != std::popcount(s_.played))
      return fail("cards played by no seat or by two");
    if (std::popcount(s_.played) != kSeats * s_.tricksPlayed + s_.cardsInTrick)
      return fail("cards played not the tricks'");
    for (int seat = 1; seat <= kSeats; ++seat) {
      const GameState::Seat& p = s_.seats[seat];
      // Each number is held against its range before it is a shift or an
      // index: a card 68 shifted as one would read as card 4.
      if (s_.voids[seat] > 0xF) return fail("not a suit");
      if (p.played != kNoCard && (p.played < 1 || p.played > kDeckSize)) return fail("not a card on the table");
      int held = 0;
      for (int pos = 1; pos <= kMaxHand; ++pos) {
        const int card = p.hand[pos];
        if (card == kNoCard) continue;
        if (pos > s_.handSize) return fail("a card beyond the hand");
        if (!place(card)) return false;
        if (s_.voids[seat] & (1u << (suitOf(card) - 1))) return fail("a card of a suit the seat lacks");
        ++held;
      }
      const int gone = std::popcount(s_.playedBy[seat]);
      if (held != s_.handSize - gone) return fail("a hand of the wrong size");
      if (gone != s_.tricksPlayed + (p.played != kNoCard ? 1 : 0)) return fail("a seat played out of turn");
      if (p.played != kNoCard && !(s_.playedBy[seat] & bit(p.played))) return fail("a card on the table not played");
    }
    if (seen & s_.played) return fail("a card both held and played");
    return true;
  }

  // The cards on the table are those of the seats before the one on turn,
  // led by the first of them; after the fourth card the one on turn is the
  // seat that played last.
  bool trick() {
    const int down = s_.cardsInTrick;
    const int leader = down == kSeats ? nextSeat(s_.currentPlayer)
                                      : (s_.currentPlayer - 1 - down + 2 * kSeats) % kSeats + 1;
    for (int k = 0, seat = leader; k < kSeats; ++k, seat = nextSeat(seat))
      if ((s_.seats[seat].played != kNoCard) != (k < down)) return fail("the trick on the table is not the turn's");
    const int led = down ? suitOf(s_.seats[leader].played) : static_cast<int>(kNoSuit);
    if (s_.ledSuit != led) return fail("the led suit is not the leader's");
    // A seat that did not follow had none of the led suit, and hands only shrink.
    for (int k = 1, seat = nextSeat(leader); k < down; ++k, seat = nextSeat(seat)) {
      if (suitOf(s_.seats[seat].played) == led) continue;
      for (int pos = 1; pos <= kMaxHand; ++pos)
        if (suitOf(s_.seats[seat].hand[pos]) == led) return fail("a seat kept the led suit and played another");
    }
    return true;
  }

  bool bids() {
    int total = 0, tricks = 0;
    // While bidding, the seats from the opener up to the one asked have bid.
    std::array<bool, kSeats + 1> bid{};
    if (bidding_) {
      for (int seat = s_.leadSeat; seat != s_.currentBidder; seat = nextSeat(seat)) bid[seat] = true;
    } else {
      bid.fill(true);
    }
    for (int seat = 1; seat <= kSeats; ++seat) {
      const GameState::Seat& p = s_.seats[seat];
      if (!within(p.bid, 0, s_.handSize, "bid")) return false;
      if (!bid[seat] && p.bid != 0) return fail("a bid before the seat's turn");
      if (!within(p.tricks, 0, s_.tricksPlayed, "tricks")) return false;
      total += p.bid;
      tricks += p.tricks;
    }
    if (total != s_.bidTotal) return fail("bid total not the bids'");
    if (tricks != s_.tricksPlayed) return fail("tricks taken not the tricks played");
    return true;
  }

  // The score card's rows add up to the scores.
  bool scores() {
    const size_t rows = static_cast<size_t>(s_.roundNumber - (roundPause_ ? 0 : 1));
    if (s_.roundPoints.size() != rows) return fail("score card rows not the rounds'");
    for (int seat = 1; seat <= kSeats; ++seat) {
      int sum = 0;
      for (size_t r = 0; r < rows; ++r) {
        const int points = s_.roundPoints[r][seat];
        if (!rules::possiblePoints(s_.rules, points, rules::handSize(s_.rules, static_cast<int>(r) + 1)))
          return fail("points no bid scores");
        sum += points;
      }
      if (sum != s_.seats[seat].score) return fail("a score not its rounds'");
    }
    return true;
  }

  // The watch heard this game's rounds, and this round's deal and bids.
  bool watch() {
    // Each round: its start, four bids, its cards, its end, and at most one
    // mark that part of it went unseen.
    constexpr size_t kMaxEvents = 20 * 7 + kSeats * 110;
    if (s_.watch.size() > kMaxEvents) return fail("rule watch log too long");
    int rounds = 0, ends = 0, bidsThisRound = 0;
    const WatchEvent* last = nullptr;
    for (const WatchEvent& e : s_.watch) {
      switch (e.kind) {
        case WatchEvent::Round:
          if (e.a < 1 || e.a > kMaxHand || e.b < 1 || e.b > kDeckSize || e.c) return fail("rule watch round");
          ++rounds;
          bidsThisRound = 0;
          last = &e;
          break;
        case WatchEvent::Bid:
          if (e.a < 1 || e.a > kSeats || e.b > kMaxHand || e.c) return fail("rule watch bid");
          ++bidsThisRound;
          break;
        case WatchEvent::Play:
          if (e.a < 1 || e.a > kSeats || e.b < 1 || e.b > kMaxHand || e.c < 1 || e.c > kDeckSize)
            return fail("rule watch card");
          break;
        case WatchEvent::EndRound:
          if (e.a || e.b || e.c) return fail("rule watch end");
          ++ends;
          break;
        case WatchEvent::Unseen:
          if (e.a || e.b || e.c) return fail("rule watch unseen");
          break;
        default:
          return fail("rule watch event");
      }
    }
    int bidders = kSeats;
    if (bidding_) bidders = (s_.currentBidder - s_.leadSeat + kSeats) % kSeats;
    if (rounds != s_.roundNumber || ends != s_.roundNumber - (roundPause_ ? 0 : 1) || !last ||
        last->a != s_.handSize || last->b != s_.trumpCard || bidsThisRound != bidders)
      return fail("rule watch log not this game's");
    return true;
  }

  // The log tells this game as it went: whole rounds before this one, and
  // this one as far as the state stands. Empty: a save that kept none.
  bool publicLog() {
    const auto& log = s_.publicLog;
    if (s_.starter.size() > kMaxStarterName) return fail("starter's name too long");
    for (char c : s_.starter)
      if (c == '\xFF' || c == '\r' || c == '\n') return fail("starter's name not one line");
    if (log.empty()) return true;
    if (log.size() > kMaxPublicEvents) return fail("game log too long");
    int rounds = 0, bids = 0, plays = 0, tricks = 0, dealer = 0, trump = 0;
    uint64_t seen = 0;
    // This round as the log tells it, seat by seat, to be held against the
    // state: a resumed game goes on writing after it.
    std::array<int, kSeats + 1> bidOf{}, tricksOf{};
    std::array<uint64_t, kSeats + 1> playedBy{};
    auto roundWhole = [&] { return bids == kSeats && tricks == rules::handSize(s_.rules, rounds) && plays == kSeats * tricks; };
    for (const PublicEvent& e : log) {
      switch (e.kind) {
        case PublicEvent::Round:
          if ((rounds && !roundWhole()) || ++rounds > s_.roundNumber) return fail("game log rounds");
          if (e.a < 1 || e.a > kSeats || e.b < 1 || e.b > kDeckSize) return fail("game log round");
          dealer = e.a, trump = e.b, bids = plays = tricks = 0, seen = bit(trump);
          bidOf.fill(-1), playedBy.fill(0), tricksOf.fill(0);
          break;
        case PublicEvent::Bid:
          if (!rounds || plays || bids == kSeats || e.a < 1 || e.a > kSeats || e.b > rules::handSize(s_.rules, rounds))
            return fail("game log bid");
          bidOf[e.a] = e.b;
          ++bids;
          break;
        case PublicEvent::Play:
          if (bids != kSeats || plays >= kSeats * (tricks + 1) || e.a < 1 || e.a > kSeats || e.b < 1 ||
              e.b > kDeckSize || (seen & bit(e.b)))
            return fail("game log card");
          seen |= bit(e.b);
          playedBy[e.a] |= bit(e.b);
          ++plays;
          break;
        case PublicEvent::Trick:
          if (plays != kSeats * (tricks + 1) || e.a < 1 || e.a > kSeats || e.b) return fail("game log trick");
          ++tricksOf[e.a];
          ++tricks;
          break;
        default:
          return fail("game log event");
      }
    }
    int bidders = kSeats;
    if (bidding_) bidders = (s_.currentBidder - s_.leadSeat + kSeats) % kSeats;
    const int dealerNow = (s_.leadSeat + kSeats - 2) % kSeats + 1;
    if (rounds != s_.roundNumber || dealer != dealerNow || trump != s_.trumpCard || bids != bidders ||
        tricks != s_.tricksPlayed || plays != kSeats * s_.tricksPlayed + s_.cardsInTrick)
      return fail("game log not this game's");
    for (int seat = 1; seat <= kSeats; ++seat)
      if ((bidOf[seat] >= 0 && bidOf[seat] != s_.seats[seat].bid) || playedBy[seat] != s_.playedBy[seat] ||
          tricksOf[seat] != s_.seats[seat].tricks)
        return fail("game log not this round's bids, cards or tricks");
    return true;
  }

  const GameState& s_;
  std::string why_;
  bool bidding_ = false, roundPause_ = false;
};

}  // namespace

std::string checkState(const GameState& s) { return Checker(s).run(); }

}  // namespace ombrix
