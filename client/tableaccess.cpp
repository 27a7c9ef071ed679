#include "client/tableaccess.h"

#include <QLabel>
#include <QLineEdit>
#include <QTextEdit>
#include <QToolButton>

#include "client/tableview.h"

namespace ombrix::client {

namespace {

const QColor kNotYetBid(0x80, 0x80, 0x80);  // the bid caption's grey until the seat has bid

bool shown(const QWidget* w) { return w && !w->isHidden(); }

QString text(const QWidget* w) {
  auto* l = qobject_cast<const QLabel*>(w);
  return l ? l->text() : QString();
}

QString count(int n) {
  return n == 0 ? QString("no cards") : n == 1 ? QString("1 card") : QString::number(n) + " cards";
}

}  // namespace

TableAccess::TableAccess(TableView& table)
    : t_(table),
      tableArea_(table.surface().findChild<QWidget*>("tableArea")),
      trumpcard_(table.surface().findChild<QLabel*>("trumpcard")),
      editBid_(table.surface().findChild<QWidget*>("edit_bid")) {
  QWidget& w = t_.surface();
  tableArea_->setAccessibleName("Table");
  w.findChild<QWidget*>("mainchat")->setAccessibleName("Chat");
  w.findChild<QWidget*>("mychat")->setAccessibleName("Chat input");
  for (int n = 1; n <= 9; ++n)
    w.findChild<QWidget*>("b_phrase" + QString::number(n))
        ->setAccessibleName("Phrase button " + QString::number(n));
  w.findChild<QWidget*>("b_phrase10")->setAccessibleName("Chatter sounds");
  if (QWidget* logo = w.findChild<QWidget*>("Image1")) logo->setAccessibleName("Ombrix web site");
  auto* updown = w.findChild<QWidget*>("updown_bid");
  for (QToolButton* b : updown->findChildren<QToolButton*>())
    b->setAccessibleName(b->arrowType() == Qt::UpArrow ? "Raise the bid" : "Lower the bid");
  updown->setAccessibleName("Change the bid");
  refresh();
}

QWidget* TableAccess::at(const char* family, int seat) const {
  return index_.value(QString(family) + QString::number(seat));
}

void TableAccess::name(QWidget* w, const QString& text) {
  // Setting a name announces it, so an unchanged one is left alone.
  if (w && w->accessibleName() != text) w->setAccessibleName(text);
}

void TableAccess::describe(QWidget* w, const QString& text) {
  if (w && w->accessibleDescription() != text) w->setAccessibleDescription(text);
}

QString TableAccess::seatName(int seat) const {
  const QString c = text(at("label_playername", seat));
  if (c == "<Waiting>") return "Seat " + QString::number(seat);
  if (seat == t_.model().mySeat() && c != "You") return c + " (you)";
  return c;
}

bool TableAccess::hasBid(int seat) const {
  const QWidget* bidCaption = at("label_bidlabel", seat);
  return !bidCaption || bidCaption->palette().color(QPalette::WindowText) != kNotYetBid;
}

QString TableAccess::seatReading(int seat) const {
  const QString c = text(at("label_playername", seat));
  if (c == "<Waiting>") return seatName(seat) + ", waiting for a player";
  QString r = seatName(seat) + ", score " + text(at("label_score", seat)) + ", tricks " +
              text(at("label_tricks", seat));
  r += hasBid(seat) ? ", bid " + text(at("label_bid", seat)) : QString(", no bid yet");
  if (shown(at("image_turn", seat))) r += ", on turn";
  if (shown(at("image_eyes", seat))) r += ", just watching";
  if (shown(at("image_trickwinner", seat))) r += ", took the last trick";
  if (shown(at("image_winner", seat))) r += ", won the game";
  return r;
}

void TableAccess::refresh() {
  // One pass over the table's elements instead of a search for each name.
  index_.clear();
  for (QObject* o : tableArea_->children())
    if (o->isWidgetType()) index_.insert(o->objectName(), static_cast<QWidget*>(o));
  for (int s = 1; s <= 4; ++s) {
    const QString who = seatName(s);
    name(at("label_playername", s), seatReading(s));
    name(at("label_score", s), who + ", score " + text(at("label_score", s)));
    name(at("label_tricks", s), who + ", tricks " + text(at("label_tricks", s)));
    name(at("label_bid", s), hasBid(s) ? who + ", bid " + text(at("label_bid", s)) : who + ", no bid yet");
    // The local seat's marks speak to the player.
    const bool me = s == t_.model().mySeat();
    const QString subject = me ? QString("You") : who;
    name(at("image_turn", s), subject + (me ? " are" : " is") + " on turn");
    name(at("image_eyes", s), subject + (me ? " are" : " is") + " just watching");
    name(at("image_trickwinner", s), subject + " took the last trick");
    name(at("image_winner", s), subject + " won the game");
    const int held = me ? static_cast<int>(t_.cardImages().size()) : t_.model().cardsShown(s);
    name(at("image_cards", s), (me ? QString("Your hand") : who + "'s hand") + ": " + count(held));
    auto* played = qobject_cast<QLabel*>(at("image_played", s));
    name(played, played && !played->pixmap().isNull()
                     ? "Played by " + (me ? QString("you") : who) + ": " + cardName(t_.model().playedCard(s))
                     : subject + (me ? " have" : " has") + " not played to this trick");
  }
  name(trumpcard_, trumpcard_->pixmap().isNull() ? QString("Trump card: none yet")
                                                 : "Trump card: " + cardName(t_.model().trump()));
  name(editBid_, "Your bid, 0 to " + QString::number(t_.model().handSize()));
  describe(tableArea_, text(index_.value("label_round")) + ". " + text(index_.value("label_totalbids")) +
                           ". " + text(index_.value("label_turn")));

  const std::vector<CardImage*> hand = t_.handInOrder();
  const std::vector<CardImage*> playable = markable(t_);
  for (size_t i = 0; i < hand.size(); ++i) {
    CardImage* c = hand[i];
    name(c, cardName(c->card));
    QString d = QString::number(i + 1) + " of " + QString::number(hand.size());
    if (t_.model().myTurn())
      d += std::find(playable.begin(), playable.end(), c) != playable.end() ? ", playable"
                                                                            : ", not playable now";
    if (isRaised(c)) d += ", sent";
    if (c->hinted) d += ", the hint";
    describe(c, d);
  }
}

}  // namespace ombrix::client
