#include "client/tableconnection.h"

#include <QLoggingCategory>
#include <algorithm>

#include "protocol/commands.h"

namespace ombrix::client {

Q_DECLARE_LOGGING_CATEGORY(lcTable)

TableConnection::TableConnection(Window window) : window_(std::move(window)) {
  useDispatchTimers(timers_);
  useRedialTimers(timers_);
  sock_.setPortName("7772");
  sock_.OnRead = [this](net::TAsyncSock*, int) { sockRead(); };
  sock_.OnInfo = [this](net::TAsyncSock*, net::TSocketInfo i, const std::string& m) { sockInfo(i, m); };
  sock_.OnEnd = [this](net::TAsyncSock*, net::EndReason) { sockEnd(); };
  lobbyLink_.setHostName("127.0.0.1");
  lobbyLink_.setPortName("9001");
  lobbyLink_.OnConnect = [this](net::TAsyncSock* s) {
    if (!lobbyLines_.empty()) s->Send(lobbyLines_);
    lobbyLines_.clear();
  };
  // Whatever a lobby sends is not for the game.
  lobbyLink_.OnRead = [](net::TAsyncSock* s, int) { s->Receive(); };
}

TableConnection::~TableConnection() {
  sock_.OnInfo = nullptr;
  sock_.OnEnd = nullptr;
  sock_.OnRead = nullptr;
}

void TableConnection::useDispatchTimers(TimerFactory& timers) {
  pacer_ = std::make_unique<Pacer>(
      timers, kDispatchTickUs, Pacer::Work{[this] { return queue_.empty(); }, [this] { take(); }, [this] { runTaken(); }});
}

void TableConnection::useRedialTimers(TimerFactory& timers) {
  redial_ = std::make_unique<Redial>(timers);
  redial_->onTry = [this] { redialTry(); };
  redial_->onGiveUp = [this] { redialGiveUp(); };
}

void TableConnection::open(const std::string& host, int port, const QString& shownAs) {
  shownAs_ = shownAs;
  sock_.setHostName(host);
  if (port) sock_.setPortName(std::to_string(port));
  sock_.Open();
}

void TableConnection::openLobbyLink() { lobbyLink_.Open(); }

void TableConnection::tellLobby(const std::string& line) {
  // A few lines a game, each short; more waiting than this has no lobby.
  constexpr size_t kMostWaiting = 4096;
  if (lobbyLink_.Connected())
    lobbyLink_.Send(line + "\n");
  else if (lobbyLines_.size() + line.size() < kMostWaiting)
    lobbyLines_ += line + "\n";
}

bool TableConnection::write(const std::string& message) {
  try {
    sock_.Send(message + wire::kTerminator);
  } catch (const std::exception& e) {
    window_.notice(e.what());
    return false;
  }
  return true;
}

bool TableConnection::send(const TableRequest& request) {
  if (const auto* login = std::get_if<rq::LogIn>(&request)) {
    logIn(*login);
    return true;
  }
  return write(messageOf(request));
}

void TableConnection::logIn(const rq::LogIn& r) {
  redial_->stop();  // back in: a drop from here on is a new one
  std::string m;
  // Back after the line dropped: the seat's secret first, so that the host
  // has it when the log-in comes (a host at "1.0.14" ignores it).
  if (!seatSecret_.empty()) {
    wire::build::reclaim(m, r.slot, seatSecret_);
    write(m);
  }
  write(messageOf(r) + wire::kTerminator);  // the doubled terminator the host reads as an empty message
  wire::build::features(m, r.slot, wire::kFeatures);
  write(m);
}

void TableConnection::sockRead() {
  if (flooded_) return;
  const bool kept = remainder_.feed(sock_.Receive(), [this](std::string_view m) {
    // Bounded as the host bounds what one table may have waiting.
    if (queue_.size() >= wire::MessageQueue::kMaxQueuedMessages ||
        queuedBytes_ + m.size() > wire::MessageQueue::kMaxQueuedBytes)
      return false;
    queue_.emplace_back(m);
    queuedBytes_ += m.size();
    return true;
  });
  if (!kept) return hostFlooded();
  pacer_->poke();
}

void TableConnection::hostFlooded() {
  // A host that sends faster than any game does, or a message without end,
  // is not waited for: what it sent is dropped and the table leaves.
  qCInfo(lcTable, "the host sent more than the table keeps (%zu waiting); disconnecting", queue_.size());
  flooded_ = true;
  queue_.clear();
  queuedBytes_ = 0;
  remainder_.clear();
  window_.flooded();
  sock_.Close();
}

void TableConnection::enqueue(std::string command) {
  queuedBytes_ += command.size();
  queue_.push_back(std::move(command));
}

void TableConnection::sockInfo(net::TSocketInfo info, const std::string& msg) {
  if (info == net::siConnect && sock_.Connected() && !net::findDeadLines(sock_.Handle(), kDeadLine))
    qCInfo(lcTable, "no keepalive on the table's connection");
  if (redial_->active() || gaveUp_) {
    // A try of the redial: a failed one waits for the next.
    if (info == net::siConnect && sock_.Connected()) {
      redial_->connected();
      reset();
      window_.newConnection();
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
  if (info == net::siError && !window_.loggedIn() && !sock_.Connected()) {
    // A join that cannot connect says so instead of waiting silently.
    window_.notice("Could not connect to " + shownAs_ + ": " + QString::fromStdString(msg));
  }
}

void TableConnection::sockEnd() {
  if (redial_->active() || gaveUp_) return;  // a try of the redial: a failed one waits for the next
  // A connection made by a try that ends before its log-in said nothing
  // of the game: the tries go on.
  if (redial_->pending()) lineDropped_ = true;
  connectionGone_ = true;
  closeWhenDispatched();
}

void TableConnection::closeWhenDispatched() {
  if (!queue_.empty()) return pacer_->poke();
  if (window_.holding()) return;
  // What came before the drop is dispatched first: a removal or a full
  // table among it closes the table after all.
  if (lineDropped_ && (window_.loggedIn() || redial_->pending()) && !window_.closing()) return startRedial();
  window_.close();
}

void TableConnection::startRedial() {
  lineDropped_ = false;
  connectionGone_ = false;
  if (redial_->pending()) {
    qCInfo(lcTable, "the new connection dropped before its log-in; trying again");
    return redial_->resume();
  }
  window_.notice("Connection lost, reconnecting\u2026");
  qCInfo(lcTable, "line dropped; reconnecting to %s:%s", sock_.HostName().c_str(), sock_.PortName().c_str());
  redial_->start();
}

void TableConnection::redialTry() {
  sock_.Close();  // a try still under way gives way to this one
  try {
    sock_.Open();
  } catch (const std::exception& e) {
    qCInfo(lcTable, "reconnecting: %s", e.what());
  }
}

void TableConnection::redialGiveUp() {
  gaveUp_ = true;  // what the socket reports from here on is of no connection
  sock_.Close();
  window_.notice("Could not reconnect to the game within a minute. Close the window to leave.");
}

void TableConnection::reset() {
  hostFeatures_.clear();  // the seat's secret stays: the new connection presents it
  queue_.clear();
  queuedBytes_ = 0;
  remainder_.clear();
}

void TableConnection::take() {
  taken_ = std::move(queue_.front());
  queue_.pop_front();
  // What is taken no longer counts against the bound: a long session is
  // no flood.
  queuedBytes_ -= std::min(queuedBytes_, taken_.size());
}

void TableConnection::dispatchNext() {
  if (queue_.empty()) return;
  take();
  runTaken();
}

bool TableConnection::connectionCommand(std::string_view entry) {
  const auto [name, fields] = wire::splitCommand(entry);
  switch (wire::lookupAnnouncement(name)) {
    case wire::Announcement::Features:
      if (const auto list = wire::parse::hostFeatures(fields)) hostFeatures_.assign(*list);
      return true;
    case wire::Announcement::Secret:
      // Kept for the connection after this one, should the line drop.
      if (const auto s = wire::parse::secret(fields); s && s->slot == window_.mySeat()) seatSecret_.assign(s->text);
      return true;
    default:
      return false;
  }
}

void TableConnection::runTaken() {
  const std::string entry = std::move(taken_);
  if (!connectionCommand(entry)) window_.run(entry);
  if (connectionGone_) closeWhenDispatched();
}

}  // namespace ombrix::client
