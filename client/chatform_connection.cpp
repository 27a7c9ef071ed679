// The table window's connection: hosting or joining, what the socket
// reports, the queue of announcements and its dispatch, and a dropped line
// tried again under the same name (the schedule is client/redial.h).
#include <QLabel>
#include <QListWidget>
#include <QLoggingCategory>
#include <QPushButton>
#include <algorithm>

#include "client/chatform.h"
#include "client/chatform_util.h"
#include "client/gamerecord.h"
#include "client/inprocesshost.h"
#include "client/mutelist.h"
#include "client/tableevents.h"
#include "net/wsock.h"
#include "protocol/commands.h"
#include "tables/address.h"
#include "ui/msgbox.h"
#include "windows/spylistform.h"

namespace ombrix::client {

Q_DECLARE_LOGGING_CATEGORY(lcTable)

void Tchat::useDispatchTimers(TimerFactory& timers) {
  Timer1_ = std::make_unique<Pacer>(timers, kDispatchTickUs,
                                    Pacer::Work{[this] { return receivedlist_.empty(); },
                                                [this] {
                                                  taken_ = std::move(receivedlist_.front());
                                                  receivedlist_.pop_front();
                                                },
                                                [this] { runTaken(); }});
}

void Tchat::useRedialTimers(TimerFactory& timers) {
  redial_ = std::make_unique<Redial>(timers);
  redial_->onTry = [this] { redialTry(); };
  redial_->onGiveUp = [this] { redialGiveUp(); };
}

void Tchat::tellLobby(const std::string& line) {
  // A few lines a game, each short; more waiting than this has no lobby.
  constexpr size_t kMostWaiting = 4096;
  if (Sock11_.Connected())
    Sock11_.Send(line + "\n");
  else if (lobbyLines_.size() + line.size() < kMostWaiting)
    lobbyLines_ += line + "\n";
}

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
  sock_.setHostName("127.0.0.1");
  if (host) sock_.setPortName(std::to_string(host->port()));
  sock_.Open();
  showStartControls();
}

void Tchat::joinpress() {
  // The address may name the port a headless host listens on ("host:7800");
  // without one the socket keeps its port, 7772.
  const auto to = tables::parseAddress(hostAddress.toStdString(), 0);
  sock_.setHostName(to ? to->host : hostAddress.toStdString());
  if (to && to->port) sock_.setPortName(std::to_string(to->port));
  try {
    sock_.Open();
  } catch (const std::exception& e) {
    // An unresolvable host: tell the player instead of waiting for ever.
    addlinetochat(QString("Could not connect to ") + hostAddress + ": " + e.what());
  }
}

void Tchat::send(const std::string& message) {
  try {
    sock_.Send(message + wire::kTerminator);
  } catch (const std::exception& e) {
    addlinetochat(e.what());
  }
}

void Tchat::sockRead() {
  if (flooded_) return;
  const bool kept = remainder_.feed(sock_.Receive(), [this](std::string_view m) {
    // Bounded as the host bounds what one table may have waiting.
    if (receivedlist_.size() >= wire::MessageQueue::kMaxQueuedMessages ||
        queuedBytes_ + m.size() > wire::MessageQueue::kMaxQueuedBytes)
      return false;
    receivedlist_.emplace_back(m);
    queuedBytes_ += m.size();
    return true;
  });
  if (!kept) return hostFlooded();
  Timer1_->poke();
}

void Tchat::hostFlooded() {
  // A host that sends faster than any game does, or a message without end,
  // is not waited for: what it sent is dropped and the table leaves.
  qCInfo(lcTable, "the host sent more than the table keeps (%zu waiting); disconnecting", receivedlist_.size());
  flooded_ = true;
  receivedlist_.clear();
  queuedBytes_ = 0;
  remainder_.clear();
  fullBoxOpen_ = true;  // the table closes once the box is answered
  ui::messageBox("The host sent more than this table can take in, Disconnecting..", [this] {
    fullBoxOpen_ = false;
    closeTable();
  });
  sock_.Close();
}

void Tchat::enqueue(std::string command) {
  queuedBytes_ += command.size();
  receivedlist_.push_back(std::move(command));
}

void Tchat::sockInfo(net::TSocketInfo info, const std::string& msg) {
  if (info == net::siConnect && sock_.Connected() && !net::findDeadLines(sock_.Handle(), kDeadLine))
    qCInfo(lcTable, "no keepalive on the table's connection");
  if (redial_->active() || gaveUp_) {
    // A try of the redial: a failed one waits for the next.
    if (info == net::siConnect && sock_.Connected()) {
      redial_->connected();
      resetForNewConnection();
      qCInfo(lcTable, "connected again after %d tries", redial_->tries());
    }
    return;
  }
  if (info == net::siError && sock_.Connected() && net::broken(sock_.EndedBy())) {
    // A reset (the host's machine gone, a cable pulled) arrives as an error
    // report alone; the connection is over all the same. Closing the socket
    // ends it; the table connects again, as no host said the game was over
    // for it.
    lineDropped_ = true;
    sock_.Close();
    return;
  }
  if (info == net::siError && !model_.loggedIn() && !sock_.Connected()) {
    // A join that cannot connect says so instead of waiting silently.
    addlinetochat(QString::fromStdString("Could not connect to " + hostAddress.toStdString() + ": " + msg));
  }
}

void Tchat::sockEnd() {
  if (redial_->active() || gaveUp_) return;  // a try of the redial: a failed one waits for the next
  // A connection made by a try that ends before its log-in said nothing
  // of the game: the tries go on.
  if (redial_->pending()) lineDropped_ = true;
  connectionGone_ = true;
  closeWhenDispatched();
}

void Tchat::closeWhenDispatched() {
  if (!receivedlist_.empty()) return Timer1_->poke();
  if (fullBoxOpen_) return;
  // What came before the drop is dispatched first: a removal or a full
  // table among it closes the table after all.
  if (lineDropped_ && (model_.loggedIn() || redial_->pending()) && !closing_) return startRedial();
  closeTable();
}

void Tchat::startRedial() {
  lineDropped_ = false;
  connectionGone_ = false;
  if (redial_->pending()) {
    qCInfo(lcTable, "the new connection dropped before its log-in; trying again");
    return redial_->resume();
  }
  addlinetochat("Connection lost, reconnecting\u2026");
  qCInfo(lcTable, "line dropped; reconnecting to %s:%s", sock_.HostName().c_str(), sock_.PortName().c_str());
  redial_->start();
}

void Tchat::redialTry() {
  sock_.Close();  // a try still under way gives way to this one
  try {
    sock_.Open();
  } catch (const std::exception& e) {
    qCInfo(lcTable, "reconnecting: %s", e.what());
  }
}

void Tchat::redialGiveUp() {
  gaveUp_ = true;  // what the socket reports from here on is of no connection
  sock_.Close();
  addlinetochat("Could not reconnect to the game within a minute. Close the window to leave.");
}

void Tchat::resetForNewConnection() {
  seatedAgain_ = settingsRead_;
  hostFeatures_.clear();  // the seat's secret stays: the new connection presents it
  receivedlist_.clear();
  queuedBytes_ = 0;
  remainder_.clear();
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

void Tchat::processsocktimer() {
  if (receivedlist_.empty()) return;
  taken_ = std::move(receivedlist_.front());
  receivedlist_.pop_front();
  queuedBytes_ -= std::min(queuedBytes_, taken_.size());
  runTaken();
}

bool Tchat::connectionCommand(std::string_view entry) {
  const auto [name, fields] = wire::splitCommand(entry);
  switch (wire::lookupAnnouncement(name)) {
    case wire::Announcement::Features:
      if (const auto list = wire::parse::hostFeatures(fields)) hostFeatures_.assign(*list);
      return true;
    case wire::Announcement::Secret:
      // Kept for the connection after this one, should the line drop.
      if (const auto s = wire::parse::secret(fields); s && s->slot == model_.mySeat()) seatSecret_.assign(s->text);
      return true;
    default:
      return false;
  }
}

void Tchat::runTaken() {
  const std::string entry = std::move(taken_);
  if (connectionCommand(entry)) {
    if (connectionGone_) closeWhenDispatched();
    return;
  }
  // Read once; a muted player's line, action or chatter sound goes no further.
  // Every card a table is shown, for a test or a bug report that follows
  // the game at several tables (QT_LOGGING_RULES=ombrix.table.info=true).
  if (entry.starts_with("CMD_playcard+")) qCInfo(lcTable, "shown %s", entry.c_str());
  if (const auto e = readAnnouncement(entry); e && !mutes_->hides(*e)) model_.apply(*e);
  if (connectionGone_) closeWhenDispatched();
}

}  // namespace ombrix::client
