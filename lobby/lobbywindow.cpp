#include "lobby/lobbywindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTimer>

#include "lobby/gamesession.h"
#include "lobby/servergame.h"
#include "lobby/servertables.h"
#include "lobby/tablemodel.h"
#include "rules/rules.h"
#include "tables/address.h"
#include "ui/msgbox.h"
#include "ui/oneinstance.h"
#include "widgets/art.h"

namespace ombrix::lobby {

using namespace lobbywire;

namespace {

constexpr int kWidth = 640, kHeight = 550;
// A name longer than this is not a player's name (the game shows a few
// words of it at its seat).
constexpr int kMaxNameChars = 40;
// An invite as pasted: a server's name (at most 253 characters), its port
// and the code, with room for a link's "http://" and spaces around.
constexpr int kInviteChars = 300;
// How often, and how long, the lobby looks for an open game to have ended
// once asked to close: it saves first, which takes a moment.
constexpr int kEndedPollMs = 100, kEndedWaitMs = 15000;
// The house rules' lists, in the order shown; the design's first.
constexpr std::pair<rules::Scoring, const char*> kScoringChoices[] = {
    {rules::Scoring::Design, "Scoring: bid + 10 when made"},
    {rules::Scoring::Tricks, "Scoring: a point a trick, + 10 when made"},
    {rules::Scoring::Penalty, "Scoring: 10 + 2 x bid, minus 2 a trick missed"},
};
constexpr std::pair<rules::Rounds, const char*> kRoundsChoices[] = {
    {rules::Rounds::UpDown, "Rounds: 1 up to 10, then down"},
    {rules::Rounds::DownUp, "Rounds: 10 down to 1, then up"},
};

QLabel* caption(const QString& text, QWidget* parent, const char* name = "") {
  auto* l = new QLabel(text, parent);
  l->setObjectName(name);
  return l;
}

}  // namespace

Tlobby::Tlobby(TableModel& model, GameSession& game, ServerTables& servers, QWidget* parent)
    : QWidget(parent), model_(model), game_(game), servers_(servers) {
  setObjectName("Tlobby");
  setWindowTitle("Ombrix Lobby");
  resize(kWidth, kHeight);
  auto* panel = new widgets::BackgroundPanel(this);
  auto* outer = new QGridLayout(this);
  outer->setContentsMargins(0, 0, 0, 0);
  outer->addWidget(panel, 0, 0);
  auto* grid = new QGridLayout(panel);
  grid->setContentsMargins(12, 12, 12, 12);
  grid->setVerticalSpacing(8);

  grid->addWidget(caption("Your name:", panel), 0, 0);
  edit_name = new QLineEdit(panel);
  edit_name->setObjectName("edit_name");
  edit_name->setMaxLength(kMaxNameChars);
  grid->addWidget(edit_name, 0, 1, 1, 3);

  grid->addWidget(caption("<b>Tables on this network and the lobby server</b>", panel), 1, 0, 1, 4);
  list_tables = new QTableView(panel);
  list_tables->setObjectName("list_tables");
  list_tables->setModel(&model_);
  list_tables->setSelectionBehavior(QAbstractItemView::SelectRows);
  list_tables->setSelectionMode(QAbstractItemView::SingleSelection);
  list_tables->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list_tables->verticalHeader()->hide();
  list_tables->setShowGrid(false);
  list_tables->setAlternatingRowColors(true);
  list_tables->horizontalHeader()->setSectionResizeMode(TableModel::Name, QHeaderView::Stretch);
  for (int c = TableModel::Address; c < TableModel::kColumns; ++c)
    list_tables->horizontalHeader()->setSectionResizeMode(c, QHeaderView::ResizeToContents);
  grid->addWidget(list_tables, 2, 0, 1, 4);
  grid->setRowStretch(2, 1);

  label_lan = caption("Looking for tables on this network…", panel, "label_lan");
  label_lan->setWordWrap(true);
  grid->addWidget(label_lan, 3, 0, 1, 4);
  label_server = caption("", panel, "label_server");
  label_server->setWordWrap(true);
  grid->addWidget(label_server, 4, 0, 1, 4);

  button_join = new QPushButton("Join", panel);
  button_join->setObjectName("button_join");
  button_host = new QPushButton("Host a Table", panel);
  button_host->setObjectName("button_host");
  check_private = new QCheckBox("Private", panel);
  check_private->setObjectName("check_private");
  check_private->setToolTip("Not listed by the lobby server: joined by its invite code only.");
  check_upnp = new QCheckBox("Map a port on my router (UPnP)", panel);
  check_upnp->setObjectName("check_upnp");
  check_upnp->setChecked(true);
  check_upnp->setToolTip(
      "A table hosted through the lobby server asks the home router to forward a port to it, so joiners come "
      "directly rather than through the server's relay.");
  // The house rules of a table hosted here: the game takes them as its
  // starting choice, and its slot 1 may change them between games.
  check_hook = new QCheckBox("The hook", panel);
  check_hook->setObjectName("check_hook");
  check_hook->setToolTip("The last bidder may not bid the number that makes the bids total the round's cards.");
  combo_scoring = new QComboBox(panel);
  combo_scoring->setObjectName("combo_scoring");
  for (const auto& [scoring, label] : kScoringChoices) combo_scoring->addItem(label);
  combo_rounds = new QComboBox(panel);
  combo_rounds->setObjectName("combo_rounds");
  for (const auto& [rounds, label] : kRoundsChoices) combo_rounds->addItem(label);
  auto* houseRules = new QHBoxLayout;
  houseRules->addWidget(check_hook);
  houseRules->addWidget(combo_scoring);
  houseRules->addWidget(combo_rounds);
  houseRules->addStretch(1);
  grid->addWidget(caption("House rules:", panel), 5, 0);
  grid->addLayout(houseRules, 5, 1, 1, 3);

  auto* hosting = new QHBoxLayout;
  hosting->addStretch(1);
  hosting->addWidget(check_upnp);
  hosting->addWidget(check_private);
  grid->addLayout(hosting, 6, 0, 1, 2);
  grid->addWidget(button_join, 6, 2);
  grid->addWidget(button_host, 6, 3);

  // A way in by what the player types: caption, field, and its button.
  auto entryRow = [&](int row, const char* what, QLineEdit*& edit, const char* editName, const char* hint,
                      QPushButton*& button, const char* buttonName) {
    grid->addWidget(caption(QString(what) + ":", panel), row, 0);
    edit = new QLineEdit(panel);
    edit->setObjectName(editName);
    edit->setPlaceholderText(hint);
    grid->addWidget(edit, row, 1, 1, 2);
    button = new QPushButton(what, panel);
    button->setObjectName(buttonName);
    grid->addWidget(button, row, 3);
  };
  entryRow(7, "Join by address", edit_address, "edit_address", "host name, IPv4 or [IPv6] address, :PORT when not 7772",
           button_address, "button_address");
  entryRow(8, "Join by code", edit_code, "edit_code", "the invite a friend sent, SERVER:PORT/+XXXXXXX", button_code,
           "button_code");
  edit_code->setMaxLength(kInviteChars);

  grid->addWidget(caption("Lobby server:", panel), 9, 0);
  edit_server = new QLineEdit(panel);
  edit_server->setObjectName("edit_server");
  edit_server->setPlaceholderText("none; HOST, :PORT when not 7773, to play across the internet");
  grid->addWidget(edit_server, 9, 1, 1, 3);

  label_code = caption("", panel, "label_code");
  label_code->setWordWrap(true);
  label_code->setTextInteractionFlags(Qt::TextSelectableByMouse);
  label_code->hide();
  grid->addWidget(label_code, 10, 0, 1, 3);
  button_copy = new QPushButton("Copy", panel);
  button_copy->setObjectName("button_copy");
  button_copy->setToolTip("Copy the invite (the lobby server and the code), to send it to friends");
  button_copy->hide();
  grid->addWidget(button_copy, 10, 3);

  label_web = caption("", panel, "label_web");
  label_web->setWordWrap(true);
  label_web->setTextInteractionFlags(Qt::TextSelectableByMouse);
  label_web->hide();
  grid->addWidget(label_web, 11, 0, 1, 3);
  button_copyweb = new QPushButton("Copy", panel);
  button_copyweb->setObjectName("button_copyweb");
  button_copyweb->setToolTip("Copy the web link, to send it to a friend");
  button_copyweb->hide();
  grid->addWidget(button_copyweb, 11, 3);
  connect(button_copyweb, &QPushButton::clicked, this, [this] {
    if (!webLink_.isEmpty()) QApplication::clipboard()->setText(webLink_);
  });

  label_game = caption("A game is running: Host and Join wait until it ends.", panel, "label_game");
  label_game->hide();
  grid->addWidget(label_game, 12, 0, 1, 4);
  grid->setColumnStretch(1, 1);

  connect(check_upnp, &QCheckBox::toggled, this, [this] { remember(); });
  connect(button_join, &QPushButton::clicked, this, [this] { joinClick(); });
  connect(button_host, &QPushButton::clicked, this, [this] { hostClick(); });
  connect(button_address, &QPushButton::clicked, this, [this] { addressClick(); });
  connect(edit_address, &QLineEdit::returnPressed, this, [this] { addressClick(); });
  connect(button_code, &QPushButton::clicked, this, [this] { codeClick(); });
  connect(edit_code, &QLineEdit::returnPressed, this, [this] { codeClick(); });
  connect(edit_code, &QLineEdit::textChanged, this, [this] { refresh(); });
  connect(edit_server, &QLineEdit::editingFinished, this, [this] { serverChanged(); });
  connect(button_copy, &QPushButton::clicked, this, [this] {
    if (!inviteCode().isEmpty() && servers_.server())
      QApplication::clipboard()->setText(QString::fromStdString(inviteText(*servers_.server(), inviteCode().toStdString())));
  });
  connect(list_tables, &QTableView::doubleClicked, this, [this](const QModelIndex& i) {
    list_tables->selectRow(i.row());
    joinClick();
  });
  connect(list_tables->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
    if (relaying_) return;
    const tables::ListedTable* t = model_.at(chosenRow());
    chosenSource_ = t ? t->source : std::string();
    chosenKey_ = t ? t->key : std::string();
    refresh();
  });
  connect(edit_name, &QLineEdit::textChanged, this, [this] { refresh(); });
  connect(edit_address, &QLineEdit::textChanged, this, [this] { refresh(); });

  model_.onAvailability = [this](const std::string& source, bool available, const std::string& why) {
    sourceChanged(source, available, why);
  };
  connect(&model_, &QAbstractItemModel::modelAboutToBeReset, this, [this] { relaying_ = true; });
  model_.onRelaid = [this] {
    // The chosen table stays chosen wherever it moved, or nothing is.
    const int row = model_.rowOf(chosenSource_, chosenKey_);
    if (row >= 0) {
      list_tables->selectRow(row);
    } else {
      list_tables->clearSelection();
      chosenSource_.clear();
      chosenKey_.clear();
    }
    relaying_ = false;
    refresh();
  };
  game_.onStarted = [this] { refresh(); };
  game_.onEnded = [this] { gameEnded(); };
  game_.onLine = [this](const std::string& line) { gameSaid(line); };
  servers_.setRefreshing(true);
  otherGameOpen = ui::gameOpen;
  closeOtherGame = ui::askGameToClose;
  refresh();
}

Tlobby::~Tlobby() = default;

void Tlobby::loadSettings(const QString& file) {
  settingsFile_ = file;
  stored_ = readSettings(file);
  edit_name->setText(stored_.name);
  edit_address->setText(stored_.address);
  edit_server->setText(stored_.server);
  check_upnp->setChecked(stored_.portMapping);
  // A LIST edited by hand into nonsense is the design's rules.
  const rules::Rules r = rules::parse(stored_.houseRules.toStdString()).value_or(rules::Rules{});
  check_hook->setChecked(r.hook);
  for (size_t i = 0; i < std::size(kScoringChoices); ++i)
    if (kScoringChoices[i].first == r.scoring) combo_scoring->setCurrentIndex(static_cast<int>(i));
  for (size_t i = 0; i < std::size(kRoundsChoices); ++i)
    if (kRoundsChoices[i].first == r.rounds) combo_rounds->setCurrentIndex(static_cast<int>(i));
  serverChanged();
}

void Tlobby::remember() {
  const rules::Rules r = houseRules();
  const LobbySettings now{edit_name->text().trimmed(), edit_address->text().trimmed(), edit_server->text().trimmed(),
                          check_upnp->isChecked(),
                          r.design() ? QString() : QString::fromStdString(rules::format(r))};
  if (settingsFile_.isEmpty() || now == stored_) return;
  if (writeSettings(settingsFile_, now, stored_)) stored_ = now;
}

int Tlobby::chosenRow() const {
  const QModelIndexList rows = list_tables->selectionModel()->selectedRows();
  return rows.isEmpty() ? -1 : rows.first().row();
}

void Tlobby::sourceChanged(const std::string& source, bool available, const std::string& why) {
  if (source == ServerTables::kSource) {
    serverAnswered_ = available;
    serverWhy_ = QString::fromStdString(why);
  } else {
    lanAvailable_ = available;
    lanWhy_ = QString::fromStdString(why);
  }
  refresh();
}

void Tlobby::serverChanged() {
  const QString words = edit_server->text().trimmed();
  std::optional<HostPort> server;
  if (!words.isEmpty()) server = serverAddress(words.toStdString());
  const bool same = server.has_value() == servers_.server().has_value() &&
                    (!server || (server->host == servers_.server()->host && server->port == servers_.server()->port));
  if (!same) {
    serverAnswered_ = false;
    serverWhy_.clear();
    servers_.setServer(server);
  }
  if (server || words.isEmpty()) remember();
  refresh();
}

QString Tlobby::inviteCode() const { return hostedCode_; }

void Tlobby::refresh() {
  const bool named = !edit_name->text().trimmed().isEmpty();
  const bool free = !game_.running();
  const tables::ListedTable* t = model_.at(chosenRow());
  const tables::Room room = t ? tables::roomAt(t->state) : tables::Room::Seat;
  button_join->setText(room == tables::Room::Watch ? "Watch" : "Join");
  button_join->setEnabled(named && free && t && room != tables::Room::Full);
  button_host->setEnabled(named && free);
  button_address->setEnabled(named && free && !edit_address->text().trimmed().isEmpty());
  const bool server = servers_.server().has_value();
  // An invite that names its server needs none set here.
  const auto invite = readInvite(edit_code->text().toStdString());
  button_code->setEnabled(named && free && !edit_code->text().trimmed().isEmpty() &&
                          (server || (invite && invite->server)));
  check_private->setEnabled(server && free);
  check_upnp->setEnabled(server && free);
  for (QWidget* w : std::initializer_list<QWidget*>{check_hook, combo_scoring, combo_rounds}) w->setEnabled(free);
  label_game->setVisible(!free);

  const QString words = edit_server->text().trimmed();
  int listed = 0;
  for (int r = 0; r < model_.rowCount(); ++r) listed += model_.at(r)->source == ServerTables::kSource;
  if (words.isEmpty())
    label_server->setText("No lobby server: set one below to play across the internet.");
  else if (!server)
    label_server->setText("\"" + words + "\" is not a lobby server's address: give HOST, with \":PORT\" when not 7773.");
  else if (!serverWhy_.isEmpty())
    label_server->setText("The lobby server's tables cannot be shown: " + serverWhy_ + ".");
  else if (!serverAnswered_)
    label_server->setText("Asking the lobby server for its tables…");
  else
    label_server->setText(QString("%1 public %2 from the lobby server.").arg(listed).arg(listed == 1 ? "table" : "tables"));

  if (!lanAvailable_ && !lanWhy_.isEmpty())
    label_lan->setText("Tables on this network cannot be shown: " + lanWhy_ +
                       ". Join by address still works.");
  else if (!lanAvailable_)
    label_lan->setText("Looking for tables on this network…");
  else if (model_.rowCount() == 0)
    label_lan->setText("No tables on this network yet: host one, or join one by its address.");
  else
    label_lan->setText(QString("%1 %2 on this network; waiting tables first.")
                           .arg(model_.rowCount())
                           .arg(model_.rowCount() == 1 ? "table" : "tables"));
}

void Tlobby::started(bool ok) {
  if (!ok && !game_.running())
    ui::messageBox("The game could not be started (" + game_.program + ").");
  refresh();
}

bool Tlobby::desktopFree(std::function<void()> retry) {
  if (game_.running() || !otherGameOpen || !otherGameOpen()) return true;
  ui::choice(
      "An Ombrix game is open on this desktop, and a desktop runs one game at a time: a table started now "
      "would only bring that game to the front.\n\nEnd it and go on? A solo game is saved, and offered "
      "again at your next solo start.",
      {"End It and Go On", "Cancel"}, [this, retry](int answer) {
        if (answer != 0) return;
        if (!closeOtherGame || !closeOtherGame())
          return ui::messageBox("The open game did not answer: end it with File > Exit, then try again.");
        auto* poll = new QTimer(this);
        connect(poll, &QTimer::timeout, this, [this, poll, retry, waited = 0]() mutable {
          waited += kEndedPollMs;
          if (!otherGameOpen()) {
            poll->deleteLater();
            poll->stop();
            retry();
          } else if (waited >= kEndedWaitMs) {
            poll->deleteLater();
            poll->stop();
            ui::messageBox("The open game has not ended: end it with File > Exit, then try again.");
          }
        });
        poll->start(kEndedPollMs);
      });
  return false;
}

void Tlobby::joinClick() {
  const tables::ListedTable* t = model_.at(chosenRow());
  if (!t || !button_join->isEnabled()) return;
  if (!desktopFree([this] { joinClick(); })) return;
  if (!t->code.empty()) {
    if (servers_.server()) startByCode(t->code, *servers_.server());
    return;
  }
  remember();
  const QString address = QString::fromStdString(tables::joinAddress({t->host, t->port}));
  started(game_.join(edit_name->text().trimmed(), address));
}

void Tlobby::hostClick() {
  if (!button_host->isEnabled()) return;
  if (!desktopFree([this] { hostClick(); })) return;
  remember();
  const QString name = edit_name->text().trimmed();
  joining_.reset();
  hostedCode_.clear();
  webLink_.clear();
  showWeb();
  reach_.clear();
  mapping_.clear();
  // The game registers its own table, so what the server lists is what the
  // table is, and the registration ends with it.
  QStringList more;
  if (const rules::Rules r = houseRules(); !r.design()) more << "--rules" << QString::fromStdString(rules::format(r));
  const bool registering = servers_.server().has_value();
  if (registering) {
    // Always with its port: the game reads a bare name as port 7773.
    more << "--lobby-server" << QString::fromStdString(tables::joinAddress(*servers_.server(), 0));
    if (check_private->isChecked()) more << "--private";
    if (!check_upnp->isChecked()) more << "--no-port-mapping";
  }
  const bool ok = game_.host(name, more);
  showCode(ok && registering ? "Registering the table with the lobby server…" : QString());
  started(ok);
}

rules::Rules Tlobby::houseRules() const {
  rules::Rules r;
  r.hook = check_hook->isChecked();
  r.scoring = kScoringChoices[std::max(0, combo_scoring->currentIndex())].first;
  r.rounds = kRoundsChoices[std::max(0, combo_rounds->currentIndex())].first;
  return r;
}

void Tlobby::gameSaid(const std::string& line) {
  const auto said = [&line](std::string_view word) -> std::optional<QString> {
    if (!line.starts_with(word)) return std::nullopt;
    return QString::fromUtf8(line.data() + word.size(), static_cast<qsizetype>(line.size() - word.size()));
  };
  if (!game_.running()) return;
  if (auto code = said("code ")) {
    const auto read = readCode(code->toStdString());
    if (!read) return;
    hostedCode_ = QString::fromStdString(*read);
  } else if (auto web = said("web ")) {
    if (!web->startsWith("http://") && !web->startsWith("https://")) return;
    webLink_ = *web;
    showWeb();
    return;
  } else if (auto status = said("status ")) {
    if (status->startsWith("port mapping:")) {
      mapping_ = *status;
    } else {
      // A registration lost takes its code with it; the line says so and
      // when it is tried again (a new code follows).
      if (status->startsWith("withdrawn") || status->startsWith("not registered")) hostedCode_.clear();
      reach_ = *status;
    }
  } else {
    return;  // a line of a later game
  }
  showCode(mapping_.isEmpty() ? reach_ : reach_.isEmpty() ? mapping_ : reach_ + "\n" + mapping_);
}

void Tlobby::showCode(const QString& more) {
  const QString code = inviteCode();
  if (code.isEmpty()) {
    label_code->setText(more);
    label_code->setVisible(!more.isEmpty());
    button_copy->hide();
    return;
  }
  const QString invite =
      servers_.server() ? QString::fromStdString(inviteText(*servers_.server(), code.toStdString())) : code;
  label_code->setText("Invite: <b>" + invite.toHtmlEscaped() +
                      "</b> — send it to your friends: they paste it into Join by code." +
                      (more.isEmpty() ? QString() : "<br>" + more.toHtmlEscaped().replace(QChar('\n'), "<br>")));
  label_code->show();
  button_copy->show();
}

void Tlobby::showWeb() {
  label_web->setText(webLink_.isEmpty() ? QString()
                                        : "Web link: <b>" + webLink_.toHtmlEscaped() +
                                              "</b> — a friend opens it in a browser, nothing to install.");
  label_web->setVisible(!webLink_.isEmpty());
  button_copyweb->setVisible(!webLink_.isEmpty());
}

void Tlobby::codeClick() {
  if (!button_code->isEnabled()) return;
  const auto invite = readInvite(edit_code->text().toStdString());
  if (!invite)
    return ui::messageBox("\"" + edit_code->text().trimmed() +
                          "\" is not an invite: it is a \"+\" and seven letters or digits, after its lobby "
                          "server and a \"/\" (SERVER:PORT/+XXXXXXX).");
  // The invite's own server holds its code, whatever server is set here.
  const std::optional<HostPort> server = invite->server ? invite->server : servers_.server();
  if (!server) return;
  if (!desktopFree([this] { codeClick(); })) return;
  startByCode(invite->code, *server);
}

void Tlobby::startByCode(const std::string& code, const HostPort& server) {
  if (game_.running()) return;
  remember();
  hostedCode_.clear();
  joining_ = std::make_unique<CodeGame>(game_, server, code, edit_name->text().trimmed());
  showCode("Looking up " + QString::fromStdString(code) + "…");
  joining_->onStarted = [this] { refresh(); };
  joining_->onJoined = [this, code](const std::string& path) {
    showCode("Joined " + QString::fromStdString(code) +
             (path == "relay" ? " through the lobby server's relay."
                              : " directly at " + QString::fromStdString(path.substr(path.find(' ') + 1)) + "."));
  };
  joining_->onFailed = [this](const std::string& why, bool) {
    showCode({});
    ui::messageBox("The table was not reached: " + QString::fromStdString(why) + ".");
  };
  joining_->start();
}

void Tlobby::addressClick() {
  if (!button_address->isEnabled()) return;
  if (!desktopFree([this] { addressClick(); })) return;
  const auto to = tables::parseAddress(edit_address->text().toStdString());
  if (!to)
    return ui::messageBox("\"" + edit_address->text().trimmed() +
                          "\" is not an address: give a host name, an IPv4 address or an IPv6 address in "
                          "brackets, with \":PORT\" when the table is not on port 7772.");
  remember();
  started(game_.join(edit_name->text().trimmed(), QString::fromStdString(tables::joinAddress(*to))));
}

void Tlobby::gameEnded() {
  // The table hosted here was withdrawn with its game.
  hostedCode_.clear();
  joining_.reset();
  reach_.clear();
  mapping_.clear();
  showCode({});
  webLink_.clear();
  showWeb();
  refresh();
  showNormal();
  raise();
  activateWindow();
}

void Tlobby::closeEvent(QCloseEvent* e) {
  remember();
  QWidget::closeEvent(e);
}

}  // namespace ombrix::lobby
