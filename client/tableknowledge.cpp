#include "client/tableknowledge.h"

#include "protocol/commands.h"

namespace ombrix::client {

namespace parse = wire::parse;
using ai::bit;
using ai::indexOf;
using ai::kNotBid;
using ai::SeatView;
using ai::suitIx;

namespace {
bool seatNumber(int s) { return s >= 1 && s <= 4; }
bool cardNumber(int c) { return c >= 1 && c <= ai::kCards; }
int scheduleSize(int round) { return round <= 10 ? round : 21 - round; }
}  // namespace

void TableKnowledge::startRound(int round, int dealer) {
  round_ = round;
  handSize_ = round >= 1 && round <= 20 ? scheduleSize(round) : 0;
  opener_ = seatNumber(dealer) ? dealer % 4 + 1 : 0;
  bidder_ = player_ = inTrick_ = 0;
  leader_ = opener_;
  scored_ = false;
  positions_ = {};
  hand_ = 0;
  bids_.fill(kNotBid);
  tricks_ = {};
  trick_ = {};
  onTable_ = {};
  record_ = {};
}

void TableKnowledge::play(int seat, int position, int card) {
  if (inTrick_ >= 4 || !seatNumber(seat) || !cardNumber(card)) return;
  if (inTrick_ == 0) leader_ = seat;
  record_.play(seat, card, suitIx(indexOf(inTrick_ == 0 ? card : trick_[0])));
  trick_[inTrick_++] = card;
  if (position >= 1 && position <= 10 && positions_[position] == card) {
    positions_[position] = 0;
    hand_ &= ~bit(indexOf(card));
  }
  watch_.play(seat, position, card);
  player_ = 0;  // nobody plays until the next seat is named
}

void TableKnowledge::observe(std::string_view name, std::string_view fields) {
  using A = wire::Announcement;
  const A kind = wire::lookupAnnouncement(name);
  switch (kind) {
    case A::StartGame:
      watch_.startGame();
      round_ = 0;
      break;
    case A::StartRound:
      if (auto v = parse::startround(fields)) startRound(v->first, v->second);
      break;
    case A::PlaceCard:
      if (auto v = parse::placecard(fields))
        for (auto [position, c] : v->cards)
          if (position >= 1 && position <= 10 && cardNumber(c)) {
            positions_[position] = c;
            hand_ |= bit(indexOf(c));
          }
      break;
    case A::Trump:
      if (auto v = parse::trump(fields); v && cardNumber(*v)) {
        trumpCard_ = *v;
        watch_.startRound(handSize_, trumpCard_);
      }
      break;
    case A::Bid:
      if (auto v = parse::bidAsk(fields); v && seatNumber(v->bidder)) {
        bidder_ = v->bidder;
        handSize_ = v->handSize;
        if (seatNumber(v->firstPlayer)) opener_ = leader_ = v->firstPlayer;
      }
      break;
    case A::HisBid:
      if (auto v = parse::hisbid(fields); v && seatNumber(v->seat)) {
        bids_[v->seat] = v->bid;
        watch_.bid(v->seat, v->bid);
      }
      break;
    case A::NextPlayer:
      if (auto v = parse::nextplayer(fields); v && seatNumber(*v)) {
        bidder_ = 0;
        player_ = *v;
        if (inTrick_ == 0) leader_ = *v;
      }
      break;
    case A::PlayCard:
      if (auto v = parse::playcard(fields); v && seatNumber(v->seat) && cardNumber(v->card))
        play(v->seat, v->position, v->card);
      break;
    case A::TrickWinner:
      if (auto v = parse::trickwinner(fields); v && seatNumber(v->first)) {
        tricks_[v->first] = v->second;
        leader_ = v->first;
        inTrick_ = 0;
        trick_ = {};
      }
      break;
    case A::Score:
      if (!scored_) watch_.endRound();
      scored_ = true;
      player_ = bidder_ = 0;
      break;
    case A::NewPlayerStuff:
      // A late joiner: bids, tricks and the cards on the table, but nothing
      // of the tricks before. A bid of 0 may yet be no bid at all.
      if (auto v = parse::newplayerstuff(fields); v && seatNumber(v->seat)) {
        bids_[v->seat] = v->bid > 0 ? v->bid : kNotBid;
        tricks_[v->seat] = v->tricks;
        onTable_ = {0, v->played[0], v->played[1], v->played[2], v->played[3]};
      }
      break;
    case A::Stats:
      if (auto v = parse::stats(fields)) {
        round_ = v->round;
        handSize_ = round_ >= 1 && round_ <= 20 ? scheduleSize(round_) : 0;
        if (cardNumber(v->trumpCard)) trumpCard_ = v->trumpCard;
        bidder_ = seatNumber(v->currentBidder) ? v->currentBidder : 0;
        player_ = seatNumber(v->currentPlayer) ? v->currentPlayer : 0;
        if (player_) {
          // The trick on the table: the cards of the seats just before the
          // one on turn, in the order they were played.
          int n = 0;
          while (n < 3 && cardNumber(onTable_[(player_ - 2 - n + 8) % 4 + 1])) ++n;
          leader_ = (player_ - 1 - n + 8) % 4 + 1;
          inTrick_ = 0;
          for (int k = 0; k < n; ++k) play((leader_ - 1 + k) % 4 + 1, 0, onTable_[(leader_ - 1 + k) % 4 + 1]);
          player_ = seatNumber(v->currentPlayer) ? v->currentPlayer : 0;
          for (int s = 1; s <= 4; ++s)
            if (bids_[s] == kNotBid) bids_[s] = 0;  // the bidding is over: a missing bid was 0
        }
        opener_ = opener_ ? opener_ : leader_;
      }
      break;
    case A::Winner:
      player_ = bidder_ = 0;
      break;
    default:
      return;  // not the game's: the serial stays
  }
  ++serial_;
}

SeatView TableKnowledge::view(int seat) const {
  SeatView v;
  v.seat = seat;
  v.handSize = handSize_;
  v.trumpCard = trumpCard_;
  v.hand = positions_;
  v.opener = opener_ ? opener_ : seat;
  v.bids = bids_;
  if (player_ != 0 || inTrick_ > 0)
    for (int s = 1; s <= 4; ++s)
      if (v.bids[s] == kNotBid) v.bids[s] = 0;
  v.tricks = tricks_;
  v.leader = leader_ ? leader_ : v.opener;
  v.trick = trick_;
  v.inTrick = inTrick_;
  static_cast<ai::PublicRecord&>(v) = record_;
  for (int s = 1; s <= 4; ++s) {
    v.classic[s] = watch_.classic(s);
    v.openPositions[s] = watch_.openPositions(s);
    for (int p = 1; p <= 10; ++p) v.barred[s][p] = watch_.barred(s, p);
  }
  return v;
}

}  // namespace ombrix::client
