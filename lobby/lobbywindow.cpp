#include "lobby/lobbywindow.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>

#include "lobby/gamesession.h"
#include "lobby/tablemodel.h"
#include "tables/address.h"
#include "ui/msgbox.h"
#include "widgets/art.h"

namespace ombrix::lobby {

namespace {

constexpr int kWidth = 640, kHeight = 420;
// A name longer than this is not a player's name (the game shows a few
// words of it at its seat).
constexpr int kMaxNameChars = 40;

QLabel* caption(const QString& text, QWidget* parent, const char* name = "") {
  auto* l = new QLabel(text, parent);
  l->setObjectName(name);
  return l;
}

}  // namespace

Tlobby::Tlobby(TableModel& model, GameSession& game, QWidget* parent)
    : QWidget(parent), model_(model), game_(game) {
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

  grid->addWidget(caption("<b>Tables on this network</b>", panel), 1, 0, 1, 4);
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

  button_join = new QPushButton("Join", panel);
  button_join->setObjectName("button_join");
  button_host = new QPushButton("Host a Table", panel);
  button_host->setObjectName("button_host");
  grid->addWidget(button_join, 4, 2);
  grid->addWidget(button_host, 4, 3);

  grid->addWidget(caption("Join by address:", panel), 5, 0);
  edit_address = new QLineEdit(panel);
  edit_address->setObjectName("edit_address");
  edit_address->setPlaceholderText("host name or IPv4 address, :PORT when not 7772");
  grid->addWidget(edit_address, 5, 1, 1, 2);
  button_address = new QPushButton("Join by address", panel);
  button_address->setObjectName("button_address");
  grid->addWidget(button_address, 5, 3);

  label_game = caption("A game is running: Host and Join wait until it ends.", panel, "label_game");
  label_game->hide();
  grid->addWidget(label_game, 6, 0, 1, 4);
  grid->setColumnStretch(1, 1);

  connect(button_join, &QPushButton::clicked, this, [this] { joinClick(); });
  connect(button_host, &QPushButton::clicked, this, [this] { hostClick(); });
  connect(button_address, &QPushButton::clicked, this, [this] { addressClick(); });
  connect(edit_address, &QLineEdit::returnPressed, this, [this] { addressClick(); });
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

  model_.onAvailability = [this](const std::string&, bool available, const std::string& why) {
    lanChanged(available, why);
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
  refresh();
}

void Tlobby::loadSettings(const QString& file) {
  settingsFile_ = file;
  stored_ = readSettings(file);
  edit_name->setText(stored_.name);
  edit_address->setText(stored_.address);
}

void Tlobby::remember() {
  const LobbySettings now{edit_name->text().trimmed(), edit_address->text().trimmed()};
  if (settingsFile_.isEmpty() || now == stored_) return;
  if (writeSettings(settingsFile_, now, stored_)) stored_ = now;
}

int Tlobby::chosenRow() const {
  const QModelIndexList rows = list_tables->selectionModel()->selectedRows();
  return rows.isEmpty() ? -1 : rows.first().row();
}

void Tlobby::lanChanged(bool available, const std::string& why) {
  lanAvailable_ = available;
  lanWhy_ = QString::fromStdString(why);
  refresh();
}

void Tlobby::refresh() {
  const bool named = !edit_name->text().trimmed().isEmpty();
  const bool free = !game_.running();
  const tables::ListedTable* t = model_.at(chosenRow());
  const tables::Room room = t ? tables::roomAt(t->state) : tables::Room::Seat;
  button_join->setText(room == tables::Room::Watch ? "Watch" : "Join");
  button_join->setEnabled(named && free && t && room != tables::Room::Full);
  button_host->setEnabled(named && free);
  button_address->setEnabled(named && free && !edit_address->text().trimmed().isEmpty());
  label_game->setVisible(!free);

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

void Tlobby::joinClick() {
  const tables::ListedTable* t = model_.at(chosenRow());
  if (!t || !button_join->isEnabled()) return;
  remember();
  const QString address = QString::fromStdString(tables::joinAddress({t->host, t->port}));
  started(game_.join(edit_name->text().trimmed(), address));
}

void Tlobby::hostClick() {
  if (!button_host->isEnabled()) return;
  remember();
  started(game_.host(edit_name->text().trimmed()));
}

void Tlobby::addressClick() {
  if (!button_address->isEnabled()) return;
  const auto to = tables::parseAddress(edit_address->text().toStdString());
  if (!to)
    return ui::messageBox("\"" + edit_address->text().trimmed() +
                          "\" is not an address: give a host name or an IPv4 address, with \":PORT\" when the "
                          "table is not on port 7772.");
  remember();
  started(game_.join(edit_name->text().trimmed(), QString::fromStdString(tables::joinAddress(*to))));
}

void Tlobby::gameEnded() {
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
