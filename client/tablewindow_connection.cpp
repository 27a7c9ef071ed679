// The table window's side of its connection (client/tableconnection.h):
// hosting or joining, a command off the queue, a host that floods the
// table, the table as new for a connection after a dropped line, and the
// table's close.
#include <QLabel>
#include <QListWidget>
#include <QLoggingCategory>
#include <QPushButton>

#include "client/tablewindow.h"
#include "client/tablewindow_util.h"
#include "client/gamerecord.h"
#include "client/inprocesshost.h"
#include "client/mutelist.h"
#include "client/tableevents.h"
#include "tables/address.h"
#include "ui/msgbox.h"
#include "windows/spylistform.h"

namespace ombrix::client {

Q_DECLARE_LOGGING_CATEGORY(lcTable)

void Tchat::hostpress() {
  if (host) {
    try {
      host->listen(hostPort);
    } catch (const std::exception& e) {
      addlinetochat(QString("Could not host on port 7772: ") + e.what());
      return;
    }
  }
  isHost_ = true;
  conn_->open("127.0.0.1", host ? host->port() : 0, hostAddress);
  showStartControls();
}

void Tchat::joinpress() {
  // The address may name the port a headless host listens on ("host:7800");
  // without one the socket keeps its port, 7772.
  const auto to = tables::parseAddress(hostAddress.toStdString(), 0);
  try {
    conn_->open(to ? to->host : hostAddress.toStdString(), to ? to->port : 0, hostAddress);
  } catch (const std::exception& e) {
    // An unresolvable host: tell the player instead of waiting for ever.
    addlinetochat(QString("Could not connect to ") + hostAddress + ": " + e.what());
  }
}

void Tchat::hostFlooded() {
  fullBoxOpen_ = true;  // the table closes once the box is answered
  ui::messageBox("The host sent more than this table can take in, Disconnecting..", [this] {
    fullBoxOpen_ = false;
    closeTable();
  });
}

void Tchat::resetForNewConnection() {
  seatedAgain_ = settingsRead_;
  turnBack();
  model_.reset();
  gameRecord_->lineDropped();
  removeHand();
  for (int n = 1; n <= 4; ++n) {
    el<QLabel>("label_playername", n)->setText(caption(n));
    el<QLabel>("image_played", n)->clear();
    el<QLabel>("image_cards", n)->clear();
    for (const char* mark : {"image_turn", "image_eyes", "image_winner", "image_trickwinner"}) el(mark, n)->hide();
  }
  setBidBoxVisible(false);
  if (spies) spies->listbox_spys->clear();  // the new connection's log-in lists them again
}

void Tchat::closeTable() {
  if (closing_) return;
  closing_ = true;
  if (onClosed) return onClosed();
  close();
}

void Tchat::runCommand(const std::string& entry) {
  // Every card a table is shown, for a test or a bug report that follows
  // the game at several tables (QT_LOGGING_RULES=ombrix.table.info=true).
  if (entry.starts_with("CMD_playcard+")) qCInfo(lcTable, "shown %s", entry.c_str());
  if (const auto e = readAnnouncement(entry); e && !mutes_->hides(*e)) model_.apply(*e);
}

}  // namespace ombrix::client
