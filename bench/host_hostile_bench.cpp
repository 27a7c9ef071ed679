// The host against peers that would grow it or spin it, as its own process
// (build/bin/ombrix-host):
//
//  1. Memory: a full table plays on while spectator 5 stops reading and
//     spectator 9 floods 30 KB chat lines as fast as the host takes them.
//     Peer: the same host's peak after the same time at rest.
//  2. Descriptors: the host's descriptor limit is lowered (prlimit) until a
//     connection cannot be accepted; its CPU while the connection waits,
//     against the same host's CPU at rest; then a descriptor is freed and
//     the waiting table must be seated and logged in.
//
//   host_hostile_bench [seconds-per-phase]
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "bench/bench_table.h"
#include "protocol/commands.h"

using namespace ombrix;
using namespace ombrix::bench;

namespace {

constexpr long kMemoryTargetKb = 64 * 1024;
constexpr double kCpuTargetPercent = 5;
constexpr size_t kLongLine = 30000;
// Long enough that one clock tick (10 ms) is 0.1 % of it.
constexpr int kCpuWindowSeconds = 10;
// A greeting comes within milliseconds; one that has not come in this long
// is not coming.
constexpr int kGreetingMs = 500;
constexpr size_t kMostExtraTables = 64;

// Reads `fd` until a message named `name` arrives or `timeoutMs` passes.
bool awaitCommand(int fd, wire::Framer& framer, const std::string& name, int timeoutMs,
                  std::string* fields = nullptr) {
  const auto start = Clock::now();
  bool found = false;
  while (!found && msSince(start) < timeoutMs) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 10) <= 0) continue;
    char buf[4096];
    const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
    if (n <= 0) return false;
    framer.feed(std::string_view(buf, static_cast<size_t>(n)), [&](std::string_view m) {
      const auto [cmd, f] = wire::splitCommand(m);
      if (!found && cmd == name) {
        found = true;
        if (fields) *fields = std::string(f);
      }
      return true;
    });
  }
  return found;
}

struct Plain {
  explicit Plain(int port) : fd(connectTo(port)) {}
  ~Plain() { close(); }
  void close() {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
  // Told anything at all: a slot, or that the table is full.
  bool greeted(int timeoutMs) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, timeoutMs) > 0;
  }
  bool logIn(int timeoutMs) {
    std::string slot;
    if (!awaitCommand(fd, framer, "CMD_sendlogininfo", timeoutMs, &slot)) return false;
    Client c;
    c.fd = fd;
    c.send("CMD_logininfo+" + slot + "+1.0.14+p" + slot);
    this->slot = std::atoi(slot.c_str());
    return true;
  }
  int fd;
  int slot = 0;
  wire::Framer framer;
};

double cpuPercentOver(const HostProcess& host, int seconds) {
  const double before = host.cpuSeconds();
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  return (host.cpuSeconds() - before) * 100.0 / seconds;
}

bool memoryPhase(const std::string& dir, double seconds) {
  HostProcess host(dir);
  Table table(host.port());
  const Phase rest = table.run(seconds, {});
  const long restPeak = host.statusKb("VmHWM");
  table.stall(4);
  Flood f;
  f.lineBytes = kLongLine;
  const Phase hostile = table.run(seconds, f);
  const long peak = host.statusKb("VmHWM");
  bool stalledClosed = false;
  for (int s : table.departed()) stalledClosed |= s == table.client(4).slot;
  std::printf(
      "memory: peak %.1f MB while table %d stops reading and table %d floods %zu KB lines "
      "(target <= %ld MB: %s)\n",
      peak / 1024.0, table.client(4).slot, table.client(8).slot, kLongLine / 1000, kMemoryTargetKb / 1024,
      peak <= kMemoryTargetKb ? "met" : "NOT met");
  std::printf(
      "        peer: the same host at rest %.1f MB (%.2fx); the stalled table %s; seated tables got "
      "%zu moves (%zu at rest), p99 %.2f ms\n",
      restPeak / 1024.0, static_cast<double>(peak) / restPeak,
      stalledClosed ? "was closed as a departure" : "was NOT closed", hostile.cards, rest.cards,
      percentile(hostile.samples, 0.99));
  return peak <= kMemoryTargetKb && stalledClosed && hostile.cards > 0;
}

bool descriptorPhase(const std::string& dir) {
  HostProcess host(dir);
  Plain a(host.port()), b(host.port());
  if (!a.logIn(2000) || !b.logIn(2000)) {
    std::fprintf(stderr, "bench: the first tables were not seated\n");
    return false;
  }
  const double restCpu = cpuPercentOver(host, kCpuWindowSeconds);
  rlimit low{};
  ::prlimit(host.pid(), RLIMIT_NOFILE, nullptr, &low);
  low.rlim_cur = static_cast<rlim_t>(host.highestDescriptor()) + 1;
  if (::prlimit(host.pid(), RLIMIT_NOFILE, &low, nullptr) != 0) {
    std::perror("prlimit");
    return false;
  }
  // The descriptors left under the limit are taken by tables that are
  // seated (up to the nine slots; later ones are told the table is full and
  // closed); the first table that is not greeted at all is the one waiting.
  std::vector<std::unique_ptr<Plain>> extra;
  Plain* waiting = nullptr;
  while (!waiting && extra.size() < kMostExtraTables) {
    extra.push_back(std::make_unique<Plain>(host.port()));
    if (!extra.back()->greeted(kGreetingMs)) waiting = extra.back().get();
  }
  if (!waiting) {
    std::fprintf(stderr, "bench: the host never ran out of descriptors (%d open, limit %ld)\n",
                 host.openDescriptors(), static_cast<long>(low.rlim_cur));
    return false;
  }
  const double starvedCpu = cpuPercentOver(host, kCpuWindowSeconds);
  const bool stillWaiting = !awaitCommand(waiting->fd, waiting->framer, "CMD_sendlogininfo", 0);
  // One table leaves: its descriptor is free for the one waiting.
  const auto freed = Clock::now();
  b.close();
  const bool seated = waiting->logIn(5000);
  const double seatedMs = msSince(freed);
  const bool announced = seated && awaitCommand(a.fd, a.framer, "CMD_newplayerinfo", 5000);
  std::printf(
      "descriptors: %.2f %% of a core while a connection waits %d s (target <= %.0f %%: %s); "
      "peer: the same host at rest %.2f %%\n",
      starvedCpu, kCpuWindowSeconds, kCpuTargetPercent, starvedCpu <= kCpuTargetPercent ? "met" : "NOT met",
      restCpu);
  std::printf("             after a descriptor came free the waiting table was %s in %.1f ms%s\n",
              seated ? "seated" : "NOT seated", seatedMs, announced ? " and its log-in announced" : "");
  return starvedCpu <= kCpuTargetPercent && stillWaiting && seated && announced;
}

}  // namespace

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 20;
  std::string dir = argv[0];
  dir = dir.substr(0, dir.rfind('/') + 1);
  const bool memoryOk = memoryPhase(dir, seconds);
  const bool descriptorsOk = descriptorPhase(dir);
  return memoryOk && descriptorsOk ? 0 : 3;
}
