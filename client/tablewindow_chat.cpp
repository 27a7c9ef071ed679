// Tchat: the chat area. Every line goes through the host, which names the
// sender and sends it to every table, this one included; only then does it
// appear in a pane. Phrases are actions in the action colour; chatter sounds
// are heard by every table whose player lets them play.
#include <QApplication>
#include <QClipboard>
#include <QColorDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocumentFragment>
#include <QTextEdit>
#include <QTimer>
#include <QToolButton>

#include "client/tablewindow.h"
#include "client/tablewindow_util.h"
#include "client/colortext.h"
#include "client/rteurl.h"
#include "client/sounds.h"
#include "protocol/commands.h"
#include "ui/designscale.h"
#include "widgets/art.h"
#include "widgets/controls.h"
#include "windows/aboutform.h"
#include "windows/phrasesform.h"

namespace ombrix::client {

namespace {

const char* const kPhrases[10] = {"Way To Go!", "Good One!", "Nice Try!",  "Excellent!", "Brilliant!",
                                  "Wow, WTG!",  "Thanks!",   "Nice Play!", "/me waves",  "Nice Roll!"};
const char* const kSounds[13] = {
    "<Cancel>", "Doh",     "Cough",  "Hello",  "Thank You", "Where have you been?", "Snoring", "Sneezing",
    "Sorry",    "Welcome", "Yeehaa", "Yippee", "Oh No"};
const QString kPlaceholder = "<Enter Chat Here>";
constexpr int kPhraseCooldownTicks = 100;  // 1 ms ticks before the next phrase
constexpr int kButtonW = 25, kButtonH = 19;
// The chat column at the design size, in the panel's pixels.
constexpr int kChatLeft = 545, kChatTop = 125, kChatMinWidth = 232, kChatRightMargin = 4, kChatBottomMargin = 3;
constexpr int kInputHeight = 21;
constexpr QRect kLogo(555, 14, 184, 40);
constexpr int kLogoDesignWidth = 280;  // widgets::logo() is drawn this wide
constexpr QRect kScoreCardButton(554, 74, 91, 28), kLastTrickButton(650, 74, 91, 28);
// The pane keeps this many lines, the oldest going first: hours of talk at a
// table, and a bound on what a flooding host can make it hold.
constexpr int kChatLinesKept = 2000;

}  // namespace

void Tchat::buildChat() {
  mychat = new QLineEdit(kPlaceholder, panel_main);
  mychat->setObjectName("mychat");
  mychat->setFont(QFont("Arial"));
  inputPoints_ = mychat->font().pointSizeF();
  mychat->installEventFilter(this);
  mychat->setContextMenuPolicy(Qt::CustomContextMenu);
  PopupMenu2 = new QMenu(this);
  PopupMenu2->setObjectName("PopupMenu2");
  PopupMenu2->addAction("Paste\tCtrl+V", this, [this] { Paste1Click(); })->setObjectName("Paste1");
  connect(mychat, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { PopupMenu2->popup(mychat->mapToGlobal(at)); });

  mainchat->viewport()->installEventFilter(this);
  mainchat->viewport()->setMouseTracking(true);
  mainchat->setContextMenuPolicy(Qt::CustomContextMenu);
  mainchat->document()->setDocumentMargin(2);
  mainchat->document()->setMaximumBlockCount(kChatLinesKept);
  PopupMenu1 = new QMenu(this);
  PopupMenu1->setObjectName("PopupMenu1");
  PopupMenu1->addAction("Copy\tCtrl+C", this, [this] { Copy1Click(); })->setObjectName("Copy1");
  ClearMainChat2 = PopupMenu1->addAction("Clear Main Chat", this, [this] { ClearMainChat1Click(); });
  ClearMainChat2->setObjectName("ClearMainChat2");
  PopupMenu1->addSeparator();
  // Ctrl+S is shown here but handled by the Options entry, which comes first.
  ScrollChatOff1 = PopupMenu1->addAction("Scroll Chat Off\tCtrl+S");
  ScrollChatOff1->setObjectName("ScrollChatOff1");
  ScrollChatOff1->setCheckable(true);
  connect(ScrollChatOff1, &QAction::triggered, this, [this] {
    ScrollChatOff1->setChecked(!ScrollChatOff1->isChecked());
    ScrollChatOff1Click();
  });
  connect(mainchat, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { PopupMenu1->popup(mainchat->mapToGlobal(at)); });

  for (int n = 1; n <= 10; ++n) {
    auto* b = new QToolButton(panel_main);
    b->setObjectName("b_phrase" + QString::number(n));
    b->setAutoRaise(true);
    b->setIcon(QIcon(widgets::phraseFace(n == 10, 1, devicePixelRatioF())));
    b->setIconSize(QSize(kButtonW - 4, kButtonH - 4));
    b->setToolTip(kPhrases[n - 1]);
    b_phrase[n] = b;
    if (n < 10)
      connect(b, &QToolButton::clicked, this, [this, b] { phraseButtonClick(b); });
    else
      connect(b, &QToolButton::clicked, this, [this] { soundsButtonClick(); });
  }
  // The logo opens the maker's web site.
  auto* logo = new widgets::ArtLabel(panel_main, kLogo.size(), [](qreal scale, qreal dpr) {
    return widgets::logo(scale * kLogo.width() / kLogoDesignWidth, dpr);
  });
  logo->setObjectName("Image1");
  logo->setGeometry(kLogo);
  logo->setCursor(Qt::PointingHandCursor);
  logo->installEventFilter(this);

  popup_sounds = new QMenu(this);
  popup_sounds->setObjectName("popup_sounds");
  popup_sounds->setToolTipsVisible(true);
  for (int k = 0; k <= 12; ++k) {
    QAction* a = popup_sounds->addAction(kSounds[k], this, [this, k] { ChatterSoundClick(k); });
    a->setObjectName(k == 0 ? QString("Cancel1") : "wave" + QString::number(k));
    a->setData(k);
    a->setToolTip(kSounds[k]);
  }
}

// The chat column: the logo and the two window buttons at its head, the
// phrase buttons in a row right above the pane, the input line under it.
// At factor s the column's parts are s times their design size, from
// `offset`; the pane takes the rest of the window's width and height.
void Tchat::layoutChat(qreal s, QPoint offset) {
  auto place = [s, offset](QWidget* w, const QRect& design) {
    w->setGeometry(ui::scaledRect(design, s).translated(offset));
  };
  place(findChild<QWidget*>("Image1"), kLogo);
  place(button_scorecard, kScoreCardButton);
  place(button_lasttrick, kLastTrickButton);
  const int x = offset.x() + qRound(kChatLeft * s), top = offset.y() + qRound(kChatTop * s);
  const int w = std::max(qRound(kChatMinWidth * s), panel_main->width() - qRound(kChatRightMargin * s) - x);
  const int inputH = qRound(kInputHeight * s);
  const int bottom = panel_main->height() - qRound(kChatBottomMargin * s);
  for (int n = 1; n <= 10; ++n) {
    place(b_phrase[n], {kChatLeft - 13 + (n - 1) * kButtonW, kChatTop - kButtonH - 2, kButtonW, kButtonH});
    const QSize icon = b_phrase[n]->size() - QSize(4, 4);
    if (b_phrase[n]->iconSize() != icon) {
      b_phrase[n]->setIcon(QIcon(widgets::phraseFace(n == 10, s, devicePixelRatioF())));
      b_phrase[n]->setIconSize(icon);
    }
  }
  mainchat->setGeometry(x, top, w, bottom - inputH - qRound(2 * s) - top);
  mychat->setGeometry(x, bottom - inputH, w, inputH);
  if (s != chatScale_) {
    chatScale_ = s;
    applyTextSize(textSize_);
    QFont f = mychat->font();
    f.setPointSizeF(inputPoints_ * s);
    mychat->setFont(f);
  }
}

void Tchat::addlinetochat(const QString& text, unsigned colour) {
  mainchat->setUpdatesEnabled(false);
  QScrollBar* bar = mainchat->verticalScrollBar();
  const bool hold = ScrollChatOff1 && ScrollChatOff1->isChecked();
  const int firstVisible = bar->value();
  const QTextCursor caret = mainchat->textCursor();

  // The part up to and including the first colon is bold; text without a
  // colon is all regular.
  const int colon = text.indexOf(':');
  const QString boldPart = colon < 0 ? QString() : text.left(colon + 1);
  const QString rest = colon < 0 ? text : text.mid(colon + 1);
  QTextCharFormat f;
  f.setForeground(toQColor(colour));
  QTextCursor cur(mainchat->document());
  cur.movePosition(QTextCursor::End);
  if (chatStarted_) cur.insertBlock();
  chatStarted_ = true;
  f.setFontWeight(QFont::Bold);
  cur.insertText(boldPart, f);
  f.setFontWeight(QFont::Normal);
  cur.insertText(rest, f);

  if (hold) {
    mainchat->setTextCursor(caret);  // this scrolls to the caret, so the view comes after
    bar->setValue(firstVisible);
  } else {
    mainchat->moveCursor(QTextCursor::End);
    bar->setValue(bar->maximum());
  }
  mainchat->setUpdatesEnabled(true);
}

void Tchat::chatReceived(const ev::Line& e) {
  // The sender puts the colour after the last "|", so a typed "|" stays in
  // the text. A line without a colour it can read is shown as a notice is:
  // white would not show on the white pane.
  addlinetochat(fromWire(e.text), textToColor(fromWire(e.colour)).value_or(kNoticeColour));
}

void Tchat::sendit() {
  if (!model_.loggedIn()) return;
  const QString text = mychat->text();
  if (!text.isEmpty()) {
    if (!text.startsWith('/'))
      send(rq::Chat{model_.mySeat(), toWire(text), colorToText(textColor_).toStdString()});
    else if (text.startsWith("/me"))  // "/me" and the one character after it go; "/meow" is the action "w"
      send(rq::Action{model_.mySeat(), toWire(text.mid(4)), colorToText(actionColor_).toStdString()});
  }
  mychat->clear();
}

QString Tchat::phrase(int n) const { return b_phrase[n]->toolTip(); }
void Tchat::setPhrase(int n, const QString& text) { b_phrase[n]->setToolTip(text); }

void Tchat::phraseButtonClick(QToolButton* button) {
  if (!phraseReady_) return;
  const QString p = button->toolTip();
  const QString text = p.startsWith("/me ") ? p.mid(4) : "says: " + p;
  // Sent whether logged in or not: a refusal (not connected yet) is shown
  // and leaves the phrase ready.
  if (!send(rq::Action{model_.mySeat(), toWire(text), colorToText(actionColor_).toStdString()})) return;
  phraseReady_ = false;
  phraseTicks_ = 0;
  phraseTimer_->start(1);  // the cooldown counts its ticks
}

void Tchat::phraseTick() {
  if (!phraseReady_ && ++phraseTicks_ > kPhraseCooldownTicks) {
    phraseReady_ = true;
    phraseTicks_ = 0;
  }
  if (phraseReady_) phraseTimer_->stop();
}

void Tchat::soundsButtonClick() {
  QToolButton* b = b_phrase[10];
  popup_sounds->popup(b->mapToGlobal(QPoint(b->width(), b->height())));
}

void Tchat::ChatterSoundClick(int number) {
  if (number == 0 || !model_.loggedIn()) return;
  send(rq::Sound{model_.mySeat(), number});
}

void Tchat::playasound(const ev::Sound& e) {
  const QString sound = fromWire(e.sound);
  if (PlayChatterSounds1->isChecked()) return playSound(sound);
  auto* name = TableModel::isSeat(e.slot) ? el<QLabel>("label_playername", e.slot) : nullptr;
  for (QAction* a : popup_sounds->actions())
    if (name && a->objectName().compare(sound, Qt::CaseInsensitive) == 0)
      return addlinetochat(name->text() + ": <Chatter Sound> " + a->toolTip());
}

void Tchat::playsounds(const QString& name) {
  if (soundsPlayed_.size() == kSoundsKept) soundsPlayed_.pop_front();
  soundsPlayed_.push_back(name);
  if (PlaySounds1->isChecked()) playSound(name);
}

bool Tchat::eventFilter(QObject* o, QEvent* e) {
  if (o == mychat && e->type() == QEvent::KeyPress) {
    auto* k = static_cast<QKeyEvent*>(e);
    if (mychat->text() == kPlaceholder) mychat->clear();
    if (k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter) {
      sendit();
      return true;
    }
    if (k->matches(QKeySequence::Paste)) {
      Paste1Click();
      return true;
    }
    // The pane gives the focus back to the input box, so its "Copy" key
    // arrives here: the input box's own selection first, else the pane's.
    if (k->matches(QKeySequence::Copy) && !mychat->hasSelectedText() &&
        mainchat->textCursor().hasSelection()) {
      Copy1Click();
      return true;
    }
  }
  if (o->objectName() == "Image1" && e->type() == QEvent::MouseButtonPress) {
    windows::openMakerSite();
    return true;
  }
  if (o == mainchat->viewport()) {
    // Links are found under the pointer as it moves, and opened by a left click.
    if (e->type() == QEvent::MouseMove) {
      const QPoint at = static_cast<QMouseEvent*>(e)->position().toPoint();
      mainchat->viewport()->setCursor(URLAtPoint(mainchat, at) ? Qt::PointingHandCursor : Qt::IBeamCursor);
    } else if (e->type() == QEvent::MouseButtonPress) {
      auto* m = static_cast<QMouseEvent*>(e);
      if (m->button() == Qt::LeftButton && OpenURLAtPoint(mainchat, m->position().toPoint())) return true;
    } else if (e->type() == QEvent::MouseButtonRelease) {
      mychat->setFocus();
    }
  }
  return QMainWindow::eventFilter(o, e);
}

// --- Menu operations --------------------------------------------------------------

void Tchat::TextColor1Click() {
  auto* dialog = new QColorDialog(toQColor(textColor_), this);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  connect(dialog, &QColorDialog::colorSelected, this,
          [this](const QColor& c) { setTextColor(fromQColor(c)); });
  dialog->open();
}

void Tchat::setTextColor(uint32_t colour) {
  textColor_ = colour;
  QPalette p = mychat->palette();
  p.setColor(QPalette::Text, toQColor(colour));
  mychat->setPalette(p);
  saveinifile();
}

void Tchat::ActionColor1Click() {
  auto* dialog = new QColorDialog(toQColor(actionColor_), this);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  connect(dialog, &QColorDialog::colorSelected, this,
          [this](const QColor& c) { actionColor_ = fromQColor(c); });
  connect(dialog, &QDialog::finished, this, [this](int) { saveinifile(); });  // OK or Cancel
  dialog->open();
}

void Tchat::TextSizeClick(int points) {
  applyTextSize(points);
  saveinifile();
}

void Tchat::applyTextSize(int points) {
  if (points <= 0) return;  // a stored size no font can have
  textSize_ = points;
  // The chat grows with the table; the setting keeps the size at the design's.
  QFont f = mainchat->font();
  if (chatScale_ == 1)
    f.setPointSize(points);
  else
    f.setPointSizeF(points * chatScale_);
  mainchat->setFont(f);
  mainchat->document()->setDefaultFont(f);
}

void Tchat::Copy1Click() {
  QApplication::clipboard()->setText(mainchat->textCursor().selection().toPlainText());
}

void Tchat::Paste1Click() {
  const QString text = QApplication::clipboard()->text();
  if (!text.isEmpty()) mychat->setText(text);
}

void Tchat::ScrollChatOff1Click() {
  ScrollChatOff1->setChecked(!ScrollChatOff1->isChecked());
  ScrollChatOff2->setChecked(ScrollChatOff1->isChecked());
}

void Tchat::ClearMainChat1Click() {
  mainchat->clear();
  chatStarted_ = false;
  mychat->setFocus();
}

void Tchat::phrasesDone(const std::array<QString, 10>& texts) {
  std::vector<std::pair<QString, QString>> keys;
  for (int n = 1; n <= 9; ++n) {
    setPhrase(n, texts[n]);
    keys.emplace_back("Phrase" + QString::number(n), texts[n]);
  }
  if (settingsRead_) storeSettings(keys);  // never over phrases this table did not read
}

void Tchat::PhraseList1Click() {
  if (!phrases) return;
  for (int n = 1; n <= 9; ++n) phrases->setPhrase(n, phrase(n));
  phrases->show();
  phrases->raise();
}

}  // namespace ombrix::client
