// Browses the local network for tables: every "_ombrix._tcp" service the
// avahi-daemon sees, resolved to an IPv4 address, a port and a text record,
// and reported as a table of the source "lan". Once resolved, a table's text
// record is followed by a record browser: a resolver reports a new record
// only after the old one has expired, a second later than the network has
// it.
//
// A table is reported once however many interfaces and protocols it is seen
// on, and gone when the last of them is. Announcements come from anyone:
// names are cleaned, records that describe no table are passed over, a
// loopback address from another machine is passed over, and at most
// kMaxTables are followed at once, so a flood of services costs a bounded
// amount (the daemon itself allows a client a few hundred objects).
#pragma once

#include <QObject>
#include <map>
#include <set>
#include <string>
#include <utility>

#include "dnssd/avahipoll.h"
#include "tables/tablelist.h"

struct AvahiClient;
struct AvahiRecordBrowser;
struct AvahiServiceBrowser;
struct AvahiServiceResolver;

namespace ombrix::dnssd {

class LanBrowser : public tables::TableSource {
 public:
  static constexpr std::string_view kSource = "lan";
  static constexpr size_t kMaxTables = tables::TableList::kMaxTables;
  // A table whose record could not be resolved is asked again this much later.
  static constexpr int kRetryMs = 5000;

  enum class Daemon {
    WaitFor,   // a window: without a daemon, say so and wait for one
    Required,  // a script: without a daemon, say so and stop
  };
  explicit LanBrowser(Daemon daemon = Daemon::WaitFor);
  ~LanBrowser() override;
  LanBrowser(const LanBrowser&) = delete;
  LanBrowser& operator=(const LanBrowser&) = delete;

  std::string_view id() const override { return kSource; }

  // Starts browsing; the callbacks are to be set before.
  void start();

  bool available() const { return available_; }
  const std::string& why() const { return why_; }
  // Services followed now (shown or being resolved).
  size_t followed() const { return instances_.size(); }
  // Announcements passed over: past the bound, or not describing a table.
  size_t skipped() const { return skipped_; }

 private:
  struct Instance {
    std::string name, domain;  // as announced
    std::set<std::pair<int, int>> seenOn;  // (interface, protocol)
    std::pair<int, int> resolving{-1, -1};
    // One object a table at a time: the resolver until it answers, then
    // the browser of its text record.
    AvahiServiceResolver* resolver = nullptr;
    AvahiRecordBrowser* record = nullptr;
    tables::ListedTable table;  // as last reported
    bool shown = false;
  };

  friend struct BrowserCallbacks;
  void clientChanged(AvahiClient* c, int state);
  void serviceEvent(int interface, int protocol, int event, const char* name, const char* domain);
  // `local`: the daemon has the record from this machine, not from the network.
  void resolved(AvahiServiceResolver* r, int event, const char* name, const char* domain, const void* address,
                uint16_t port, const void* txt, bool local);
  void resolve(Instance& instance);
  void recordEvent(AvahiRecordBrowser* b, int event, const void* rdata, size_t size);
  // Shows the table with the text record's strings, or hides it when they
  // describe no table.
  void show(const std::string& key, Instance& instance, const std::vector<std::string_view>& strings);
  void drop(Instance& instance);  // frees its resolver or record browser
  void hide(const std::string& key, Instance& instance);
  void forgetAll();
  void connect();
  void setAvailable(bool available, const std::string& why);

  AvahiQtPoll poll_;
  Daemon daemon_;
  AvahiClient* client_ = nullptr;
  AvahiServiceBrowser* browser_ = nullptr;
  std::map<std::string, Instance> instances_;  // by name and domain
  bool available_ = false;
  std::string why_ = "not started";
  size_t skipped_ = 0;
};

}  // namespace ombrix::dnssd
