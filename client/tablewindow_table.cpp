// The table window's game: seat mapping, the game commands and the hand.
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <algorithm>

#include "base/cards.h"
#include "client/tablewindow.h"
#include "client/tablewindow_util.h"
#include "client/tableevents.h"
#include "client/tablekeys.h"
#include "protocol/commands.h"
#include "ui/cardpictures.h"
#include "ui/designscale.h"
#include "ui/msgbox.h"
#include "windows/lasttrickform.h"
#include "windows/scoreform.h"
#include "windows/tallylistform.h"

namespace ombrix::client {

namespace build = wire::build;

namespace {
const char* const kFamilies[] = {"label_playername", "label_score",  "label_tricks",     "label_bid",
                                 "label_bidlabel",   "image_turn",   "image_eyes",       "image_cards",
                                 "image_played",     "image_winner", "image_trickwinner"};
const QColor kGrey(0x80, 0x80, 0x80);
constexpr int kHandTop = CardImage::kHandTop, kRaisedTop = CardImage::kRaisedTop, kSlotStep = 18, kSlotOrigin = 216;
constexpr int kFanBase = 66;  // a fan's width without its backs

void colour(QWidget* w, const QColor& c) {
  QPalette p = w->palette();
  p.setColor(QPalette::WindowText, c);
  w->setPalette(p);
}
int slotLeft(int slot) { return kSlotOrigin + kSlotStep * slot; }
}  // namespace

// --- Seat mapping ---------------------------------------------------------------

void Tchat::movestuff(int from, int to) {
  for (const char* f : kFamilies)
    if (QWidget* w = el(f, from)) w->setObjectName(QString(f) + QString::number(to));
}

void Tchat::sortstuff(int s) {
  // Parking number 0 frees a name while the others move round.
  static const std::vector<std::pair<int, int>> renames[5] = {
      {},
      {},
      {{2, 0}, {1, 2}, {4, 1}, {3, 4}, {0, 3}},
      {{3, 0}, {1, 3}, {0, 1}, {4, 0}, {2, 4}, {0, 2}},
      {{4, 0}, {1, 4}, {2, 1}, {3, 2}, {0, 3}}};
  if (s < 2 || s > 4) return;
  for (auto [a, b] : renames[s]) movestuff(a, b);
  turned_ = (turned_ + s - 1) % 4;
}

void Tchat::turnBack() {
  // Number s turns the seats by s - 1 places; the rest of the circle turns them home.
  if (turned_ != 0) sortstuff(4 - turned_ + 1);
  turned_ = 0;
}

// --- Game start and rounds ----------------------------------------------------------

void Tchat::startthegame(const ev::GameStarted& e) {
  prepareCards();
  gameRunning_ = true;
  enableHouseRules();
  const QString starter = fromWire(e.starter);
  JustWatch1->setChecked(false);
  button_start->hide();
  button_starthalf->hide();
  for (int n = 1; n <= 4; ++n) {
    el<QLabel>("label_score", n)->setText("0");
    el<QLabel>("label_bid", n)->setText("0");
    drawFan(n);
    el("image_winner", n)->hide();
    el<QLabel>("label_playername", n)->setText(caption(n));  // a waiting seat is the computer's now
    el("image_eyes", n)->hide();
  }
  removeHand();
  if (score) score->newGame(e.half);
  const QString type = e.half ? "HALF" : "FULL";
  addlinetochat(starter == wireName() ? "You have started a " + type + " game."
                                      : starter + " has started a " + type + " game.");
  if (!model_.rules().design()) {
    const QString rules = "House rules: " + QString::fromStdString(rules::format(model_.rules())) + ".";
    label_status1->setText(rules);
    addlinetochat(rules);
  }
  loadchecklist();
}

void Tchat::loadchecklist() {
  if (!tally) return;
  QStringList names;
  for (int n = 1; n <= 4; ++n)
    if (n != model_.mySeat() && caption(n) != TableModel::kWaiting) names << caption(n);
  tally->setPlayersInGame(names);
}

void Tchat::startround(const ev::RoundStarted& e) {
  const QString number = QString::number(e.round);
  label_round->setText("Round: " + number);
  const QString starting = e.dealer == model_.mySeat()
                               ? "Round " + number + " is starting! You are dealer."
                               : "Round " + number + " is starting! " + caption(e.dealer) + " is dealer.";
  // The first round leaves the house rules on the first line, said at the
  // game's start, until the first trick.
  (e.round == 1 && !model_.rules().design() ? label_status2 : label_status1)->setText(starting);
  for (int n = 1; n <= 4; ++n) {
    drawFan(n);
    el<QLabel>("label_bid", n)->setText("0");
    el<QLabel>("label_tricks", n)->setText("0");
    colour(el("label_bid", n), kGrey);
    colour(el("label_bidlabel", n), kGrey);
    el<ui::CardLabel>("image_played", n)->setCard(-1);
    el<ui::CardLabel>("image_played", n)->setHighlighted(false);
    el("image_trickwinner", n)->hide();
  }
  removeHand();
}

void Tchat::trump(const ev::Trump& e) { trumpcard->setCard(e.card); }

void Tchat::setBidBoxVisible(bool on) {
  for (QWidget* w :
       std::initializer_list<QWidget*>{edit_bid, label_bidcaption, updown_bid, label_firstplay, button_bid})
    w->setVisible(on);
}

void Tchat::mybid(const ev::BidAsked& e) {
  const int bidder = e.bidder, leader = e.leader, size = model_.handSize();
  const bool mine = bidder == model_.mySeat();
  label_end->setText("");
  if (edit_bid->text().toInt() > size) edit_bid->setText(QString::number(size));
  const QString asked = mine ? QString("Your bid..") : caption(bidder) + " Bid..";
  label_status2->setText(asked);
  label_turn->setText(asked);
  if (mine) playsounds("bid");
  for (int n = 1; n <= 4; ++n) el("image_turn", n)->hide();
  if (QWidget* t = el("image_turn", bidder)) t->show();
  label_firstplay->setText(leader == model_.mySeat() ? "You will play first"
                                                     : caption(leader) + " will play first");
  edit_bid->setProperty("maximum", size);  // the up-down arrows stop there
  setBidBoxVisible(mine);
}

void Tchat::hisbid(const ev::BidMade& e) {
  label_end->setText("");
  setBidBoxVisible(false);
  const int bidder = e.seat;
  if (!TableModel::isSeat(bidder)) return;  // bidder 0: only the box goes
  const QString bid = QString::number(e.bid);
  el<QLabel>("label_bid", bidder)->setText(bid);
  colour(el("label_bid", bidder), Qt::black);
  colour(el("label_bidlabel", bidder), Qt::black);
  label_status2->setText(bidder == model_.mySeat() ? "You bid: " + bid : caption(bidder) + " bids: " + bid);
  label_totalbids->setText("Total Bids: " + QString::number(e.total));
}

void Tchat::button_bidClick() {
  // Only a plain decimal number reaches the host, which refuses anything
  // else: a bid it drops would leave this seat waiting with its button gone.
  const QString text = edit_bid->text();
  const auto bid = wire::parseDecimal(toWire(text));
  if (!bid) {
    ui::messageBox("'" + text + "' is not a valid integer value");
    return;
  }
  const int limit = model_.handSize();
  if (*bid > limit) {
    ui::messageBox("You can't bid more then " + QString::number(limit) + ".");
    return;
  }
  if (!model_.mayBid(*bid)) {
    ui::messageBox("The hook: the last bid may not make the bids total " + QString::number(limit) +
                   ". Bid another number.");
    return;
  }
  if (!model_.loggedIn()) return;
  send(rq::Bid{model_.mySeat(), *bid});
  edit_bid->setText("0");
  button_bid->hide();
}

void Tchat::getnextplayer(const ev::Turn& e) {
  const int seat = e.seat;
  for (int n = 1; n <= 4; ++n) el("image_turn", n)->hide();
  if (QWidget* t = el("image_turn", seat)) t->show();
  if (seat == model_.mySeat()) {
    label_turn->setText("Your Turn.");
    label_status2->setText("Your Turn");
    playsounds(turnSound_ == 1 ? "turnnew" : "turn");
  } else {
    label_turn->setText(caption(seat) + "'s turn.");
    label_status2->setText(caption(seat) + "'s turn.");
  }
}

void Tchat::trickwinner(const ev::TrickTaken& e) {
  const int w = e.seat;
  if (!TableModel::isSeat(w)) return;
  const bool mine = w == model_.mySeat();
  for (int n = 1; n <= 4; ++n) el("image_turn", n)->hide();
  label_status2->setText("");
  label_status1->setText(mine ? "You won the trick!" : caption(w) + " won the trick.");
  el("image_trickwinner", w)->show();
  el<QLabel>("label_tricks", w)->setText(QString::number(e.tricks));
  for (int n = 1; n <= 4; ++n) {
    auto* played = el<ui::CardLabel>("image_played", n);
    played->setCard(-1);
    played->setHighlighted(false);
  }
  const TableModel::LastTrick& last = model_.lastTrick();
  if (lastTrick)
    lastTrick->fill(mine ? "You won this trick." : caption(w) + " won this trick.", last.cards,
                    model_.trump(), last.led);
  if (mine) playsounds("taketrick");
}

void Tchat::scoreit(const ev::Scored& e) {
  const int seat = e.seat;
  if (!TableModel::isSeat(seat)) return;
  const QString total = QString::number(e.total), points = QString::number(e.points);
  el<QLabel>("label_score", seat)->setText(total);
  if (score) score->scored(seat, model_.round(), points, total);
  if (seat == model_.mySeat()) {
    // The design scores nothing for a miss; other scorings may, or take away.
    const bool made = model_.rules().scoring == rules::Scoring::Design
                          ? e.points != 0
                          : std::max(model_.bid(seat), 0) == model_.tricks(seat);
    playsounds(made ? "turnovergood" : "turnoverbad");
    label_end->setText(made ? "You Made your Bid!" : "You did not make your Bid!");
  }
  if (score && ShowScorecard1->isChecked()) score->show();
}

void Tchat::houseRules(const ev::RulesTold& e) {
  const QString list = fromWire(e.list);
  if (score) score->setRules(e.known && e.rules.design() ? QString() : list);
  if (!e.known) addlinetochat("The host plays by house rules this table does not know: " + list + ".");
  // Slot 1's menu shows what the host plays by.
  if (e.known && model_.mySeat() == 1) useHouseRules(e.rules, false);
}

void Tchat::winner(const ev::GameOver& e) {
  gameRunning_ = false;
  enableHouseRules();
  const QString names = fromWire(e.names), best = QString::number(e.best);
  label_status1->setText(names + " won the game.");
  label_status2->setText("Winning Score: " + best);
  label_end->setText("Game Over!");
  label_end->show();
  for (int n = 1; n <= 4; ++n) {
    el("image_winner", n)->setVisible(names.contains(caption(n)));
    drawFan(n);
  }
  // Only a seated player has a game to count; a name that is empty would be
  // found in every winner text.
  // The name is compared as the host has it: the single-byte text this
  // table sent ("Zoë" stays "Zoë"; a character Latin-1 lacks became "?").
  const QString me = wireName();
  const bool iWon = !me.isEmpty() && names.contains(me);
  if (tally && model_.seated()) {
    tally->addgame(iWon ? "addtomine" : names);
    if (iWon) tally->addtomine(2);
  }
  if (iWon) playsounds("winner");
  if (hostPlayer()) {
    button_start->show();
    button_starthalf->show();
    StartGame1->setEnabled(true);
    StartHalfGame1->setEnabled(true);
  }
}

void Tchat::button_startClick() {
  if (!model_.loggedIn()) return ui::messageBox("You are not connected.");
  send(rq::StartGame{toWire(myName), false});
}

void Tchat::StartHalfGame1Click() {
  if (!model_.loggedIn()) return ui::messageBox("You are not connected.");
  send(rq::StartGame{toWire(myName), true});
}

// --- Late join --------------------------------------------------------------------

void Tchat::newplayerstuff(const ev::SeatFound& e) {
  const int seat = e.seat;
  if (!TableModel::isSeat(seat)) return;
  el<QLabel>("label_bid", seat)->setText(QString::number(e.bid));
  el<QLabel>("label_tricks", seat)->setText(QString::number(e.tricks));
  el<QLabel>("label_score", seat)->setText(QString::number(e.score));
  for (int n = 1; n <= 4; ++n) {
    const int card = e.played[n - 1];
    if (card <= 0) continue;
    auto* p = el<ui::CardLabel>("image_played", n);
    p->setCard(card);
    p->raise();
  }
}

void Tchat::stats(const ev::GameFound& e) {
  gameRunning_ = true;
  enableHouseRules();
  prepareCards();
  label_round->setText("Round: " + QString::number(e.round));
  if (score) score->joinedGame(e.half);
  if (score && !resumedRows_.empty()) {
    // A resumed game's rounds, which no announcement repeats.
    std::array<int, 5> totals{};
    for (size_t r = 0; r < resumedRows_.size(); ++r)
      for (int seat = 1; seat <= 4; ++seat) {
        totals[seat] += resumedRows_[r][seat];
        score->scored(seat, static_cast<int>(r) + 1, QString::number(resumedRows_[r][seat]),
                      QString::number(totals[seat]));
      }
    resumedRows_.clear();
  }
  trumpcard->setCard(e.trump);
  for (int n = 1; n <= 4; ++n) {
    el<QLabel>("label_playername", n)->setText(caption(n));
    drawFan(n);
  }
}

// --- The hand -------------------------------------------------------------------------

void Tchat::drawFan(int seat) {
  auto* fan = el<ui::CardLabel>("image_cards", seat);
  if (!fan) return;
  const int count = seat == model_.mySeat() ? 0 : model_.cardsShown(seat);
  ui::designResize(fan, {kFanBase + ui::CardLabel::kFanStep * count, ui::CardPictures::kHeight});
  fan->setFan(count);
}

void Tchat::placecard(const ev::Dealt& e) {
  const int seat = e.seat;
  if (!TableModel::isSeat(seat)) return;
  el<ui::CardLabel>("image_cards", seat)->setFan(0);
  el<ui::CardLabel>("image_played", seat)->setCard(-1);
  if (seat == model_.mySeat()) {
    // The hand is the model's: the cards this seat holds, by position.
    removeHand();
    for (int p = 1; p <= TableModel::kMostCards; ++p)
      if (const int card = model_.hand()[p]) createcard(p, card);
    sortthem();
  } else if (!e.cards.empty() && e.cards.back().first != 0) {
    drawFan(seat);  // as many backs as the last position sent, at most a hand's
  }
}

void Tchat::createcard(int position, int card) {
  int slot = 1;
  while (slot <= 10 && !handSlots_[slot].free) ++slot;
  if (slot > 10) return;  // a hand never holds more than ten
  auto* img = new CardImage(tableArea, position, card);
  handSlots_[slot] = {false, position};
  ui::designMove(img, {slotLeft(slot), kHandTop});
  img->onPress = [this](CardImage* c, Qt::MouseButton b) { cardimagesMouseDown(c, b); };
  for (int s = slot; s <= 10; ++s)
    if (!handSlots_[s].free)
      if (auto* c = cardImage(handSlots_[s].handPosition)) c->raise();
}

void Tchat::sortthem() {
  auto imageAt = [this](int s) { return cardImage(handSlots_[s].handPosition); };
  for (int pass = 0; pass < 10; ++pass)
    for (int n = 10; n >= 2; --n) {
      if (handSlots_[n].free || handSlots_[n - 1].free) continue;
      CardImage *a = imageAt(n - 1), *b = imageAt(n);
      if (a && b && a->card > b->card) {
        std::swap(handSlots_[n - 1].handPosition, handSlots_[n].handPosition);
        ui::designMove(a, {slotLeft(n), ui::designRect(a).y()});
        ui::designMove(b, {slotLeft(n - 1), ui::designRect(b).y()});
      }
    }
  for (int s = 1; s <= 10; ++s)
    if (!handSlots_[s].free)
      if (CardImage* c = imageAt(s)) {
        ui::designMove(c, {ui::designRect(c).x(), kHandTop});
        c->raise();
      }
}

void Tchat::movecards(int position) {
  int at = 1;
  while (at <= 10 && (handSlots_[at].free || handSlots_[at].handPosition != position)) ++at;
  if (at > 10) return;
  handSlots_[at] = {};
  for (int s = at + 1; s <= 10; ++s) {
    if (handSlots_[s].free) continue;
    if (auto* c = cardImage(handSlots_[s].handPosition)) {
      ui::designMove(c, {slotLeft(s - 1), ui::designRect(c).y()});
      c->raise();
      c->show();
    }
    handSlots_[s - 1] = handSlots_[s];
    handSlots_[s] = {};
  }
  for (CardImage* c : cardImages())
    if (ui::designRect(c).y() != kHandTop) ui::designMove(c, {ui::designRect(c).x(), kHandTop});
}

// CardImage has no meta-object of its own, so findChild would take any label
// for one: the hand is found by dynamic type instead.
std::vector<CardImage*> Tchat::cardImages() const {
  std::vector<CardImage*> out;
  for (QObject* o : tableArea->children())
    if (auto* c = dynamic_cast<CardImage*>(o)) out.push_back(c);
  return out;
}

std::vector<CardImage*> Tchat::handInOrder() const {
  std::array<CardImage*, 11> bySlot{};  // one pass over the cards, placed by their slots
  for (CardImage* c : cardImages())
    for (int s = 1; s <= 10; ++s)
      if (!handSlots_[s].free && handSlots_[s].handPosition == c->handPosition) bySlot[s] = c;
  std::vector<CardImage*> out;
  for (CardImage* c : bySlot)
    if (c) out.push_back(c);
  return out;
}

CardImage* Tchat::cardImage(int position) const {
  for (CardImage* c : cardImages())
    if (c->handPosition == position) return c;
  return nullptr;
}

void Tchat::removeHand() {
  for (CardImage* c : cardImages()) delete c;
  for (auto& s : handSlots_) s = {};
}

void Tchat::cardimagesMouseDown(CardImage* card, Qt::MouseButton button) {
  if (button == Qt::RightButton) return sortthem();
  if (button != Qt::LeftButton || !model_.loggedIn() || !model_.myTurn()) return;
  const std::vector<CardImage*> playable = markable(*this);
  if (std::find(playable.begin(), playable.end(), card) == playable.end()) {
    // A card the rules do not allow now: said, and nothing goes to the host.
    label_status1->setText("You must follow suit: play " + windows::Tlasttrick::suitName(model_.ledCard()) + ".");
    playsounds("turnoverbad");
    return;
  }
  if (ui::designRect(card).y() == kRaisedTop) {
    ui::designMove(card, {ui::designRect(card).x(), kHandTop});
    return;
  }
  card->hinted = false;
  ui::designMove(card, {ui::designRect(card).x(), kRaisedTop});
  model_.cardSent();
  send(rq::PlayCard{model_.mySeat(), card->handPosition});
  markPlayable();
}

void Tchat::markPlayable() {
  const bool turn = model_.myTurn();
  const std::vector<CardImage*> playable = markable(*this);
  for (CardImage* c : cardImages())
    c->setDimmed(turn && std::find(playable.begin(), playable.end(), c) == playable.end());
}

void Tchat::playcard(const ev::CardPlayed& e) {
  const int seat = e.seat, position = e.position;
  if (!TableModel::isSeat(seat)) return;
  setBidBoxVisible(false);
  auto* p = el<ui::CardLabel>("image_played", seat);
  p->setCard(e.card);
  p->raise();
  if (seat == model_.mySeat()) {
    delete cardImage(position);
    movecards(position);
  } else {
    drawFan(seat);
  }
  for (int n = 1; n <= 4; ++n) el("image_trickwinner", n)->hide();
  // The trick complete: the card that takes it is marked while it rests.
  if (model_.inTrick() == TableModel::kSeats)
    if (auto* w = el<ui::CardLabel>("image_played", trickTaker())) w->setHighlighted(true);
  playsounds("placecard");
}

int Tchat::trickTaker() const {
  // The highest trump, else the highest card of the suit led.
  const auto& cards = model_.trick();
  const int trumpSuit = suitOf(model_.trump());
  int best = 0;
  for (int k = 1; k < TableModel::kSeats; ++k) {
    const int c = cards[k], w = cards[best];
    if ((suitOf(c) == suitOf(w) && c > w) || (suitOf(c) == trumpSuit && suitOf(w) != trumpSuit)) best = k;
  }
  return (model_.leader() - 1 + best) % TableModel::kSeats + 1;
}

void Tchat::needsuit() {
  sortthem();
  playsounds("turnoverbad");
}

}  // namespace ombrix::client
