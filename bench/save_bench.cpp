// A solo game's save: how large it grows over a full game, and what writing
// and reading one costs.
//
// The game is four Strong computer seats (the rule watch then hears every
// card, the largest save there is), played in virtual time; its state is
// taken after every trick, as the game saves it. The largest of them is then
// written and read again many times.
//
// Peers, measured in the same run on the same disk: the same bytes written
// to a temporary file, put on the disk and renamed over the old one (the
// floor for any save that survives a crash), and the same bytes read back
// whole. Their ratio is what the format, its checksum and its checks add.
//
//   save_bench [writes] [folder]
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "base/virtualclock.h"
#include "engine/gamestate.h"
#include "host/savegame.h"
#include "host/server.h"

using namespace ombrix;

namespace {

class Quiet : public HostTransport, public Notices {
 public:
  void send(int, std::string_view) override {}
  void closeConnection(int) override {}
  void moveConnection(int, int) override {}
  void notice(std::string_view) override {}
};

double seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

// The bare floor: write, sync, rename; then read back whole.
bool bareWrite(const std::string& path, const std::string& bytes) {
  std::string temp = path + ".XXXXXX";
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) return false;
  const bool ok = ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()) && ::fsync(fd) == 0;
  ::close(fd);
  return ok && ::rename(temp.c_str(), path.c_str()) == 0;
}

size_t bareRead(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY);
  if (fd < 0) return 0;
  char buf[kMaxSaveBytes + 1];
  const ssize_t n = ::read(fd, buf, sizeof buf);
  ::close(fd);
  return n > 0 ? static_cast<size_t>(n) : 0;
}

}  // namespace

int main(int argc, char** argv) {
  const int writes = argc > 1 ? std::atoi(argv[1]) : 200;
  std::filesystem::path folder;
  if (argc > 2) {
    folder = argv[2];
  } else {
    std::string t = (std::filesystem::temp_directory_path() / "ombrix-save-bench-XXXXXX").string();
    folder = ::mkdtemp(t.data());
  }

  // A full game, its state after every trick.
  Quiet out;
  VirtualClock clock;
  TServer host(out, out, clock, 2026);
  auto& e = host.engine;
  e.botDelay = kBotFastMs;
  e.strongConfig.work = e.strongConfig.ruleWork = 200;  // the size of a save does not depend on the search's depth
  e.strongConfig.minSamples = 1;
  e.strongConfig.maxSamples = 4;
  e.botSkill.fill(ai::Skill::Strong);
  std::vector<size_t> sizes;
  GameState largest;
  size_t largestSize = 0;
  e.onCheckpoint = [&](Checkpoint c) {
    GameState s;
    if (c != Checkpoint::TrickDone || !e.saveState(s)) return;
    const size_t n = encodeSave(s).size();
    sizes.push_back(n);
    if (n > largestSize) {
      largestSize = n;
      largest = s;
    }
  };
  host.startgame("Bench+f+");
  while (e.gameInProgress && clock.step()) {
  }
  if (sizes.size() != 110) {
    std::fprintf(stderr, "save_bench: %zu tricks saved, not 110\n", sizes.size());
    return 1;
  }
  size_t total = 0;
  for (size_t n : sizes) total += n;
  std::printf("save size over a full game of four Strong seats (110 tricks): %zu to %zu bytes, mean %zu\n",
              *std::min_element(sizes.begin(), sizes.end()), largestSize, total / sizes.size());
  std::printf("of it the game's log for the record (format version %d): %zu bytes of the largest\n", kSaveVersion,
              largestSize - encodeSave(largest, kOldestSaveVersion).size());

  // The CPU alone: encoding, and decoding with every check.
  const std::string bytes = encodeSave(largest);
  constexpr int kCodecRounds = 2000;
  auto t0 = std::chrono::steady_clock::now();
  size_t sink = 0;
  for (int i = 0; i < kCodecRounds; ++i) sink += encodeSave(largest).size();
  const double encodeUs = seconds(std::chrono::steady_clock::now() - t0) / kCodecRounds * 1e6;
  t0 = std::chrono::steady_clock::now();
  for (int i = 0; i < kCodecRounds; ++i) sink += decodeSave(bytes) ? 1 : 0;
  const double decodeUs = seconds(std::chrono::steady_clock::now() - t0) / kCodecRounds * 1e6;

  // On the disk, alternating with the peer so both see the same load.
  SaveFile file((folder / kSaveFileName).string());
  const std::string peerPath = (folder / "peer.bin").string();
  double saveW = 0, peerW = 0, saveR = 0, peerR = 0;
  for (int i = 0; i < writes; ++i) {
    const auto a = std::chrono::steady_clock::now();
    const bool saved = file.write(largest);
    const auto b = std::chrono::steady_clock::now();
    const bool peerSaved = bareWrite(peerPath, bytes);
    const auto c = std::chrono::steady_clock::now();
    const SaveFile::Loaded loaded = file.read();
    const auto d = std::chrono::steady_clock::now();
    sink += bareRead(peerPath);
    const auto f = std::chrono::steady_clock::now();
    if (!saved || !peerSaved || !loaded.state) {
      std::fprintf(stderr, "save_bench: cannot write and read in %s %s\n", folder.c_str(), loaded.report.c_str());
      return 1;
    }
    saveW += seconds(b - a);
    peerW += seconds(c - b);
    saveR += seconds(d - c);
    peerR += seconds(f - d);
  }
  std::printf("encode %.1f us, decode and check %.1f us (the %zu-byte save)\n", encodeUs, decodeUs, bytes.size());
  std::printf("write: save %.3f ms, peer (same bytes, synced and renamed) %.3f ms, ratio %.2f\n",
              saveW / writes * 1e3, peerW / writes * 1e3, saveW / peerW);
  std::printf("read:  save %.1f us, peer (same bytes read whole) %.1f us, ratio %.2f\n", saveR / writes * 1e6,
              peerR / writes * 1e6, saveR / peerR);
  std::printf("(%d writes in %s; checksum %zu)\n", writes, folder.c_str(), sink % 10);
  if (argc <= 2) std::filesystem::remove_all(folder);
  return 0;
}
