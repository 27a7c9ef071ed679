// The lobby server's benchmark under attack (bench/lobbyd_attack.cpp).
#pragma once

#include <string>

namespace ombrix::bench {

// Runs each attack beside players for `seconds`, against the same without
// attack; `dir` holds ombrix-lobbyd.
void attackPhase(const std::string& dir, double seconds);

}  // namespace ombrix::bench
