// Cutting a connection's byte stream into messages, and the message queue.
//
// Each connection keeps a receive remainder: the bytes after its last byte
// 255. Every complete message joins the host's one message queue, tagged with
// the slot it arrived on.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

namespace ombrix::wire {

struct QueuedMessage {
  int origin = 0;  // slot of the connection it came from; 0 = not from a socket
  std::string text;
};

// First in, first out, with one refinement for fairness: messages are served
// in order of a fair-queuing tag rather than raw arrival. A message's tag is
// one past the later of the tag last served and its connection's previous
// tag; between equal tags, a message that found its connection idle goes
// before one queued behind others of its own connection. Without contention
// this is exactly arrival order; when one connection floods, another
// connection's message goes at the next dispatch, or after at most one of
// the flooder's when several others contend. Each connection's own order is
// always kept.
class MessageQueue {
 public:
  static constexpr int kOrigins = 16;
  // Per-connection bounds: a connection over either is flooding and is to be
  // closed by the caller. Ten seconds of dispatch at 100 messages a second.
  static constexpr size_t kMaxQueuedMessages = 1000;
  static constexpr size_t kMaxQueuedBytes = 256 * 1024;

  // False (and nothing queued) when `origin` is over its bounds.
  bool push(int origin, std::string_view text);
  bool empty() const { return size_ == 0; }
  size_t size() const { return size_; }
  QueuedMessage pop();
  size_t countFrom(int origin) const { return lane(origin).items.size(); }
  size_t bytesFrom(int origin) const { return lane(origin).bytes; }
  void dropFrom(int origin);

 private:
  struct Item {
    uint64_t tag, seq;
    bool backlogged;  // its connection had messages waiting when it came
    std::string text;
  };
  struct Lane {
    std::deque<Item> items;
    uint64_t lastTag = 0;
    size_t bytes = 0;
  };
  Lane& lane(int origin) { return lanes_[laneIndex(origin)]; }
  const Lane& lane(int origin) const { return lanes_[laneIndex(origin)]; }
  static size_t laneIndex(int origin) {
    return origin >= 0 && origin < kOrigins ? static_cast<size_t>(origin) : 0;
  }

  std::array<Lane, kOrigins> lanes_;
  uint64_t served_ = 0;
  uint64_t seq_ = 0;
  size_t size_ = 0;
};

class Framer {
 public:
  // A remainder longer than this is a peer that never ends its message; the
  // longest real message (a chat line) is far shorter.
  static constexpr size_t kMaxRemainder = 64 * 1024;

  // Appends `bytes`, hands every complete message to `sink(text)` in order,
  // and keeps the incomplete tail. A sink returning false stops the feed.
  // Returns false when the sink refused or the tail exceeds kMaxRemainder
  // (the tail is then dropped and the caller should close the connection).
  template <class Sink>
  bool feed(std::string_view bytes, Sink&& sink) {
    size_t start = 0;
    for (;;) {
      const size_t end = bytes.find('\xFF', start);
      if (end == std::string_view::npos) break;
      bool ok;
      if (remainder_.empty()) {
        ok = sink(bytes.substr(start, end - start));
      } else {
        remainder_.append(bytes.substr(start, end - start));
        ok = sink(std::string_view(remainder_));
        remainder_.clear();
      }
      if (!ok) return false;
      start = end + 1;
    }
    remainder_.append(bytes.substr(start));
    if (remainder_.size() > kMaxRemainder) {
      remainder_.clear();
      remainder_.shrink_to_fit();
      return false;
    }
    return true;
  }

  const std::string& remainder() const { return remainder_; }
  void clear() { remainder_.clear(); }

 private:
  std::string remainder_;
};

}  // namespace ombrix::wire
