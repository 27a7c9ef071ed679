#include "lobby/servertables.h"

#include "tables/address.h"
#include "tables/cleantext.h"

namespace ombrix::lobby {

using namespace lobbywire;

tables::ListedTable listedOf(const TableEntry& t, const std::string& code) {
  tables::ListedTable l;
  l.source = std::string(ServerTables::kSource);
  l.key = code;
  l.code = code;
  l.port = t.port;
  l.state = t.state;
  // The server cleans names too; a lobby trusts no one's cleaning but its own.
  l.name = tables::cleanText(t.name, tables::kMaxNameBytes);
  l.state.version = tables::cleanText(t.state.version, kMaxVersionBytes);
  return l;
}

ServerTables::ServerTables() {
  timer_.setInterval(kRefreshMs);
  QObject::connect(&timer_, &QTimer::timeout, [this] { refresh(); });
  link_.onConnected = [this] { link_.send(listLine(0)); };
  link_.onMessage = [this](const Message& m) { message(m); };
  link_.onClosed = [this](const std::string& why) { lost(why); };
}

ServerTables::~ServerTables() = default;

void ServerTables::setServer(std::optional<HostPort> server) {
  link_.close();
  asking_ = false;
  page_.clear();
  server_ = std::move(server);
  if (!server_) {
    shown_.clear();
    available_.reset();
    if (onAvailability) onAvailability(false, {});  // no server: nothing to say
    return;
  }
  refresh();
}

void ServerTables::setRefreshing(bool on) {
  if (on) timer_.start();
  else timer_.stop();
}

void ServerTables::refresh() {
  if (!server_ || asking_) return;
  asking_ = true;
  page_.clear();
  if (link_.connected()) link_.send(listLine(0));
  else link_.open(*server_);  // asks once connected
}

void ServerTables::message(const Message& m) {
  if (!asking_) return;
  if (m.op == Op::Table) {
    if (page_.size() < static_cast<size_t>(kMaxListed)) page_[m.code] = listedOf(m.table, m.code);
    return;
  }
  if (m.op == Op::Error) return lost("the lobby server says: " + m.error);
  if (m.op != Op::End) return;
  // The next page, while there is one and the list has room.
  if (m.from > 0 && page_.size() < static_cast<size_t>(kMaxListed)) return link_.send(listLine(m.from));
  asking_ = false;
  available(true, {});
  for (const auto& [code, t] : shown_)
    if (!page_.contains(code) && onGone) onGone(code);
  for (const auto& [code, t] : page_) {
    auto was = shown_.find(code);
    if ((was == shown_.end() || !(was->second == t)) && onSeen) onSeen(t);
  }
  shown_ = std::move(page_);
  page_.clear();
  if (onListed) onListed();
}

void ServerTables::lost(const std::string& why) {
  link_.close();
  const bool wasAsking = asking_;
  asking_ = false;
  page_.clear();
  // A kept connection the server closed for idling is opened again on the
  // next listing; only a listing that failed makes the tables go.
  if (!wasAsking) return;
  shown_.clear();
  available(false, why);
  if (onListed) onListed();
}

void ServerTables::available(bool yes, const std::string& why) {
  if (available_ == yes && yes) return;
  available_ = yes;
  if (onAvailability) onAvailability(yes, why);
}

}  // namespace ombrix::lobby
