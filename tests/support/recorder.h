// Test doubles for the host's outward seams: what it sends, closes and notes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/virtualclock.h"
#include "host/server.h"

namespace ombrix::test {

struct Sent {
  int slot;
  std::string text;
  int64_t at;  // virtual milliseconds
};

class Recorder : public HostTransport, public Notices {
 public:
  explicit Recorder(const VirtualClock* clock = nullptr) : clock_(clock) {}
  void send(int slot, std::string_view m) override {
    sent.push_back({slot, std::string(m), clock_ ? clock_->now() : 0});
  }
  void closeConnection(int slot) override { closed.push_back(slot); }
  void moveConnection(int from, int to) override {
    moved.emplace_back(from, to);
    movedAt.push_back(sent.size());
  }
  void notice(std::string_view t) override { notices.emplace_back(t); }

  // Messages sent to one slot, in order.
  std::vector<std::string> to(int slot) const;
  // Messages to one slot whose command name is `name` ("CMD_bid").
  std::vector<std::string> to(int slot, std::string_view name) const;
  void clear() {
    sent.clear();
    closed.clear();
    moved.clear();
    movedAt.clear();
    notices.clear();
  }

  std::vector<Sent> sent;
  std::vector<int> closed;
  std::vector<std::pair<int, int>> moved;
  std::vector<size_t> movedAt;  // how many messages had been sent at each move
  std::vector<std::string> notices;

 private:
  const VirtualClock* clock_;
};

// The name of a message's command ("CMD_bid" of "CMD_bid+1+2+3").
std::string_view commandOf(std::string_view message);

// A host on a virtual clock with nothing connected.
struct HostHarness {
  explicit HostHarness(uint64_t seed = 1) : rec(&clock), host(rec, rec, clock, seed) {}
  // Marks slots as held by connections, as accepted sockets would.
  void connect(std::initializer_list<int> slotNumbers);
  GameEngine& engine() { return host.engine; }

  VirtualClock clock;
  Recorder rec;
  TServer host;
};

}  // namespace ombrix::test
