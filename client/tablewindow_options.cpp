// Tchat: the menus, the options behind them and the settings file that
// keeps them between runs.
#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenuBar>
#include <QScreen>
#include <QStandardPaths>
#include <QTextEdit>
#include <QToolButton>

#include "client/tablewindow.h"
#include "client/colortext.h"
#include "client/gamerecord.h"
#include "client/tablehint.h"
#include "client/tablemotion.h"
#include "protocol/commands.h"
#include "protocol/framing.h"
#include "ui/cardpictures.h"
#include "ui/msgbox.h"
#include "ui/settings.h"
#include "windows/aboutform.h"
#include "windows/carddeckform.h"
#include "windows/downloadform.h"
#include "windows/helpform.h"
#include "windows/lasttrickform.h"
#include "windows/scoreform.h"
#include "windows/spylistform.h"
#include "windows/tallylistform.h"

namespace ombrix::client {

namespace {

const QString kSection = "Ombrix";
constexpr int kTextSizes[4] = {8, 10, 12, 14};

QAction* checkable(QMenu* menu, const QString& text, const char* name, bool checked) {
  QAction* a = menu->addAction(text);
  a->setObjectName(name);
  a->setCheckable(true);
  a->setChecked(checked);
  return a;
}

// Keeps a window above the others, or not. Changing the flag hides a shown
// window, so it is shown again.
void setStayOnTop(QWidget* w, bool on) {
  if (!w) return;
  const bool shown = w->isVisible();
  w->setWindowFlag(Qt::WindowStaysOnTopHint, on);
  if (shown) w->show();
}

// An integer key; its default when absent or not a number.
int number(const QHash<QString, QString>& s, const char* key, int fallback) {
  bool ok = false;
  const int v = s.value(key).toInt(&ok);
  return ok ? v : fallback;
}

}  // namespace

void Tchat::buildMenus() {
  QMenu* file = menuBar()->addMenu("&File");
  StartGame1 = file->addAction("Start Full Game", this, [this] { button_startClick(); });
  StartGame1->setObjectName("StartGame1");
  StartHalfGame1 = file->addAction("Start Half Game", this, [this] { StartHalfGame1Click(); });
  StartHalfGame1->setObjectName("StartHalfGame1");
  Hint1 = file->addAction("Hint", this, [this] { Hint1Click(); });
  Hint1->setObjectName("Hint1");
  Hint1->setShortcut(QKeySequence("Ctrl+H"));
  file->addSeparator();
  SaveGameRecord1 =
      file->addAction(QString::fromUtf8("Save Game Record\u2026"), this, [this] { SaveGameRecord1Click(); });
  SaveGameRecord1->setObjectName("SaveGameRecord1");
  // Offered once this table has seen a game start or joined one.
  connect(file, &QMenu::aboutToShow, this, [this] { SaveGameRecord1->setEnabled(gameRecord_->hasGame()); });
  file->addSeparator();
  file->addAction("Exit", this, [this] { close(); })->setObjectName("Exit1");
  QAction* hostGame = file->addAction("Host Game", this, [this] {
    myName = "You";
    hostAddress = "127.0.0.1";
    hostpress();
  });
  hostGame->setObjectName("HostGame1");
  hostGame->setVisible(false);
  QAction* joinGame = file->addAction("Join Game", this, [this] {
    myName = "Quarrow";
    hostAddress = "127.0.0.1";
    joinpress();
  });
  joinGame->setObjectName("JoinGame1");
  joinGame->setVisible(false);

  QMenu* options = menuBar()->addMenu("&Options");
  PlaySounds1 = checkable(options, "Play Sounds", "PlaySounds1", true);
  PlaySounds1->setShortcut(QKeySequence("Ctrl+P"));
  connect(PlaySounds1, &QAction::triggered, this, [this] { PlaySounds1Click(); });
  PlayChatterSounds1 = checkable(options, "Play Chatter Sounds", "PlayChatterSounds1", false);
  connect(PlayChatterSounds1, &QAction::triggered, this, [this] { PlayChatterSounds1Click(); });
  QMenu* turn = options->addMenu("Turn Sound");
  turn->setObjectName("TurnSound1");
  Classic1 = checkable(turn, "Classic", "Classic1", true);
  New1 = checkable(turn, "New", "New1", false);
  connect(Classic1, &QAction::triggered, this, [this] { TurnSoundClick(0); });
  connect(New1, &QAction::triggered, this, [this] { TurnSoundClick(1); });
  QMenu* speed = options->addMenu("Bot Speed");
  speed->setObjectName("BotSpeed1");
  Slow1 = checkable(speed, "Slow", "Slow1", false);
  Normal1 = checkable(speed, "Normal", "Normal1", true);
  Fast1 = checkable(speed, "Fast", "Fast1", false);
  connect(Slow1, &QAction::triggered, this, [this] { BotSpeedClick(1000); });
  connect(Normal1, &QAction::triggered, this, [this] { BotSpeedClick(750); });
  connect(Fast1, &QAction::triggered, this, [this] { BotSpeedClick(500); });
  QMenu* skill = options->addMenu("Computer Players");
  skill->setObjectName("ComputerPlayers1");
  SkillClassic1 = checkable(skill, "Classic", "SkillClassic1", true);
  SkillStandard1 = checkable(skill, "Standard", "SkillStandard1", false);
  SkillStrong1 = checkable(skill, "Strong", "SkillStrong1", false);
  connect(SkillClassic1, &QAction::triggered, this, [this] { ComputerPlayers1Click(ai::Skill::Classic); });
  connect(SkillStandard1, &QAction::triggered, this, [this] { ComputerPlayers1Click(ai::Skill::Standard); });
  connect(SkillStrong1, &QAction::triggered, this, [this] { ComputerPlayers1Click(ai::Skill::Strong); });
  HouseRules1 = options->addMenu("House Rules");
  HouseRules1->setObjectName("HouseRules1");
  HookRule1 = checkable(HouseRules1, "The Hook: the Last Bid May Not Make the Total", "HookRule1", false);
  HouseRules1->addSeparator();
  ScoringDesign1 = checkable(HouseRules1, "Scoring: Bid + 10 When Made", "ScoringDesign1", true);
  ScoringTricks1 = checkable(HouseRules1, "Scoring: A Point a Trick, + 10 When Made", "ScoringTricks1", false);
  ScoringPenalty1 = checkable(HouseRules1, "Scoring: 10 + 2 x Bid, Minus 2 a Trick Missed", "ScoringPenalty1", false);
  HouseRules1->addSeparator();
  RoundsUpDown1 = checkable(HouseRules1, "Rounds: 1 Up to 10, Then Down", "RoundsUpDown1", true);
  RoundsDownUp1 = checkable(HouseRules1, "Rounds: 10 Down to 1, Then Up", "RoundsDownUp1", false);
  auto pick = [this](auto change) {
    return [this, change] {
      rules::Rules r = houseRules_;
      change(r);
      HouseRules1Click(r);
    };
  };
  connect(HookRule1, &QAction::triggered, this, pick([this](rules::Rules& r) { r.hook = HookRule1->isChecked(); }));
  connect(ScoringDesign1, &QAction::triggered, this, pick([](rules::Rules& r) { r.scoring = rules::Scoring::Design; }));
  connect(ScoringTricks1, &QAction::triggered, this, pick([](rules::Rules& r) { r.scoring = rules::Scoring::Tricks; }));
  connect(ScoringPenalty1, &QAction::triggered, this,
          pick([](rules::Rules& r) { r.scoring = rules::Scoring::Penalty; }));
  connect(RoundsUpDown1, &QAction::triggered, this, pick([](rules::Rules& r) { r.rounds = rules::Rounds::UpDown; }));
  connect(RoundsDownUp1, &QAction::triggered, this, pick([](rules::Rules& r) { r.rounds = rules::Rounds::DownUp; }));
  enableHouseRules();
  AnimateCards1 = checkable(options, "Animate Cards", "AnimateCards1", true);
  connect(AnimateCards1, &QAction::triggered, this, [this] { AnimateCards1Click(); });
  options->addSeparator();
  ShowScorecard1 = checkable(options, "Show Scorecard at end of round", "ShowScorecard1", false);
  connect(ShowScorecard1, &QAction::triggered, this, [this] { ShowScorecard1Click(); });
  scontop = checkable(options, "Score Card Window - Stay on Top", "scontop", false);
  connect(scontop, &QAction::triggered, this, [this] { scontopClick(); });
  ltontop = checkable(options, "Last Trick Window - Stay on Top", "ltontop", false);
  connect(ltontop, &QAction::triggered, this, [this] { ltontopClick(); });
  options->addSeparator();
  options->addAction("Text Color", this, [this] { TextColor1Click(); })->setObjectName("TextColor1");
  QMenu* size = options->addMenu("Text Size");
  size->setObjectName("TextSize1");
  for (int k = 0; k < 4; ++k) {
    const int points = kTextSizes[k];
    textSizes[k] = checkable(size, QString::number(points), ("N" + std::to_string(points)).c_str(), false);
    connect(textSizes[k], &QAction::triggered, this, [this, k, points] {
      textSizes[k]->setChecked(!textSizes[k]->isChecked());  // the mark moves only when settings are read
      TextSizeClick(points);
    });
  }
  options->addAction("Action Color", this, [this] { ActionColor1Click(); })->setObjectName("ActionColor1");
  options->addSeparator();
  ScrollChatOff2 = checkable(options, "Scroll Chat Off", "ScrollChatOff2", false);
  ScrollChatOff2->setShortcut(QKeySequence("Ctrl+S"));
  connect(ScrollChatOff2, &QAction::triggered, this, [this] {
    ScrollChatOff2->setChecked(!ScrollChatOff2->isChecked());  // the context entry leads
    ScrollChatOff1Click();
  });
  ClearMainChat1 = options->addAction("Clear Main Chat", this, [this] { ClearMainChat1Click(); });
  ClearMainChat1->setObjectName("ClearMainChat1");
  ResetScreenLocation1 =
      options->addAction("Reset Screen Location", this, [this] { ResetScreenLocation1Click(); });
  ResetScreenLocation1->setObjectName("ResetScreenLocation1");
  options->addSeparator();
  JustWatch1 = options->addAction("Just Watch", this, [this] {
    JustWatch1->setChecked(!JustWatch1->isChecked());  // the mark follows the host, not the click
    JustWatch1Click();
  });
  JustWatch1->setObjectName("JustWatch1");
  JustWatch1->setCheckable(true);

  // An entry that shows a secondary window: read when chosen, as the windows
  // are handed over after the menus exist.
  auto shows = [this](QMenu* menu, const QString& text, const char* name, auto window) {
    menu->addAction(text, this,
                    [this, window] {
                      if (QWidget* w = this->*window) w->show(), w->raise();
                    })
        ->setObjectName(name);
  };
  QMenu* view = menuBar()->addMenu("&View");
  // Ctrl+S is shown here too, but the key belongs to "Scroll Chat Off".
  shows(view, "View Scorecard\tCtrl+S", "ViewScorecard1", &Tchat::score);
  shows(view, "Last Trick", "LastTrick1", &Tchat::lastTrick);
  shows(view, "Spy List", "SpyList1", &Tchat::spies);
  shows(view, "Tally List", "TallyList1", &Tchat::tally);
  view->addAction("Phrase List", this, [this] { PhraseList1Click(); })->setObjectName("PhraseList1");
  view->addAction(QString::fromUtf8("Card Deck\u2026"), this, [this] { CardDeck1Click(); })
      ->setObjectName("CardDeck1");
  view->addSeparator();
  FullScreen1 = view->addAction("Full Screen", this, [this] { FullScreen1Click(); });
  FullScreen1->setObjectName("FullScreen1");
  FullScreen1->setCheckable(true);
  FullScreen1->setShortcut(QKeySequence(Qt::Key_F11));

  QMenu* helpMenu = menuBar()->addMenu("&Help");
  shows(helpMenu, "Content", "Help2", &Tchat::help);
  // The download window a solo start no longer shows when our lobby is here.
  shows(helpMenu, "Download The Quarrow Lobby", "DownloadLobby1", &Tchat::download);
  helpMenu->addSeparator();
  shows(helpMenu, "About", "About1", &Tchat::about);

  popup_kick = new QMenu(this);
  popup_kick->setObjectName("popup_kick");
  popup_kick->addAction("Remove From Game", this, [this] { kicking(kickTarget_); })
      ->setObjectName("RemoveFromGame1");
  popup_kick->addSeparator();
  popup_kick
      ->addAction("Set to Just Watch", this,
                  [this] {
                    if (!model_.loggedIn() || kickTarget_ >= TableModel::kFirstSpectator) return;
                    send(rq::JustWatch{kickTarget_, true});
                  })
      ->setObjectName("SettoJustWatch1");
  popup_kick
      ->addAction("Unset Just Watch", this,
                  [this] {
                    if (!model_.loggedIn() || kickTarget_ >= TableModel::kFirstSpectator) return;
                    send(rq::JustWatch{kickTarget_, false});
                  })
      ->setObjectName("UnsetJustWatch1");
}

// --- The settings file ----------------------------------------------------------

void Tchat::loadinifile() {
  const QHash<QString, QString> s = ui::readSection(settingsFile, kSection);
  settingsRead_ = true;
  storedGeometry_ =
      QRect(number(s, "left", 3), number(s, "top", 3), number(s, "width", 790), number(s, "height", 520));
  setGeometry(storedGeometry_);

  turnSound_ = s.value("turnsound", "0") == "1" ? 1 : 0;
  Classic1->setChecked(turnSound_ == 0);
  New1->setChecked(turnSound_ == 1);
  PlayChatterSounds1->setChecked(s.value("chattersounds", "true") != "false");
  const int points = number(s, "textsize", 8);
  applyTextSize(points);
  for (int k = 0; k < 4; ++k) textSizes[k]->setChecked(kTextSizes[k] == points);
  const QString text = s.value("textcolor", "clblack");
  textColor_ = textToColor(text).value_or(0);
  QPalette p = mychat->palette();
  p.setColor(QPalette::Text, toQColor(textColor_));
  mychat->setPalette(p);
  actionColor_ = textToColor(s.value("actioncolor", text)).value_or(0);
  for (int n = 1; n <= 9; ++n) {
    const QString stored = s.value("phrase" + QString::number(n));
    if (!stored.isEmpty()) setPhrase(n, stored);
  }
  // Read or not, the stay-on-top texts are what a save writes back.
  scontopText_ = s.value("scontop", "false");
  ltontopText_ = s.value("ltontop", "false");
  scontop->setChecked(scontopText_ == "true");
  ltontop->setChecked(ltontopText_ == "true");
  setStayOnTop(score, scontop->isChecked());
  setStayOnTop(lastTrick, ltontop->isChecked());

  // Keys of this game's own: readers of the design's file pass them by.
  if (const QString faces = s.value("carddeck"); !faces.isEmpty()) useDeck(faces, s.value("cardback", faces), false);

  const QString speed = s.value("botspeed", "750");
  useBotSpeed(speed == "1000" ? 1000 : speed == "500" ? 500 : 750, model_.mySeat() == 1 && model_.loggedIn());
  // Each default is the text read just before it: a first run has every
  // sound on and the score card shown at each round's end.
  AnimateCards1->setChecked(s.value("animatecards", "1") != "0");
  motion_->setEnabled(AnimateCards1->isChecked());
  const QString sounds = s.value("playsounds", speed);
  PlaySounds1->setChecked(sounds != "false");
  ShowScorecard1->setChecked(s.value("showscore", sounds) != "false");
  // Told to the host only once the player has chosen, so a headless host's
  // --bot-skill stands until then; a name this version does not know is no choice.
  // House rules likewise: told only once chosen, so a headless host's --rules stands.
  const auto house = rules::parse(s.value("houserules").toStdString());
  houseRulesChosen_ = house.has_value();
  useHouseRules(house.value_or(rules::Rules{}), houseRulesChosen_ && model_.mySeat() == 1 && model_.loggedIn());
  const auto skill = ai::skillNamed(s.value("botskill").toStdString());
  botSkillChosen_ = skill.has_value();
  useBotSkill(skill.value_or(ai::Skill::Classic),
              botSkillChosen_ && model_.mySeat() == 1 && model_.loggedIn());
}

bool Tchat::saveinifile() {
  if (!settingsRead_) return false;
  const QRect g = isFullScreen() ? geometryBeforeFullScreen_ : geometry();
  auto flag = [](QAction* a) { return QString(a->isChecked() ? "true" : "false"); };
  std::vector<std::pair<QString, QString>> keys = {
      {"Textsize", QString::number(textSize_)},
      {"Textcolor", colorToText(textColor_)},
      {"Actioncolor", colorToText(actionColor_)},
      {"Botspeed", QString::number(botSpeed_)},
      {"Scontop", scontopText_},
      {"Ltontop", ltontopText_},
      {"Top", QString::number(g.top())},
      {"Left", QString::number(g.left())},
      {"Width", QString::number(g.width())},
      {"Height", QString::number(g.height())},
      {"Turnsound", QString::number(turnSound_)},
      {"ChatterSounds", flag(PlayChatterSounds1)},
      {"Playsounds", flag(PlaySounds1)},
      {"Showscore", flag(ShowScorecard1)},
      {"AnimateCards", AnimateCards1->isChecked() ? "1" : "0"}};
  if (botSkillChosen_) keys.emplace_back("Botskill", QString::fromLatin1(ai::skillName(botSkill_)));
  if (houseRulesChosen_) keys.emplace_back("Houserules", QString::fromStdString(rules::format(houseRules_)));
  if (!deckFaces_.isEmpty()) {
    keys.emplace_back("CardDeck", deckFaces_);
    keys.emplace_back("CardBack", deckBack_);
  }
  return storeSettings(keys);
}

bool Tchat::storeSettings(const std::vector<std::pair<QString, QString>>& keys) {
  if (ui::writeKeys(settingsFile, kSection, keys)) return true;
  addlinetochat("Your options could not be saved: " + QDir::toNativeSeparators(settingsFile) +
                " cannot be written.");
  return false;
}

// --- Option handlers ------------------------------------------------------------

void Tchat::PlaySounds1Click() { saveinifile(); }
void Tchat::PlayChatterSounds1Click() { saveinifile(); }
void Tchat::ShowScorecard1Click() { saveinifile(); }

void Tchat::AnimateCards1Click() {
  motion_->setEnabled(AnimateCards1->isChecked());
  saveinifile();
}

void Tchat::CardDeck1Click() {
  if (!cardDeck) {
    cardDeck = new windows::Tcarddeck(this);
    cardDeck->onChosen = [this](const ui::CardPictures::Style& s) { useDeck(s.faces, s.back, true); };
  }
  cardDeck->open(ui::CardPictures::instance().style());
}

void Tchat::useDeck(const QString& faces, const QString& back, bool keep) {
  // The choice is kept as made: a deck missing today may be there tomorrow.
  deckFaces_ = faces;
  deckBack_ = back;
  ui::CardPictures& pictures = ui::CardPictures::instance();
  const QString f = pictures.installed(faces), b = pictures.installed(back);
  if (f != faces) tellDeck(faces);
  if (b != back) tellDeck(back);
  pictures.setStyle({f, b});
  if (model_.gameSeen()) prepareCards();
  if (keep) saveinifile();
}

void Tchat::tellDeck(const QString& deck) {
  if (decksSaid_.contains(deck)) return;
  decksSaid_ << deck;
  ui::CardPictures& pictures = ui::CardPictures::instance();
  auto name = [&pictures](const QString& id) {
    if (id == ui::kDrawnDeck) return QString("plain cards");
    const ui::CardDeck* d = ui::findDeck(pictures.decks(), id);
    return "the card deck \u201c" + (d ? d->name : id) + "\u201d";
  };
  const QString now = name(pictures.installed(deck));
  QString said = name(deck);
  said[0] = said[0].toUpper();
  addlinetochat(said + (pictures.broken(deck) ? " could not be read" : " is not installed") + "; the table shows " +
                now + ".");
}

void Tchat::TurnSoundClick(int number) {
  turnSound_ = number;
  Classic1->setChecked(number == 0);
  New1->setChecked(number == 1);
  saveinifile();
}

void Tchat::BotSpeedClick(int ms) {
  // The host obeys only seat 1; any table may ask.
  useBotSpeed(ms, model_.loggedIn());
  saveinifile();
}

void Tchat::useBotSpeed(int ms, bool tellHost) {
  botSpeed_ = ms;
  motion_->setPace(ms);
  Slow1->setChecked(ms == 1000);
  Normal1->setChecked(ms == 750);
  Fast1->setChecked(ms == 500);
  if (!tellHost) return;
  send(rq::BotSpeed{model_.mySeat(), ms});
}

void Tchat::ComputerPlayers1Click(ai::Skill skill) {
  // As with the speed, the host obeys only seat 1 (and a host at "1.0.14"
  // not at all: it ignores a command it does not know).
  botSkillChosen_ = true;
  useBotSkill(skill, model_.loggedIn());
  saveinifile();
}

void Tchat::useBotSkill(ai::Skill skill, bool tellHost) {
  botSkill_ = skill;
  SkillClassic1->setChecked(skill == ai::Skill::Classic);
  SkillStandard1->setChecked(skill == ai::Skill::Standard);
  SkillStrong1->setChecked(skill == ai::Skill::Strong);
  if (!tellHost) return;
  send(rq::BotSkill{model_.mySeat(), std::string(ai::skillName(skill))});
}

void Tchat::HouseRules1Click(const rules::Rules& r) {
  // The host obeys slot 1 only, and only between games (a host at "1.0.14"
  // not at all: it ignores a command it does not know).
  houseRulesChosen_ = true;
  useHouseRules(r, model_.loggedIn() && model_.mySeat() == 1);
  saveinifile();
}

void Tchat::useHouseRules(const rules::Rules& r, bool tellHost) {
  houseRules_ = r;
  HookRule1->setChecked(r.hook);
  ScoringDesign1->setChecked(r.scoring == rules::Scoring::Design);
  ScoringTricks1->setChecked(r.scoring == rules::Scoring::Tricks);
  ScoringPenalty1->setChecked(r.scoring == rules::Scoring::Penalty);
  RoundsUpDown1->setChecked(r.rounds == rules::Rounds::UpDown);
  RoundsDownUp1->setChecked(r.rounds == rules::Rounds::DownUp);
  if (!tellHost) return;
  send(rq::HouseRules{model_.mySeat(), rules::format(r)});
}

void Tchat::enableHouseRules() {
  if (HouseRules1) HouseRules1->setEnabled(model_.mySeat() == 1 && !gameRunning_);
}

void Tchat::scontopClick() {
  scontopText_ = scontop->isChecked() ? "true" : "false";
  setStayOnTop(score, scontop->isChecked());
  saveinifile();
}

void Tchat::ltontopClick() {
  ltontopText_ = ltontop->isChecked() ? "true" : "false";
  setStayOnTop(lastTrick, ltontop->isChecked());
  saveinifile();
}

void Tchat::Hint1Click() { hint_->ask(); }

void Tchat::ResetScreenLocation1Click() {
  if (isFullScreen()) FullScreen1Click();
  setGeometry(3, 3, 790, 520);
}

void Tchat::FullScreen1Click() {
  if (isFullScreen()) {
    if (maximizedBeforeFullScreen_)
      showMaximized();
    else
      showNormal();
  } else {
    // The window's size is kept as it was before (the full screen is not a size to keep).
    geometryBeforeFullScreen_ = geometry();
    maximizedBeforeFullScreen_ = isMaximized();
    showFullScreen();
  }
  FullScreen1->setChecked(isFullScreen());
}

void Tchat::SaveGameRecord1Click() {
  const QString suggested = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation) + "/Ombrix " +
                            QDateTime::currentDateTime().toString("yyyy-MM-dd HH-mm") + ".txt";
  const QString path =
      QFileDialog::getSaveFileName(this, "Save Game Record", suggested, "Text files (*.txt);;All files (*)");
  if (!path.isEmpty()) saveGameRecord(path);
}

bool Tchat::saveGameRecord(const QString& path) {
  QString error;
  if (gameRecord_->save(path, &error)) return true;
  ui::messageBox("Could not save the game record to " + path + ": " + error);
  return false;
}

void Tchat::attachDownload(windows::Tdownload* d) {
  download = d;
  if (download) download->exitProgram = [this] { close(); };
}

void Tchat::attachStart(windows::Tstart* s) { start = s; }

void Tchat::attachHelp(windows::Thelp* h, windows::Tabout* a) {
  help = h;
  about = a;
  if (help)
    help->SelButton7Click = [this] {
      if (about) about->show(), about->raise();
    };
}

}  // namespace ombrix::client
