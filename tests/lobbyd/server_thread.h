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

namespace ombrix::lobby {

class ServerThread {
 public:
  explicit ServerThread(Limits limits = {}, ServerLimits server = {}) {
    std::promise<int> port;
    thread_ = std::thread([&port, limits, server, this] {
      Reactor loop;
      LobbyServer s(loop, limits, server, [this](std::string_view line) {
        {
          std::lock_guard<std::mutex> g(mutex_);
          log_.emplace_back(line);
        }
        logChanged_.notify_all();
      });
      s.listen("127.0.0.1", 0);
      port.set_value(s.port());
      while (!stop_) loop.runOnce(20);
    });
    port_ = port.get_future().get();
  }
  ~ServerThread() {
    stop_ = true;
    thread_.join();
  }
  std::string address() const { return "127.0.0.1:" + std::to_string(port_); }
  HostPort hostPort() const { return {"127.0.0.1", port_}; }
  bool logged(const std::string& text) {
    std::lock_guard<std::mutex> g(mutex_);
    return loggedLocked(text);
  }
  // Blocks this thread (the server runs on its own) until the line is logged.
  bool waitLogged(const std::string& text, std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    std::unique_lock<std::mutex> g(mutex_);
    return logChanged_.wait_for(g, timeout, [&] { return loggedLocked(text); });
  }

 private:
  std::thread thread_;
  std::atomic<bool> stop_{false};
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

}  // namespace ombrix::lobby
