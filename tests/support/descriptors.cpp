#include "tests/support/descriptors.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

namespace ombrix::test {

namespace {
// Slack above the highest open descriptor: few enough to take quickly.
constexpr rlim_t kSlack = 32;

int highestOpen() {
  int highest = 2;
  if (DIR* d = ::opendir("/proc/self/fd")) {
    while (const dirent* e = ::readdir(d)) highest = std::max(highest, std::atoi(e->d_name));
    ::closedir(d);
  }
  return highest;
}
}  // namespace

DescriptorSqueeze::DescriptorSqueeze() {
  ::getrlimit(RLIMIT_NOFILE, &old_);
  rlimit low = old_;
  low.rlim_cur = std::min(old_.rlim_cur, static_cast<rlim_t>(highestOpen()) + kSlack);
  ::setrlimit(RLIMIT_NOFILE, &low);
  for (;;) {
    const int fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (fd < 0) break;
    held_.push_back(fd);
  }
}

DescriptorSqueeze::~DescriptorSqueeze() {
  release(static_cast<int>(held_.size()));
  ::setrlimit(RLIMIT_NOFILE, &old_);
}

void DescriptorSqueeze::release(int n) {
  for (; n > 0 && !held_.empty(); --n) {
    ::close(held_.back());
    held_.pop_back();
  }
}

bool DescriptorSqueeze::exhausted() {
  const int fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno == EMFILE;
  ::close(fd);
  return false;
}

}  // namespace ombrix::test
