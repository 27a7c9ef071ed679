// Bidding and card play: bid, play, checkforsuit, findplayer.
#include "engine/game.h"

namespace ombrix {

void GameEngine::bid(int seat, int bid) {
  // Only the seat asked for a bid, only while bids are expected, and only a
  // bid the hand can make: anything else would restart or extend the chain.
  if (!gameInProgress || currentPlayer != 0 || currentBidder == 0) return;
  if (seat != currentBidder || bid < 0 || bid > handSize) return;
  if (!rules::mayBid(rules, bid, handSize, bidTotal, nextSeat(seat) == biddingStarter)) {
    // The hook forbids it: not taken, and the seat is asked again as it was.
    report(ev::BidAsked{seat, handSize, biddingStarter}, ev::Audience::only(seat));
    return;
  }

  seats[seat].bid = bid;
  ruleWatch.bid(seat, bid);
  logPublic({PublicEvent::Bid, static_cast<uint8_t>(seat), static_cast<uint8_t>(bid)});
  moved();
  bidTotal = seats[1].bid + seats[2].bid + seats[3].bid + seats[4].bid;
  report(ev::BidMade{seat, bid, bidTotal});

  const int next = nextSeat(seat);
  if (next == biddingStarter) {
    currentBidder = 0;
    currentPlayer = biddingStarter;
    biddingStarter = 0;
    report(ev::NextPlayer{currentPlayer});
    if (isComputer(currentPlayer)) computerTurn();
    return;
  }
  currentBidder = next;
  report(ev::BidAsked{next, handSize, biddingStarter});
  if (isComputer(next)) cbid(next, handSize);
}

bool GameEngine::checkforsuit(int seat) const { return rules::holdsSuit(seats[seat].hand, ledSuit); }

void GameEngine::play(int seat, int position) {
  if (!isSeat(seat) || seat != currentPlayer) return;
  // The fourth card waits a second on the table; nothing may change it.
  if (cardsInTrick >= kSeats) return;
  if (position == 0) {
    notices_.notice("Card does't exist");
    return;
  }
  if (position < 1 || position > kMaxHand) return;
  const int card = seats[seat].hand[position];
  if (card == kNoCard) return;

  const int suit = suitOf(card);
  if (cardsInTrick == 0) ledSuit = suit;
  if (!rules::mayPlay(card, ledSuit, checkforsuit(seat))) {
    if (!host_.occupant(seat).person)
      notices_.notice("computer played incorrectly");
    else
      report(ev::NeedSuit{seat, position}, ev::Audience::only(seat));
    return;
  }

  ++cardsInTrick;
  report(ev::CardPlayed{seat, position, card});
  seats[seat].played = card;
  seats[seat].hand[position] = kNoCard;
  record.play(seat, card, ledSuit - 1);
  logPublic({PublicEvent::Play, static_cast<uint8_t>(seat), static_cast<uint8_t>(card)});
  if (anyStrong())
    ruleWatch.play(seat, position, card);  // only Strong reads it
  else
    ruleWatch.unseen();
  moved();

  if (cardsInTrick == kSeats) {
    waitaminuteTag = kTagTrick;
    waitaminute->start(kPauseMs);
  } else {
    findplayer();
  }
}

void GameEngine::findplayer() {
  currentPlayer = nextSeat(currentPlayer);
  report(ev::NextPlayer{currentPlayer});
  if (isComputer(currentPlayer)) computerTurn();
}

}  // namespace ombrix
