// The lobby window: the player's name, the tables on this network and a
// lobby server's public ones (Join, or a double click, sits at the chosen
// table, or watches a full one), "Host a Table", "Join by address" for a
// table the list cannot show, and "Join by code" for one a friend shared.
// With a lobby server set, the game hosting a table here registers it there
// and tells this window its invite code, shown with a button that copies it
// with its server. While a game runs, Host and Join wait; when it ends the
// window comes back to the front. A game this lobby did not start (a solo
// game) is offered to be ended first, since a desktop runs one game.
#pragma once

#include <QWidget>
#include <functional>
#include <memory>
#include <string>

#include "lobby/lobbysettings.h"
#include "lobbywire/wire.h"
#include "rules/rules.h"
#include "tables/tablelist.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;

namespace ombrix::lobby {

class CodeGame;
class GameSession;
class ServerTables;
class TableModel;

class Tlobby : public QWidget {
 public:
  // The model, the session and the server's tables (a source of the model)
  // outlive the window.
  Tlobby(TableModel& model, GameSession& game, ServerTables& servers, QWidget* parent = nullptr);
  ~Tlobby() override;

  // The settings file ("quarrowlobby.ini"; tests point it elsewhere), read now.
  void loadSettings(const QString& file);

  void joinClick();     // the chosen table
  void hostClick();     // a table hosted here
  void addressClick();  // the address typed in
  void codeClick();     // the invite code typed in
  void serverChanged();  // the lobby server setting was edited
  // The invite code of the table hosted here, once the server gave it.
  QString inviteCode() const;
  // The chosen table's row, or -1.
  int chosenRow() const;
  // The house rules chosen for a table hosted here.
  rules::Rules houseRules() const;

  // Whether a game is open on this desktop, and asking it to close; the
  // desktop's own by default (ui/oneinstance.h).
  std::function<bool()> otherGameOpen, closeOtherGame;

  QLineEdit *edit_name, *edit_address, *edit_code, *edit_server;
  QTableView* list_tables;
  QPushButton *button_join, *button_host, *button_address, *button_code, *button_copy, *button_copyweb;
  QCheckBox* check_private;
  QCheckBox* check_upnp;
  // The house rules a table hosted here starts with.
  QCheckBox* check_hook;
  QComboBox* combo_scoring;
  QComboBox* combo_rounds;
  QLabel *label_lan, *label_server, *label_game, *label_code, *label_web;

 protected:
  void closeEvent(QCloseEvent* e) override;

 private:
  void refresh();  // buttons and captions after any change
  void sourceChanged(const std::string& source, bool available, const std::string& why);
  void startByCode(const std::string& code, const lobbywire::HostPort& server);
  // True when no other game holds the desktop; otherwise offers to end it
  // and runs `retry` once it has ended.
  bool desktopFree(std::function<void()> retry);
  // A line from the game hosting here: its code, how it is reached.
  void gameSaid(const std::string& line);
  // The invite code (when there is one) and a line about it.
  void showWeb();
  void showCode(const QString& more);
  void started(bool ok);
  void gameEnded();
  void remember();

  TableModel& model_;
  GameSession& game_;
  ServerTables& servers_;
  QString hostedCode_;  // the invite code of the game hosted here
  QString webLink_;     // its web table's link
  std::unique_ptr<CodeGame> joining_;         // while a game joined by code runs
  QString settingsFile_;
  LobbySettings stored_;
  bool lanAvailable_ = false;
  QString lanWhy_;
  bool serverAnswered_ = false;
  QString serverWhy_;
  // How the server and the router reach the table hosted here.
  QString reach_, mapping_;
  // The chosen table, kept across the list being laid out anew.
  std::string chosenSource_, chosenKey_;
  bool relaying_ = false;
};

}  // namespace ombrix::lobby
