#include "host/hostwindow.h"

#include "net/wsock.h"
#include "protocol/commands.h"

namespace ombrix {

using net::TAsyncSock;

HostWindow::HostWindow(uint64_t seed, double timeScale)
    : timers_(timeScale), server_(*this, *this, timers_, seed) {
  bind();
  // A table's log-in crosses a real network however fast the game runs.
  server_.logInDeadlineMs = static_cast<int>(TServer::kLogInDeadlineMs * timeScale);
}

HostWindow::HostWindow(uint64_t seed, TimerFactory& timers) : server_(*this, *this, timers, seed) { bind(); }

void HostWindow::bind() {
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

HostWindow::~HostWindow() {
  for (TAsyncSock* s : socks_)
    if (s) {  // the engine goes first; sockets close silently
      s->OnInfo = nullptr;
      s->OnEnd = nullptr;
    }
}

void HostWindow::listen(const std::string& port, const std::string& address) {
  Sock1.setHostName(address);
  Sock1.setPortName(port);
  Sock1.setListen(true);
  say("listening on port " + std::to_string(Sock1.LocalPort()) + (address.empty() ? "" : " at " + address));
}

bool HostWindow::owns(TAsyncSock* s) const {
  const int slot = s->Tag;
  return slot >= 1 && slot <= kLastSlot && socks_[slot] == s;
}

void HostWindow::Sock1Accept(TAsyncSock* sender) {
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

void HostWindow::Sock1Read(TAsyncSock* sender, int) {
  if (!owns(sender)) return;
  const std::string text = sender->Receive();
  // A connection that breaks the bounds (an endless message, a flood) is
  // closed: it cannot be allowed to grow the host or starve the others.
  if (!server_.received(sender->Tag, text)) {
    say("slot " + std::to_string(sender->Tag) + " closed: it broke the message bounds");
    sender->Close();
  }
}

void HostWindow::tempsockDisconnect(TAsyncSock* sender) {
  if (owns(sender) && server_.slots[sender->Tag].inUse) sender->Close();
}

void HostWindow::tempsockInfo(TAsyncSock* sender, net::TSocketInfo info, const std::string&) {
  // Without this the slot would stay taken and its seat would wait for ever.
  if (info == net::siError && net::broken(sender->EndedBy()) && owns(sender)) sender->Close();
}

void HostWindow::tempsockEnd(TAsyncSock* sender) {
  if (!owns(sender)) return;
  const int slot = sender->Tag;
  socks_[slot] = nullptr;
  sender->deleteLater();
  server_.connectionClosed(slot);
}

void HostWindow::disconnectsock(int slot) {
  if (TAsyncSock* s = sock(slot)) s->Close();
}

void HostWindow::moveConnection(int from, int to) {
  TAsyncSock* s = sock(from);
  if (!s || to < 1 || to > kLastSlot || to == from) return;
  TAsyncSock* other = socks_[to];  // a connection not yet logged in, given `from` in exchange
  socks_[from] = other;
  socks_[to] = s;
  s->Tag = to;
  if (other) other->Tag = from;
  // A close already posted for either number must not reach the other connection.
  ++generation_[from];
  ++generation_[to];
  const bool closingFrom = overflowed_[from], closingTo = overflowed_[to];
  overflowed_[from] = overflowed_[to] = false;
  if (closingFrom) closeLater(to);
  if (closingTo && other) closeLater(from);
}

void HostWindow::closeLater(int slot) {
  overflowed_[slot] = true;
  const uint64_t generation = generation_[slot];
  net::post([this, life = std::weak_ptr<int>(life_), slot, generation] {
    if (!life.expired() && generation_[slot] == generation) disconnectsock(slot);
  });
}

void HostWindow::send(int slot, std::string_view message) {
  TAsyncSock* s = sock(slot);
  if (!s || overflowed_[slot]) return;
  if (s->SendQueued() + message.size() + 1 > kMaxUnsentBytes) {
    say("slot " + std::to_string(slot) + " closed: it stopped reading");
    closeLater(slot);
    return;
  }
  out_.assign(message);
  out_.push_back(wire::kTerminator);
  try {
    s->Send(out_);
  } catch (const net::ESockException& e) {
    say("slot " + std::to_string(slot) + ": " + e.what());
  }
}

void HostWindow::notice(std::string_view text) {
  say("notice: " + std::string(text));
  if (onNotice) onNotice(text);
}

}  // namespace ombrix
