// A fuzzer's input read front to back as a stream of choices; zeros once it
// runs out, so every input is a whole run.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

namespace ombrix::fuzz {

class Input {
 public:
  Input(const uint8_t* d, size_t n) : d_(d), n_(n) {}
  bool more() const { return i_ < n_; }
  uint8_t byte() { return i_ < n_ ? d_[i_++] : 0; }
  std::string bytes(size_t n) {
    n = std::min(n, n_ - i_);
    std::string s(reinterpret_cast<const char*>(d_ + i_), n);
    i_ += n;
    return s;
  }

 private:
  const uint8_t* d_;
  size_t n_, i_ = 0;
};

}  // namespace ombrix::fuzz
