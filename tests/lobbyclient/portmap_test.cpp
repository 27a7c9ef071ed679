// The router's port mapping against a router of the test's own: a UPnP
// gateway on loopback (its description and its SOAP control, over HTTP) that
// can grant leases or, like many older routers, only permanent mappings.
// miniupnpd (the NAT test's router) always grants leases, so this one
// stands in for the others.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "lobbyclient/portmap.h"
#include "tests/support/qtloop.h"

namespace ombrix::lobbyclient {

using namespace lobbywire;
namespace {

using test::waitFor;

class FakeRouter {
 public:
  explicit FakeRouter(bool permanentOnly) : permanentOnly_(permanentOnly) {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(fd_, 8);
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] { serve(); });
  }
  ~FakeRouter() {
    stop_ = true;
    thread_.join();
    ::close(fd_);
  }
  std::string url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/rootDesc.xml"; }
  // What it was asked, in order: "add PORT LEASE ok|725", "delete PORT".
  std::vector<std::string> asked() {
    std::lock_guard<std::mutex> g(mutex_);
    return asked_;
  }

 private:
  void serve() {
    while (!stop_) {
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, 20) <= 0) continue;
      const int c = ::accept(fd_, nullptr, nullptr);
      if (c >= 0) answer(c);
      ::close(c);
    }
  }
  void answer(int c) {
    std::string in;
    char buf[4096];
    size_t body = std::string::npos;
    for (;;) {
      const ssize_t n = ::recv(c, buf, sizeof buf, 0);
      if (n <= 0) break;
      in.append(buf, static_cast<size_t>(n));
      const size_t end = in.find("\r\n\r\n");
      if (end == std::string::npos) continue;
      const std::string head = lower(in.substr(0, end));
      const size_t at = head.find("content-length:");
      const size_t want = at == std::string::npos ? 0 : std::strtoul(head.c_str() + at + 15, nullptr, 10);
      if (in.size() >= end + 4 + want) {
        body = end + 4;
        break;
      }
    }
    if (body == std::string::npos) return;
    const auto field = [&](const std::string& name) {
      const size_t at = in.find("<" + name + ">");
      if (at == std::string::npos) return std::string();
      const size_t from = at + name.size() + 2;
      return in.substr(from, in.find('<', from) - from);
    };
    std::string status = "200 OK", reply;
    if (in.rfind("GET ", 0) == 0) {
      reply = kDescription;
    } else if (in.find("#GetExternalIPAddress") != std::string::npos) {
      reply = soap("GetExternalIPAddress", "<NewExternalIPAddress>198.51.100.9</NewExternalIPAddress>");
    } else if (in.find("#AddPortMapping") != std::string::npos) {
      const bool refused = permanentOnly_ && field("NewLeaseDuration") != "0";
      record("add " + field("NewExternalPort") + " " + field("NewLeaseDuration") + (refused ? " 725" : " ok"));
      if (refused) {
        status = "500 Internal Server Error";
        reply = fault(725, "OnlyPermanentLeasesSupported");
      } else {
        reply = soap("AddPortMapping", "");
      }
    } else if (in.find("#DeletePortMapping") != std::string::npos) {
      record("delete " + field("NewExternalPort"));
      reply = soap("DeletePortMapping", "");
    } else {
      status = "500 Internal Server Error";
      reply = fault(401, "Invalid Action");
    }
    const std::string out = "HTTP/1.1 " + status + "\r\nContent-Type: text/xml; charset=\"utf-8\"\r\nContent-Length: " +
                            std::to_string(reply.size()) + "\r\nConnection: close\r\n\r\n" + reply;
    (void)!::send(c, out.data(), out.size(), MSG_NOSIGNAL);
  }
  static std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
  }
  static std::string envelope(const std::string& inner) {
    return "<?xml version=\"1.0\"?><s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\" "
           "s:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\"><s:Body>" +
           inner + "</s:Body></s:Envelope>";
  }
  static std::string soap(const std::string& action, const std::string& values) {
    return envelope("<u:" + action + "Response xmlns:u=\"urn:schemas-upnp-org:service:WANIPConnection:1\">" + values +
                    "</u:" + action + "Response>");
  }
  static std::string fault(int code, const std::string& what) {
    return envelope("<s:Fault><faultcode>s:Client</faultcode><faultstring>UPnPError</faultstring><detail><UPnPError "
                    "xmlns=\"urn:schemas-upnp-org:control-1-0\"><errorCode>" +
                    std::to_string(code) + "</errorCode><errorDescription>" + what +
                    "</errorDescription></UPnPError></detail></s:Fault>");
  }
  void record(std::string what) {
    std::lock_guard<std::mutex> g(mutex_);
    asked_.push_back(std::move(what));
  }

  static constexpr const char* kDescription =
      "<?xml version=\"1.0\"?><root xmlns=\"urn:schemas-upnp-org:device-1-0\"><specVersion><major>1</major>"
      "<minor>0</minor></specVersion><device><deviceType>urn:schemas-upnp-org:device:InternetGatewayDevice:1"
      "</deviceType><friendlyName>Test router</friendlyName><deviceList><device><deviceType>"
      "urn:schemas-upnp-org:device:WANDevice:1</deviceType><deviceList><device><deviceType>"
      "urn:schemas-upnp-org:device:WANConnectionDevice:1</deviceType><serviceList><service><serviceType>"
      "urn:schemas-upnp-org:service:WANIPConnection:1</serviceType><serviceId>urn:upnp-org:serviceId:WANIPConn1"
      "</serviceId><controlURL>/ctl/IPConn</controlURL><eventSubURL>/evt/IPConn</eventSubURL><SCPDURL>/WANIPCn.xml"
      "</SCPDURL></service></serviceList></device></deviceList></device></deviceList></device></root>";

  bool permanentOnly_;
  int fd_ = -1, port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
  std::mutex mutex_;
  std::vector<std::string> asked_;
};

TEST(PortMapping, ARouterThatGrantsOnlyPermanentMappingsGetsOneRemovedWhenTheTableEnds) {
  FakeRouter router(/*permanentOnly=*/true);
  PortMapping got;
  {
    PortMapper mapper(7790);
    mapper.useRouter(router.url());
    mapper.onDone = [&](const PortMapping& m) { got = m; };
    mapper.start();
    ASSERT_TRUE(waitFor([&] { return mapper.done(); }));
    EXPECT_TRUE(got.ok) << got.why;
    EXPECT_TRUE(got.permanent);
    EXPECT_EQ(got.externalPort, 7790);
    EXPECT_FALSE(mapper.renewing());  // nothing to renew: it lasts until removed
    EXPECT_EQ(mappingText(got),
              "port mapping: router maps 198.51.100.9:7790 to this table until the table ends (the router grants "
              "no lease)");
  }
  EXPECT_EQ(router.asked(), (std::vector<std::string>{"add 7790 3600 725", "add 7790 0 ok", "delete 7790"}));
}

TEST(PortMapping, ALeaseIsRenewedAtHalfItsTime) {
  FakeRouter router(/*permanentOnly=*/false);
  PortMapper mapper(7791, /*leaseSeconds=*/2);
  mapper.useRouter(router.url());
  mapper.start();
  ASSERT_TRUE(waitFor([&] { return mapper.done(); }));
  EXPECT_FALSE(mapper.mapping().permanent);
  EXPECT_TRUE(mapper.renewing());
  // Asked again after a second, with the same lease, while the table lasts.
  ASSERT_TRUE(waitFor([&] { return router.asked().size() >= 3; }));
  EXPECT_EQ(router.asked()[0], "add 7791 2 ok");
  EXPECT_EQ(router.asked()[2], "add 7791 2 ok");
}

}  // namespace
}  // namespace ombrix::lobbyclient
