// Announces one table on the local network: the DNS-SD service
// "_ombrix._tcp" under the table's name, on the port it listens on, with its
// public state in the text record (tables/txtrecord.h). Withdrawn when the
// publisher is destroyed (or the process ends: the daemon notices).
//
// A name another host already uses is settled as DNS-SD settles it, with a
// suffix ("Ann #2"). Without an avahi-daemon the table is not announced, in
// one line, and is announced as soon as a daemon starts; a daemon that
// restarts gets the table again.
#pragma once

#include <QObject>
#include <QTimer>
#include <functional>
#include <string>
#include <vector>

#include "dnssd/avahipoll.h"
#include "tables/tablestate.h"

struct AvahiClient;
struct AvahiEntryGroup;

namespace ombrix::dnssd {

class TablePublisher {
 public:
  // State changes closer together than this become one change of the
  // record: a table filling up sends one update, not four, and a change is
  // still on the network well within a second.
  static constexpr int kCoalesceMs = 150;

  // `say` gets one line when the table is announced (and under which name),
  // when it cannot be (and why), and when the daemon goes and comes back.
  TablePublisher(const std::string& name, int port, const tables::TableState& state,
                 std::function<void(const std::string&)> say);
  ~TablePublisher();
  TablePublisher(const TablePublisher&) = delete;
  TablePublisher& operator=(const TablePublisher&) = delete;

  // The table changed; the record follows within kCoalesceMs.
  void update(const tables::TableState& state);

  // The name the table is announced under (after a clash, with its suffix).
  const std::string& name() const { return name_; }
  // Whether the daemon confirmed the announcement.
  bool announced() const { return announced_; }

 private:
  friend struct PublisherCallbacks;
  void clientChanged(AvahiClient* c, int state);
  void groupChanged(AvahiEntryGroup* g, int state);
  void connect();
  void reconnectLater();
  void addService(AvahiClient* c);
  void pushRecord();
  void tell(const std::string& line);

  AvahiQtPoll poll_;
  AvahiClient* client_ = nullptr;
  AvahiEntryGroup* group_ = nullptr;
  std::string name_;
  int port_;
  tables::TableState state_;
  std::vector<std::string> sent_;  // the record the daemon holds
  QTimer coalesce_;
  std::function<void(const std::string&)> say_;
  std::string lastSaid_;
  bool announced_ = false;
};

}  // namespace ombrix::dnssd
