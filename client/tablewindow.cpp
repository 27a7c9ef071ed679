// The table window: construction, start-up and the window's part of the
// company's events. The connection and the dispatch of what it brings are in
// tablewindow_connection.cpp, the game in tablewindow_table.cpp.
#include "client/tablewindow.h"

#include <QApplication>
#include <QFileInfo>
#include <QCloseEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QLoggingCategory>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTextEdit>
#include <QTimer>
#include <QToolButton>

#include "client/tablewindow_util.h"
#include "client/gamerecord.h"
#include "client/inprocesshost.h"
#include "client/mutelist.h"
#include "client/tableaccess.h"
#include "client/tableevents.h"
#include "client/tablehint.h"
#include "client/tablekeys.h"
#include "client/tablemotion.h"
#include "net/wsock.h"
#include "protocol/commands.h"
#include "ui/cardlabel.h"
#include "ui/cardpictures.h"
#include "ui/designscale.h"
#include "ui/msgbox.h"
#include "ui/userfiles.h"
#include "widgets/art.h"
#include "widgets/controls.h"
#include "windows/downloadform.h"
#include "windows/lasttrickform.h"
#include "windows/phrasesform.h"
#include "windows/scoreform.h"
#include "windows/startform.h"
#include "windows/spylistform.h"
#include "windows/tallylistform.h"

namespace ombrix::client {

// The table's own events for whoever turns them on (QT_LOGGING_RULES=ombrix.table.info=true).
Q_LOGGING_CATEGORY(lcTable, "ombrix.table", QtWarningMsg)

namespace build = wire::build;

std::string toWire(const QString& text) {
  std::string out = text.toLatin1().toStdString();
  for (char& c : out)
    if (static_cast<unsigned char>(c) == 0xFF) c = '?';
  wire::toOneLine(out);
  return out;
}

QString Tchat::wireName() const { return fromWire(toWire(myName)); }

namespace {

QLabel* label(QWidget* parent, const QString& name, const QString& text, int x, int y, int w, int h, int px,
              bool bold = true, QColor colour = Qt::black) {
  auto* l = new widgets::FitLabel(text, parent);
  l->setObjectName(name);
  l->setGeometry(x, y, w, h);
  QFont f("Arial");
  f.setPixelSize(px);
  f.setBold(bold);
  l->setFont(f);
  QPalette p = l->palette();
  p.setColor(QPalette::WindowText, colour);
  l->setPalette(p);
  return l;
}

// A mark drawn in code (widgets/art.h), at the size the table shows it.
QLabel* art(QWidget* parent, const QString& name, int x, int y, int w, int h, widgets::ArtLabel::Art draw) {
  auto* l = new widgets::ArtLabel(parent, {w, h}, std::move(draw));
  l->setObjectName(name);
  l->setScaledContents(true);
  l->setGeometry(x, y, w, h);
  return l;
}

ui::CardLabel* cardPlace(QWidget* parent, const QString& name, int x, int y, int w, int h) {
  auto* l = new ui::CardLabel(parent);
  l->setObjectName(name);
  l->setGeometry(x, y, w, h);
  return l;
}

QPushButton* pictureButton(QWidget* parent, const QString& name, const QString& text, int x, int y) {
  auto* b = new widgets::PictureButton(parent, text, {91, 28});
  b->setObjectName(name);
  b->setGeometry(x, y, 91, 28);
  return b;
}

struct Place {
  int x, y;
};
// Left and top of each family's element by screen position 1..4.
struct FamilyLayout {
  const char* family;
  Place at[4];
};
constexpr FamilyLayout kLayout[] = {
    {"label_playername", {{160, 298}, {39, 102}, {153, 3}, {376, 64}}},
    {"label_score", {{208, 320}, {89, 124}, {202, 28}, {425, 86}}},
    {"label_tricks", {{208, 337}, {89, 141}, {202, 43}, {425, 103}}},
    {"label_bid", {{208, 353}, {89, 157}, {202, 59}, {425, 119}}},
    {"label_bidlabel", {{168, 353}, {49, 157}, {162, 59}, {385, 117}}},
    {"image_turn", {{138, 321}, {18, 125}, {133, 27}, {355, 88}}},
    {"image_eyes", {{141, 301}, {23, 106}, {136, 8}, {359, 69}}},
    {"image_cards", {{232, 320}, {48, 176}, {227, 27}, {385, 136}}},
    {"image_played", {{219, 174}, {179, 158}, {203, 133}, {243, 150}}},
    {"image_winner", {{224, 320}, {40, 176}, {219, 32}, {384, 136}}},
    {"image_trickwinner", {{168, 368}, {120, 128}, {182, 75}, {352, 136}}},
};
constexpr Place kScoreCaption[4] = {{168, 321}, {49, 125}, {162, 27}, {385, 85}};
constexpr Place kTricksCaption[4] = {{168, 337}, {49, 141}, {162, 43}, {385, 101}};
const QColor kNotice(0x00, 0x40, 0x80);  // 0x804000 as 0x00BBGGRR

// The bid box's up-down arrows, tied to edit_bid: 0 .. maximum, no wrap.
class UpDown : public QWidget {
 public:
  UpDown(QWidget* parent, QLineEdit* edit) : QWidget(parent), edit_(edit) {
    auto* up = new QToolButton(this);
    auto* down = new QToolButton(this);
    up->setArrowType(Qt::UpArrow);
    down->setArrowType(Qt::DownArrow);
    connect(up, &QToolButton::clicked, this, [this] { step(1); });
    connect(down, &QToolButton::clicked, this, [this] { step(-1); });
  }

 protected:
  void resizeEvent(QResizeEvent*) override {
    // The two arrows share the height, whatever the table's size.
    const auto arrows = findChildren<QToolButton*>();
    const int half = height() / 2;
    arrows[0]->setGeometry(0, 0, width(), half);
    arrows[1]->setGeometry(0, half, width(), height() - half);
  }

 private:
  void step(int d) {
    const int v = std::clamp(edit_->text().toInt() + d, 0, edit_->property("maximum").toInt());
    edit_->setText(QString::number(v));
  }
  QLineEdit* edit_;
};

}  // namespace

Tchat::Tchat()
    : gameRecord_(std::make_unique<GameRecord>(model_)),
      conn_(std::make_unique<TableConnection>(TableConnection::Window{
          [this](const std::string& command) { runCommand(command); },
          [this](const QString& text) { addlinetochat(text); },
          [this] { return model_.loggedIn(); },
          [this] { return model_.mySeat(); },
          [this] { hostFlooded(); },
          [this] { return fullBoxOpen_; },
          [this] { return closing_; },
          [this] { closeTable(); },
          [this] { resetForNewConnection(); },
      })),
      phraseTimer_(timers_.createTimer()) {
  setObjectName("Tchat");
  setWindowTitle("Ombrix");
  setGeometry(3, 3, 790, 520);
  buildMenus();
  buildTable();
  buildChat();
  settingsFile = ui::userFile("quarrowlobby.ini", ui::FileKind::Settings);
  phraseTimer_->onTick = [this] { phraseTick(); };
  for (int s = 1; s <= 4; ++s) {
    el<QLabel>("label_score", s)->setText("0");
    el<QLabel>("label_bid", s)->setText("0");
  }
  removeHand();
  access_ = std::make_unique<TableAccess>(*this);
  keys_ = std::make_unique<TableKeys>(*this);
  mutes_ = std::make_unique<MuteList>(*this);
  hint_ = std::make_unique<TableHint>(*this);
  motion_ = std::make_unique<TableMotion>(*this);
  // The window draws first; the record, the hint and the mute list follow
  // the table it shows, and the keys move the focus last.
  model_.addObserver(*this);
  model_.addObserver(*gameRecord_);
  model_.addObserver(*hint_);
  model_.addObserver(*mutes_);
  model_.addObserver(*keys_);
  model_.addObserver(*motion_);  // only adds pictures over what is drawn
  ui::CardPictures::instance().onDeckFailed = [this](const QString& deck) { tellDeck(deck); };
}

Tchat::~Tchat() {
  ui::CardPictures::instance().onDeckFailed = nullptr;
  conn_.reset();  // nothing it reports reaches a window half gone
}

void Tchat::attach(windows::Tscore* s, windows::Tlasttrick* l, windows::Tspylist* sp, InProcessHost* h,
                   windows::Ttallylist* t, windows::Tphrases* ph) {
  score = s;
  lastTrick = l;
  spies = sp;
  host = h;
  tally = t;
  if (tally) tally->loadchecklist = [this] { loadchecklist(); };
  phrases = ph;
  if (phrases) phrases->onDone = [this](const std::array<QString, 10>& texts) { phrasesDone(texts); };
  auto captionOf = [this](int seat) { return caption(seat); };
  if (score) score->seatCaption = captionOf;
  if (lastTrick) lastTrick->seatCaption = captionOf;
  if (spies) spies->kicking = [this](int n) { kicking(n); };
  if (host) host->onNotice([this](std::string_view text) { hostNotice(fromWire(text)); });
  keys_->attach(score);
  mutes_->attach(spies);
}

CardImage* Tchat::markedCard() const { return keys_->marked(); }

void Tchat::refreshNames() { access_->refresh(); }

void Tchat::hostNotice(const QString& text) {
  // A seat may repeat the request behind a notice many times a second.
  if (noticesShowing_.contains(text)) return;
  noticesShowing_ << text;
  ui::messageBox(text, [this, text] { noticesShowing_.removeOne(text); });
}

void Tchat::buildTable() {
  panel_main = new widgets::BackgroundPanel(this);
  panel_main->setObjectName("panel_main");
  setCentralWidget(panel_main);
  panel_main->setMinimumSize(784, 474);
  tableArea = new QWidget(panel_main);
  tableArea->setObjectName("tableArea");
  tableArea->setGeometry(kTableArea);
  for (int p = 1; p <= 4; ++p) {
    const QString n = QString::number(p);
    for (const FamilyLayout& f : kLayout) {
      const Place at = f.at[p - 1];
      const QString name = f.family + n;
      const std::string fam = f.family;
      if (fam == "label_playername") {
        auto* l = label(tableArea, name, "<Waiting>", at.x, at.y, 90, 22, 19);
        if (p >= 2) {
          // Positions 2..4 offer the host's seat menu, targeting the position.
          l->setContextMenuPolicy(Qt::CustomContextMenu);
          connect(l, &QWidget::customContextMenuRequested, this, [this, p, l](const QPoint& pt) {
            kickTarget_ = p;
            for (QAction* a : popup_kick->actions()) a->setEnabled(hostPlayer());
            popup_kick->popup(l->mapToGlobal(pt));
          });
        }
      } else if (fam == "label_score" || fam == "label_tricks" || fam == "label_bid") {
        label(tableArea, name, "0", at.x, at.y, 40, 16, 13);
      } else if (fam == "label_bidlabel") {
        label(tableArea, name, "Bid", at.x, at.y, 36, 16, 13);
      } else if (fam == "image_turn") {
        art(tableArea, name, at.x, at.y, 27, 44, widgets::turnArrow)->hide();
      } else if (fam == "image_eyes") {
        art(tableArea, name, at.x, at.y, 24, 17, widgets::watchEyes)->hide();
      } else if (fam == "image_cards") {
        cardPlace(tableArea, name, at.x, at.y, 66, 96);
      } else if (fam == "image_played") {
        cardPlace(tableArea, name, at.x, at.y, 71, 96);
      } else if (fam == "image_winner") {
        art(tableArea, name, at.x, at.y, 82, 88, widgets::winnerMark)->hide();
      } else if (fam == "image_trickwinner") {
        art(tableArea, name, at.x, at.y, 32, 41, widgets::trickMark)->hide();
      }
    }
    label(tableArea, "caption_score" + n, "Score", kScoreCaption[p - 1].x, kScoreCaption[p - 1].y, 40, 16,
          13);
    label(tableArea, "caption_tricks" + n, "Tricks", kTricksCaption[p - 1].x, kTricksCaption[p - 1].y, 40, 16,
          13);
  }
  label_round = label(tableArea, "label_round", "Round: 0", 7, 4, 150, 17, 13, true, kNotice);
  label_totalbids = label(tableArea, "label_totalbids", "Total Bids: 0", 7, 21, 150, 17, 13, true, kNotice);
  label_turn = label(tableArea, "label_turn", "Good Luck!", 7, 39, 150, 17, 13, true, kNotice);
  trumpcard = cardPlace(tableArea, "trumpcard", 23, 314, 71, 96);
  label(tableArea, "caption_trump", "Trump Card", 21, 411, 80, 16, 13, true, kNotice);
  label_status1 = label(tableArea, "label_status1", "", 3, 451, 334, 20, 13, true, kNotice);
  label_status2 = label(tableArea, "label_status2", "", 336, 451, 169, 20, 13, true, kNotice);
  label_status2->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  label_end = label(tableArea, "label_end", " ", 22, 256, 509, 20, 13, true, kNotice);
  label_end->setAlignment(Qt::AlignCenter);
  label_firstplay = label(tableArea, "label_firstplay", "", 138, 251, 255, 20, 13);
  label_firstplay->setAlignment(Qt::AlignCenter);
  label_firstplay->hide();
  // Wide enough for its text at its size; its right edge, where the text
  // ends, stays beside the box.
  label_bidcaption = label(tableArea, "label_bid", "Your Bid:", 183, 273, 100, 24, 19);
  label_bidcaption->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  edit_bid = new QLineEdit("0", tableArea);
  edit_bid->setObjectName("edit_bid");
  edit_bid->setGeometry(284, 272, 26, 28);
  auto* ud = new UpDown(tableArea, edit_bid);
  ud->setObjectName("updown_bid");
  ud->setGeometry(310, 272, 17, 28);
  updown_bid = ud;
  button_bid = pictureButton(tableArea, "button_bid", "Bid", 329, 272);
  connect(button_bid, &QPushButton::clicked, this, [this] { button_bidClick(); });
  setBidBoxVisible(false);
  button_start = pictureButton(tableArea, "button_start", "Start Full", 205, 204);
  button_starthalf = pictureButton(tableArea, "button_starthalf", "Start Half", 205, 172);
  connect(button_start, &QPushButton::clicked, this, [this] { button_startClick(); });
  connect(button_starthalf, &QPushButton::clicked, this, [this] { StartHalfGame1Click(); });
  button_start->hide();
  button_starthalf->hide();
  // These two stand over the chat column and go with it.
  button_scorecard = pictureButton(panel_main, "button_scorecard", "Score Card", 554, 74);
  button_lasttrick = pictureButton(panel_main, "button_lasttrick", "Last Trick", 650, 74);
  connect(button_scorecard, &QPushButton::clicked, this, [this] {
    if (score) score->show(), score->raise();
  });
  connect(button_lasttrick, &QPushButton::clicked, this, [this] {
    if (lastTrick) lastTrick->show(), lastTrick->raise();
  });

  mainchat = new QTextEdit(panel_main);
  mainchat->setObjectName("mainchat");
  mainchat->setReadOnly(true);
  mainchat->setFocusPolicy(Qt::ClickFocus);
  mainchat->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  mainchat->setStyleSheet("QTextEdit { background: white; font-family: Arial; }");
  // What the table holds now is its design.
  ui::designScale(tableArea, 1);
}

void Tchat::resizeEvent(QResizeEvent* e) {
  QMainWindow::resizeEvent(e);
  if (mychat) layoutTable();
}

void Tchat::layoutTable() {
  // The panel at the design's window size: the factor is 1 there, so
  // nothing moves for a player who never resizes.
  const QSize design(kDesignWindow.width(), kDesignWindow.height() - menuBar()->height());
  const qreal s = ui::fitFactor(panel_main->size(), design);
  const int spareW = std::max(0, panel_main->width() - qRound(design.width() * s));
  const int spareH = std::max(0, panel_main->height() - qRound(design.height() * s));
  // The chat column takes half the width to spare; the table is centred in
  // what is left of it, and in the height.
  const QPoint table(spareW / 4, spareH / 2);
  tableArea->setGeometry(ui::scaledRect(kTableArea, s).translated(table));
  ui::designScale(tableArea, s);
  layoutChat(s, table + QPoint(spareW / 4, 0));
}

void Tchat::prepareCards() { ui::CardPictures::instance().prepare(trumpcard->size(), devicePixelRatioF()); }

QString Tchat::caption(int seat) const {
  return TableModel::isSeat(seat) ? fromWire(model_.name(seat)) : QString();
}

// --- Start-up -----------------------------------------------------------------

void Tchat::processparams(const QStringList& params) {
  StartGame1->setEnabled(false);
  StartHalfGame1->setEnabled(false);
  button_start->hide();
  button_starthalf->hide();
  if (params.isEmpty()) {
    addlinetochat("Loading Solo Game..Please wait.");
    prepareCards();  // a game is near: the deck is read and drawn meanwhile
    hostAddress = "127.0.0.1";
    myName = "You";
    // A game left when the program last closed may be taken up again; the
    // host must hold it before the table connects.
    std::string report;
    const std::optional<SavedGame> saved = host ? host->openSave(&report) : std::nullopt;
    if (!report.empty()) addlinetochat(QString::fromStdString(report));
    // Our own lobby beside the game: what a player can do here. Without
    // it, the lobby download is offered; the solo game loads behind either.
    if (start && download && QFileInfo::exists(download->lobbyPath)) {
      const int round = saved ? saved->round : 0;
      start->onOthers = [this, round] {
        // The program ends once the lobby starts; else the choice stands open.
        if (!download->Button2Click()) start->offer(round);
      };
      start->onSolo = [this, saved] { if (saved) startSolo(saved, false); };
      start->onResume = [this, saved] { startSolo(saved, true); };
      start->offer(round);
      if (!saved) hostpress();
      return;
    }
    if (download) download->show();
    if (!saved) return hostpress();
    ui::choice("Resume the game you left in round " + QString::number(saved->round) + "?", {"Resume", "New Game"},
               [this, saved](int answer) { startSolo(saved, answer == 0); });
    return;
  }
  addlinetochat("Loading Multi-player Game.. Please Wait.");
  if (params.size() < 3) return;
  myName = params[0];
  hostAddress = params[1];
  if (params[2] == "true")
    hostpress();
  else
    joinpress();
  conn_->openLobbyLink();  // held for the program's life
}

void Tchat::startSolo(const std::optional<SavedGame>& saved, bool resume) {
  if (saved && resume && host->resumeSave()) {
    resumedRows_ = saved->roundPoints;
    gameRecord_->resumeWith(*saved);
  } else if (saved) {
    if (resume) addlinetochat("The saved game could not be resumed; a new one can start.");
    host->discardSave();
  }
  hostpress();
}

void Tchat::showStartControls() {
  StartGame1->setEnabled(true);
  StartHalfGame1->setEnabled(true);
  button_start->show();
  button_starthalf->show();
  if (spies) spies->popup_kickhim->setEnabled(true);
}

void Tchat::before(const TableEvent& e) {
  if (const auto* d = std::get_if<ev::Departed>(&e)) departing_ = caption(d->slot);
}

void Tchat::after(const TableEvent& e) {
  std::visit(Handlers{[this](const ev::LogIn& x) { sendloginfo(x); },
                      [this](const ev::Arrived& x) { newplayerinfo(x); },
                      [this](const ev::Departed& x) { playerdisconnected(x); },
                      [this](const ev::JustWatching& x) { justwatching(x); },
                      [this](const ev::OtherVersion& x) {
                        addlinetochat(fromWire(x.name) + " has a different version of the game then you.");
                      },
                      [this](const ev::WrongVersion&) {
                        addlinetochat("You have a differnt version of the game then the host.");
                      },
                      [this](const ev::Full&) { full(); },
                      [this](const ev::SeatFound& x) { newplayerstuff(x); },
                      [this](const ev::GameFound& x) { stats(x); },
                      [this](const ev::GameStarted& x) { startthegame(x); },
                      [this](const ev::RoundStarted& x) { startround(x); },
                      [this](const ev::Dealt& x) { placecard(x); },
                      [this](const ev::Trump& x) { trump(x); },
                      [this](const ev::BidAsked& x) { mybid(x); },
                      [this](const ev::BidMade& x) { hisbid(x); },
                      [this](const ev::Turn& x) { getnextplayer(x); },
                      [this](const ev::CardPlayed& x) { playcard(x); },
                      [this](const ev::CardRefused&) { needsuit(); },
                      [this](const ev::TrickTaken& x) { trickwinner(x); },
                      [this](const ev::Scored& x) { scoreit(x); },
                      [this](const ev::GameOver& x) { winner(x); },
                      [this](const ev::RulesTold& x) { houseRules(x); },
                      [this](const ev::Line& x) { chatReceived(x); },
                      [this](const ev::Sound& x) { playasound(x); },
                      [this](const ev::Unreadable& x) { unreadable(x); }},
             e);
  if (!std::holds_alternative<ev::Line>(e) && !std::holds_alternative<ev::Sound>(e)) markPlayable();
}

void Tchat::unreadable(const ev::Unreadable& e) {
  // A bid's announcement closes the bid box before its fields are read.
  if (e.kind == wire::Announcement::HisBid) {
    label_end->setText("");
    setBidBoxVisible(false);
  }
  if (e.number) ui::messageBox("'" + fromWire(e.field) + "' is not a valid integer value");
}

void Tchat::full() {
  fullBoxOpen_ = true;
  ui::messageBox("The Game is full, Disconnecting..", [this] {
    fullBoxOpen_ = false;
    closeTable();
  });
}

// --- The table's company -----------------------------------------------------------

void Tchat::sendloginfo(const ev::LogIn& e) {
  send(rq::LogIn{e.slot, toWire(myName)});
  sortstuff(e.slot);
  enableHouseRules();
  // Slot 1 is the host's player; a table that joins into it (at a headless
  // host) starts the games. The hosting table shows these already.
  if (e.slot == 1 && !isHost_) showStartControls();
}

void Tchat::newplayerinfo(const ev::Arrived& e) {
  const int n = e.slot;
  const QString name = fromWire(e.name);
  if (n >= TableModel::kFirstSpectator) {
    if (spies && n <= TableModel::kLastSlot) spies->add(n, name);
    addlinetochat(n == model_.mySeat() ? "You are just spying." : name + " is spying.");
  } else if (n >= 1) {
    el<QLabel>("label_playername", n)->setText(caption(n));
    if (n == model_.mySeat()) {
      addlinetochat("You are Connected.");
      // Only a seated player has settings; a spectator keeps the built-in
      // ones. A table seated again after its line dropped keeps what it has
      // (the window where the player moved it).
      if (!seatedAgain_) loadinifile();
      seatedAgain_ = false;
      // From here on a close saves the settings (and the window's place).
      qCInfo(lcTable, "seated in slot %d", n);
    } else
      addlinetochat(name + " has Connected.");
  }
  loadchecklist();
}

void Tchat::playerdisconnected(const ev::Departed& e) {
  const int n = e.slot;
  if (n == model_.mySeat()) return closeTable();
  if (TableModel::isSeat(n)) {
    // A person's name, not a seat's own: someone left.
    if (departing_ != TableModel::kWaiting && departing_ != fromWire(TableModel::defaultName(n)))
      addlinetochat(departing_ + " disconnected.");
    el<QLabel>("label_playername", n)->setText(caption(n));
    el("image_eyes", n)->hide();
  }
  loadchecklist();
  const QString name = fromWire(e.name);
  if (spies && spies->remove(n, name)) addlinetochat(name + " has left.");
}

void Tchat::justwatching(const ev::JustWatching& e) {
  const int n = e.seat;
  if (!TableModel::isSeat(n)) return;
  const QString cap = caption(n);
  if (n == model_.mySeat()) JustWatch1->setChecked(e.watching);
  addlinetochat(cap + (e.watching ? " is just watching" : " now playing again"));
  el("image_eyes", n)->setVisible(e.watching);
}

void Tchat::JustWatch1Click() {
  if (!model_.loggedIn() || !model_.seated()) return;
  send(rq::JustWatch{model_.mySeat(), !JustWatch1->isChecked()});
}

void Tchat::kicking(int target) {
  if (!hostPlayer() || !model_.loggedIn()) return;
  send(rq::Kick{model_.mySeat(), target});
}

void Tchat::closeEvent(QCloseEvent* e) {
  // A solo game in progress is saved while the host still holds it.
  if (host) host->saveNow();
  conn_->stopRedial();
  // FormClose: the settings are saved only when the window moved or changed
  // size, kept within the desktop's work area.
  QRect g = isFullScreen() ? geometryBeforeFullScreen_ : geometry();
  if (g != storedGeometry_) {
    const QRect work = screen() ? screen()->availableGeometry() : g;
    if (g.width() > work.width()) g.setWidth(g.width() - 15);
    if (g.height() > work.height()) g.setHeight(g.height() - 15);
    setGeometry(g);
    storedGeometry_ = g;
    saveinifile();
  }
  QApplication::closeAllWindows();
  e->accept();
}

bool Tchat::event(QEvent* e) {
  // The table window coming to the front hides the score card and the last
  // trick, unless they are to stay on top.
  if (e->type() == QEvent::WindowActivate) {
    if (score && !scontop->isChecked()) score->hide();
    if (lastTrick && !ltontop->isChecked()) lastTrick->hide();
  }
  return QMainWindow::event(e);
}

}  // namespace ombrix::client
