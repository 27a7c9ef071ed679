#include "tests/support/referee.h"

#include <array>
#include <cstdlib>
#include <map>
#include <sstream>

#include "base/cards.h"
#include "protocol/commands.h"

namespace ombrix::test {

namespace parse = wire::parse;

namespace {

struct Play {
  int seat, position, card;
  int64_t at, turnAt;  // when it was announced, when the seat came on turn
};

class Referee {
 public:
  Referee(const RefereeOptions& o, RefereeReport& r) : opt_(o), rep_(r) {}

  void feed(const Sent& m) {
    const auto [name, fields] = wire::splitCommand(m.text);
    now_ = m.at;
    ++index_;
    if (name == "CMD_startgame") return expect(phase_ == Phase::Start, m, "startgame out of place");
    if (name == "CMD_startround") return startround(m, fields);
    if (name == "CMD_placecard") return placecard(m, fields);
    if (name == "CMD_trump") return trump(m, fields);
    if (name == "CMD_bid") return bidAsk(m, fields);
    if (name == "CMD_hisbid") return hisbid(m, fields);
    if (name == "CMD_nextplayer") return nextplayer(m, fields);
    if (name == "CMD_playcard") return playcard(m, fields);
    if (name == "CMD_trickwinner") return trickwinner(m, fields);
    if (name == "CMD_score") return score(m, fields);
    if (name == "CMD_winner") return winner(m, fields);
    fault(m, "unexpected command");
  }

  void finish() {
    if (phase_ != Phase::Over) rep_.faults.push_back("the game did not end with CMD_winner");
  }

 private:
  enum class Phase { Start, Round, Hands, Trump, Bidding, Playing, Pause, Scoring, Over };

  void fault(const Sent& m, const std::string& what) {
    if (rep_.faults.size() < 20)
      rep_.faults.push_back("#" + std::to_string(index_) + " \"" + m.text + "\": " + what);
  }
  void expect(bool cond, const Sent& m, const std::string& what) {
    if (!cond) fault(m, what);
  }

  void startround(const Sent& m, std::string_view f) {
    auto v = parse::startround(f);
    if (!v) return fault(m, "unparsable");
    expect(phase_ == Phase::Start || phase_ == Phase::Scoring, m, "startround out of place");
    if (phase_ == Phase::Scoring) {
      expect(scores_ == kSeats, m, "round started before four scores");
      if (opt_.checkTiming) expect(now_ - lastScoreAt_ == 3000, m, "round pause is not 3 s");
    }
    ++round_;
    expect(v->first == round_, m, "round number");
    const int lead = nextSeat(v->second);
    if (round_ > 1) expect(lead == nextSeat(lead_), m, "opening seat did not advance by one");
    lead_ = lead;
    handSize_ = round_ <= 10 ? round_ : 21 - round_;
    if (opt_.downUp) handSize_ = round_ <= 10 ? 11 - round_ : round_ - 10;
    rep_.handSizes.push_back(handSize_);
    rep_.rounds = round_;
    phase_ = Phase::Hands;
    placed_ = 0;
    plays_.clear();
    bids_.fill(-1);
    tricks_.fill(0);
    scores_ = 0;
    tricksThisRound_ = 0;
  }

  void placecard(const Sent& m, std::string_view f) {
    auto v = parse::placecard(f);
    if (!v) return fault(m, "unparsable");
    expect(phase_ == Phase::Hands && v->seat == placed_ + 1, m, "placecard out of order");
    expect(static_cast<int>(v->cards.size()) == handSize_, m, "hand size");
    for (size_t k = 0; k < v->cards.size(); ++k)
      expect(v->cards[k].first == static_cast<int>(k) + 1 && v->cards[k].second == 0, m,
             "a spectator must see positions and zeros");
    if (++placed_ == kSeats) phase_ = Phase::Trump;
  }

  void trump(const Sent& m, std::string_view f) {
    auto v = parse::trump(f);
    if (!v) return fault(m, "unparsable");
    expect(phase_ == Phase::Trump && suitOf(*v) != kNoSuit, m, "trump out of place");
    trump_ = *v;
    phase_ = Phase::Bidding;
    bidder_ = lead_;
  }

  void bidAsk(const Sent& m, std::string_view f) {
    auto v = parse::bidAsk(f);
    if (!v) return fault(m, "unparsable");
    expect(phase_ == Phase::Bidding, m, "bid asked outside bidding");
    expect(v->bidder == bidder_ && v->handSize == handSize_ && v->firstPlayer == lead_, m, "bid ask fields");
  }

  void hisbid(const Sent& m, std::string_view f) {
    auto v = parse::hisbid(f);
    if (!v) return fault(m, "unparsable");
    expect(phase_ == Phase::Bidding && v->seat == bidder_, m, "bid out of turn");
    expect(v->bid >= 0 && v->bid <= handSize_, m, "bid out of range");
    bids_[v->seat] = v->bid;
    int total = 0;
    for (int s = 1; s <= kSeats; ++s) total += bids_[s] > 0 ? bids_[s] : 0;
    expect(v->total == total, m, "bid total");
    if (opt_.hook && nextSeat(bidder_) == lead_) expect(total != handSize_, m, "the hook: the last bid made the total");
    bidder_ = nextSeat(bidder_);
    if (bidder_ == lead_) {
      phase_ = Phase::Playing;
      expectTurn_ = lead_;
      awaitingNext_ = true;
    }
  }

  void nextplayer(const Sent& m, std::string_view f) {
    auto v = parse::nextplayer(f);
    if (!v) return fault(m, "unparsable");
    expect(phase_ == Phase::Playing && awaitingNext_ && *v == expectTurn_, m, "turn passed wrongly");
    awaitingNext_ = false;
    turnAt_ = now_;
  }

  void playcard(const Sent& m, std::string_view f) {
    auto v = parse::playcard(f);
    if (!v) return fault(m, "unparsable");
    expect(phase_ == Phase::Playing && !awaitingNext_ && v->seat == expectTurn_, m, "card out of turn");
    if (opt_.checkTiming && opt_.computerSeats[v->seat])
      expect(now_ - turnAt_ == opt_.botDelay, m, "computer card not after the bot delay");
    plays_.push_back({v->seat, v->position, v->card, now_, turnAt_});
    trick_[inTrick_++] = {v->seat, v->card};
    if (inTrick_ == kSeats) {
      phase_ = Phase::Pause;
      fourthAt_ = now_;
    } else {
      expectTurn_ = nextSeat(expectTurn_);
      awaitingNext_ = true;
    }
  }

  void trickwinner(const Sent& m, std::string_view f) {
    auto v = parse::trickwinner(f);
    if (!v) return fault(m, "unparsable");
    expect(phase_ == Phase::Pause, m, "trick resolved before its fourth card");
    if (opt_.checkTiming) expect(now_ - fourthAt_ == 1000, m, "trick pause is not 1 s");
    const int led = suitOf(trick_[0].second);
    int best = 0, bestRank = -1;
    for (int pass = 0; pass < 2 && best == 0; ++pass) {
      const int suit = pass == 0 ? suitOf(trump_) : led;
      for (auto [seat, card] : trick_)
        if (suitOf(card) == suit && rankOf(card) > bestRank) best = seat, bestRank = rankOf(card);
    }
    expect(v->first == best, m, "wrong trick winner (expected seat " + std::to_string(best) + ")");
    tricks_[best]++;
    expect(v->second == tricks_[best], m, "trick count");
    inTrick_ = 0;
    ++rep_.tricks;
    if (++tricksThisRound_ < handSize_) {
      phase_ = Phase::Playing;
      expectTurn_ = best;
      awaitingNext_ = true;
    } else {
      phase_ = Phase::Scoring;
      replayRound(m);
    }
  }

  void score(const Sent& m, std::string_view f) {
    auto v = parse::score(f);
    if (!v) return fault(m, "unparsable");
    expect(phase_ == Phase::Scoring && v->a == scores_ + 1, m, "score out of order");
    const int s = v->a;
    const int made = tricks_[s] == bids_[s];
    int points = made ? (bids_[s] == 0 ? 5 : bids_[s] + 10) : 0;
    if (opt_.scoring == 1) points = tricks_[s] + (made ? 10 : 0);
    if (opt_.scoring == 2) points = made ? 10 + 2 * bids_[s] : -2 * std::abs(tricks_[s] - bids_[s]);
    expect(v->c == points, m, "round points");
    total_[s] += points;
    expect(v->b == total_[s], m, "game total");
    ++scores_;
    lastScoreAt_ = now_;
  }

  void winner(const Sent& m, std::string_view f) {
    auto v = parse::winner(f);
    if (!v) return fault(m, "unparsable");
    expect(phase_ == Phase::Scoring && scores_ == kSeats, m, "winner out of place");
    expect(round_ == (opt_.halfGame ? 10 : 20), m, "game ended after the wrong round");
    if (opt_.checkTiming) expect(now_ - lastScoreAt_ == 3000, m, "end not 3 s after last scores");
    int best = total_[1];
    for (int s = 2; s <= kSeats; ++s) best = std::max(best, total_[s]);
    expect(v->best == best, m, "best score");
    rep_.winner = m.text;
    phase_ = Phase::Over;
  }

  // With the whole round known, check follow-suit and the computer's rules.
  void replayRound(const Sent& m) {
    std::array<std::array<int, 11>, 5> hand{};
    std::map<int, int> seen;
    for (const Play& p : plays_) {
      if (p.position < 1 || p.position > handSize_ || hand[p.seat][p.position] != 0)
        fault(m, "position played twice or out of range");
      else
        hand[p.seat][p.position] = p.card;
      if (seen[p.card]++) fault(m, "card " + std::to_string(p.card) + " dealt twice");
    }
    if (seen.count(trump_)) fault(m, "the trump card was also in a hand");
    for (int s = 1; s <= kSeats; ++s) {
      if (!opt_.computerSeats[s] || opt_.skilled[s]) continue;
      int count = 0;
      for (int k = 1; k <= handSize_; ++k)
        count += (suitOf(hand[s][k]) == suitOf(trump_)) + isAce(hand[s][k]);
      int want = std::min(count, handSize_);
      if (opt_.hook && nextSeat(s) == lead_) {
        int before = 0;
        for (int b = lead_; b != s; b = nextSeat(b)) before += bids_[b];
        if (before + want == handSize_) want = want > 0 ? want - 1 : want + 1;
      }
      if (bids_[s] != want) fault(m, "computer bid for seat " + std::to_string(s));
    }
    int led = 0;
    for (size_t i = 0; i < plays_.size(); ++i) {
      const Play& p = plays_[i];
      if (i % kSeats == 0) led = suitOf(p.card);
      auto& h = hand[p.seat];
      bool holdsLed = false;
      int firstLed = 0, firstAny = 0;
      for (int k = 1; k <= handSize_; ++k) {
        if (!h[k]) continue;
        if (!firstAny) firstAny = k;
        if (suitOf(h[k]) == led && !firstLed) firstLed = k, holdsLed = true;
      }
      if (suitOf(p.card) != led && holdsLed) fault(m, "seat " + std::to_string(p.seat) + " revoked");
      if (opt_.computerSeats[p.seat] && !opt_.skilled[p.seat]) {
        const int want = (i % kSeats != 0 && firstLed) ? firstLed : firstAny;
        if (p.position != want) fault(m, "computer card choice for seat " + std::to_string(p.seat));
      }
      h[p.position] = 0;
    }
  }

  const RefereeOptions& opt_;
  RefereeReport& rep_;
  Phase phase_ = Phase::Start;
  int index_ = 0;
  int64_t now_ = 0, turnAt_ = 0, fourthAt_ = 0, lastScoreAt_ = 0;
  int round_ = 0, lead_ = 0, handSize_ = 0, placed_ = 0, trump_ = 0, bidder_ = 0;
  int expectTurn_ = 0, inTrick_ = 0, scores_ = 0, tricksThisRound_ = 0;
  bool awaitingNext_ = false;
  std::array<int, 5> bids_{}, tricks_{}, total_{};
  std::array<std::pair<int, int>, 4> trick_{};
  std::vector<Play> plays_;
};

}  // namespace

std::string RefereeReport::summary() const {
  std::ostringstream o;
  o << rounds << " rounds, " << tricks << " tricks";
  for (const auto& f : faults) o << "\n  " << f;
  return o.str();
}

RefereeReport refereeGame(const std::vector<Sent>& stream, const RefereeOptions& options) {
  RefereeReport rep;
  Referee r(options, rep);
  for (const Sent& m : stream) r.feed(m);
  r.finish();
  return rep;
}

}  // namespace ombrix::test
