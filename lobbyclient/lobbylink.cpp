#include "lobbyclient/lobbylink.h"

#include <netinet/in.h>
#include <sys/socket.h>

#include "net/qttimers.h"
#include "net/wsock.h"

namespace ombrix::lobbyclient {

using namespace lobbywire;

using net::TAsyncSock;

TimerFactory& loopTimers() {
  static net::QtTimerFactory timers;
  return timers;
}

// --- LineLink ------------------------------------------------------------------

LineLink::~LineLink() { retire(sock_); }

void LineLink::open(const HostPort& server) {
  retire(sock_);
  in_.clear();
  sock_ = std::make_unique<TAsyncSock>();
  sock_->setHostName(server.host);
  sock_->setPortName(std::to_string(server.port));
  sock_->OnConnect = [this](TAsyncSock*) {
    if (onConnected) onConnected();
  };
  sock_->OnRead = [this](TAsyncSock*, int) { read(); };
  sock_->OnInfo = [this](TAsyncSock* s, net::TSocketInfo kind, const std::string& text) {
    if (kind == net::siError && (!s->Connected() || net::broken(s->EndedBy())))
      lost(s->Connected() ? "connection lost" : "cannot reach the lobby server (" + text + ")");
  };
  sock_->OnEnd = [this](TAsyncSock*, net::EndReason) { lost("the lobby server closed the connection"); };
  try {
    sock_->Open();
  } catch (const std::exception& e) {
    // The name does not resolve: told from the loop, like any failure.
    const std::string why = std::string("cannot reach the lobby server: ") + e.what();
    retire(sock_);
    auto cb = onClosed;
    net::post([cb, why] {
      if (cb) cb(why);
    });
  }
}

void LineLink::send(const std::string& line) {
  if (!sock_ || !sock_->Connected()) return;
  try {
    sock_->Send(line);
  } catch (const net::ESockException&) {
  }
}

void LineLink::close() { retire(sock_); }

int LineLink::family() const {
  sockaddr_storage a{};
  socklen_t len = sizeof a;
  if (!sock_ || sock_->Handle() < 0 || ::getsockname(sock_->Handle(), reinterpret_cast<sockaddr*>(&a), &len) != 0)
    return 0;
  if (a.ss_family == AF_INET6 && IN6_IS_ADDR_V4MAPPED(&reinterpret_cast<sockaddr_in6&>(a).sin6_addr)) return AF_INET;
  return a.ss_family;
}

void LineLink::read() {
  if (!sock_) return;
  in_ += sock_->Receive();
  for (;;) {
    const size_t nl = in_.find('\n');
    if (nl == std::string::npos) break;
    const std::string line = in_.substr(0, nl);
    in_.erase(0, nl + 1);
    auto m = parseLine(line, false);
    if (!m) return lost("the lobby server sent what this version does not read");
    if (onMessage) onMessage(*m);
    if (!sock_) return;  // closed, or taken for a relay with what follows
  }
  if (in_.size() > kMaxLine) lost("the lobby server sent a line too long");
}

void LineLink::lost(const std::string& why) {
  if (!sock_) return;
  retire(sock_);
  in_.clear();
  if (onClosed) onClosed(why);
}

std::unique_ptr<TAsyncSock> LineLink::takeRaw(std::string& leftover) {
  leftover = std::move(in_);
  in_.clear();
  if (sock_) {
    sock_->OnInfo = nullptr;
    sock_->OnEnd = nullptr;
    sock_->OnRead = nullptr;
    sock_->OnConnect = nullptr;
  }
  return std::move(sock_);
}

// --- Splice ----------------------------------------------------------------------

Splice::Splice(std::unique_ptr<TAsyncSock> a, std::unique_ptr<TAsyncSock> b, const std::string& toA,
               const std::string& toB, TimerFactory* timers)
    : a_(std::move(a)), b_(std::move(b)), flush_((timers ? *timers : loopTimers()).createTimer()) {
  flush_->onTick = [this] {
    // Time is up for what was still on its way.
    flush_->stop();
    for (TAsyncSock* s : {a_.get(), b_.get()})
      if (s->Handle() >= 0) s->Close();
    finished();
  };
  for (auto [from, to] : {std::pair{a_.get(), b_.get()}, std::pair{b_.get(), a_.get()}}) {
    from->OnRead = [this, from, to](TAsyncSock*, int) { pass(from, to); };
    from->OnDisconnect = nullptr;
    from->OnInfo = [this, from, to](TAsyncSock* s, net::TSocketInfo kind, const std::string&) {
      if (kind == net::siError && net::broken(s->EndedBy())) sideClosed(from, to);
    };
    from->OnEnd = [this, from, to](TAsyncSock*, net::EndReason) { sideClosed(from, to); };
    from->OnWrite = [this, from](TAsyncSock*) {
      // A side told to finish closes once everything reached it.
      if (ended_ && from->SendQueued() == 0 && from->Handle() >= 0) {
        from->Close();
        finished();
      }
    };
  }
  try {
    if (!toA.empty()) a_->Send(toA);
    if (!toB.empty()) b_->Send(toB);
  } catch (const net::ESockException&) {
  }
  // Bytes already waiting in either socket's queue (read before the splice).
  std::weak_ptr<int> life = life_;
  net::post([this, life] {
    if (life.expired() || ended_) return;
    pass(a_.get(), b_.get());
    if (!ended_) pass(b_.get(), a_.get());
  });
}

Splice::~Splice() {
  retire(a_);
  retire(b_);
}

void Splice::pass(TAsyncSock* from, TAsyncSock* to) {
  if (ended_) return;
  std::string bytes;
  try {
    bytes = from->Receive();
  } catch (const net::ESockException&) {
    return;
  }
  if (bytes.empty()) return;
  if (to->SendQueued() + bytes.size() > kMaxQueued) return end();
  try {
    to->Send(bytes);
  } catch (const net::ESockException&) {
    end();
  }
}

void Splice::sideClosed(TAsyncSock* gone, TAsyncSock* other) {
  if (ended_) return;
  // What the closed side had sent still goes across.
  try {
    if (gone->SendQueued() == 0) {
      const std::string rest = gone->Receive();
      if (!rest.empty() && other->Handle() >= 0) other->Send(rest);
    }
  } catch (const net::ESockException&) {
  }
  end();
}

void Splice::end() {
  if (ended_) return;
  ended_ = true;
  for (TAsyncSock* s : {a_.get(), b_.get()}) {
    s->OnRead = nullptr;
    s->OnInfo = nullptr;
    s->OnEnd = nullptr;
    // Whatever is still queued for a side is handed over before it closes
    // (see OnWrite), for a few seconds at most.
    if (s->Handle() >= 0 && s->SendQueued() == 0) s->Close();
  }
  flush_->start(kFlushMs);
  finished();
}

void Splice::finished() {
  if (told_ || a_->Handle() >= 0 || b_->Handle() >= 0) return;
  told_ = true;
  flush_->stop();
  std::weak_ptr<int> life = life_;
  net::post([this, life] {
    if (!life.expired() && onEnded) onEnded();
  });
}

}  // namespace ombrix::lobbyclient
