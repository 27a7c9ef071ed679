#include "lobbyclient/joiner.h"

#include "net/wsock.h"

namespace ombrix::lobbyclient {

using namespace lobbywire;

using net::TAsyncSock;

CodeJoiner::CodeJoiner(HostPort server, std::string code) : server_(std::move(server)), code_(std::move(code)) {
  attemptTimer_.setSingleShot(true);
  QObject::connect(&attemptTimer_, &QTimer::timeout, [this] {
    retire(attempt_);
    tryNext();
  });
  lookup_.onConnected = [this] { lookup_.send(lookupLine(code_)); };
  lookup_.onMessage = [this](const Message& m) {
    if (m.op == Op::Table) found(m);
    else if (m.op == Op::Error) fail(m.error);
    lookup_.close();
  };
  lookup_.onClosed = [this](const std::string& why) {
    if (table_.name.empty()) fail(why);
  };
}

CodeJoiner::~CodeJoiner() {
  splice_.reset();
  retire(attempt_);
  retire(game_);
}

void CodeJoiner::start() { lookup_.open(server_); }

std::string CodeJoiner::gameAddress() const { return "127.0.0.1:" + std::to_string(listener_.LocalPort()); }

void CodeJoiner::found(const Message& m) {
  table_ = m.table;
  direct_ = m.direct;
  // Only the game on this machine may use the way in.
  listener_.setHostName("127.0.0.1");
  listener_.setPortName("0");
  listener_.OnAccept = [this](TAsyncSock* l) {
    TAsyncSock* s = nullptr;
    if (!l->Accept(s) || !s) return;
    if (game_ || done_) {
      s->OnInfo = nullptr;
      s->OnEnd = nullptr;
      s->Close();  // one game, one connection
      return;
    }
    // The listener owns what it accepts; this joiner holds it from now on.
    game_.reset(s);
    gameArrived();
  };
  try {
    listener_.setListen(true);
  } catch (const std::exception& e) {
    return fail(std::string("cannot listen for the game: ") + e.what());
  }
  if (onFound) onFound();
}

void CodeJoiner::gameArrived() {
  // The game's bytes wait in its socket's queue until the far side is up.
  game_->OnRead = nullptr;
  game_->OnInfo = [this](TAsyncSock*, net::TSocketInfo kind, const std::string&) {
    if (!splice_ && kind == net::siError) fail("the game left before the table was reached");
  };
  game_->OnEnd = [this](TAsyncSock*, net::EndReason) {
    if (!splice_) fail("the game left before the table was reached");
  };
  nextDirect_ = relayOnly ? direct_.size() : 0;
  tryNext();
}

void CodeJoiner::tryNext() {
  if (done_) return;
  if (nextDirect_ >= direct_.size()) return relay();
  attemptAddress_ = direct_[nextDirect_++];
  auto hp = readDirect(attemptAddress_);
  if (!hp) return tryNext();
  attempt_ = std::make_unique<TAsyncSock>();
  attempt_->setHostName(hp->host);
  attempt_->setPortName(std::to_string(hp->port));
  attempt_->OnConnect = [this](TAsyncSock*) {
    attemptTimer_.stop();
    joined(std::move(attempt_), {}, "direct " + attemptAddress_);
  };
  attempt_->OnInfo = [this](TAsyncSock*, net::TSocketInfo kind, const std::string&) {
    if (kind != net::siError) return;
    attemptTimer_.stop();
    retire(attempt_);
    net::post([this] { tryNext(); });
  };
  attemptTimer_.start(kDirectMs);
  try {
    attempt_->Open();
  } catch (const std::exception&) {
    attemptTimer_.stop();
    retire(attempt_);
    net::post([this] { tryNext(); });
  }
}

void CodeJoiner::relay() {
  relay_.onConnected = [this] { relay_.send(connectLine(code_)); };
  relay_.onMessage = [this](const Message& m) {
    if (m.op == Op::Spliced) {
      std::string leftover;
      auto far = relay_.takeRaw(leftover);
      joined(std::move(far), leftover, "relay");
    } else if (m.op == Op::Error) {
      relay_.close();
      fail(m.error);
    }
  };
  relay_.onClosed = [this](const std::string& why) { fail(why); };
  relay_.open(server_);
}

void CodeJoiner::joined(std::unique_ptr<TAsyncSock> far, const std::string& leftover, const std::string& path) {
  if (done_ || !game_) return;
  listener_.Close();  // nobody else comes in this way
  splice_ = std::make_unique<Splice>(std::move(game_), std::move(far), leftover, std::string());
  splice_->onEnded = [this] {
    done_ = true;
    if (onEnded) onEnded();
  };
  if (onJoined) onJoined(path);
}

void CodeJoiner::fail(const std::string& why) {
  if (done_) return;
  done_ = true;
  attemptTimer_.stop();
  retire(attempt_);
  retire(game_);
  if (listener_.Listen()) listener_.Close();
  if (onFailed) onFailed(why);
}

}  // namespace ombrix::lobbyclient
