// Bidding and card play: hisbid, playcard, checkforsuit, findplayer.
#include "engine/game.h"
#include "protocol/commands.h"
#include "protocol/fields.h"

namespace ombrix {

namespace build = wire::build;

void GameEngine::hisbid(std::string_view fields) {
  auto req = wire::parse::bid(fields);
  if (req) bidFor(req->slot, req->value);
}

void GameEngine::bidFor(int seat, int bid) {
  // Only the seat asked for a bid, only while bids are expected, and only a
  // bid the hand can make: anything else would restart or extend the chain.
  if (!gameInProgress || currentPlayer != 0 || currentBidder == 0) return;
  if (seat != currentBidder || bid < 0 || bid > handSize) return;
  if (!rules::mayBid(rules, bid, handSize, bidTotal, nextSeat(seat) == biddingStarter)) return;

  slots[seat].bid = bid;
  ruleWatch.bid(seat, bid);
  logPublic({PublicEvent::Bid, static_cast<uint8_t>(seat), static_cast<uint8_t>(bid)});
  moved();
  bidTotal = slots[1].bid + slots[2].bid + slots[3].bid + slots[4].bid;
  build::hisbid(msg_, seat, bid, bidTotal);
  announce(msg_);

  const int next = nextSeat(seat);
  if (next == biddingStarter) {
    currentBidder = 0;
    currentPlayer = biddingStarter;
    biddingStarter = 0;
    build::nextplayer(msg_, currentPlayer);
    announce(msg_);
    if (isComputer(currentPlayer)) computerTurn();
    return;
  }
  currentBidder = next;
  build::bidAsk(msg_, next, handSize, biddingStarter);
  announce(msg_);
  if (isComputer(next)) cbid(next, handSize);
}

void GameEngine::playcard(std::string_view fields) {
  auto req = wire::parse::playcardRequest(fields);
  if (req) playFor(req->slot, req->value);
}

bool GameEngine::checkforsuit(int seat) const { return rules::holdsSuit(slots[seat].hand, ledSuit); }

void GameEngine::playFor(int seat, int position) {
  if (!isSeat(seat) || seat != currentPlayer) return;
  // The fourth card waits a second on the table; nothing may change it.
  if (cardsInTrick >= kSeats) return;
  if (position == 0) {
    notices_.notice("Card does't exist");
    return;
  }
  if (position < 1 || position > kMaxHand) return;
  const int card = slots[seat].hand[position];
  if (card == kNoCard) return;

  const int suit = suitOf(card);
  if (cardsInTrick == 0) ledSuit = suit;
  if (!rules::mayPlay(card, ledSuit, checkforsuit(seat))) {
    if (!slots[seat].inUse) {
      notices_.notice("computer played incorrectly");
    } else {
      build::needsuit(msg_, seat, position);
      out_.send(seat, msg_);
    }
    return;
  }

  ++cardsInTrick;
  build::playcard(msg_, seat, position, card);
  announce(msg_);
  slots[seat].played = card;
  slots[seat].hand[position] = kNoCard;
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
  build::nextplayer(msg_, currentPlayer);
  announce(msg_);
  if (isComputer(currentPlayer)) computerTurn();
}

}  // namespace ombrix
