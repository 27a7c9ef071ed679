#include "client/tablemodel.h"

#include <algorithm>

namespace ombrix::client {

namespace {

int bounded(int n) { return std::clamp(n, 0, TableModel::kMostCards); }

int suitOfCard(int card) { return ai::suitIx(ai::indexOf(card)); }

// Latin-1 letters without regard to case, as the spy list compares names.
unsigned char folded(unsigned char c) {
  const bool upper = (c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7);
  return upper ? static_cast<unsigned char>(c + 0x20) : c;
}
bool sameName(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return folded(static_cast<unsigned char>(x)) == folded(static_cast<unsigned char>(y));
         });
}

// Events that change the game, after which advice being worked out is stale.
bool movesTheGame(const TableEvent& e) {
  return std::visit(
      Handlers{[](const ev::GameStarted&) { return true; }, [](const ev::RoundStarted&) { return true; },
               [](const ev::Dealt&) { return true; }, [](const ev::Trump&) { return true; },
               [](const ev::BidAsked&) { return true; }, [](const ev::BidMade&) { return true; },
               [](const ev::Turn&) { return true; }, [](const ev::CardPlayed&) { return true; },
               [](const ev::TrickTaken&) { return true; }, [](const ev::Scored&) { return true; },
               [](const ev::SeatFound&) { return true; }, [](const ev::GameFound&) { return true; },
               [](const ev::GameOver&) { return true; }, [](const auto&) { return false; }},
      e);
}

}  // namespace

TableModel::TableModel() {
  for (int s = 1; s <= kSeats; ++s) names_[s] = kWaiting;
}

void TableModel::reset() {
  std::vector<TableObserver*> keep = std::move(observers_);
  *this = TableModel();
  observers_ = std::move(keep);
}

const std::string& TableModel::name(int slot) const {
  static const std::string none;
  return slot >= 1 && slot <= kLastSlot ? names_[slot] : none;
}

const std::string& TableModel::defaultName(int seat) {
  static const std::string names[kSeats + 1] = {"", "You", "Reza", "Vivav", "Derev"};
  return isSeat(seat) ? names[seat] : names[0];
}

bool TableModel::awaitsCard(int seat) const {
  const bool holds = std::any_of(hand_.begin() + 1, hand_.end(), [](int c) { return c != 0; });
  return player_ == seat && inTrick_ < kSeats && holds;
}

void TableModel::apply(const TableEvent& e) {
  for (TableObserver* o : observers_) o->before(e);
  std::visit([this](const auto& x) { on(x); }, e);
  if (movesTheGame(e)) ++serial_;
  for (TableObserver* o : observers_) o->after(e);
}

// --- The company -----------------------------------------------------------------

void TableModel::on(const ev::LogIn& e) {
  mySeat_ = e.slot;
  loggedIn_ = true;
}

void TableModel::on(const ev::Arrived& e) {
  if (e.slot >= 1 && e.slot <= kLastSlot) names_[e.slot] = e.name;
}

void TableModel::on(const ev::Departed& e) {
  if (e.slot == mySeat_) {
    loggedIn_ = false;  // the table closes
    return;
  }
  if (isSeat(e.slot)) {
    names_[e.slot] = defaultName(e.slot);  // the computer holds the seat now
    watching_[e.slot] = false;
  } else if (e.slot >= kFirstSpectator && e.slot <= kLastSlot && sameName(names_[e.slot], e.name)) {
    names_[e.slot].clear();
  }
}

void TableModel::on(const ev::JustWatching& e) {
  if (isSeat(e.seat)) watching_[e.seat] = e.watching;
}

// --- A late joiner -----------------------------------------------------------------

void TableModel::on(const ev::SeatFound& e) {
  if (!isSeat(e.seat)) return;
  scores_[e.seat] = e.score;
  tricks_[e.seat] = bounded(e.tricks);
  bids_[e.seat] = e.bid > 0 ? bounded(e.bid) : ai::kNotBid;  // a bid of 0 may yet be no bid at all
  for (int n = 1; n <= kSeats; ++n)
    if (e.played[n - 1] > 0) playedCard_[n] = e.played[n - 1];
  foundOnTable_ = {0, e.played[0], e.played[1], e.played[2], e.played[3]};
}

void TableModel::on(const ev::GameFound& e) {
  gameSeen_ = true;
  half_ = e.half;
  round_ = e.round;
  trump_ = e.trump;
  handSize_ = rules::handSize(rules_, e.round);
  for (int s = 1; s <= kSeats; ++s)
    if (names_[s] == kWaiting) names_[s] = defaultName(s);
  bidder_ = isSeat(e.bidder) ? e.bidder : 0;
  player_ = isSeat(e.turnSeat) ? e.turnSeat : 0;
  watch_.unseen();  // the round is under way: who kept to the rule in it cannot be told
  if (player_) {
    // The trick on the table: the cards of the seats just before the one on
    // turn, in the order they were played.
    int n = 0;
    while (n < kSeats - 1 && isCard(foundOnTable_[(player_ - 2 - n + 2 * kSeats) % kSeats + 1])) ++n;
    leader_ = (player_ - 1 - n + 2 * kSeats) % kSeats + 1;
    inTrick_ = 0;
    for (int k = 0; k < n; ++k) {
      const int seat = (leader_ - 1 + k) % kSeats + 1;
      playToTrick(seat, 0, foundOnTable_[seat]);
    }
    player_ = e.turnSeat;
    for (int s = 1; s <= kSeats; ++s)
      if (bids_[s] == ai::kNotBid) bids_[s] = 0;  // the bidding is over: a missing bid was 0
  }
  if (!opener_) opener_ = leader_;
  // The backs the other seats hold, as a table that saw the deal shows them:
  // the round's cards less one for each trick taken and one for a card of
  // theirs on the table.
  int taken = 0;
  for (int s = 1; s <= kSeats; ++s) taken += tricks_[s];
  for (int s = 1; s <= kSeats; ++s)
    if (s != mySeat_) cardsShown_[s] = std::max(0, handSize_ - taken - (isCard(foundOnTable_[s]) ? 1 : 0));
}

// --- The game ----------------------------------------------------------------------

void TableModel::on(const ev::GameStarted& e) {
  gameSeen_ = true;
  half_ = e.half;
  winner_.clear();
  for (int s = 1; s <= kSeats; ++s) {
    scores_[s] = 0;
    cardsShown_[s] = 0;
    if (names_[s] == kWaiting) names_[s] = defaultName(s);
    watching_[s] = false;
  }
  clearHand();
  watch_.startGame();
}

void TableModel::on(const ev::RoundStarted& e) {
  round_ = e.round;
  dealer_ = e.dealer;
  handSize_ = rules::handSize(rules_, e.round);
  opener_ = isSeat(e.dealer) ? e.dealer % kSeats + 1 : 0;
  bidder_ = player_ = inTrick_ = 0;
  leader_ = opener_;
  roundScored_ = false;
  bids_.fill(ai::kNotBid);
  tricks_ = {};
  cardsShown_ = {};
  trick_ = {};
  foundOnTable_ = {};
  record_ = {};
  clearHand();
}

void TableModel::on(const ev::Dealt& e) {
  if (!isSeat(e.seat)) return;
  if (e.seat == mySeat_) {
    // Only this seat's own cards are its hand: a face-up card sent for
    // another seat is no card this table holds.
    for (auto [position, card] : e.cards)
      if (position >= 1 && position <= kMostCards && isCard(card)) hand_[position] = card;
    return;
  }
  // The fan shows as many backs as the last position sent.
  const int count = e.cards.empty() ? 0 : e.cards.back().first;
  if (count != 0) cardsShown_[e.seat] = bounded(count);
}

void TableModel::on(const ev::Trump& e) {
  trump_ = e.card;
  if (isCard(e.card)) watch_.startRound(handSize_, e.card);
}

void TableModel::on(const ev::BidAsked& e) {
  handSize_ = bounded(e.handSize);
  if (!isSeat(e.bidder)) return;
  bidder_ = e.bidder;
  if (isSeat(e.leader)) opener_ = leader_ = e.leader;
}

void TableModel::on(const ev::BidMade& e) {
  if (!isSeat(e.seat)) return;
  bids_[e.seat] = bounded(e.bid);
  watch_.bid(e.seat, bids_[e.seat]);
}

void TableModel::on(const ev::Turn& e) {
  myTurn_ = e.seat == mySeat_;
  if (!isSeat(e.seat)) return;
  bidder_ = 0;
  player_ = e.seat;
  if (inTrick_ == 0) leader_ = e.seat;
}

void TableModel::on(const ev::CardPlayed& e) {
  if (!isSeat(e.seat)) return;
  playedCard_[e.seat] = e.card;
  if (e.seat == mySeat_) {
    if (e.position >= 1 && e.position <= kMostCards) hand_[e.position] = 0;
  } else {
    cardsShown_[e.seat] = std::max(0, cardsShown_[e.seat] - 1);
  }
  if (ledCard_ == 0) ledCard_ = e.card;
  if (isCard(e.card)) playToTrick(e.seat, e.position, e.card);
}

void TableModel::playToTrick(int seat, int position, int card) {
  if (inTrick_ >= kSeats) return;
  if (inTrick_ == 0) leader_ = seat;
  record_.play(seat, card, suitOfCard(inTrick_ == 0 ? card : trick_[0]));
  trick_[inTrick_++] = card;
  watch_.play(seat, position, card);
  player_ = 0;  // nobody plays until the next seat is named
}

void TableModel::on(const ev::CardRefused&) { myTurn_ = true; }

void TableModel::on(const ev::TrickTaken& e) {
  if (!isSeat(e.seat)) return;
  tricks_[e.seat] = bounded(e.tricks);
  lastTrick_ = {playedCard_, ledCard_, e.seat};
  ledCard_ = 0;
  leader_ = e.seat;
  inTrick_ = 0;
  trick_ = {};
}

void TableModel::on(const ev::Scored& e) {
  if (isSeat(e.seat)) scores_[e.seat] = e.total;
  // The first score of a round ends it: every card of it is known.
  if (!roundScored_) watch_.endRound();
  roundScored_ = true;
  player_ = bidder_ = 0;
}

void TableModel::on(const ev::RulesTold& e) {
  if (!e.known) return;  // rules this table cannot read: it follows the host's word
  rules_ = e.rules;
  watch_.setRules(rules_);
}

bool TableModel::mayBid(int bid) const {
  int total = 0, made = 0;
  for (int s = 1; s <= kSeats; ++s)
    if (s != mySeat_ && bids_[s] != ai::kNotBid) total += bids_[s], ++made;
  return rules::mayBid(rules_, bid, handSize_, total, made == kSeats - 1);
}

void TableModel::on(const ev::GameOver& e) {
  winner_ = e.names;
  myTurn_ = false;
  cardsShown_ = {};
  player_ = bidder_ = 0;
}

// --- The hint's view ---------------------------------------------------------------

ai::SeatView TableModel::seatView() const {
  ai::SeatView v;
  static_cast<ai::PublicRecord&>(v) = record_;
  v.seat = mySeat_;
  v.handSize = handSize_;
  v.scoring = &ai::Scoring::of(rules_);
  v.trumpCard = trump_;
  v.hand = hand_;
  v.opener = opener_ ? opener_ : mySeat_;
  v.bids = bids_;
  if (player_ != 0 || inTrick_ > 0)
    for (int s = 1; s <= kSeats; ++s)
      if (v.bids[s] == ai::kNotBid) v.bids[s] = 0;
  v.tricks = tricks_;
  v.scores = scores_;
  if (round_ >= 1) v.roundsLeft = std::max(0, rules::roundsOf(half_) - round_);
  v.leader = leader_ ? leader_ : v.opener;
  v.trick = trick_;
  v.inTrick = inTrick_;
  for (int s = 1; s <= kSeats; ++s) {
    v.classic[s] = watch_.classic(s);
    v.openPositions[s] = watch_.openPositions(s);
    for (int p = 1; p <= kMostCards; ++p) v.barred[s][p] = watch_.barred(s, p);
  }
  return v;
}

}  // namespace ombrix::client
