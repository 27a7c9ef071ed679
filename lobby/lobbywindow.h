// The lobby window: the player's name, the tables on this network (Join,
// or a double click, sits at the chosen table, or watches a full one),
// "Host a Table", and "Join by address" for a table the list cannot show.
// While a game runs, Host and Join wait; when it ends the window comes back
// to the front.
#pragma once

#include <QWidget>
#include <string>

#include "lobby/lobbysettings.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;

namespace ombrix::lobby {

class GameSession;
class TableModel;

class Tlobby : public QWidget {
 public:
  // The model and the session outlive the window.
  Tlobby(TableModel& model, GameSession& game, QWidget* parent = nullptr);

  // The settings file ("quarrowlobby.ini"; tests point it elsewhere), read now.
  void loadSettings(const QString& file);

  void joinClick();     // the chosen table
  void hostClick();     // a table hosted here
  void addressClick();  // the address typed in
  // The chosen table's row, or -1.
  int chosenRow() const;

  QLineEdit *edit_name, *edit_address;
  QTableView* list_tables;
  QPushButton *button_join, *button_host, *button_address;
  QLabel *label_lan, *label_game;

 protected:
  void closeEvent(QCloseEvent* e) override;

 private:
  void refresh();  // buttons and captions after any change
  void lanChanged(bool available, const std::string& why);
  void started(bool ok);
  void gameEnded();
  void remember();

  TableModel& model_;
  GameSession& game_;
  QString settingsFile_;
  LobbySettings stored_;
  bool lanAvailable_ = false;
  QString lanWhy_;
  // The chosen table, kept across the list being laid out anew.
  std::string chosenSource_, chosenKey_;
  bool relaying_ = false;
};

}  // namespace ombrix::lobby
