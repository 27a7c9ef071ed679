// A port on the home router forwarded to the table, where the router offers
// it (UPnP IGD, through libminiupnpc), for as long as the table is hosted
// through a lobby server: the server's probe then reaches the table, and
// joiners come directly instead of through the relay.
//
// miniupnpc's calls block (a multicast search, then HTTP to the router), so
// each runs on a thread of its own and its answer comes back on the event
// loop. One call at a time; the object waits for one under way before it
// goes, and removes the mapping as it goes.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <thread>

#include <QTimer>

namespace ombrix::lobbyclient {

struct PortMapping {
  bool ok = false;
  std::string publicAddress;  // the router's, as it says it
  int externalPort = 0;       // on the router
  bool permanent = false;     // the router grants no lease: kept until removed
  std::string why;            // when not ok, in words
};

// The one line that says whether it worked ("port mapping: ...").
std::string mappingText(const PortMapping& m);

class PortMapper {
 public:
  // How long the search for a router waits for answers. With no router (most
  // machines, and every test but one) this is what mapping costs, before
  // the table registers; routers answer within tens of ms. A second is the
  // least a search asks for (its MX header counts whole seconds), and only
  // the first kind of gateway is searched for (a second kind would be
  // another second): routers of the later kind answer for it too.
  static constexpr int kDiscoverMs = 1000;
  // A mapping the router forgets by itself within an hour when the host dies
  // without removing it; renewed at half of that while the table is hosted.
  static constexpr int kLeaseSeconds = 3600;
  // Other external ports tried when the router already forwards the game's
  // own to another machine of the home (two tables behind one router).
  static constexpr int kOtherPorts = 4;

  // `leaseSeconds`: the lease asked for (a router may forget sooner than an
  // hour); renewed at half of it.
  explicit PortMapper(int gamePort, int leaseSeconds = kLeaseSeconds);
  ~PortMapper();
  PortMapper(const PortMapper&) = delete;
  PortMapper& operator=(const PortMapper&) = delete;

  // Looks for the router and asks it for the mapping; `onDone` says how
  // that went, once, on the loop.
  void start();
  // The router whose description is at this URL, instead of a search for
  // one (a test's router).
  void useRouter(std::string descriptionUrl) { routerUrl_ = std::move(descriptionUrl); }
  bool renewing() const { return renew_.isActive(); }
  const PortMapping& mapping() const { return mapping_; }
  bool done() const { return done_; }

  std::function<void(const PortMapping&)> onDone;

 private:
  struct Router;
  void run(std::function<void()> job);
  void finished(PortMapping m);
  void renew();

  int gamePort_, leaseSeconds_;
  std::string routerUrl_;
  std::unique_ptr<Router> router_;  // touched only by the job running
  std::thread job_;
  // Answers posted by a job find out whether the mapper is still there.
  std::shared_ptr<PortMapper*> self_;
  PortMapping mapping_;
  bool done_ = false;
  QTimer renew_;
};

}  // namespace ombrix::lobbyclient
