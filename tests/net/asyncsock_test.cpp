// The socket component over real loopback sockets.
#include "net/asyncsock.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "net/resolver.h"
#include "net/wsock.h"
#include "tests/support/qtloop.h"

namespace ombrix::net {
namespace {

using test::waitFor;

struct Report {
  TSocketInfo kind;
  std::string text;
};

// Records every report a socket makes, and each end with its reason.
struct Reports {
  void attach(TAsyncSock& s) {
    s.OnInfo = [this](TAsyncSock*, TSocketInfo k, const std::string& t) { list.push_back({k, t}); };
    s.OnEnd = [this](TAsyncSock*, EndReason why) { ends.push_back(why); };
  }
  int count(const std::string& text) const {
    int n = 0;
    for (const auto& r : list) n += r.text == text;
    return n;
  }
  std::vector<Report> list;
  std::vector<EndReason> ends;
};

// A listener on a free port that keeps what it accepts.
struct Server {
  Server() {
    listener.setPortName("0");
    listener.OnAccept = [this](TAsyncSock* l) {
      TAsyncSock* s = nullptr;
      if (l->Accept(s)) accepted.push_back(s);
    };
    listener.setListen(true);
  }
  int port() const { return listener.LocalPort(); }
  TAsyncSock listener;
  std::vector<TAsyncSock*> accepted;  // owned by the listener
};

std::unique_ptr<TAsyncSock> client(int port, Reports* r = nullptr) {
  auto c = std::make_unique<TAsyncSock>();
  if (r) r->attach(*c);
  c->setHostName("127.0.0.1");
  c->setPortName(std::to_string(port));
  return c;
}

TEST(AsyncSock, DefaultsAsPublished) {
  TAsyncSock s;
  EXPECT_EQ(s.HostName(), "");
  EXPECT_EQ(s.PortName(), "");
  EXPECT_FALSE(s.Listen());
  EXPECT_FALSE(s.Connected());
  EXPECT_FALSE(s.EndedBy());
}

TEST(AsyncSock, RefusedConnectIsOnlyAnErrorReport) {
  int port;
  {
    Server gone;
    port = gone.port();
  }
  Reports r;
  auto c = client(port, &r);
  bool connected = false;
  c->OnConnect = [&](TAsyncSock*) { connected = true; };
  EXPECT_FALSE(c->Open());
  ASSERT_TRUE(waitFor([&] { return r.count("Error #10061 (WSAECONNREFUSED)") == 1; }));
  EXPECT_FALSE(connected);
  EXPECT_FALSE(c->Connected());
  EXPECT_EQ(c->LastError(), WSAECONNREFUSED);
  EXPECT_EQ(c->EndedBy(), EndReason::Refused);
  EXPECT_TRUE(r.ends.empty());  // the handle is the caller's to close
  c->Close();
  EXPECT_EQ(r.ends, std::vector{EndReason::Refused});
}

TEST(AsyncSock, ConnectSendReceiveAndOrderlyClose) {
  Server srv;
  Reports cr;
  auto c = client(srv.port(), &cr);
  bool connected = false;
  c->OnConnect = [&](TAsyncSock*) { connected = true; };
  c->Open();
  ASSERT_TRUE(waitFor([&] { return connected && !srv.accepted.empty(); }));
  EXPECT_EQ(cr.count("Non-Blocking Socket Connected"), 1);
  TAsyncSock* s = srv.accepted[0];
  Reports sr;
  sr.attach(*s);
  std::string got;
  int lastCount = -1;
  s->OnRead = [&](TAsyncSock* x, int count) {
    lastCount = count;
    got += x->Receive();
  };
  int disconnects = 0;
  s->OnDisconnect = [&](TAsyncSock* x) {
    ++disconnects;
    x->Close();  // as the host does: "Socket Closed" comes twice
  };
  c->Send("hello");
  ASSERT_TRUE(waitFor([&] { return got == "hello"; }));
  EXPECT_EQ(lastCount, 5);
  c->Close();
  EXPECT_EQ(cr.ends, std::vector{EndReason::Orderly});  // closed by this side
  ASSERT_TRUE(waitFor([&] { return sr.count("Socket Closed") == 2; }));
  EXPECT_EQ(sr.ends, std::vector(2, EndReason::Orderly));
  EXPECT_EQ(disconnects, 1);
  EXPECT_FALSE(s->Connected());
}

TEST(AsyncSock, ClosingWithoutHandlerCloseReportsOnce) {
  Server srv;
  auto c = client(srv.port());
  c->Open();
  ASSERT_TRUE(waitFor([&] { return !srv.accepted.empty(); }));
  Reports sr;
  sr.attach(*srv.accepted[0]);
  int disconnects = 0;
  srv.accepted[0]->OnDisconnect = [&](TAsyncSock*) { ++disconnects; };
  c->Close();
  ASSERT_TRUE(waitFor([&] { return sr.count("Socket Closed") == 1; }));
  EXPECT_EQ(disconnects, 1);
  // The closed end stays readable at its end of file: were it still
  // watched, it would report again in the very pass of the event loop that
  // brings a later connection's bytes.
  auto later = client(srv.port());
  later->Open();
  ASSERT_TRUE(waitFor([&] { return srv.accepted.size() == 2 && later->Connected(); }));
  std::string got;
  srv.accepted[1]->OnRead = [&](TAsyncSock* s, int) { got += s->Receive(); };
  later->Send("after");
  ASSERT_TRUE(waitFor([&] { return got == "after"; }));
  EXPECT_EQ(sr.count("Socket Closed"), 1);
  EXPECT_EQ(disconnects, 1);
}

TEST(AsyncSock, ResetIsOnlyAnErrorReportAndTheHandleStaysOpen) {
  Server srv;
  test::ProtocolClient c(srv.port());
  ASSERT_TRUE(waitFor([&] { return !srv.accepted.empty() && c.sock.Connected(); }));
  TAsyncSock* s = srv.accepted[0];
  Reports sr;
  sr.attach(*s);
  int disconnects = 0;
  s->OnDisconnect = [&](TAsyncSock*) { ++disconnects; };
  c.reset();
  ASSERT_TRUE(waitFor([&] { return sr.count("Error #10054 (WSAECONNRESET)") == 1; }));
  EXPECT_EQ(disconnects, 0);
  EXPECT_EQ(sr.count("Socket Closed"), 0);
  EXPECT_TRUE(s->Connected());
  EXPECT_GE(s->Handle(), 0);
  EXPECT_EQ(s->EndedBy(), EndReason::Reset);
  EXPECT_TRUE(broken(s->EndedBy()));
  EXPECT_TRUE(sr.ends.empty());
  // Closed by its user, the end carries the reset, not an orderly close.
  s->Close();
  EXPECT_EQ(sr.ends, std::vector{EndReason::Reset});
  EXPECT_EQ(endReasonOf(WSAETIMEDOUT), EndReason::TimedOut);  // a dead line (net/wsock.h)
  EXPECT_FALSE(endReasonOf(11001));                          // a name not found ends nothing
}

TEST(AsyncSock, ListenerStates) {
  TAsyncSock l;
  Reports r;
  r.attach(l);
  l.setPortName("0");
  l.setListen(true);
  EXPECT_EQ(r.count("Listening Started"), 1);
  l.setListen(true);
  EXPECT_EQ(r.count("Listening Already Running"), 1);
  EXPECT_TRUE(l.Listen());
  l.setListen(false);
  ASSERT_GE(r.list.size(), 2u);
  EXPECT_EQ(r.list[r.list.size() - 2].text, "Socket Closed");
  EXPECT_EQ(r.list.back().text, "Listening Stopped");
  // Close on a listener makes no "Socket Closed" report.
  l.setListen(true);
  const int closedBefore = r.count("Socket Closed");
  l.Close();
  EXPECT_EQ(r.count("Socket Closed"), closedBefore);
  EXPECT_EQ(r.ends.size(), static_cast<size_t>(closedBefore));  // a listener has no connection to end
  EXPECT_FALSE(l.Listen());
  try {
    TAsyncSock x;
    TAsyncSock* n = nullptr;
    x.Accept(n);
    FAIL();
  } catch (const ESockException& e) {
    EXPECT_STREQ(e.what(), "Accept - Socket Not In Listening Mode");
  }
}

TEST(AsyncSock, ListenOnAConnectedSocketOrATakenPort) {
  Server srv;
  auto c = client(srv.port());
  c->Open();
  ASSERT_TRUE(waitFor([&] { return c->Connected(); }));
  try {
    c->setListen(true);
    FAIL();
  } catch (const ESockException& e) {
    EXPECT_STREQ(e.what(), "Listen - Socket Already In Use");
  }
  EXPECT_FALSE(c->Listen());

  TAsyncSock second;
  second.setPortName(std::to_string(srv.port()));
  try {
    second.setListen(true);
    FAIL();
  } catch (const ESockException& e) {
    EXPECT_STREQ(e.what(), "Listen - Error Binding Socket");
  }
  EXPECT_FALSE(second.Listen());
  try {
    second.setListen(true);
    FAIL();
  } catch (const ESockException& e) {
    EXPECT_STREQ(e.what(), "Listen - Socket Already In Use");
  }
  second.Close();
  srv.listener.Close();
  second.setListen(true);  // free again
  EXPECT_TRUE(second.Listen());
}

TEST(AsyncSock, AListenerBindsToItsHostNameOrToEveryAddressOfBothFamilies) {
  auto bound = [](const TAsyncSock& s) {
    sockaddr_storage a{};
    socklen_t len = sizeof a;
    ::getsockname(s.Handle(), reinterpret_cast<sockaddr*>(&a), &len);
    char text[INET6_ADDRSTRLEN] = {};
    if (a.ss_family == AF_INET6)
      ::inet_ntop(AF_INET6, &reinterpret_cast<sockaddr_in6&>(a).sin6_addr, text, sizeof text);
    else
      ::inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in&>(a).sin_addr, text, sizeof text);
    return std::string(text);
  };
  TAsyncSock every, loopback, elsewhere;
  every.setPortName("0");
  every.OnAccept = [](TAsyncSock* l) {
    TAsyncSock* s = nullptr;
    l->Accept(s);
  };
  every.setListen(true);
  EXPECT_EQ(bound(every), "::");
  // Tables of either family, by address (with or without the brackets of
  // "[v6]:PORT") or by a name; the host shows each peer's own address.
  for (const char* host : {"127.0.0.1", "::1", "[::1]"}) {
    auto c = std::make_unique<TAsyncSock>();
    c->setHostName(host);
    c->setPortName(std::to_string(every.LocalPort()));
    c->Open();
    ASSERT_TRUE(waitFor([&] { return c->Connected(); })) << host;
  }
  std::vector<std::string> peers;
  every.OnAccept = [&](TAsyncSock* l) {
    TAsyncSock* s = nullptr;
    if (l->Accept(s)) peers.push_back(s->HostName());
  };
  TAsyncSock v4, v6;
  for (auto [sock, host] : {std::pair{&v4, "127.0.0.1"}, std::pair{&v6, "::1"}}) {
    sock->setHostName(host);
    sock->setPortName(std::to_string(every.LocalPort()));
    sock->Open();
  }
  ASSERT_TRUE(waitFor([&] { return peers.size() == 2; }));
  std::sort(peers.begin(), peers.end());
  EXPECT_EQ(peers, (std::vector<std::string>{"127.0.0.1", "::1"}));
  loopback.setHostName("127.0.0.1");
  loopback.setPortName("0");
  loopback.setListen(true);
  EXPECT_EQ(bound(loopback), "127.0.0.1");
  auto c = client(loopback.LocalPort());
  c->Open();
  EXPECT_TRUE(waitFor([&] { return c->Connected(); }));
  // An address this machine does not have (TEST-NET-1) cannot be bound.
  elsewhere.setHostName("192.0.2.1");
  elsewhere.setPortName("0");
  try {
    elsewhere.setListen(true);
    FAIL();
  } catch (const ESockException& e) {
    EXPECT_STREQ(e.what(), "Listen - Error Binding Socket");
  }
  EXPECT_FALSE(elsewhere.Listen());
}

TEST(AsyncSock, ReceiveQueueOutlivesTheSocket) {
  Server srv;
  auto c = client(srv.port());
  c->Open();
  ASSERT_TRUE(waitFor([&] { return !srv.accepted.empty() && c->Connected(); }));
  int reads = 0;
  c->OnRead = [&](TAsyncSock*, int) { ++reads; };  // leaves the queue alone
  srv.accepted[0]->Send("abcdef");
  ASSERT_TRUE(waitFor([&] { return reads > 0; }));
  EXPECT_EQ(c->ReceiveCount(3), "abc");
  c->Close();
  EXPECT_EQ(c->ReceiveCount(10), "def");
  try {
    c->Receive();
    FAIL();
  } catch (const ESockException& e) {
    EXPECT_STREQ(e.what(), "Receive - Socket Not Connected");
  }
  try {
    c->Send("x");
    FAIL();
  } catch (const ESockException& e) {
    EXPECT_STREQ(e.what(), "Send - Socket Not Connected");
  }
  EXPECT_THROW(srv.listener.Send("x"), ESockException);
  EXPECT_THROW(srv.listener.Receive(), ESockException);
}

TEST(AsyncSock, EmptySendOnAnEmptyQueue) {
  Server srv;
  Reports r;
  auto c = client(srv.port(), &r);
  c->Open();
  ASSERT_TRUE(waitFor([&] { return c->Connected(); }));
  const size_t before = r.list.size();
  EXPECT_TRUE(c->Send(""));
  EXPECT_EQ(r.list.size(), before);  // no report, no network call
}

TEST(AsyncSock, LargeSendCompletesThroughWriteNotificationsInOrder) {
  Server srv;
  auto c = client(srv.port());
  c->Open();
  ASSERT_TRUE(waitFor([&] { return !srv.accepted.empty() && c->Connected(); }));
  std::string sent;
  for (int chunk = 0; chunk < 16; ++chunk)  // 16 MB: more than loopback buffers hold
    for (int i = 0; i < 1 << 20; ++i) sent.push_back(static_cast<char>((i * 7 + chunk) & 0xFF));
  std::string got;
  srv.accepted[0]->OnRead = [&](TAsyncSock* s, int) { got += s->Receive(); };
  int writes = 0;
  c->OnWrite = [&](TAsyncSock*) { ++writes; };
  c->Send(sent.substr(0, sent.size() / 2));
  c->Send(sent.substr(sent.size() / 2));  // queued behind what is left
  EXPECT_GT(c->SendQueued(), 0u) << "the kernel took it all; the test proves nothing";
  ASSERT_TRUE(waitFor([&] { return got.size() == sent.size(); }, 30000));
  EXPECT_TRUE(got == sent);
  EXPECT_EQ(c->SendQueued(), 0u);
  EXPECT_GT(writes, 0);
}

TEST(AsyncSock, AcceptedSocketInheritsAndReportsThroughTheListener) {
  Server srv;
  Reports lr;
  lr.attach(srv.listener);
  int reads = 0;
  srv.listener.OnRead = [&](TAsyncSock*, int) { ++reads; };
  auto c = client(srv.port());
  c->Open();
  ASSERT_TRUE(waitFor([&] { return !srv.accepted.empty(); }));
  TAsyncSock* s = srv.accepted[0];
  EXPECT_EQ(lr.count("Setting PortName While Connected Has No Effect"), 1);
  EXPECT_EQ(lr.count("Setting HostName While Connected Has No Effect"), 1);
  EXPECT_EQ(lr.count("Created New TAsyncSock Structure"), 1);
  EXPECT_EQ(s->PortName(), "0");
  EXPECT_EQ(s->HostName(), "127.0.0.1");
  EXPECT_TRUE(s->Connected());
  c->Send("x");
  EXPECT_TRUE(waitFor([&] { return reads == 1; }));
}

TEST(AsyncSock, LookupsAndTheHostCache) {
  TAsyncSock s;
  Reports r;
  r.attach(s);
  const int calls = TAsyncSock::resolverCalls();
  EXPECT_EQ(s.LookupName("127.0.0.1"), htonl(INADDR_LOOPBACK));
  EXPECT_EQ(TAsyncSock::resolverCalls(), calls);  // dotted: never looked up
  const uint32_t a = s.LookupName("localhost");
  EXPECT_EQ(s.LookupName("LocalHost"), a);
  EXPECT_EQ(TAsyncSock::resolverCalls(), calls + 1);
  EXPECT_EQ(r.count("Lookup Of Host LocalHost"), 1);
  EXPECT_EQ(s.LookupName(""), htonl(INADDR_ANY));
  EXPECT_THROW(s.LookupName("no-such-host.invalid"), ESockException);
  EXPECT_EQ(s.LookupPort("7772"), htons(7772));
  EXPECT_EQ(r.count("Lookup Of Port 7772"), 1);
  EXPECT_THROW(s.LookupPort("77x"), std::invalid_argument);
  EXPECT_THROW(s.LookupPort("no-such-service"), ESockException);
}

// The system's resolver as a test wants it: "4players.example" is this
// machine, and every call notes whether it ran on the loop's thread and
// waits until the loop has been seen running meanwhile.
std::atomic<bool> g_onLoopThread{false};
std::atomic<int> g_asked{0};
std::thread::id g_loopThread;
std::mutex g_loopMutex;
std::condition_variable g_loopSeen;
bool g_loopRan = false;
void loopRuns() {
  std::lock_guard lock(g_loopMutex);
  g_loopRan = true;
  g_loopSeen.notify_all();
}
int fakeResolver(const char* name, const char* service, const addrinfo* hints, addrinfo** res) {
  ++g_asked;
  if (std::this_thread::get_id() == g_loopThread) {
    g_onLoopThread = true;
  } else {
    // Bounded, so that a look-up made on the loop's thread fails this test
    // instead of hanging it.
    std::unique_lock lock(g_loopMutex);
    g_loopSeen.wait_for(lock, std::chrono::seconds(5), [] { return g_loopRan; });
  }
  const bool ours = std::string_view(name).ends_with("players.example");
  return ::getaddrinfo(ours ? "127.0.0.1" : name, service, hints, res);
}

TEST(AsyncSock, OnlyAWholeDottedDecimalAddressIsAnAddressAndNamesAreLookedUpOffTheLoop) {
  auto dotted = [](const char* text) {
    const auto a = dottedDecimal(text);
    char out[INET_ADDRSTRLEN] = {};
    if (a) ::inet_ntop(AF_INET, &*a, out, sizeof out);
    return std::string(a ? out : "-");
  };
  EXPECT_EQ(dotted("127.0.0.1"), "127.0.0.1");
  EXPECT_EQ(dotted("010.0.0.1"), "10.0.0.1");  // decimal, never octal
  EXPECT_EQ(dotted("255.255.255.255"), "255.255.255.255");
  for (const char* name : {"4players.example", "127.1", "0x7f.0.0.1", "1.2.3.4.", "1.2.3.256", "1..2.3", "0127.0.0.1",
                           "1.2.3.4x", ""})
    EXPECT_EQ(dotted(name), "-") << name;

  // Over loopback: "127.0.0.010" is 127.0.0.10, where the listener is (octal would be .8).
  TAsyncSock ten;
  ten.setHostName("127.0.0.10");
  ten.setPortName("0");
  ten.setListen(true);
  int accepted = 0;
  ten.OnAccept = [&](TAsyncSock* l) {
    TAsyncSock* s = nullptr;
    if (l->Accept(s)) ++accepted;
  };
  auto c = client(ten.LocalPort());
  c->setHostName("127.0.0.010");
  c->Open();
  EXPECT_TRUE(waitFor([&] { return accepted == 1 && c->Connected(); }));

  // A name that begins with a digit is a name: asked of the resolver on a
  // thread of its own while the loop goes on, then connected to.
  Server srv;
  g_loopThread = std::this_thread::get_id();
  setResolveFunction(fakeResolver);
  Reports r;
  auto named = client(srv.port(), &r);
  named->setHostName("4players.example");
  EXPECT_FALSE(named->Open());
  EXPECT_EQ(r.count("Lookup Of Host 4players.example"), 1);
  QTimer::singleShot(0, loopRuns);
  EXPECT_TRUE(waitFor([&] { return named->Connected() && srv.accepted.size() == 1; }));
  EXPECT_EQ(g_asked, 1);
  EXPECT_FALSE(g_onLoopThread);
  // Closed before the answer comes: the answer finds nobody.
  {
    std::lock_guard lock(g_loopMutex);
    g_loopRan = false;
  }
  auto gone = client(srv.port(), &r);
  gone->setHostName("5players.example");
  gone->Open();
  gone->Close();
  QTimer::singleShot(0, loopRuns);
  EXPECT_TRUE(waitFor([&] { return g_asked == 2; }));
  for (int i = 0; i < 20; ++i) QCoreApplication::processEvents();
  EXPECT_FALSE(gone->Connected());
  setResolveFunction(nullptr);
}

TEST(AsyncSock, ErrorNames) {
  EXPECT_EQ(TAsyncSock::SocketErrorName(10004), "WSAEINTR");
  EXPECT_EQ(TAsyncSock::SocketErrorName(10035), "WSAEWOULDBLOCK");
  EXPECT_EQ(TAsyncSock::SocketErrorName(10054), "WSAECONNRESET");
  EXPECT_EQ(TAsyncSock::SocketErrorName(10061), "WSAECONNREFUSED");
  EXPECT_EQ(TAsyncSock::SocketErrorName(10101), "WSAEDISCON");
  EXPECT_EQ(TAsyncSock::SocketErrorName(11001), "WSAHOST_NOT_FOUND");
  EXPECT_EQ(TAsyncSock::SocketErrorName(11004), "WSANO_DATA");
  EXPECT_EQ(TAsyncSock::SocketErrorName(10072), "UNKNOWN ERROR");
  EXPECT_EQ(TAsyncSock::SocketErrorName(0), "UNKNOWN ERROR");
  // Every code from 10035 to 10071 has a name.
  for (int code = 10035; code <= 10071; ++code) EXPECT_NE(TAsyncSock::SocketErrorName(code), "UNKNOWN ERROR");
  EXPECT_EQ(wsaFromErrno(ECONNREFUSED), 10061);
  EXPECT_EQ(wsaFromErrno(ECONNRESET), 10054);
  EXPECT_EQ(wsaFromErrno(EADDRINUSE), 10048);
}

TEST(AsyncSock, AThrowingInfoHandlerBecomesErrorHere) {
  TAsyncSock s;
  s.OnInfo = [](TAsyncSock*, TSocketInfo, const std::string&) { throw std::runtime_error("boom"); };
  try {
    s.LookupPort("1");
    FAIL();
  } catch (const ESockException& e) {
    EXPECT_STREQ(e.what(), "Error here");
  }
  EXPECT_TRUE(s.Close() == false);  // swallowed inside Close
}

TEST(AsyncSock, PropertySettersGuardTheirStates) {
  Server srv;
  auto c = client(srv.port());
  c->Open();
  ASSERT_TRUE(waitFor([&] { return c->Connected(); }));
  Reports r;
  r.attach(*c);
  c->setHostName("example");
  c->setPortName("1");
  EXPECT_EQ(c->HostName(), "example");
  EXPECT_EQ(r.count("Setting HostName While Connected Has No Effect"), 1);
  EXPECT_EQ(r.count("Setting PortName While Connected Has No Effect"), 1);
}

TEST(AsyncSock, AClientJoinsANameOfEitherFamily) {
  TAsyncSock loopback;
  loopback.setHostName("127.0.0.1");
  loopback.setPortName("0");
  loopback.setListen(true);
  // By name: where the name has addresses of both families and the first
  // (::1) refuses, the next is tried; only the connection is reported.
  Reports r;
  TAsyncSock byName;
  r.attach(byName);
  byName.setHostName("localhost");
  byName.setPortName(std::to_string(loopback.LocalPort()));
  byName.Open();
  EXPECT_TRUE(waitFor([&] { return byName.Connected(); }));
  EXPECT_EQ(r.count("Non-Blocking Socket Connected"), 1);
  for (const auto& report : r.list) EXPECT_NE(report.kind, siError) << report.text;
}

}  // namespace
}  // namespace ombrix::net
