#include "client/tablekeys.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <algorithm>
#include <array>

#include "base/cards.h"
#include "ui/designscale.h"

namespace ombrix::client {

namespace {

constexpr int kCardStep = 18;    // the part of a card the next one leaves uncovered
constexpr int kMarkMargin = 4;   // the frame stands this far outside the card
constexpr int kArrowHeight = 9;  // the pointer under the frame

// A frame around the marked card's visible part and a pointer under it,
// drawn above the hand. It never takes a click: those reach the cards.
class FocusMark : public QWidget {
 public:
  explicit FocusMark(QWidget* parent) : QWidget(parent) {
    setObjectName("focus_mark");
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    hide();
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    // Drawn in the table's design pixels, at the factor it is shown at.
    const qreal s = ui::designFactor(parentWidget());
    p.scale(s, s);
    const QRectF frame = QRectF(0, 0, width() / s, height() / s).adjusted(2, 2, -2, -2 - kArrowHeight);
    p.fillRect(frame, QColor(255, 200, 0, 60));  // a tint over the card's visible part
    p.setPen(QPen(QColor(20, 20, 20), 5));       // a dark edge, so the frame shows on any card
    p.drawRoundedRect(frame, 4, 4);
    p.setPen(QPen(QColor(255, 200, 0), 3));
    p.drawRoundedRect(frame, 4, 4);
    const double mid = frame.center().x(), top = frame.bottom() + 2;
    const QPointF arrow[3] = {
        {mid, top}, {mid - 6, top + kArrowHeight - 1}, {mid + 6, top + kArrowHeight - 1}};
    p.setPen(QPen(QColor(20, 20, 20), 1));
    p.setBrush(QColor(255, 200, 0));
    p.drawPolygon(arrow, 3);
  }
};

int digitOf(const QKeyEvent* k) {
  if (k->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return -1;
  return k->key() >= Qt::Key_0 && k->key() <= Qt::Key_9 ? k->key() - Qt::Key_0 : -1;
}

}  // namespace

TableKeys::TableKeys(TableView& table)
    : t_(table),
      tableArea_(table.surface().findChild<QWidget*>("tableArea")),
      editBid_(table.surface().findChild<QLineEdit*>("edit_bid")),
      chatInput_(table.surface().findChild<QLineEdit*>("mychat")),
      bidButton_(table.surface().findChild<QPushButton*>("button_bid")),
      mark_(new FocusMark(tableArea_)) {
  mark_->setAccessibleName("Keyboard mark");
  tableArea_->setFocusPolicy(Qt::TabFocus);  // Tab reaches the table; a click leaves the chat its focus
  tableArea_->installEventFilter(this);      // the cards' keys arrive here too
  editBid_->installEventFilter(this);
  chatInput_->installEventFilter(this);
  table.surface().findChild<QAction*>("StartGame1")->setShortcut(QKeySequence(Qt::Key_F2));
  table.surface().findChild<QAction*>("StartHalfGame1")->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F2));
  connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
    if (auto* card = dynamic_cast<CardImage*>(now)) card->installEventFilter(this);  // follows its moves
    updateMark();
  });
}

void TableKeys::attach(QWidget* scoreCard) {
  if (scoreCard) scoreCard->setAttribute(Qt::WA_ShowWithoutActivating);
}

CardImage* TableKeys::marked() const { return dynamic_cast<CardImage*>(t_.surface().focusWidget()); }

bool TableKeys::atTable(const QWidget* w) const { return w == tableArea_ || tableArea_->isAncestorOf(w); }

bool TableKeys::bidBoxUp() const { return !editBid_->isHidden(); }

void TableKeys::before(const TableEvent&) {
  before_ = t_.surface().focusWidget();
  beforeHad_ = before_ != nullptr;
  beforeAtTable_ = !before_ || atTable(before_);
  beforeBidding_ = bidBoxUp();
  beforeTurn_ = t_.model().myTurn();
}

void TableKeys::after(const TableEvent& e) {
  // Lines and sounds change nothing at the table: a chat flood costs no names.
  if (std::holds_alternative<ev::Line>(e) || std::holds_alternative<ev::Sound>(e)) return;
  const bool myTurn = t_.model().myTurn();
  if (beforeAtTable_) {
    QWidget* now = t_.surface().focusWidget();
    // Hiding or deleting the focused element moves the focus on by itself,
    // possibly into the chat input: the command, not the player, moved it.
    const bool lost = beforeHad_ && !before_;  // the focused card was played
    const bool moved = lost || now != before_.data() || (now && !now->isVisibleTo(&t_.surface()));
    const std::vector<CardImage*> cards = markable(t_);
    // A card the host refused, or one the player read before the turn came.
    const bool markOff = myTurn && marked() && std::find(cards.begin(), cards.end(), marked()) == cards.end();
    if (bidBoxUp() && (moved || !beforeBidding_)) {
      toBidBox();
    } else if (myTurn && (moved || !beforeTurn_ || markOff)) {
      if (!toHand()) tableArea_->setFocus(Qt::OtherFocusReason);
    } else if (moved) {
      tableArea_->setFocus(Qt::OtherFocusReason);
    }
  }
  updateMark();
  refreshNames();
}

void TableKeys::toBidBox() {
  editBid_->setFocus(Qt::ShortcutFocusReason);
  editBid_->selectAll();  // the first digit replaces what the box holds
}

bool TableKeys::toHand() {
  const std::vector<CardImage*> cards = markable(t_);
  if (cards.empty()) return false;
  CardImage* now = marked();
  (std::find(cards.begin(), cards.end(), now) != cards.end() ? now : cards.front())
      ->setFocus(Qt::OtherFocusReason);
  return true;
}

void TableKeys::toTable() {
  if (bidBoxUp())
    toBidBox();
  else if (!toHand())
    tableArea_->setFocus(Qt::OtherFocusReason);
  updateMark();
}

void TableKeys::moveMark(int key) {
  const std::vector<CardImage*> cards = markable(t_);
  if (cards.empty()) return;
  CardImage* now = marked();
  const auto at = std::find(cards.begin(), cards.end(), now);
  CardImage* next = nullptr;
  if (key == Qt::Key_Home) {
    next = cards.front();
  } else if (key == Qt::Key_End) {
    next = cards.back();
  } else if (at != cards.end()) {
    if (key == Qt::Key_Right && at + 1 != cards.end()) next = *(at + 1);
    if (key == Qt::Key_Left && at != cards.begin()) next = *(at - 1);
  } else if (!now) {
    next = key == Qt::Key_Right ? cards.front() : cards.back();
  } else {
    // From a card that may not be played: the nearest one that may, that way.
    for (CardImage* c : cards)
      if (key == Qt::Key_Right ? c->x() > now->x() && !next : c->x() < now->x()) next = c;
    if (!next) next = key == Qt::Key_Right ? cards.back() : cards.front();
  }
  if (next) next->setFocus(Qt::OtherFocusReason);
  updateMark();
  refreshNames();
}

bool TableKeys::eventFilter(QObject* o, QEvent* e) {
  if (e->type() == QEvent::Move && o == marked()) {
    updateMark();
    return false;
  }
  if (e->type() != QEvent::KeyPress) return false;
  auto* k = static_cast<QKeyEvent*>(e);
  const int key = k->key();
  if (o == chatInput_) {
    if (key != Qt::Key_Escape) return false;
    toTable();
    return true;
  }
  if (o == editBid_) {
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      if (bidButton_->isVisibleTo(tableArea_)) t_.button_bidClick();  // as the button: once
    } else if (key == Qt::Key_Up || key == Qt::Key_Down) {
      const int bid =
          std::clamp(editBid_->text().toInt() + (key == Qt::Key_Up ? 1 : -1), 0, t_.model().handSize());
      editBid_->setText(QString::number(bid));
    } else if (key == Qt::Key_Escape) {
      tableArea_->setFocus(Qt::OtherFocusReason);
    } else {
      return false;
    }
    return true;
  }
  if (o != tableArea_) return false;
  // Keys the focused card or the table itself left alone.
  switch (key) {
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Home:
    case Qt::Key_End:
      moveMark(key);
      return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
      if (CardImage* c = marked()) {
        t_.cardimagesMouseDown(c, Qt::LeftButton);
        updateMark();
        refreshNames();
      }
      return true;
    case Qt::Key_Escape:
      return true;  // the mark stays where it is: Enter still plays the marked card
    default:
      break;
  }
  if (digitOf(k) >= 0 && bidBoxUp()) {
    toBidBox();
    QKeyEvent copy(QEvent::KeyPress, key, k->modifiers(), k->text());
    QCoreApplication::sendEvent(editBid_, &copy);
    return true;
  }
  return false;
}

void TableKeys::updateMark() {
  CardImage* card = marked();
  if (!card || card->isHidden()) {
    mark_->hide();
    return;
  }
  const std::vector<CardImage*> hand = t_.handInOrder();
  const bool last = !hand.empty() && hand.back() == card;
  const QRect at = ui::designRect(card);
  const int visible = last ? at.width() : kCardStep;
  ui::designPlace(mark_, {at.x() - kMarkMargin, at.y() - kMarkMargin, visible + 2 * kMarkMargin,
                          at.height() + 2 * kMarkMargin + kArrowHeight});
  mark_->setAccessibleDescription(cardName(card->card));
  mark_->show();
  mark_->raise();
}

void TableKeys::refreshNames() { t_.refreshNames(); }

}  // namespace ombrix::client
