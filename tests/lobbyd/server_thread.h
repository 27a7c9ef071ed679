// The lobby server in a thread of its own, running its own loop, as it
// would in its own process.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "lobbyd/server.h"

namespace ombrix::lobbyd {

using namespace lobbywire;

class ServerThread {
 public:
  struct Options {
    std::string bind = "127.0.0.1";
    // The server's clock is the test's: it moves only with advance(), so
    // its deadlines pass when the test says, over real sockets.
    bool virtualTime = false;
    // 0: any free port; a port a test had from an earlier server: the
    // server coming back where it was.
    int port = 0;
    // Serve the web table (a page of the test's own) on a port of its own.
    bool web = false;
    WebLimits webLimits{};
  };
  explicit ServerThread(Limits limits = {}, ServerLimits server = {}) : ServerThread(limits, server, Options{}) {}
  ServerThread(Limits limits, ServerLimits server, Options options) : bind_(options.bind) {
    std::promise<int> port;
    thread_ = std::thread([&port, limits, server, options, this] {
      Reactor::Clock clock;
      if (options.virtualTime) clock = [this] { return clock_.load(); };
      Reactor loop(clock);
      LobbyServer s(loop, limits, server, [this](std::string_view line) {
        {
          std::lock_guard<std::mutex> g(mutex_);
          log_.emplace_back(line);
        }
        logChanged_.notify_all();
      });
      s.listen(options.bind, options.port);
      webgate::Site site;
      site.add("/index.html", "text/html; charset=utf-8", "<!doctype html><title>Ombrix</title>");
      if (options.web) s.listenWeb(options.bind, 0, site, {}, options.webLimits);
      webPort_ = s.webPort();
      port.set_value(s.port());
      while (!stop_) {
        loop.runOnce(5);
        ++turns_;
      }
    });
    port_ = port.get_future().get();
  }
  ~ServerThread() {
    stop_ = true;
    thread_.join();
  }
  std::string address() const {
    return (bind_.find(':') != std::string::npos ? "[" + bind_ + "]" : bind_) + ":" + std::to_string(port_);
  }
  HostPort hostPort() const { return {bind_, port_}; }
  int port() const { return port_; }
  int webPort() const { return webPort_; }
  // Moves the server's virtual clock on and lets its loop run its timers.
  void advance(int64_t ms) {
    clock_ += ms;
    const uint64_t from = turns_;
    while (turns_ < from + 3) std::this_thread::yield();
  }
  bool logged(const std::string& text) {
    std::lock_guard<std::mutex> g(mutex_);
    return loggedLocked(text);
  }
  std::vector<std::string> log() {
    std::lock_guard<std::mutex> g(mutex_);
    return log_;
  }
  // Blocks this thread (the server runs on its own) until the line is logged.
  bool waitLogged(const std::string& text, std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    std::unique_lock<std::mutex> g(mutex_);
    return logChanged_.wait_for(g, timeout, [&] { return loggedLocked(text); });
  }

 private:
  std::string bind_;
  std::thread thread_;
  int webPort_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int64_t> clock_{1000000};
  std::atomic<uint64_t> turns_{0};
  int port_ = 0;
  bool loggedLocked(const std::string& text) const {
    for (const auto& l : log_)
      if (l.find(text) != std::string::npos) return true;
    return false;
  }
  std::mutex mutex_;
  std::condition_variable logChanged_;
  std::vector<std::string> log_;
};

}  // namespace ombrix::lobbyd
