#include "host/hostsockets.h"

#include "net/wsock.h"
#include "protocol/commands.h"

namespace ombrix {

using net::TAsyncSock;

HostSockets::HostSockets(uint64_t seed, double timeScale)
    : timers_(timeScale), server_(*this, *this, timers_, seed) {
  bind();
  // A table's log-in crosses a real network however fast the game runs.
  server_.logInDeadlineMs = static_cast<int>(TServer::kLogInDeadlineMs * timeScale);
}

HostSockets::HostSockets(uint64_t seed, TimerFactory& timers) : server_(*this, *this, timers, seed) { bind(); }

void HostSockets::bind() {
  server_.log = [this](std::string_view line) { say(line); };
  Sock1.setPortName("7772");
  Sock1.OnRead = [this](TAsyncSock* s, int n) { Sock1Read(s, n); };
  Sock1.OnAccept = [this](TAsyncSock* s) { Sock1Accept(s); };
  tempsock.OnDisconnect = [this](TAsyncSock* s) { tempsockDisconnect(s); };
  tempsock.OnInfo = [this](TAsyncSock* s, net::TSocketInfo i, const std::string& m) {
    tempsockInfo(s, i, m);
  };
  tempsock.OnEnd = [this](TAsyncSock* s, net::EndReason) { tempsockEnd(s); };
}

HostSockets::~HostSockets() {
  for (TAsyncSock* s : socks_)
    if (s) {  // the engine goes first; sockets close silently
      s->OnInfo = nullptr;
      s->OnEnd = nullptr;
    }
  for (Line* l : lines_)
    if (l) l->slot_ = 0;
}

void HostSockets::listen(const std::string& port, const std::string& address) {
  Sock1.setHostName(address);
  Sock1.setPortName(port);
  Sock1.setListen(true);
  say("listening on port " + std::to_string(Sock1.LocalPort()) + (address.empty() ? "" : " at " + address));
}

bool HostSockets::owns(TAsyncSock* s) const {
  const int slot = s->Tag;
  return slot >= 1 && slot <= kLastSlot && socks_[slot] == s;
}

void HostSockets::Sock1Accept(TAsyncSock* sender) {
  TAsyncSock* ns = nullptr;
  // Nobody came after all, or no descriptor is left: the listener waits
  // quietly until one is, and the table is untouched.
  if (!sender->Accept(ns) || !ns) return;
  const int slot = server_.takeSlot();
  if (slot == kFullSlot) {
    ns->Tag = kFullSlot;
    ns->OnInfo = nullptr;
    ns->Send(std::string(TServer::fullMessage()) + wire::kTerminator);
    delete ns;  // at once: nothing else of the table changes
    return;
  }
  if (!net::findDeadLines(ns->Handle(), kDeadLine)) say("slot " + std::to_string(slot) + ": no keepalive");
  socks_[slot] = ns;
  ++generation_[slot];
  overflowed_[slot] = false;
  ns->Tag = slot;
  ns->OnRead = [this](TAsyncSock* s, int n) { Sock1Read(s, n); };
  ns->OnDisconnect = tempsock.OnDisconnect;
  ns->OnInfo = tempsock.OnInfo;
  ns->OnEnd = tempsock.OnEnd;
  server_.welcome(slot);
}

void HostSockets::Sock1Read(TAsyncSock* sender, int) {
  if (!owns(sender)) return;
  const std::string text = sender->Receive();
  // A connection that breaks the bounds (an endless message, a flood) is
  // closed: it cannot be allowed to grow the host or starve the others.
  if (!server_.received(sender->Tag, text)) {
    say("slot " + std::to_string(sender->Tag) + " closed: it broke the message bounds");
    sender->Close();
  }
}

bool HostSockets::arrive(Line& line) {
  if (line.slot_) return true;
  const int slot = server_.takeSlot();
  if (slot == kFullSlot) {
    line.write(std::string(TServer::fullMessage()) + wire::kTerminator);
    return false;
  }
  lines_[slot] = &line;
  line.slot_ = slot;
  ++generation_[slot];
  overflowed_[slot] = false;
  server_.welcome(slot);
  return true;
}

void HostSockets::fromLine(Line& line, std::string_view bytes) {
  const int slot = line.slot_;
  if (!slot || lines_[slot] != &line) return;
  if (!server_.received(slot, bytes)) {
    say("slot " + std::to_string(slot) + " closed: it broke the message bounds");
    disconnectsock(slot);
  }
}

void HostSockets::lineEnded(Line& line) {
  const int slot = line.slot_;
  if (!slot || lines_[slot] != &line) return;
  lines_[slot] = nullptr;
  line.slot_ = 0;
  server_.connectionClosed(slot);
}

void HostSockets::tempsockDisconnect(TAsyncSock* sender) {
  if (owns(sender) && server_.slots[sender->Tag].inUse) sender->Close();
}

void HostSockets::tempsockInfo(TAsyncSock* sender, net::TSocketInfo info, const std::string&) {
  // Without this the slot would stay taken and its seat would wait for ever.
  if (info == net::siError && net::broken(sender->EndedBy()) && owns(sender)) sender->Close();
}

void HostSockets::tempsockEnd(TAsyncSock* sender) {
  if (!owns(sender)) return;
  const int slot = sender->Tag;
  socks_[slot] = nullptr;
  sender->deleteLater();
  server_.connectionClosed(slot);
}

void HostSockets::disconnectsock(int slot) {
  if (TAsyncSock* s = sock(slot)) return void(s->Close());
  if (slot < 1 || slot > kLastSlot || !lines_[slot]) return;
  // As a socket's Close reports its end at once.
  Line* l = lines_[slot];
  lines_[slot] = nullptr;
  l->slot_ = 0;
  l->hangUp();
  server_.connectionClosed(slot);
}

void HostSockets::moveConnection(int from, int to) {
  if (from < 1 || from > kLastSlot || !held(from) || to < 1 || to > kLastSlot || to == from) return;
  // The connection not yet logged in at `to`, if any, is given `from` in exchange.
  std::swap(socks_[from], socks_[to]);
  std::swap(lines_[from], lines_[to]);
  for (int slot : {from, to}) {
    if (socks_[slot]) socks_[slot]->Tag = slot;
    if (lines_[slot]) lines_[slot]->slot_ = slot;
  }
  const bool other = held(from);
  // A close already posted for either number must not reach the other connection.
  ++generation_[from];
  ++generation_[to];
  const bool closingFrom = overflowed_[from], closingTo = overflowed_[to];
  overflowed_[from] = overflowed_[to] = false;
  if (closingFrom) closeLater(to);
  if (closingTo && other) closeLater(from);
}

void HostSockets::closeLater(int slot) {
  overflowed_[slot] = true;
  const uint64_t generation = generation_[slot];
  net::post([this, life = std::weak_ptr<int>(life_), slot, generation] {
    if (!life.expired() && generation_[slot] == generation) disconnectsock(slot);
  });
}

void HostSockets::send(int slot, std::string_view message) {
  if (slot < 1 || slot > kLastSlot || !held(slot) || overflowed_[slot]) return;
  TAsyncSock* s = socks_[slot];
  Line* l = lines_[slot];
  if ((s ? s->SendQueued() : l->unsent()) + message.size() + 1 > kMaxUnsentBytes) {
    say("slot " + std::to_string(slot) + " closed: it stopped reading");
    closeLater(slot);
    return;
  }
  out_.assign(message);
  out_.push_back(wire::kTerminator);
  if (l) return l->write(out_);
  try {
    s->Send(out_);
  } catch (const net::ESockException& e) {
    say("slot " + std::to_string(slot) + ": " + e.what());
  }
}

void HostSockets::notice(std::string_view text) {
  say("notice: " + std::string(text));
  if (onNotice) onNotice(text);
}

}  // namespace ombrix
