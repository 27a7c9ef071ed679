#include "lobby/gamesession.h"

#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QProcess>
#include <QSocketNotifier>
#include <QTimer>

namespace ombrix::lobby {

namespace {
// How often a process is looked for where the kernel cannot tell its end
// through a descriptor (before Linux 5.3).
constexpr int kProcessPollMs = 250;
}  // namespace

GameSession::GameSession() {
  program = QCoreApplication::applicationDirPath() + "/ombrix";
  startProgram = [](const QString& p, const QStringList& args) -> std::optional<qint64> {
    qint64 pid = 0;
    if (!QProcess::startDetached(p, args, QString(), &pid)) return std::nullopt;
    return pid;
  };
  listener_.OnAccept = [this](net::TAsyncSock*) { linkAccept(); };
}

GameSession::~GameSession() {
  for (net::TAsyncSock* s : links_) {
    s->OnInfo = nullptr;
    s->OnEnd = nullptr;
    delete s;
  }
  if (pidfd_ >= 0) ::close(pidfd_);
}

bool GameSession::listen(int port, std::string* why) {
  try {
    listener_.setHostName("127.0.0.1");
    listener_.setPortName(std::to_string(port));
    listener_.setListen(true);
    return true;
  } catch (const std::exception& e) {
    if (why) *why = e.what();
    return false;
  }
}

int GameSession::linkPort() const { return listener_.Listen() ? listener_.LocalPort() : 0; }

void GameSession::linkAccept() {
  net::TAsyncSock* link = nullptr;
  if (!listener_.Accept(link) || !link) return;
  const bool was = running();
  links_.insert(link);
  // The end of the connection is the end of the game.
  link->OnRead = [this](net::TAsyncSock* s, int) { linkRead(s); };
  link->OnDisconnect = [](net::TAsyncSock* s) { s->Close(); };
  link->OnInfo = [this](net::TAsyncSock* s, net::TSocketInfo info, const std::string&) {
    if (info == net::siError && net::broken(s->EndedBy())) linkGone(s);
  };
  link->OnEnd = [this](net::TAsyncSock* s, net::EndReason) { linkGone(s); };
  changed(was);
}

void GameSession::linkRead(net::TAsyncSock* link) {
  std::string& part = partial_[link];
  part += link->Receive();
  size_t from = 0;
  for (size_t end; (end = part.find('\n', from)) != std::string::npos; from = end + 1) {
    const std::string line = part.substr(from, end - from);
    if (line.size() <= kMostLine && onLine) onLine(line);
  }
  part.erase(0, from);
  // A line longer than any a game writes is dropped to its end, unread.
  if (part.size() > kMostLine) part = std::string(kMostLine + 1, ' ');
}

void GameSession::linkGone(net::TAsyncSock* link) {
  const bool was = running();
  partial_.erase(link);
  if (!links_.erase(link)) return;
  link->OnInfo = nullptr;
  link->OnEnd = nullptr;
  link->deleteLater();
  changed(was);
}

bool GameSession::host(const QString& name, const QStringList& more) {
  return start(QStringList{name, "127.0.0.1", "true"} + more);
}

bool GameSession::join(const QString& name, const QString& address) { return start({name, address, "join"}); }

bool GameSession::start(const QStringList& args) {
  if (running()) return false;  // the game runs once at a time
  const std::optional<qint64> pid = startProgram(program, args);
  if (!pid) return false;
  if (*pid > 0) follow(*pid);
  return true;
}

void GameSession::follow(qint64 pid) {
  const bool was = running();
  watching_ = true;
  pid_ = pid;
  const int fd = static_cast<int>(::syscall(SYS_pidfd_open, static_cast<pid_t>(pid), 0));
  if (fd >= 0) {
    pidfd_ = fd;
    exit_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    QObject::connect(exit_.get(), &QSocketNotifier::activated, [this] { processGone(); });
  } else {
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [this, poll, pid, life = std::weak_ptr<int>(life_)] {
      if (life.expired()) return poll->deleteLater();
      if (::kill(static_cast<pid_t>(pid), 0) == 0) return;
      poll->deleteLater();
      processGone();
    });
    poll->start(kProcessPollMs);
  }
  changed(was);
}

void GameSession::processGone() {
  if (exit_) {
    exit_->setEnabled(false);
    exit_.release()->deleteLater();
  }
  if (pidfd_ >= 0) ::close(pidfd_);
  pidfd_ = -1;
  const bool was = running();
  watching_ = false;
  changed(was);
}

void GameSession::changed(bool wasRunning) {
  if (running() == wasRunning) return;
  if (running()) {
    if (onStarted) onStarted();
  } else if (onEnded) {
    onEnded();
  }
}

}  // namespace ombrix::lobby
