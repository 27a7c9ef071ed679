#include "lobbyclient/registration.h"

#include <arpa/inet.h>
#include <netdb.h>

#include "net/resolver.h"
#include "net/wsock.h"

namespace ombrix::lobbyclient {

using namespace lobbywire;

using net::TAsyncSock;

// One relayed seat: the host's second connection to the server, and its
// connection to its own listener, spliced once both are up.
struct HostRegistration::Relay {
  std::unique_ptr<TAsyncSock> leg, local;
  std::unique_ptr<Splice> splice;
  bool legUp = false, localUp = false;
};

namespace {
std::unique_ptr<TAsyncSock> connecting(const HostPort& to) {
  auto s = std::make_unique<TAsyncSock>();
  s->setHostName(to.host);
  s->setPortName(std::to_string(to.port));
  return s;
}
}  // namespace

std::string reachText(const std::vector<std::string>& direct) {
  if (direct.empty()) return "the lobby server cannot reach this table: joiners come through its relay";
  std::string line = "the lobby server reached this table at";
  for (const auto& d : direct) line += " " + d;
  return line;
}

HostRegistration::HostRegistration(HostPort server, HostPort game, TableEntry table, bool isPrivate,
                                   TimerFactory* timers)
    : server_(std::move(server)),
      game_(std::move(game)),
      table_(std::move(table)),
      private_(isPrivate),
      timers_(timers ? *timers : loopTimers()),
      retry_(timers_.createTimer()) {
  retry_->onTick = [this] {
    retry_->stop();  // once: a failure arms the next
    start();
  };
  link_.onConnected = [this] { connected(); };
  link_.onMessage = [this](const Message& m) { message(m); };
  link_.onClosed = [this](const std::string& why) { lost(why); };
}

HostRegistration::~HostRegistration() = default;

void HostRegistration::start() {
  registered_ = false;
  link_.open(server_);
}

void HostRegistration::connected() {
  sent_ = table_;
  showPending_ = false;  // the line names the table's port as it is now
  link_.send(registerLine(table_, private_));
}

std::string HostRegistration::webLink() const {
  if (!webPort_ || code_.empty()) return {};
  const bool v6 = server_.host.find(':') != std::string::npos;
  return "http://" + (v6 ? "[" + server_.host + "]" : server_.host) + ":" + std::to_string(webPort_) + "/" + code_;
}

void HostRegistration::update(const TableEntry& table) {
  table_ = table;
  if (!registered_ || table_ == sent_) return;
  sent_ = table_;
  link_.send(stateLine(table_));
}

void HostRegistration::message(const Message& m) {
  switch (m.op) {
    case Op::Registered:
      registered_ = true;
      retryMs_ = kFirstRetryMs;
      code_ = m.code;
      secret_ = m.ticket;
      webPort_ = m.web;
      direct_.clear();
      if (onCode) onCode(code_);
      // What changed while the registration was on its way.
      if (!(table_ == sent_)) update(table_);
      stun();
      if (showPending_) showPort(table_.port);
      break;
    case Op::Direct:
      direct_ = m.direct;
      if (onDirect) onDirect(direct_);
      break;
    case Op::Relay:
      if (registered_ && !m.ticket.empty()) openRelay(m.ticket);
      break;
    case Op::Error:
      say("the lobby server says: " + m.error);
      break;
    default:
      break;
  }
}

void HostRegistration::showPort(int port) {
  table_.port = port;
  showPending_ = !registered_;
  if (!registered_) return;
  // Even the port registered: the server looked before the router forwarded it.
  shown_ = std::make_unique<LineLink>();
  const std::string line = stunLine(code_, secret_, port);
  shown_->onConnected = [this, line] { shown_->send(line); };
  // The server closes it at once; what it reached comes as a direct line on
  // the registration.
  shown_->onClosed = [](const std::string&) {};
  shown_->open(server_);
}

void HostRegistration::lost(const std::string& why) {
  const bool was = registered_;
  registered_ = false;
  code_.clear();
  say((was ? "withdrawn from the lobby server: " : "not registered: ") + why + "; trying again in " +
      std::to_string(retryMs_ / 1000) + " s");
  retry_->start(retryMs_);
  retryMs_ = std::min(retryMs_ * 2, kLastRetryMs);
}

void HostRegistration::stun() {
  const int used = link_.family();
  // The router forwards another port than the game's to it: that mapping is
  // IPv4's only, and the other family would be probed where nothing listens.
  if (table_.port != game_.port) return;
  in6_addr literal6;
  // An address names one family only; a name may have both.
  if (!used || ::inet_pton(AF_INET6, server_.host.c_str(), &literal6) == 1 || net::dottedDecimal(server_.host))
    return;
  // Looked up off the loop's thread: the game must not wait for a name server.
  net::resolveLater(server_.host, used == AF_INET6 ? AF_INET : AF_INET6,
                    [this, life = std::weak_ptr<int>(life_)](std::vector<sockaddr_storage> addrs) {
                      if (life.expired() || addrs.empty() || code_.empty()) return;
                      char text[INET6_ADDRSTRLEN] = {};
                      const sockaddr_storage& a = addrs.front();
                      if (a.ss_family == AF_INET6)
                        ::inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6&>(a).sin6_addr, text, sizeof text);
                      else
                        ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in&>(a).sin_addr, text, sizeof text);
                      stunAt(text);
                    });
}

void HostRegistration::stunAt(const std::string& address) {
  stun_ = std::make_unique<LineLink>();
  const std::string line = stunLine(code_, secret_);
  stun_->onConnected = [this, line] { stun_->send(line); };
  // The server closes it once it has seen the address; a family this host
  // cannot reach the server by simply fails.
  stun_->onClosed = [](const std::string&) {};
  stun_->open({address, server_.port});
}

void HostRegistration::openRelay(const std::string& ticket) {
  // Nine slots and one refused as full: more at once is not a table's.
  if (relays_.size() >= 16) return;
  auto r = std::make_unique<Relay>();
  Relay* relay = r.get();
  relays_.push_back(std::move(r));
  auto drop = [this, relay] {
    net::post([this, relay] {
      for (auto it = relays_.begin(); it != relays_.end(); ++it)
        if (it->get() == relay) {
          relays_.erase(it);
          return;
        }
    });
  };
  auto joinIfUp = [this, relay, drop] {
    if (!relay->legUp || !relay->localUp || relay->splice) return;
    relay->splice = std::make_unique<Splice>(std::move(relay->leg), std::move(relay->local), std::string(),
                                             std::string(), &timers_);
    relay->splice->onEnded = drop;
  };
  relay->leg = connecting(server_);
  relay->local = connecting(game_);
  relay->leg->OnConnect = [relay, ticket, joinIfUp](TAsyncSock* s) {
    relay->legUp = true;
    s->Send(relayLine(ticket));
    joinIfUp();
  };
  relay->local->OnConnect = [relay, joinIfUp](TAsyncSock*) {
    relay->localUp = true;
    joinIfUp();
  };
  for (TAsyncSock* s : {relay->leg.get(), relay->local.get()}) {
    // Either side failing or ending before the splice started ends the relay.
    auto unspliced = [relay, drop] {
      if (relay->splice) return;
      // Retiring frees the handler running this: what it needs is kept here.
      const auto keep = relay;
      const auto done = drop;
      retire(keep->leg);
      retire(keep->local);
      done();
    };
    s->OnInfo = [unspliced](TAsyncSock*, net::TSocketInfo kind, const std::string&) {
      if (kind == net::siError) unspliced();
    };
    s->OnEnd = [unspliced](TAsyncSock*, net::EndReason) { unspliced(); };
  }
  try {
    relay->leg->Open();
    relay->local->Open();
  } catch (const std::exception& e) {
    say(std::string("relay: ") + e.what());
    retire(relay->leg);
    retire(relay->local);
    drop();
  }
}

}  // namespace ombrix::lobbyclient
