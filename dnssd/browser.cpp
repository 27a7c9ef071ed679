#include "dnssd/browser.h"

#include <avahi-client/client.h>
#include <avahi-client/lookup.h>
#include <avahi-common/domain.h>
#include <avahi-common/error.h>
#include <avahi-common/strlst.h>

#include <arpa/inet.h>

#include <QTimer>
#include <algorithm>
#include <vector>

#include "tables/cleantext.h"
#include "tables/txtrecord.h"

namespace ombrix::dnssd {

namespace {

const std::string kType(tables::kServiceType);

std::string keyOf(const char* name, const char* domain) {
  return std::string(name ? name : "") + '\x1f' + (domain ? domain : "");
}

}  // namespace

struct BrowserCallbacks {
  static void client(AvahiClient* c, AvahiClientState state, void* self) {
    static_cast<LanBrowser*>(self)->clientChanged(c, state);
  }
  static void browse(AvahiServiceBrowser*, AvahiIfIndex interface, AvahiProtocol protocol, AvahiBrowserEvent event,
                     const char* name, const char*, const char* domain, AvahiLookupResultFlags, void* self) {
    static_cast<LanBrowser*>(self)->serviceEvent(interface, protocol, event, name, domain);
  }
  static void resolve(AvahiServiceResolver* r, AvahiIfIndex, AvahiProtocol, AvahiResolverEvent event,
                      const char* name, const char*, const char* domain, const char*, const AvahiAddress* address,
                      uint16_t port, AvahiStringList* txt, AvahiLookupResultFlags flags, void* self) {
    static_cast<LanBrowser*>(self)->resolved(r, event, name, domain, address, port, txt,
                                             (flags & AVAHI_LOOKUP_RESULT_LOCAL) != 0);
  }
  static void record(AvahiRecordBrowser* b, AvahiIfIndex, AvahiProtocol, AvahiBrowserEvent event, const char*,
                     uint16_t, uint16_t, const void* rdata, size_t size, AvahiLookupResultFlags, void* self) {
    static_cast<LanBrowser*>(self)->recordEvent(b, event, rdata, size);
  }
};

LanBrowser::LanBrowser(Daemon daemon) : daemon_(daemon) {}

LanBrowser::~LanBrowser() {
  // The client frees its browser and resolvers with it.
  if (client_) avahi_client_free(client_);
}

void LanBrowser::start() {
  if (!client_) connect();
}

void LanBrowser::setAvailable(bool available, const std::string& why) {
  if (available == available_ && why == why_) return;
  available_ = available;
  why_ = why;
  if (onAvailability) onAvailability(available, why);
}

void LanBrowser::connect() {
  int error = 0;
  const auto flags = daemon_ == Daemon::WaitFor ? AVAHI_CLIENT_NO_FAIL : static_cast<AvahiClientFlags>(0);
  client_ = avahi_client_new(poll_.api(), flags, &BrowserCallbacks::client, this, &error);
  if (!client_)
    setAvailable(false, error == AVAHI_ERR_NO_DAEMON ? "the avahi-daemon service is not running"
                                                      : std::string("avahi-daemon cannot be reached (") +
                                                            avahi_strerror(error) + ")");
}

void LanBrowser::clientChanged(AvahiClient* c, int state) {
  switch (state) {
    case AVAHI_CLIENT_S_RUNNING:
      if (!browser_) {
        browser_ = avahi_service_browser_new(c, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC, kType.c_str(), nullptr,
                                             static_cast<AvahiLookupFlags>(0), &BrowserCallbacks::browse, this);
        if (!browser_) return setAvailable(false, std::string("browsing failed: ") + avahi_strerror(avahi_client_errno(c)));
      }
      setAvailable(true, "");
      break;
    case AVAHI_CLIENT_CONNECTING:
      setAvailable(false, "the avahi-daemon service is not running");
      break;
    case AVAHI_CLIENT_FAILURE: {
      const int error = avahi_client_errno(c);
      forgetAll();
      if (error == AVAHI_ERR_DISCONNECTED) {
        setAvailable(false, "the avahi-daemon service stopped");
        if (daemon_ == Daemon::WaitFor) {
          // A new client waits for the daemon to come back; not from inside
          // the library's own callback.
          QTimer::singleShot(0, poll_.owner(), [this] {
            if (client_) avahi_client_free(client_);
            client_ = nullptr;
            browser_ = nullptr;
            connect();
          });
        }
      } else {
        setAvailable(false, std::string("avahi-daemon failed (") + avahi_strerror(error) + ")");
      }
      break;
    }
    default:
      break;
  }
}

void LanBrowser::serviceEvent(int interface, int protocol, int event, const char* name, const char* domain) {
  if (event == AVAHI_BROWSER_FAILURE) {
    forgetAll();
    return setAvailable(false, std::string("browsing failed: ") + avahi_strerror(avahi_client_errno(client_)));
  }
  if (!name || !domain) return;
  const std::string key = keyOf(name, domain);
  const std::pair<int, int> where{interface, protocol};
  auto it = instances_.find(key);
  if (event == AVAHI_BROWSER_NEW) {
    if (it == instances_.end()) {
      if (instances_.size() >= kMaxTables) {
        ++skipped_;
        return;
      }
      Instance fresh;
      fresh.name = name;
      fresh.domain = domain;
      it = instances_.emplace(key, std::move(fresh)).first;
    }
    it->second.seenOn.insert(where);
    if (!it->second.resolver && !it->second.record) resolve(it->second);
  } else if (event == AVAHI_BROWSER_REMOVE && it != instances_.end()) {
    Instance& in = it->second;
    in.seenOn.erase(where);
    if (in.seenOn.empty()) {
      hide(key, in);
      drop(in);
      instances_.erase(it);
    } else if (in.resolving == where) {
      // It was followed the way that is gone: follow another.
      drop(in);
      resolve(in);
    }
  }
}

void LanBrowser::resolve(Instance& in) {
  if (!client_) return;
  // The game joins over IPv4: a table is resolved where it was seen over
  // IPv4, to an IPv4 address (an A record asked for over IPv6 goes
  // unanswered). One seen over IPv6 only waits until it is seen over IPv4.
  const auto v4 = std::find_if(in.seenOn.begin(), in.seenOn.end(),
                               [](const std::pair<int, int>& w) { return w.second == AVAHI_PROTO_INET; });
  if (v4 == in.seenOn.end()) return;
  in.resolving = *v4;
  // The resolver stays: it reports the record again whenever it changes.
  in.resolver = avahi_service_resolver_new(client_, in.resolving.first, in.resolving.second, in.name.c_str(),
                                           kType.c_str(), in.domain.c_str(), AVAHI_PROTO_INET,
                                           static_cast<AvahiLookupFlags>(0), &BrowserCallbacks::resolve, this);
  if (!in.resolver) ++skipped_;  // the daemon's bound on a client's objects, or it is going away
}

void LanBrowser::hide(const std::string& key, Instance& in) {
  if (!in.shown) return;
  in.shown = false;
  if (onGone) onGone(key);
}

void LanBrowser::resolved(AvahiServiceResolver* r, int event, const char* name, const char* domain,
                          const void* address, uint16_t port, const void* txtList, bool local) {
  const std::string key = keyOf(name, domain);
  auto it = instances_.find(key);
  if (it == instances_.end() || it->second.resolver != r) return;
  Instance& in = it->second;
  if (event != AVAHI_RESOLVER_FOUND) {
    // No answer in time: ask again later, while the service is still seen.
    avahi_service_resolver_free(r);
    in.resolver = nullptr;
    QTimer::singleShot(kRetryMs, poll_.owner(), [this, key] {
      auto again = instances_.find(key);
      if (again != instances_.end() && !again->second.resolver && !again->second.record) resolve(again->second);
    });
    return;
  }
  const auto* a = static_cast<const AvahiAddress*>(address);
  // A loopback address names the machine that joins, not the one that
  // announced: from another machine it points a joiner at its own services.
  const bool loopback = a && a->proto == AVAHI_PROTO_INET && (ntohl(a->data.ipv4.address) >> 24) == 127;
  if (port == 0 || !a || a->proto != AVAHI_PROTO_INET || (loopback && !local)) {
    if (!in.shown) ++skipped_;
    return hide(key, in);
  }
  char text[AVAHI_ADDRESS_STR_MAX];
  avahi_address_snprint(text, sizeof text, a);
  in.table.source = kSource;
  in.table.key = key;
  in.table.name = tables::cleanText(in.name, tables::kMaxNameBytes);
  in.table.host = text;
  in.table.port = port;
  std::vector<std::string_view> strings;
  for (auto* l = static_cast<AvahiStringList*>(const_cast<void*>(txtList));
       l && strings.size() < tables::kMaxTxtStrings; l = avahi_string_list_get_next(l))
    strings.emplace_back(reinterpret_cast<const char*>(avahi_string_list_get_text(l)), avahi_string_list_get_size(l));
  show(key, in, strings);

  // From now on its text record is followed by itself (the address and port
  // of a table do not change while it is announced).
  avahi_service_resolver_free(r);
  in.resolver = nullptr;
  char full[AVAHI_DOMAIN_NAME_MAX];
  if (avahi_service_name_join(full, sizeof full, in.name.c_str(), kType.c_str(), in.domain.c_str()) < 0) return;
  constexpr uint16_t kClassIn = 1, kTypeTxt = 16;
  in.record = avahi_record_browser_new(client_, in.resolving.first, in.resolving.second, full, kClassIn, kTypeTxt,
                                       static_cast<AvahiLookupFlags>(0), &BrowserCallbacks::record, this);
}

void LanBrowser::recordEvent(AvahiRecordBrowser* b, int event, const void* rdata, size_t size) {
  // Only a new record counts: the one it replaces is removed a second later.
  if (event != AVAHI_BROWSER_NEW || !rdata) return;
  for (auto& [key, in] : instances_) {
    if (in.record != b) continue;
    show(key, in, tables::txtStrings({static_cast<const char*>(rdata), size}));
    return;
  }
}

void LanBrowser::show(const std::string& key, Instance& in, const std::vector<std::string_view>& strings) {
  const std::optional<tables::TableState> state = tables::readTxt(strings);
  if (!state) {
    if (!in.shown) ++skipped_;
    return hide(key, in);
  }
  in.table.state = *state;
  in.shown = true;
  if (onSeen) onSeen(in.table);
}

void LanBrowser::drop(Instance& in) {
  if (in.resolver) avahi_service_resolver_free(in.resolver);
  if (in.record) avahi_record_browser_free(in.record);
  in.resolver = nullptr;
  in.record = nullptr;
}

void LanBrowser::forgetAll() {
  for (auto& [key, in] : instances_) {
    // The client goes with its resolvers and browsers; they are only forgotten here.
    in.resolver = nullptr;
    in.record = nullptr;
    hide(key, in);
  }
  instances_.clear();
}

}  // namespace ombrix::dnssd
