// The table window's connection to its host: the socket (port 7772), the
// framing of what it brings, the queue of announcements and its pacer (one
// a millisecond, at once when the budget is unspent), a dropped line
// dialled again under the same name (the schedule is client/redial.h), the
// link to the lobby that started the game, and the table's requests, typed
// (client/tablerequests.h). What the host says of the connection itself
// (what it can do, the seat's secret) stays here; every other command goes
// to the window, one at a time.
#pragma once

#include <QString>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "base/pacer.h"
#include "client/redial.h"
#include "client/tablerequests.h"
#include "net/asyncsock.h"
#include "net/qttimers.h"
#include "net/wsock.h"
#include "protocol/framing.h"

namespace ombrix::client {

class TableConnection {
 public:
  // Paces the dispatch: one command per kDispatchTickUs, on arrival when
  // the budget is unspent.
  static constexpr int64_t kDispatchTickUs = 1000;
  // How soon the table finds its dead line (a host's machine gone silent, a
  // cable pulled: no reset comes): about 40 s of silence, or 45 s of a move
  // unacknowledged. Later than the host finds the same line (about 30 s),
  // so the seat is already the departed name's when the table comes back.
  static constexpr net::DeadLineTimes kDeadLine{20, 5, 4, 45'000};

  // What the connection asks of the window.
  struct Window {
    std::function<void(const std::string& command)> run;  // a command off the queue
    std::function<void(const QString& text)> notice;      // a line in the chat pane
    std::function<bool()> loggedIn;
    std::function<int()> mySeat;
    // The host sent more than the queue keeps: the window tells the player
    // and closes once told.
    std::function<void()> flooded;
    // The connection is over and what it brought is dispatched; true while
    // the window holds its close (a box still to be answered).
    std::function<bool()> holding;
    std::function<bool()> closing;  // the window is closing: no redial
    std::function<void()> close;    // the table closes
    // A new connection after a dropped line: the window as one just opened.
    std::function<void()> newConnection;
  };

  explicit TableConnection(Window window);
  ~TableConnection();
  TableConnection(const TableConnection&) = delete;
  TableConnection& operator=(const TableConnection&) = delete;

  net::TAsyncSock& socket() { return sock_; }
  // Connects to the host (a port of 0 keeps the socket's, 7772); a
  // connection that cannot be made is told with `shownAs`. A name that
  // cannot be resolved at once throws.
  void open(const std::string& host, int port, const QString& shownAs);
  // Sends one request; a socket that refuses it (not connected yet) is told
  // in the chat pane, and false.
  bool send(const TableRequest& request);

  // --- The queue ------------------------------------------------------------------
  // A command as a read of the socket delivers it, queued for the dispatch:
  // it runs at dispatchNext, or on the pacer's ticks once the next read
  // (or the connection's end) sets them going.
  void enqueue(std::string command);
  size_t queued() const { return queue_.size(); }
  // Runs the next queued command now, if one waits.
  void dispatchNext();
  Pacer& pacer() { return *pacer_; }
  // The dispatch's timer and clock, for a test that runs it in virtual
  // time; called while nothing is queued.
  void useDispatchTimers(TimerFactory& timers);

  // --- A dropped line -------------------------------------------------------------
  bool reconnecting() const { return redial_->active() || redial_->pending(); }
  void useRedialTimers(TimerFactory& timers);
  // The table logged in, or is closing: the drop is over.
  void stopRedial() { redial_->stop(); }

  // What the host said it can do, on this connection ("secret", ...).
  const std::string& hostFeatures() const { return hostFeatures_; }

  // --- The lobby link ---------------------------------------------------------------
  // Opens the link to the lobby that started this game (127.0.0.1:9001),
  // held for the program's life.
  void openLobbyLink();
  // A line for the lobby (the table's invite code, how the lobby server
  // reaches it); held until the link is up, and dropped when no lobby listens.
  void tellLobby(const std::string& line);

  // The socket's reports (public for tests that play a socket's part).
  void sockRead();
  void sockInfo(net::TSocketInfo info, const std::string& msg);
  void sockEnd();

 private:
  void hostFlooded();
  // The connection is gone: what it delivered is dispatched first, and the
  // table closes once the queue is empty and nothing holds the close.
  void closeWhenDispatched();
  void startRedial();
  void redialTry();
  void redialGiveUp();
  void reset();  // a new connection: nothing of the old one's queue or features
  void take();   // the next command off the queue, kept aside to run
  void runTaken();
  // A command about the connection rather than the table (the host's
  // features, the seat's secret): kept here, and true.
  bool connectionCommand(std::string_view entry);
  void logIn(const rq::LogIn& r);
  bool write(const std::string& message);

  Window window_;
  QString shownAs_;  // the host's address as the player gave it
  net::TAsyncSock sock_;       // to the host, port 7772
  net::TAsyncSock lobbyLink_;  // held open; lines for the lobby
  std::string lobbyLines_;     // written before the link was up
  std::deque<std::string> queue_;
  size_t queuedBytes_ = 0;  // the bytes of queue_
  wire::Framer remainder_;
  net::QtTimerFactory timers_;
  std::string taken_;  // the command the pacer took, about to run
  std::unique_ptr<Pacer> pacer_;
  std::unique_ptr<Redial> redial_;
  bool connectionGone_ = false;  // the connection ended; the queue is being emptied
  bool lineDropped_ = false;     // the connection was lost, not closed by the host
  bool gaveUp_ = false;          // the redial's minute is over
  bool flooded_ = false;         // the host sent more than the queue keeps; the table is leaving
  std::string hostFeatures_;     // what the host said it can do ("CMD_features"), this connection
  std::string seatSecret_;       // the seat's secret, presented when the line dropped and the table is back
};

}  // namespace ombrix::client
