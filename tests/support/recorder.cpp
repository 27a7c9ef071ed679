#include "tests/support/recorder.h"

namespace ombrix::test {

std::vector<std::string> Recorder::to(int slot) const {
  std::vector<std::string> out;
  for (const Sent& s : sent)
    if (s.slot == slot) out.push_back(s.text);
  return out;
}

std::vector<std::string> Recorder::to(int slot, std::string_view name) const {
  std::vector<std::string> out;
  for (const Sent& s : sent)
    if (s.slot == slot && commandOf(s.text) == name) out.push_back(s.text);
  return out;
}

std::string_view commandOf(std::string_view message) { return message.substr(0, message.find('+')); }

void HostHarness::connect(std::initializer_list<int> slotNumbers) {
  for (int s : slotNumbers) {
    host.slots[s].inUse = true;
    if (s > host.slotCount) host.slotCount = s;
  }
}

}  // namespace ombrix::test
