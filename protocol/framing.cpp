#include "protocol/framing.h"

#include <algorithm>

namespace ombrix::wire {

bool MessageQueue::push(int origin, std::string_view text) {
  Lane& l = lane(origin);
  if (l.items.size() >= kMaxQueuedMessages || l.bytes + text.size() > kMaxQueuedBytes) return false;
  const uint64_t tag = std::max(served_, l.lastTag) + 1;
  l.lastTag = tag;
  l.bytes += text.size();
  l.items.push_back({tag, ++seq_, !l.items.empty(), std::string(text)});
  ++size_;
  return true;
}

QueuedMessage MessageQueue::pop() {
  Lane* best = nullptr;
  int bestOrigin = 0;
  for (int o = 0; o < kOrigins; ++o) {
    Lane& l = lanes_[o];
    if (l.items.empty()) continue;
    const Item& f = l.items.front();
    const Item* b = best ? &best->items.front() : nullptr;
    if (!b || f.tag < b->tag ||
        (f.tag == b->tag &&
         (f.backlogged < b->backlogged || (f.backlogged == b->backlogged && f.seq < b->seq)))) {
      best = &l;
      bestOrigin = o;
    }
  }
  if (!best) return {};
  Item item = std::move(best->items.front());
  best->items.pop_front();
  best->bytes -= item.text.size();
  served_ = std::max(served_, item.tag);
  --size_;
  return {bestOrigin, std::move(item.text)};
}

void MessageQueue::dropFrom(int origin) {
  Lane& l = lane(origin);
  size_ -= l.items.size();
  l.items.clear();
  l.bytes = 0;
  // Tags of messages that were never served must not hold back whoever
  // uses this connection's lane next.
  l.lastTag = 0;
}

}  // namespace ombrix::wire
