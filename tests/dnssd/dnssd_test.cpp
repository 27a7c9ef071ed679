// Announcing and browsing tables through a real avahi-daemon: the sandbox
// of tests/lobby/avahi_sandbox.sh, which this binary runs inside (CTest
// starts it there; alone, every test is skipped).
#include <avahi-client/client.h>
#include <avahi-client/publish.h>

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QProcess>
#include <QTimer>
#include <cerrno>
#include <cstring>
#include <algorithm>
#include <map>
#include <memory>

#include "dnssd/browser.h"
#include "dnssd/publisher.h"
#include "tables/cleantext.h"
#include "tests/support/qtloop.h"

namespace ombrix::dnssd {
namespace {

using tables::ListedTable;
using tables::TableState;
using test::waitFor;

// Long enough for a slow machine: mDNS probing alone takes most of a second.
constexpr int kPatienceMs = 20000;

TableState waiting(int players) { return {players, 0, tables::Stage::Waiting, 0, tables::Length::None, "1.0.14"}; }

// What a browser reported, by key.
struct Seen {
  explicit Seen(LanBrowser& lan) {
    lan.onSeen = [this](const ListedTable& t) {
      tables[t.key] = t;
      ++reports;
    };
    lan.onGone = [this](const std::string& key) { tables.erase(key); };
    lan.onAvailability = [this](bool a, const std::string& w) {
      available = a;
      why = w;
    };
  }
  const ListedTable* named(const std::string& name) const {
    for (const auto& [key, t] : tables)
      if (t.name == name) return &t;
    return nullptr;
  }
  std::map<std::string, ListedTable> tables;
  int reports = 0;
  bool available = false;
  std::string why;
};

struct Dnssd : ::testing::Test {
  void SetUp() override {
    if (qEnvironmentVariable("AVAHI_SANDBOX").isEmpty())
      GTEST_SKIP() << "needs the avahi sandbox (tests/lobby/avahi_sandbox.sh)";
  }
  static bool daemon(const char* what) {
    return QProcess::execute(qEnvironmentVariable("AVAHI_SANDBOX") + "/avahi", {what}) == 0;
  }
};

TEST_F(Dnssd, ATableIsSeenOnceFollowedAndWithdrawn) {
  std::vector<std::string> said;
  auto pub = std::make_unique<TablePublisher>("Ann", 7800, waiting(1), [&](const std::string& l) { said.push_back(l); });
  LanBrowser lan;
  Seen seen(lan);
  lan.start();
  ASSERT_TRUE(waitFor([&] { return seen.named("Ann") != nullptr; }, kPatienceMs));
  EXPECT_TRUE(seen.available);
  EXPECT_EQ(said, std::vector<std::string>{"table announced on the local network as \"Ann\""});
  const ListedTable ann = *seen.named("Ann");
  EXPECT_EQ(ann.port, 7800);
  EXPECT_EQ(ann.host, "169.254.231.1");  // the sandbox's address: IPv4, though it is also seen over IPv6
  EXPECT_EQ(ann.state, waiting(1));
  EXPECT_EQ(seen.tables.size(), 1u);

  // Changes in quick succession become one record; the last one is seen.
  for (int p = 2; p <= 4; ++p) pub->update(waiting(p));
  const TableState playing{4, 2, tables::Stage::Playing, 3, tables::Length::Full, "1.0.14"};
  pub->update(playing);
  ASSERT_TRUE(waitFor([&] { return seen.named("Ann") && seen.named("Ann")->state == playing; }, kPatienceMs));
  EXPECT_EQ(seen.tables.size(), 1u);

  pub.reset();
  EXPECT_TRUE(waitFor([&] { return seen.tables.empty(); }, kPatienceMs));
}

TEST_F(Dnssd, ANameClashIsSettledWithASuffix) {
  TablePublisher first("Bea", 7801, waiting(0), nullptr);
  ASSERT_TRUE(waitFor([&] { return first.announced(); }, kPatienceMs));
  std::vector<std::string> said;
  TablePublisher second("Bea", 7802, waiting(0), [&](const std::string& l) { said.push_back(l); });
  ASSERT_TRUE(waitFor([&] { return second.announced(); }, kPatienceMs));
  EXPECT_EQ(first.name(), "Bea");
  EXPECT_EQ(second.name(), "Bea #2");
  EXPECT_EQ(said.back(), "table announced on the local network as \"Bea #2\"");
  LanBrowser lan;
  Seen seen(lan);
  lan.start();
  ASSERT_TRUE(waitFor([&] { return seen.named("Bea") && seen.named("Bea #2"); }, kPatienceMs));
  EXPECT_EQ(seen.named("Bea #2")->port, 7802);
}

TEST_F(Dnssd, HostileAnnouncementsAreShownCleanedOrPassedOver) {
  // Strangers' records, published as anyone could with avahi-publish.
  const std::string longValue(240, '9');
  const std::vector<QStringList> records = {
      {"Evil\nName\x1b[2J", "v=1.0.14", "players=1", "watchers=0", "state=waiting", "round=0"},
      {"Too Many", "v=1.0.14", "players=99", "watchers=0", "state=waiting"},
      {"Not A Number", "v=1.0.14", "players=two", "watchers=0", "state=waiting"},
      {"No Version", "players=1", "watchers=0", "state=waiting"},
      {"Long Value", "v=1.0.14", QString::fromStdString("players=" + longValue), "watchers=0", "state=waiting"},
      {"Bad Round", "v=1.0.14", "players=1", "watchers=0", "state=playing", "round=77", "game=full"},
      {"Fine", "v=1.0.14", "players=4", "watchers=5", "state=playing", "round=20", "game=full"},
  };
  std::vector<std::unique_ptr<QProcess>> strangers;
  for (const QStringList& r : records) {
    auto p = std::make_unique<QProcess>();
    p->start("avahi-publish", QStringList{"-s", r[0], "_ombrix._tcp", "7772"} + r.mid(1));
    strangers.push_back(std::move(p));
  }
  LanBrowser lan;
  Seen seen(lan);
  lan.start();
  // Every record is answered; two describe a table. A table the test before
  // withdrew may still be listed by the daemon for a moment, so the count
  // is of these records' names, not of every table seen.
  ASSERT_TRUE(waitFor([&] { return seen.named("Evil Name [2J") && seen.named("Fine") && lan.skipped() >= records.size() - 2; },
                      kPatienceMs))
      << seen.tables.size() << " tables, " << lan.skipped() << " skipped";
  for (size_t i = 1; i + 1 < records.size(); ++i)  // the five between are passed over
    EXPECT_EQ(seen.named(records[i][0].toStdString()), nullptr) << records[i][0].toStdString();
  EXPECT_EQ(seen.named("Fine")->state.round, 20);
  for (const auto& [key, t] : seen.tables) EXPECT_TRUE(tables::isClean(t.name));
  for (auto& p : strangers) p->terminate();
  for (auto& p : strangers) p->waitForFinished();
}

// An mDNS answer as another machine on the network sends it, unasked:
// each service's PTR, SRV, TXT and its host's A record.
struct FarService {
  std::string name, host;
  uint32_t address;  // host order
};
std::string farAnswer(const std::vector<FarService>& services) {
  std::string p;
  auto u16 = [&](unsigned v) {
    p += static_cast<char>(v >> 8);
    p += static_cast<char>(v & 0xFF);
  };
  auto u32 = [&](uint32_t v) {
    u16(v >> 16);
    u16(v & 0xFFFF);
  };
  auto name = [&](const std::vector<std::string>& labels) {
    for (const std::string& l : labels) p += static_cast<char>(l.size()) + l;
    p += '\0';
  };
  // type, class (0x8001: the only record of its name), then the data's length and the data.
  auto record = [&](const std::vector<std::string>& owner, unsigned type, unsigned cls, const std::string& data) {
    name(owner);
    u16(type);
    u16(cls);
    u32(120);
    u16(static_cast<unsigned>(data.size()));
    p += data;
  };
  auto encoded = [&](const std::vector<std::string>& labels) {
    std::string out;
    for (const std::string& l : labels) out += static_cast<char>(l.size()) + l;
    return out + '\0';
  };
  u16(0);
  u16(0x8400);  // an authoritative answer
  u16(0);
  u16(static_cast<unsigned>(4 * services.size()));
  u16(0);
  u16(0);
  for (const FarService& f : services) {
    const std::vector<std::string> type = {"_ombrix", "_tcp", "local"}, instance = {f.name, "_ombrix", "_tcp", "local"},
                                   host = {f.host, "local"};
    record(type, 12, 1, encoded(instance));
    std::string srv = std::string(4, '\0') + static_cast<char>(7772 >> 8) + static_cast<char>(7772 & 0xFF) + encoded(host);
    record(instance, 33, 0x8001, srv);
    std::string txt;
    for (std::string t : {"v=1.0.14", "players=1", "watchers=0", "state=waiting"}) txt += static_cast<char>(t.size()) + t;
    record(instance, 16, 0x8001, txt);
    std::string a;
    for (int shift = 24; shift >= 0; shift -= 8) a += static_cast<char>((f.address >> shift) & 0xFF);
    record(host, 1, 0x8001, a);
  }
  return p;
}

TEST_F(Dnssd, ALoopbackAddressFromAnotherMachineIsPassedOver) {
  // A daemon with nothing cached: what is passed over here is this test's.
  ASSERT_TRUE(daemon("stop"));
  ASSERT_TRUE(daemon("start"));
  // Sent from port 5353 to the group, as a responder elsewhere on the link
  // would; the daemon keeps it as the network's, not as its own.
  const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
  ASSERT_GE(fd, 0);
  const int one = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEPORT, &one, sizeof one);
  sockaddr_in from{};
  from.sin_family = AF_INET;
  from.sin_port = htons(5353);
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&from), sizeof from), 0) << std::strerror(errno);
  in_addr link{};
  ::inet_pton(AF_INET, "169.254.231.1", &link);
  ::setsockopt(fd, IPPROTO_IP, IP_MULTICAST_IF, &link, sizeof link);
  const unsigned char ttl = 255;
  ::setsockopt(fd, IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof ttl);
  sockaddr_in group{};
  group.sin_family = AF_INET;
  group.sin_port = htons(5353);
  ::inet_pton(AF_INET, "224.0.0.251", &group.sin_addr);
  const std::string answer = farAnswer({{"Far Loop", "farloop", 0x7F000001}, {"Far Fine", "farfine", 0xA9FEE707}});
  auto announce = [&] {
    ::sendto(fd, answer.data(), answer.size(), 0, reinterpret_cast<sockaddr*>(&group), sizeof group);
  };
  QTimer again;
  QObject::connect(&again, &QTimer::timeout, announce);
  announce();
  again.start(500);

  LanBrowser lan;
  Seen seen(lan);
  lan.start();
  // The table at a real address is shown; the one at 127.0.0.1 is passed over.
  ASSERT_TRUE(waitFor([&] { return seen.named("Far Fine") && lan.skipped() == 1; }, kPatienceMs))
      << seen.tables.size() << " tables, " << lan.skipped() << " skipped";
  EXPECT_EQ(seen.named("Far Fine")->host, "169.254.231.7");
  EXPECT_EQ(seen.named("Far Loop"), nullptr);
  EXPECT_EQ(seen.tables.size(), 1u);
  ::close(fd);
  // Nothing of it is left for the tests after this one.
  ASSERT_TRUE(daemon("stop"));
  ASSERT_TRUE(daemon("start"));
}

TEST_F(Dnssd, AFloodOfServicesIsFollowedOnlyToTheBound) {
  // 260 services from one client, in groups as large as the daemon allows.
  constexpr size_t kServices = 260, kPerGroup = 20;
  AvahiQtPoll poll;
  int error = 0;
  std::unique_ptr<AvahiClient, void (*)(AvahiClient*)> client(
      avahi_client_new(poll.api(), static_cast<AvahiClientFlags>(0), nullptr, nullptr, &error), avahi_client_free);
  ASSERT_TRUE(client) << error;
  AvahiEntryGroup* group = nullptr;
  for (size_t i = 0; i < kServices; ++i) {
    if (i % kPerGroup == 0) {
      if (group) avahi_entry_group_commit(group);
      group = avahi_entry_group_new(client.get(), nullptr, nullptr);
    }
    const std::string name = "flood " + std::to_string(i);
    ASSERT_EQ(avahi_entry_group_add_service(group, AVAHI_IF_UNSPEC, AVAHI_PROTO_INET, static_cast<AvahiPublishFlags>(0),
                                            name.c_str(), "_ombrix._tcp", nullptr, nullptr, 7772, "v=1.0.14",
                                            "players=0", "watchers=0", "state=waiting", nullptr),
              0);
  }
  avahi_entry_group_commit(group);

  LanBrowser lan;
  Seen seen(lan);
  size_t most = 0;
  lan.onSeen = [&, seenOne = lan.onSeen](const ListedTable& t) {
    seenOne(t);
    most = std::max(most, seen.tables.size());
  };
  lan.start();
  // Every service is either followed or passed over, and never more than
  // the bound are followed or shown (an earlier test's services may still
  // be going, so the bound is not all flood).
  ASSERT_TRUE(waitFor([&] { return lan.skipped() >= kServices - LanBrowser::kMaxTables && seen.tables.size() > 150; },
                      kPatienceMs))
      << seen.tables.size() << " seen, " << lan.followed() << " followed, " << lan.skipped() << " skipped";
  EXPECT_LE(lan.followed(), LanBrowser::kMaxTables);
  EXPECT_LE(most, LanBrowser::kMaxTables);
  client.reset();
  EXPECT_TRUE(waitFor([&] { return seen.tables.empty(); }, kPatienceMs));
}

TEST_F(Dnssd, WithoutADaemonNothingIsAnnouncedAndAReturningDaemonGetsTheTableBack) {
  std::vector<std::string> said;
  TablePublisher pub("Cy", 7803, waiting(2), [&](const std::string& l) { said.push_back(l); });
  LanBrowser lan;
  Seen seen(lan);
  lan.start();
  ASSERT_TRUE(waitFor([&] { return seen.named("Cy") != nullptr; }, kPatienceMs));

  ASSERT_TRUE(daemon("stop"));
  ASSERT_TRUE(waitFor([&] { return !seen.available && said.size() >= 3; }, kPatienceMs));
  EXPECT_TRUE(seen.tables.empty());
  EXPECT_EQ(seen.why, "the avahi-daemon service is not running");
  EXPECT_EQ(said[1], "avahi-daemon stopped: the table is announced again when it is back");
  EXPECT_EQ(said[2], "table not announced: avahi-daemon is not running (it is announced when the daemon starts)");
  // A script's browser does not wait: it says why at once.
  LanBrowser once(LanBrowser::Daemon::Required);
  Seen none(once);
  once.start();
  EXPECT_FALSE(once.available());
  EXPECT_EQ(once.why(), "the avahi-daemon service is not running");
  // A table hosted now is hosted all the same, and says so.
  std::vector<std::string> late;
  TablePublisher unannounced("Di", 7804, waiting(0), [&](const std::string& l) { late.push_back(l); });
  EXPECT_TRUE(waitFor([&] { return !late.empty(); }, kPatienceMs));
  EXPECT_EQ(late.front().rfind("table not announced: ", 0), 0u);

  ASSERT_TRUE(daemon("start"));
  EXPECT_TRUE(waitFor([&] { return seen.named("Cy") && seen.named("Di"); }, kPatienceMs));
  EXPECT_TRUE(seen.available);
  EXPECT_EQ(said.back(), "table announced on the local network as \"Cy\"");
}

}  // namespace
}  // namespace ombrix::dnssd
