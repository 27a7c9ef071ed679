#include "lobbyclient/portmap.h"

#include <arpa/inet.h>
#include <miniupnpc/miniupnpc.h>
#include <miniupnpc/upnpcommands.h>
#include <miniupnpc/upnperrors.h>

#include <QCoreApplication>
#include <algorithm>
#include <random>

namespace ombrix::lobbyclient {

namespace {
// UPnP's own error codes for AddPortMapping.
constexpr int kConflictInMappingEntry = 718;
constexpr int kOnlyPermanentLeasesSupported = 725;
// What the router's list of mappings calls ours.
constexpr const char* kDescription = "Ombrix table";
// Ports no service is registered for, where a second table's mapping goes.
constexpr int kFirstDynamicPort = 49152, kLastDynamicPort = 65535;
constexpr const char* kGateway = "urn:schemas-upnp-org:device:InternetGatewayDevice:1";
// The search's multicast goes no further than the home's own router.
constexpr unsigned char kSearchTtl = 2;

// A router's public address that is not public (a second NAT in front of
// it, as carrier-grade NAT is) makes the mapping useless from outside.
bool privateV4(const std::string& text) {
  in_addr a{};
  if (::inet_pton(AF_INET, text.c_str(), &a) != 1) return false;
  const uint32_t v = ntohl(a.s_addr);
  return (v >> 24) == 10 || (v >> 20) == (172u << 4 | 1) || (v >> 16) == (192u << 8 | 168) ||
         (v >> 22) == (100u << 2 | 1);  // 100.64.0.0/10
}
}  // namespace

struct PortMapper::Router {
  UPNPUrls urls{};
  IGDdatas data{};
  bool found = false;
  char lan[64] = {};
  std::string lease;
  int mappedPort = 0;  // on the router; 0 when nothing is mapped

  ~Router() {
    if (found) FreeUPNPUrls(&urls);
  }
  int add(int external, int internal) {
    const std::string ext = std::to_string(external), in = std::to_string(internal);
    int r = UPNP_AddPortMapping(urls.controlURL, data.first.servicetype, ext.c_str(), in.c_str(), lan, kDescription,
                                "TCP", nullptr, lease.c_str());
    if (r == kOnlyPermanentLeasesSupported && lease != "0") {
      // Older routers keep a mapping until it is removed; ours is removed
      // when the table ends.
      lease = "0";
      r = UPNP_AddPortMapping(urls.controlURL, data.first.servicetype, ext.c_str(), in.c_str(), lan, kDescription,
                              "TCP", nullptr, lease.c_str());
    }
    return r;
  }
  void remove() {
    if (!mappedPort) return;
    UPNP_DeletePortMapping(urls.controlURL, data.first.servicetype, std::to_string(mappedPort).c_str(), "TCP",
                           nullptr);
    mappedPort = 0;
  }
};

std::string mappingText(const PortMapping& m) {
  if (!m.ok) return "port mapping: " + m.why + " (joiners come through the relay)";
  const std::string where = (m.publicAddress.empty() ? "its address" : m.publicAddress) + ":" +
                            std::to_string(m.externalPort);
  const std::string until = m.permanent ? " until the table ends (the router grants no lease)" : "";
  if (privateV4(m.publicAddress))
    return "port mapping: router maps " + where + " to this table" + until + ", but that address is not public";
  return "port mapping: router maps " + where + " to this table" + until;
}

PortMapper::PortMapper(int gamePort, int leaseSeconds)
    : gamePort_(gamePort),
      leaseSeconds_(std::max(2, leaseSeconds)),
      router_(std::make_unique<Router>()),
      self_(std::make_shared<PortMapper*>(this)) {
  renew_.setInterval(leaseSeconds_ / 2 * 1000);
  QObject::connect(&renew_, &QTimer::timeout, [this] { renew(); });
}

PortMapper::~PortMapper() {
  self_.reset();
  if (job_.joinable()) job_.join();
  // On the way out, on this thread: the router's answer takes milliseconds,
  // and a mapping left behind would forward to whatever listens next.
  router_->remove();
}

void PortMapper::run(std::function<void()> job) {
  if (job_.joinable()) job_.join();
  job_ = std::thread(std::move(job));
}

void PortMapper::start() {
  Router* router = router_.get();
  const int game = gamePort_, lease = leaseSeconds_;
  const std::string url = routerUrl_;
  std::weak_ptr<PortMapper*> self = self_;
  run([router, game, lease, url, self] {
    PortMapping m;
    int igd = 0;
    if (url.empty()) {
      int error = 0;
      UPNPDev* devices = upnpDiscoverDevice(kGateway, kDiscoverMs, nullptr, nullptr, UPNP_LOCAL_PORT_ANY, 0,
                                            kSearchTtl, &error);
      igd = devices ? UPNP_GetValidIGD(devices, &router->urls, &router->data, router->lan, sizeof router->lan) : 0;
      if (devices) freeUPNPDevlist(devices);
    } else {
      igd = UPNP_GetIGDFromUrl(url.c_str(), &router->urls, &router->data, router->lan, sizeof router->lan) ? 1 : 0;
    }
    router->found = igd != 0;
    if (igd == 1) {
      char address[64] = {};
      if (UPNP_GetExternalIPAddress(router->urls.controlURL, router->data.first.servicetype, address) == 0)
        m.publicAddress = address;
      router->lease = std::to_string(lease);
      std::mt19937 pick(std::random_device{}());
      std::uniform_int_distribution<int> dynamic(kFirstDynamicPort, kLastDynamicPort);
      int r = kConflictInMappingEntry;
      for (int i = 0; i <= kOtherPorts && r == kConflictInMappingEntry; ++i) {
        const int external = i == 0 ? game : dynamic(pick);
        r = router->add(external, game);
        if (r == 0) {
          router->mappedPort = m.externalPort = external;
          m.ok = true;
          m.permanent = router->lease == "0";
        }
      }
      if (!m.ok) {
        const char* said = strupnperror(r);
        m.why = std::string("the router refused it (") + (said ? said : std::to_string(r).c_str()) + ")";
      }
    } else {
      m.why = igd == 2 ? "the router says it is not connected" : "no router offers it";
    }
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [self, m] {
          if (auto s = self.lock()) (*s)->finished(m);
        },
        Qt::QueuedConnection);
  });
}

void PortMapper::finished(PortMapping m) {
  mapping_ = std::move(m);
  done_ = true;
  if (mapping_.ok && !mapping_.permanent) renew_.start();
  if (onDone) onDone(mapping_);
}

void PortMapper::renew() {
  Router* router = router_.get();
  const int game = gamePort_;
  // The same mapping asked for again restarts its lease; a router that lost
  // it meanwhile (restarted) gets it back.
  run([router, game] {
    if (router->mappedPort) router->add(router->mappedPort, game);
  });
}

}  // namespace ombrix::lobbyclient
