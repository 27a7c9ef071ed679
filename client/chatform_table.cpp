// The table window's game: seat mapping, the game commands and the hand.
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <algorithm>

#include "client/chatform.h"
#include "client/chatform_util.h"
#include "protocol/commands.h"
#include "ui/cardpictures.h"
#include "ui/msgbox.h"
#include "windows/lasttrickform.h"
#include "windows/scoreform.h"
#include "windows/tallylistform.h"

namespace ombrix::client {

namespace parse = wire::parse;
namespace build = wire::build;

namespace {
const char* const kFamilies[] = {"label_playername", "label_score",  "label_tricks",     "label_bid",
                                 "label_bidlabel",   "image_turn",   "image_eyes",       "image_cards",
                                 "image_played",     "image_winner", "image_trickwinner"};
const QColor kGrey(0x80, 0x80, 0x80);
constexpr int kHandTop = 320, kRaisedTop = 316, kSlotStep = 18, kSlotOrigin = 216;
constexpr int kMostCards = 10;  // a hand never holds more

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
}

// --- Game start and rounds ----------------------------------------------------------

void Tchat::startthegame(std::string_view f) {
  wire::BadField bad;
  const auto g = need(parse::startgame(f, &bad), bad);
  const QString starter = fromWire(g.starter);
  JustWatch1->setChecked(false);
  button_start->hide();
  button_starthalf->hide();
  for (int n = 1; n <= 4; ++n) {
    el<QLabel>("label_score", n)->setText("0");
    el<QLabel>("label_bid", n)->setText("0");
    cardCount[n] = 0;
    drawFan(n);
    el("image_winner", n)->hide();
    if (caption(n) == "<Waiting>") el<QLabel>("label_playername", n)->setText(defaultNames[n]);
    el("image_eyes", n)->hide();
  }
  removeHand();
  const bool half = g.kind == "h";
  if (score) score->newGame(half);
  const QString type = half ? "HALF" : "FULL";
  addlinetochat(starter == wireName() ? "You have started a " + type + " game."
                                      : starter + " has started a " + type + " game.");
  loadchecklist();
}

void Tchat::loadchecklist() {
  if (!tally) return;
  QStringList names;
  for (int n = 1; n <= 4; ++n)
    if (n != mySeat && caption(n) != "<Waiting>") names << caption(n);
  tally->setPlayersInGame(names);
}

void Tchat::startround(std::string_view f) {
  wire::BadField bad;
  const auto r = need(parse::startround(f, &bad), bad);
  const int round = r.first, dealer = r.second;
  const QString number = QString::number(round);
  shownRound = round;
  label_round->setText("Round: " + number);
  label_status1->setText(dealer == mySeat
                             ? "Round " + number + " is starting! You are dealer."
                             : "Round " + number + " is starting! " + caption(dealer) + " is dealer.");
  for (int n = 1; n <= 4; ++n) {
    cardCount[n] = 0;
    drawFan(n);
    el<QLabel>("label_bid", n)->setText("0");
    el<QLabel>("label_tricks", n)->setText("0");
    colour(el("label_bid", n), kGrey);
    colour(el("label_bidlabel", n), kGrey);
    el<QLabel>("image_played", n)->clear();
    el("image_trickwinner", n)->hide();
  }
  removeHand();
}

void Tchat::trump(std::string_view f) {
  wire::BadField bad;
  trumpShown = need(parse::trump(f, &bad), bad);
  trumpcard->clear();
  trumpcard->setPixmap(ui::CardPictures::instance().picture(trumpShown));
}

void Tchat::setBidBoxVisible(bool on) {
  for (QWidget* w :
       std::initializer_list<QWidget*>{edit_bid, label_bidcaption, updown_bid, label_firstplay, button_bid})
    w->setVisible(on);
}

void Tchat::mybid(std::string_view f) {
  wire::BadField bad;
  const auto b = need(parse::bidAsk(f, &bad), bad);
  const int bidder = b.bidder, size = b.handSize, leader = b.firstPlayer;
  label_end->setText("");
  if (edit_bid->text().toInt() > size) edit_bid->setText(QString::number(size));
  if (bidder == mySeat) {
    label_status2->setText("Your bid..");
    label_turn->setText("Your bid..");
    playsounds("bid");
  } else {
    label_status2->setText(caption(bidder) + " Bid..");
    label_turn->setText(caption(bidder) + " Bid..");
  }
  for (int n = 1; n <= 4; ++n) el("image_turn", n)->hide();
  if (QWidget* t = el("image_turn", bidder)) t->show();
  label_firstplay->setText(leader == mySeat ? "You will play first" : caption(leader) + " will play first");
  bidLimit = size;
  edit_bid->setProperty("maximum", size);  // the up-down arrows stop there
  setBidBoxVisible(bidder == mySeat);
}

void Tchat::hisbid(std::string_view f) {
  label_end->setText("");
  setBidBoxVisible(false);
  wire::BadField bad;
  const auto h = need(parse::hisbid(f, &bad), bad);
  const int bidder = h.seat;
  if (bidder < 1 || bidder > 4) return;  // bidder 0: only the box goes
  const QString bid = QString::number(h.bid);
  el<QLabel>("label_bid", bidder)->setText(bid);
  colour(el("label_bid", bidder), Qt::black);
  colour(el("label_bidlabel", bidder), Qt::black);
  label_status2->setText(bidder == mySeat ? "You bid: " + bid : caption(bidder) + " bids: " + bid);
  label_totalbids->setText("Total Bids: " + QString::number(h.total));
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
  if (*bid > bidLimit) {
    ui::messageBox("You can't bid more then " + QString::number(bidLimit) + ".");
    return;
  }
  if (!loggedIn) return;
  std::string m;
  build::bid(m, mySeat, *bid);
  send(m);
  edit_bid->setText("0");
  button_bid->hide();
}

void Tchat::getnextplayer(std::string_view f) {
  wire::BadField bad;
  const int seat = need(parse::nextplayer(f, &bad), bad);
  turnSeat = seat;
  for (int n = 1; n <= 4; ++n) el("image_turn", n)->hide();
  if (QWidget* t = el("image_turn", seat)) t->show();
  if (seat == mySeat) {
    label_turn->setText("Your Turn.");
    label_status2->setText("Your Turn");
    myTurn = true;
    playsounds(turnSound == 1 ? "turnnew" : "turn");
  } else {
    label_turn->setText(caption(seat) + "'s turn.");
    label_status2->setText(caption(seat) + "'s turn.");
    myTurn = false;
  }
}

void Tchat::trickwinner(std::string_view f) {
  wire::BadField bad;
  const auto t = need(parse::trickwinner(f, &bad), bad);
  const int w = t.first;
  if (w < 1 || w > 4) return;
  for (int n = 1; n <= 4; ++n) el("image_turn", n)->hide();
  label_status2->setText("");
  const QString winnerText = w == mySeat ? "You won this trick." : caption(w) + " won this trick.";
  label_status1->setText(w == mySeat ? "You won the trick!" : caption(w) + " won the trick.");
  el("image_trickwinner", w)->show();
  el<QLabel>("label_tricks", w)->setText(QString::number(t.second));
  for (int n = 1; n <= 4; ++n) el<QLabel>("image_played", n)->clear();
  if (lastTrick) lastTrick->fill(winnerText, playedCard, trumpShown, ledCard);
  ledCard = 0;
  if (w == mySeat) playsounds("taketrick");
}

void Tchat::scoreit(std::string_view f) {
  wire::BadField bad;
  const auto r = need(parse::score(f, &bad), bad);
  const int seat = r.a;
  if (seat < 1 || seat > 4) return;
  const QString total = QString::number(r.b), points = QString::number(r.c);
  el<QLabel>("label_score", seat)->setText(total);
  if (score) score->scored(seat, shownRound, points, total);
  if (seat == mySeat) {
    const bool made = r.c != 0;
    playsounds(made ? "turnovergood" : "turnoverbad");
    label_end->setText(made ? "You Made your Bid!" : "You did not make your Bid!");
  }
  if (score && ShowScorecard1->isChecked()) score->show();
}

void Tchat::winner(std::string_view f) {
  wire::BadField bad;
  const auto w = need(parse::winner(f, &bad), bad);
  const QString names = fromWire(w.names), best = QString::number(w.best);
  label_status1->setText(names + " won the game.");
  label_status2->setText("Winning Score: " + best);
  label_end->setText("Game Over!");
  label_end->show();
  for (int n = 1; n <= 4; ++n) {
    el("image_winner", n)->setVisible(names.contains(caption(n)));
    cardCount[n] = 0;
    drawFan(n);
  }
  // Only a seated player has a game to count; a name that is empty would be
  // found in every winner text.
  // The name is compared as the host has it: the single-byte text this
  // table sent ("Zoë" stays "Zoë"; a character Latin-1 lacks became "?").
  const QString me = wireName();
  const bool iWon = !me.isEmpty() && names.contains(me);
  if (tally && mySeat >= 1 && mySeat <= 4) {
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
  myTurn = false;
}

void Tchat::button_startClick() {
  if (!loggedIn) return ui::messageBox("You are not connected.");
  std::string m;
  build::startgameRequest(m, toWire(myName), false);
  send(m);
}

void Tchat::StartHalfGame1Click() {
  if (!loggedIn) return ui::messageBox("You are not connected.");
  std::string m;
  build::startgameRequest(m, toWire(myName), true);
  send(m);
}

// --- Late join --------------------------------------------------------------------

void Tchat::newplayerstuff(std::string_view f) {
  wire::BadField bad;
  const auto s = need(parse::newplayerstuff(f, &bad), bad);
  const int seat = s.seat;
  if (seat < 1 || seat > 4) return;
  el<QLabel>("label_bid", seat)->setText(QString::number(s.bid));
  el<QLabel>("label_tricks", seat)->setText(QString::number(s.tricks));
  el<QLabel>("label_score", seat)->setText(QString::number(s.score));
  for (int n = 1; n <= 4; ++n) {
    const int card = s.played[n - 1];
    if (card <= 0) continue;
    playedCard[n] = card;
    auto* p = el<QLabel>("image_played", n);
    p->setPixmap(ui::CardPictures::instance().picture(card));
    p->raise();
  }
}

void Tchat::stats(std::string_view f) {
  wire::BadField bad;
  const auto s = need(parse::stats(f, &bad), bad);
  turnSeat = s.currentPlayer;
  label_round->setText("Round: " + QString::number(s.round));
  shownRound = s.round;
  if (score) score->joinedGame(s.gameKind == "h");
  trumpShown = s.trumpCard;
  trumpcard->clear();
  trumpcard->setPixmap(ui::CardPictures::instance().picture(trumpShown));
  for (int n = 1; n <= 4; ++n)
    if (caption(n) == "<Waiting>") el<QLabel>("label_playername", n)->setText(defaultNames[n]);
}

// --- The hand -------------------------------------------------------------------------

void Tchat::drawFan(int seat) {
  auto* fan = el<QLabel>("image_cards", seat);
  if (!fan) return;
  const int count = seat == mySeat ? 0 : cardCount[seat];
  fan->resize(66 + 5 * count, 96);
  fan->clear();
  if (count == 0) return;
  const QPixmap& back = ui::CardPictures::instance().picture(0);
  QPixmap p(QSize(66 + 5 * count, 96) * back.devicePixelRatio());
  p.setDevicePixelRatio(back.devicePixelRatio());
  p.fill(Qt::transparent);
  QPainter g(&p);
  for (int i = 1; i <= count; ++i) g.drawPixmap(5 * (i - 1), 0, back);
  g.end();
  fan->setPixmap(p);
}

void Tchat::placecard(std::string_view f) {
  wire::BadField bad;
  const auto pc = need(parse::placecard(f, &bad), bad);
  const int seat = pc.seat;
  if (seat < 1 || seat > 4) return;
  el<QLabel>("image_cards", seat)->clear();
  el<QLabel>("image_played", seat)->clear();
  int count = 0;
  for (const auto& [pos, card] : pc.cards) {
    if (seat == mySeat) createcard(pos, card);
    count = pos;
  }
  if (seat == mySeat) {
    sortthem();
  } else if (count != 0) {
    // The fan shows as many backs as the last position sent; a host's number
    // beyond a hand draws no wider fan (nor one billions of pixels wide).
    cardCount[seat] = std::clamp(count, 0, kMostCards);
    drawFan(seat);
  }
}

void Tchat::createcard(int position, int card) {
  int slot = 1;
  while (slot <= 10 && !handSlots[slot].free) ++slot;
  if (slot > 10) return;  // a hand never holds more than ten
  auto* img = new CardImage(tableArea, position, card);
  handSlots[slot] = {false, position};
  img->move(slotLeft(slot), kHandTop);
  img->onPress = [this](CardImage* c, Qt::MouseButton b) { cardimagesMouseDown(c, b); };
  for (int s = slot; s <= 10; ++s)
    if (!handSlots[s].free)
      if (auto* c = cardImage(handSlots[s].handPosition)) c->raise();
}

void Tchat::sortthem() {
  auto imageAt = [this](int s) { return cardImage(handSlots[s].handPosition); };
  for (int pass = 0; pass < 10; ++pass)
    for (int n = 10; n >= 2; --n) {
      if (handSlots[n].free || handSlots[n - 1].free) continue;
      CardImage *a = imageAt(n - 1), *b = imageAt(n);
      if (a && b && a->card > b->card) {
        std::swap(handSlots[n - 1].handPosition, handSlots[n].handPosition);
        a->move(slotLeft(n), a->y());
        b->move(slotLeft(n - 1), b->y());
      }
    }
  for (int s = 1; s <= 10; ++s)
    if (!handSlots[s].free)
      if (CardImage* c = imageAt(s)) {
        c->move(c->x(), kHandTop);
        c->raise();
      }
}

void Tchat::movecards(int position) {
  int at = 1;
  while (at <= 10 && (handSlots[at].free || handSlots[at].handPosition != position)) ++at;
  if (at > 10) return;
  handSlots[at] = {};
  for (int s = at + 1; s <= 10; ++s) {
    if (handSlots[s].free) continue;
    if (auto* c = cardImage(handSlots[s].handPosition)) {
      c->move(slotLeft(s - 1), c->y());
      c->raise();
      c->show();
    }
    handSlots[s - 1] = handSlots[s];
    handSlots[s] = {};
  }
  for (CardImage* c : cardImages())
    if (c->y() != kHandTop) c->move(c->x(), kHandTop);
}

// CardImage has no meta-object of its own, so findChild would take any label
// for one: the hand is found by dynamic type instead.
std::vector<CardImage*> Tchat::cardImages() const {
  std::vector<CardImage*> out;
  for (QObject* o : tableArea->children())
    if (auto* c = dynamic_cast<CardImage*>(o)) out.push_back(c);
  return out;
}

CardImage* Tchat::cardImage(int position) const {
  for (CardImage* c : cardImages())
    if (c->handPosition == position) return c;
  return nullptr;
}

void Tchat::removeHand() {
  for (CardImage* c : cardImages()) delete c;
  for (auto& s : handSlots) s = {};
}

void Tchat::cardimagesMouseDown(CardImage* card, Qt::MouseButton button) {
  if (button == Qt::RightButton) return sortthem();
  if (button != Qt::LeftButton || !loggedIn || !myTurn) return;
  if (card->y() == kRaisedTop) {
    card->move(card->x(), kHandTop);
    return;
  }
  card->hinted = false;
  card->move(card->x(), kRaisedTop);
  myTurn = false;
  std::string m;
  build::playcardRequest(m, mySeat, card->handPosition);
  send(m);
}

void Tchat::playcard(std::string_view f) {
  wire::BadField bad;
  const auto played = need(parse::playcard(f, &bad), bad);
  const int seat = played.seat, position = played.position, card = played.card;
  if (seat < 1 || seat > 4) return;
  setBidBoxVisible(false);
  auto* p = el<QLabel>("image_played", seat);
  p->clear();
  playedCard[seat] = card;
  p->setPixmap(ui::CardPictures::instance().picture(card));
  p->raise();
  if (seat == mySeat) {
    delete cardImage(position);
    movecards(position);
  } else {
    cardCount[seat] = std::max(0, cardCount[seat] - 1);
    drawFan(seat);
  }
  if (ledCard == 0) ledCard = card;
  for (int n = 1; n <= 4; ++n) el("image_trickwinner", n)->hide();
  playsounds("placecard");
}

void Tchat::needsuit(std::string_view) {
  myTurn = true;
  sortthem();
  playsounds("turnoverbad");
}

}  // namespace ombrix::client
