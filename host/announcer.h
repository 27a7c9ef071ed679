// The game's side of the wire at the host: the engine's events written as
// the wire's texts, to the slots the host's table holds. (The requests that
// become the engine's calls are TServer's handlers, in host/announcer.cpp.)
#pragma once

#include <string>
#include <string_view>

#include "engine/events.h"
#include "host/slottable.h"

namespace ombrix {

class Announcer : public GameHost {
 public:
  Announcer(const SlotTable& slots, const int& slotCount, Outbox& out)
      : slots_(slots), slotCount_(slotCount), out_(out) {}

  void report(const GameEvent& event, ev::Audience to) override;
  Occupant occupant(int seat) const override;

  // Sends to every slot in use, in slot order 1..slotCount.
  void announce(std::string_view message);

 private:
  void sendHand(const ev::HandDealt& e);

  const SlotTable& slots_;
  const int& slotCount_;
  Outbox& out_;
  std::string msg_, hidden_;  // reused for every announcement: the hot path allocates nothing
};

}  // namespace ombrix
