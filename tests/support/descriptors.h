// Running this process out of file descriptors, for tests of what a socket
// does when accept fails with EMFILE: the soft limit is lowered just above
// what is open and every descriptor left is taken; all is given back at the
// end of the scope.
#pragma once

#include <sys/resource.h>

#include <vector>

namespace ombrix::test {

class DescriptorSqueeze {
 public:
  DescriptorSqueeze();
  ~DescriptorSqueeze();
  DescriptorSqueeze(const DescriptorSqueeze&) = delete;
  DescriptorSqueeze& operator=(const DescriptorSqueeze&) = delete;

  // Gives `n` descriptors back behind the sockets' backs, as closing a file
  // elsewhere in the program would.
  void release(int n);
  // Whether a new descriptor can be had now.
  static bool exhausted();

 private:
  rlimit old_{};
  std::vector<int> held_;
};

}  // namespace ombrix::test
