#include "dnssd/publisher.h"

#include <avahi-client/client.h>
#include <avahi-client/publish.h>
#include <avahi-common/alternative.h>
#include <avahi-common/error.h>
#include <avahi-common/malloc.h>
#include <avahi-common/strlst.h>

#include "tables/cleantext.h"
#include "tables/tablelist.h"
#include "tables/txtrecord.h"

namespace ombrix::dnssd {

namespace {

const std::string kType(tables::kServiceType);
// A name that cleans to nothing still needs one.
constexpr const char* kUnnamed = "Ombrix table";

AvahiStringList* toList(const std::vector<std::string>& strings) {
  AvahiStringList* list = nullptr;
  // avahi_string_list_add puts each string first: added last to first, the
  // record keeps its order.
  for (auto it = strings.rbegin(); it != strings.rend(); ++it) list = avahi_string_list_add(list, it->c_str());
  return list;
}

}  // namespace

// The library's callbacks, with the types it calls them with.
struct PublisherCallbacks {
  static void client(AvahiClient* c, AvahiClientState state, void* self) {
    static_cast<TablePublisher*>(self)->clientChanged(c, state);
  }
  static void group(AvahiEntryGroup* g, AvahiEntryGroupState state, void* self) {
    static_cast<TablePublisher*>(self)->groupChanged(g, state);
  }
};

TablePublisher::TablePublisher(const std::string& name, int port, const tables::TableState& state,
                               std::function<void(const std::string&)> say)
    : name_(tables::cleanText(name, tables::kMaxNameBytes)), port_(port), state_(state), say_(std::move(say)) {
  if (name_.empty()) name_ = kUnnamed;
  coalesce_.setSingleShot(true);
  coalesce_.setInterval(kCoalesceMs);
  QObject::connect(&coalesce_, &QTimer::timeout, [this] { pushRecord(); });
  connect();
}

TablePublisher::~TablePublisher() {
  coalesce_.stop();
  // Freeing the client frees the group: the daemon withdraws the service.
  if (client_) avahi_client_free(client_);
}

void TablePublisher::tell(const std::string& line) {
  if (line == lastSaid_) return;  // a daemon that comes and goes is told once each way
  lastSaid_ = line;
  if (say_) say_(line);
}

void TablePublisher::connect() {
  int error = 0;
  // NO_FAIL: without a daemon the client waits for one (CONNECTING) instead
  // of failing, and announces the table when it starts.
  client_ = avahi_client_new(poll_.api(), AVAHI_CLIENT_NO_FAIL, &PublisherCallbacks::client, this, &error);
  if (!client_) tell(std::string("table not announced: ") + avahi_strerror(error));
}

void TablePublisher::reconnectLater() {
  // Not from inside the library's own callback.
  QTimer::singleShot(0, poll_.owner(), [this] {
    if (client_) avahi_client_free(client_);
    client_ = nullptr;
    group_ = nullptr;
    announced_ = false;
    sent_.clear();
    connect();
  });
}

void TablePublisher::clientChanged(AvahiClient* c, int state) {
  switch (state) {
    case AVAHI_CLIENT_S_RUNNING:
      addService(c);
      break;
    case AVAHI_CLIENT_S_COLLISION:
    case AVAHI_CLIENT_S_REGISTERING:
      // The host's own name is being settled: the service comes back once
      // the server runs again.
      if (group_) avahi_entry_group_reset(group_);
      announced_ = false;
      break;
    case AVAHI_CLIENT_CONNECTING:
      tell("table not announced: avahi-daemon is not running (it is announced when the daemon starts)");
      break;
    case AVAHI_CLIENT_FAILURE:
      announced_ = false;
      if (avahi_client_errno(c) == AVAHI_ERR_DISCONNECTED) {
        tell("avahi-daemon stopped: the table is announced again when it is back");
        reconnectLater();
      } else {
        tell(std::string("table not announced: ") + avahi_strerror(avahi_client_errno(c)));
      }
      break;
    default:
      break;
  }
}

void TablePublisher::addService(AvahiClient* c) {
  if (!group_) {
    group_ = avahi_entry_group_new(c, &PublisherCallbacks::group, this);
    if (!group_) return tell(std::string("table not announced: ") + avahi_strerror(avahi_client_errno(c)));
  }
  if (!avahi_entry_group_is_empty(group_)) return;
  for (;;) {
    const std::vector<std::string> record = tables::txtRecord(state_);
    AvahiStringList* txt = toList(record);
    const int r = avahi_entry_group_add_service_strlst(group_, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC,
                                                      static_cast<AvahiPublishFlags>(0), name_.c_str(), kType.c_str(),
                                                      nullptr, nullptr, static_cast<uint16_t>(port_), txt);
    avahi_string_list_free(txt);
    if (r == AVAHI_ERR_COLLISION) {  // a service of ours on this host has the name
      char* other = avahi_alternative_service_name(name_.c_str());
      name_ = other;
      avahi_free(other);
      continue;
    }
    if (r < 0) return tell(std::string("table not announced: ") + avahi_strerror(r));
    sent_ = record;
    break;
  }
  if (const int r = avahi_entry_group_commit(group_); r < 0)
    tell(std::string("table not announced: ") + avahi_strerror(r));
}

void TablePublisher::groupChanged(AvahiEntryGroup* g, int state) {
  switch (state) {
    case AVAHI_ENTRY_GROUP_ESTABLISHED:
      announced_ = true;
      tell("table announced on the local network as \"" + name_ + "\"");
      pushRecord();  // what changed while the name was being claimed
      break;
    case AVAHI_ENTRY_GROUP_COLLISION: {
      // Another host holds the name: take the next one, as DNS-SD does.
      char* other = avahi_alternative_service_name(name_.c_str());
      name_ = other;
      avahi_free(other);
      announced_ = false;
      avahi_entry_group_reset(g);
      addService(avahi_entry_group_get_client(g));
      break;
    }
    case AVAHI_ENTRY_GROUP_FAILURE:
      announced_ = false;
      tell(std::string("table not announced: ") +
               avahi_strerror(avahi_client_errno(avahi_entry_group_get_client(g))));
      break;
    default:
      break;
  }
}

void TablePublisher::update(const tables::TableState& state) {
  state_ = state;
  if (!coalesce_.isActive()) coalesce_.start();
}

void TablePublisher::pushRecord() {
  if (!group_ || avahi_entry_group_is_empty(group_)) return;  // added with the latest state later
  const std::vector<std::string> record = tables::txtRecord(state_);
  if (record == sent_) return;
  AvahiStringList* txt = toList(record);
  const int r = avahi_entry_group_update_service_txt_strlst(group_, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC,
                                                            static_cast<AvahiPublishFlags>(0), name_.c_str(),
                                                            kType.c_str(), nullptr, txt);
  avahi_string_list_free(txt);
  if (r >= 0) sent_ = record;
}

}  // namespace ombrix::dnssd
