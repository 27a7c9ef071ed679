// The table window's game: seat mapping, the game commands and the hand.
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>

#include "client/chatform.h"
#include "client/chatform_util.h"
#include "protocol/commands.h"
#include "ui/cardpictures.h"
#include "ui/msgbox.h"
#include "windows/lasttrickform.h"
#include "windows/scoreform.h"
#include "windows/tallylistform.h"

namespace ombrix::client {

namespace {
const char* const kFamilies[] = {"label_playername", "label_score",  "label_tricks",     "label_bid",
                                 "label_bidlabel",   "image_turn",   "image_eyes",       "image_cards",
                                 "image_played",     "image_winner", "image_trickwinner"};
const QColor kGrey(0x80, 0x80, 0x80);
constexpr int kHandTop = 320, kRaisedTop = 316, kSlotStep = 18, kSlotOrigin = 216;

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

void Tchat::startthegame(const QString& d) {
  const Fields f(d);
  const QString starter = f.s(0), kind = f.s(1);
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
  const bool half = kind == "h";
  if (score) score->newGame(half);
  const QString type = half ? "HALF" : "FULL";
  addlinetochat(starter == myName ? "You have started a " + type + " game."
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

void Tchat::startround(const QString& d) {
  const Fields f(d);
  const int round = f.i(0), dealer = f.i(1);
  shownRound = round;
  label_round->setText("Round: " + f.s(0));
  label_status1->setText(dealer == mySeat
                             ? "Round " + f.s(0) + " is starting! You are dealer."
                             : "Round " + f.s(0) + " is starting! " + caption(dealer) + " is dealer.");
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

void Tchat::trump(const QString& d) {
  trumpShown = toInt(d);
  trumpcard->clear();
  trumpcard->setPixmap(ui::CardPictures::instance().picture(trumpShown));
}

void Tchat::setBidBoxVisible(bool on) {
  for (QWidget* w :
       std::initializer_list<QWidget*>{edit_bid, label_bidcaption, updown_bid, label_firstplay, button_bid})
    w->setVisible(on);
}

void Tchat::mybid(const QString& d) {
  const Fields f(d);
  const int bidder = f.i(0), size = f.i(1), leader = f.i(2);
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

void Tchat::hisbid(const QString& d) {
  const Fields f(d);
  label_end->setText("");
  setBidBoxVisible(false);
  if (f.s(0) == "0") return;
  const int bidder = f.i(0);
  if (bidder < 1 || bidder > 4) return;
  el<QLabel>("label_bid", bidder)->setText(f.s(1));
  colour(el("label_bid", bidder), Qt::black);
  colour(el("label_bidlabel", bidder), Qt::black);
  label_status2->setText(bidder == mySeat ? "You bid: " + f.s(1) : caption(bidder) + " bids: " + f.s(1));
  label_totalbids->setText("Total Bids: " + f.s(2));
}

void Tchat::button_bidClick() {
  const int bid = toIntOrBox(edit_bid->text());
  if (bid == kNotANumber) return;
  if (bid > bidLimit) {
    ui::messageBox("You can't bid more then " + QString::number(bidLimit) + ".");
    return;
  }
  if (!loggedIn) return;
  send("CMD_bid+" + std::to_string(mySeat) + "+" + edit_bid->text().toStdString());
  edit_bid->setText("0");
  button_bid->hide();
}

void Tchat::getnextplayer(const QString& d) {
  const int seat = toInt(d);
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

void Tchat::trickwinner(const QString& d) {
  const Fields f(d);
  const int w = f.i(0);
  if (w < 1 || w > 4) return;
  for (int n = 1; n <= 4; ++n) el("image_turn", n)->hide();
  label_status2->setText("");
  const QString winnerText = w == mySeat ? "You won this trick." : caption(w) + " won this trick.";
  label_status1->setText(w == mySeat ? "You won the trick!" : caption(w) + " won the trick.");
  el("image_trickwinner", w)->show();
  el<QLabel>("label_tricks", w)->setText(f.s(1));
  for (int n = 1; n <= 4; ++n) el<QLabel>("image_played", n)->clear();
  if (lastTrick) lastTrick->fill(winnerText, playedCard, trumpShown, ledCard);
  ledCard = 0;
  if (w == mySeat) playsounds("taketrick");
}

void Tchat::scoreit(const QString& d) {
  const Fields f(d);
  const int seat = f.i(0);
  if (seat < 1 || seat > 4) return;
  el<QLabel>("label_score", seat)->setText(f.s(1));
  if (score) score->scored(seat, shownRound, f.s(2), f.s(1));
  if (seat == mySeat) {
    const bool made = f.s(2) != "0";
    playsounds(made ? "turnovergood" : "turnoverbad");
    label_end->setText(made ? "You Made your Bid!" : "You did not make your Bid!");
  }
  if (score && ShowScorecard1->isChecked()) score->show();
}

void Tchat::winner(const QString& d) {
  const int plus = d.lastIndexOf('+');
  const QString names = plus < 0 ? d : d.left(plus), best = plus < 0 ? QString() : d.mid(plus + 1);
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
  const bool iWon = !myName.isEmpty() && names.contains(myName);
  if (tally && mySeat >= 1 && mySeat <= 4) {
    tally->addgame(iWon ? "addtomine" : names);
    if (iWon) tally->addtomine(2);
  }
  if (iWon) playsounds("winner");
  if (isHost) {
    button_start->show();
    button_starthalf->show();
    StartGame1->setEnabled(true);
    StartHalfGame1->setEnabled(true);
  }
  myTurn = false;
}

void Tchat::button_startClick() {
  if (!loggedIn) return ui::messageBox("You are not connected.");
  send("CMD_startgame+" + myName.toStdString() + "+f+");
}

void Tchat::StartHalfGame1Click() {
  if (!loggedIn) return ui::messageBox("You are not connected.");
  send("CMD_startgame+" + myName.toStdString() + "+h+");
}

// --- Late join --------------------------------------------------------------------

void Tchat::newplayerstuff(const QString& d) {
  const Fields f(d);
  const int seat = f.i(0);
  if (seat < 1 || seat > 4) return;
  el<QLabel>("label_bid", seat)->setText(f.s(1));
  el<QLabel>("label_tricks", seat)->setText(f.s(2));
  el<QLabel>("label_score", seat)->setText(f.s(3));
  for (int k = 0; k < 4; ++k) {
    const int n = f.i(4 + 2 * k), card = f.i(5 + 2 * k);
    if (n < 1 || n > 4 || card <= 0) continue;
    playedCard[n] = card;
    auto* p = el<QLabel>("image_played", n);
    p->setPixmap(ui::CardPictures::instance().picture(card));
    p->raise();
  }
}

void Tchat::stats(const QString& d) {
  const Fields f(d);
  turnSeat = f.i(0);
  label_round->setText("Round: " + f.s(2));
  shownRound = f.i(2);
  if (score) score->joinedGame(f.s(4) == "h");
  trumpShown = f.i(3);
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

void Tchat::placecard(const QString& d) {
  const Fields f(d);
  const int seat = f.i(0);
  if (seat < 1 || seat > 4) return;
  el<QLabel>("image_cards", seat)->clear();
  el<QLabel>("image_played", seat)->clear();
  int count = 0;
  for (int k = 1; k + 1 < f.count(); k += 2) {
    const int pos = f.i(k), card = f.i(k + 1);
    if (seat == mySeat) createcard(pos, card);
    count = pos;
  }
  if (seat == mySeat) {
    sortthem();
  } else if (count != 0) {
    cardCount[seat] = count;
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
  card->move(card->x(), kRaisedTop);
  myTurn = false;
  send("CMD_playcard+" + std::to_string(mySeat) + "+" + std::to_string(card->handPosition));
}

void Tchat::playcard(const QString& d) {
  const Fields f(d);
  const int seat = f.i(0), position = f.i(1), card = f.i(2);
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

void Tchat::needsuit(const QString&) {
  myTurn = true;
  sortthem();
  playsounds("turnoverbad");
}

}  // namespace ombrix::client
