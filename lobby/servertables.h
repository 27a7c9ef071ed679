// The public tables of a lobby server, as a source of the lobby's list:
// one kept connection that asks for the listing every few seconds, page by
// page as far as the lobby holds, and reports what came and what went. A table of this source is joined by its
// invite code (ListedTable::code), not by an address.
#pragma once

#include <QTimer>
#include <functional>
#include <map>
#include <optional>
#include <string>

#include "lobbyclient/lobbylink.h"
#include "tables/tablelist.h"

namespace ombrix::lobby {

// What a lobby server's table line says, as the lobby lists it.
tables::ListedTable listedOf(const lobbywire::TableEntry& table, const std::string& code);

class ServerTables : public tables::TableSource {
 public:
  static constexpr std::string_view kSource = "server";
  // A table a player sees changes within a few seconds; the server keeps an
  // idle lobby a minute, and answers a listing in well under a millisecond.
  static constexpr int kRefreshMs = 4000;
  // As many as the lobby's list holds of one source, read a page (100) at a
  // time: the server lists tables with people waiting first, and spreads the
  // rest over the homes they come from, so the first pages are the ones a
  // person reads through, and no one home fills them.
  static constexpr int kMaxListed = 200;

  ServerTables();
  ~ServerTables() override;
  std::string_view id() const override { return kSource; }

  // The server to list (nothing: none; its tables go). Asks at once.
  void setServer(std::optional<lobbywire::HostPort> server);
  const std::optional<lobbywire::HostPort>& server() const { return server_; }
  // Asks again every kRefreshMs (a window); off, each listing is asked for
  // with refresh() (a script).
  void setRefreshing(bool on);
  void refresh();

  // A whole listing has come and been reported.
  std::function<void()> onListed;

 private:
  void message(const lobbywire::Message& m);
  void lost(const std::string& why);
  void available(bool yes, const std::string& why);

  std::optional<lobbywire::HostPort> server_;
  lobbyclient::LineLink link_;
  QTimer timer_;
  bool asking_ = false;
  std::optional<bool> available_;
  std::map<std::string, tables::ListedTable> shown_, page_;  // by code
};

}  // namespace ombrix::lobby
