#include "host/savegame.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "host/server.h"

namespace ombrix {

namespace {

constexpr std::string_view kMagic = "Ombrix saved game\n";
constexpr std::string_view kCrcLabel = "crc ";
constexpr int kCrcDigits = 8;

uint32_t crcOf(std::string_view bytes) {
  const auto* p = reinterpret_cast<const Bytef*>(bytes.data());
  return static_cast<uint32_t>(crc32(crc32(0L, Z_NULL, 0), p, static_cast<uInt>(bytes.size())));
}

// Writes the body as words and lines.
class Writer {
 public:
  Writer& word(std::string_view w) {
    if (!lineStart_) out_.push_back(' ');
    out_.append(w);
    lineStart_ = false;
    return *this;
  }
  Writer& num(int64_t n) { return word(std::to_string(n)); }
  Writer& hex(uint64_t n) {
    char buf[17];
    const auto r = std::to_chars(buf, buf + sizeof buf, n, 16);
    return word(std::string_view(buf, static_cast<size_t>(r.ptr - buf)));
  }
  Writer& line() {
    out_.push_back('\n');
    lineStart_ = true;
    return *this;
  }
  std::string& text() { return out_; }

 private:
  std::string out_;
  bool lineStart_ = true;
};

// Reads the body back word by word; the first failure sticks.
class Reader {
 public:
  explicit Reader(std::string_view text) : rest_(text) {}

  std::string_view word() {
    size_t i = 0;
    while (i < rest_.size() && isSpace(rest_[i])) ++i;
    size_t j = i;
    while (j < rest_.size() && !isSpace(rest_[j])) ++j;
    const std::string_view w = rest_.substr(i, j - i);
    rest_.remove_prefix(j);
    if (w.empty()) fail("cut short");
    return w;
  }
  void label(std::string_view want) {
    if (ok() && word() != want) fail("no " + std::string(want) + " where it belongs");
  }
  // A decimal number within [lo, hi]; the state's own checks narrow it further.
  int num(int lo = -1000000, int hi = 1000000) {
    if (!ok()) return 0;
    const std::string_view w = word();
    int n = 0;
    const auto r = std::from_chars(w.data(), w.data() + w.size(), n);
    if (r.ec != std::errc() || r.ptr != w.data() + w.size() || n < lo || n > hi) fail("a number that is not one");
    return ok() ? n : 0;
  }
  uint64_t hex() {
    if (!ok()) return 0;
    const std::string_view w = word();
    uint64_t n = 0;
    const auto r = std::from_chars(w.data(), w.data() + w.size(), n, 16);
    if (r.ec != std::errc() || r.ptr != w.data() + w.size()) fail("a number that is not one");
    return ok() ? n : 0;
  }
  bool atEnd() const {
    for (char c : rest_)
      if (!isSpace(c)) return false;
    return true;
  }
  void fail(std::string why) {
    if (why_.empty()) why_ = std::move(why);
  }
  bool ok() const { return why_.empty(); }
  const std::string& why() const { return why_; }

 private:
  static bool isSpace(char c) { return c == ' ' || c == '\n'; }
  std::string_view rest_;
  std::string why_;
};

std::string kindToHex(std::string_view kind) {
  if (kind.empty()) return "-";
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : kind) {
    out.push_back(digits[c >> 4]);
    out.push_back(digits[c & 0xF]);
  }
  return out;
}

bool kindFromHex(std::string_view hex, std::string& kind, size_t longest = kMaxGameKind) {
  kind.clear();
  if (hex == "-") return true;
  if (hex.size() % 2 || hex.size() > 2 * longest) return false;
  for (size_t i = 0; i < hex.size(); i += 2) {
    unsigned v = 0;
    const auto r = std::from_chars(hex.data() + i, hex.data() + i + 2, v, 16);
    if (r.ec != std::errc() || r.ptr != hex.data() + i + 2) return false;
    kind.push_back(static_cast<char>(v));
  }
  return true;
}

}  // namespace

std::string encodeSave(const GameState& s, int version) {
  Writer w;
  w.text().append(kMagic);
  w.word("version").num(version).line();
  w.word("kind").word(kindToHex(s.gameKind)).line();
  if (version >= 3) w.word("rules").word(rules::format(s.rules)).line();
  w.word("round").num(s.roundNumber).num(s.handSize).num(s.leadSeat).line();
  w.word("bidding").num(s.currentBidder).num(s.biddingStarter).num(s.bidTotal).line();
  w.word("play").num(s.currentPlayer).num(s.tricksPlayed).num(s.cardsInTrick).num(s.ledSuit).line();
  w.word("trump").num(s.trumpCard).line();
  w.word("pause").num(s.pauseTicks).line();
  w.word("delay").num(s.botDelay).line();
  w.word("skills");
  for (int seat = 1; seat <= kSeats; ++seat) w.word(ai::skillName(s.botSkill[seat]));
  w.line();
  for (int seat = 1; seat <= kSeats; ++seat) {
    const GameState::Seat& p = s.seats[seat];
    w.word("seat").num(seat).num(p.score).num(p.tricks).num(p.bid).num(p.played).num(p.watching);
    for (int pos = 1; pos <= kMaxHand; ++pos) w.num(p.hand[pos]);
    w.line();
  }
  w.word("played").hex(s.played);
  for (int seat = 1; seat <= kSeats; ++seat) w.hex(s.playedBy[seat]);
  w.line().word("voids");
  for (int seat = 1; seat <= kSeats; ++seat) w.num(s.voids[seat]);
  w.line().word("points").num(static_cast<int64_t>(s.roundPoints.size())).line();
  for (const auto& row : s.roundPoints) {
    for (int seat = 1; seat <= kSeats; ++seat) w.num(row[seat]);
    w.line();
  }
  w.word("watch").num(static_cast<int64_t>(s.watch.size()));
  for (const WatchEvent& e : s.watch) {
    switch (e.kind) {
      case WatchEvent::Round:
        w.line().word("r").num(e.a).num(e.b);
        break;
      case WatchEvent::Bid:
        w.word("b").num(e.a).num(e.b);
        break;
      case WatchEvent::Play:
        w.word("p").num(e.a).num(e.b).num(e.c);
        break;
      case WatchEvent::EndRound:
        w.word("e");
        break;
      case WatchEvent::Unseen:
        w.word("u");
        break;
    }
  }
  w.line().word("random");
  for (uint64_t part : s.deckRandom) w.hex(part);
  w.line().word("seeds").hex(s.botSeed).hex(s.gameSerial).line();
  if (version >= 2) {
    w.word("starter").word(kindToHex(s.starter)).line();
    w.word("log").num(static_cast<int64_t>(s.publicLog.size()));
    for (const PublicEvent& e : s.publicLog) {
      static constexpr const char* kWords[] = {"r", "b", "p", "t"};
      if (e.kind == PublicEvent::Round) w.line();
      w.word(kWords[e.kind]).num(e.a);
      if (e.kind != PublicEvent::Trick) w.num(e.b);
    }
    w.line();
  }
  char crc[kCrcDigits + 2];
  std::snprintf(crc, sizeof crc, "%08x\n", crcOf(w.text()));
  w.text().append(kCrcLabel).append(crc);
  return std::move(w.text());
}

std::optional<GameState> decodeSave(std::string_view bytes, std::string* why) {
  auto refuse = [&](std::string reason) -> std::optional<GameState> {
    if (why) *why = std::move(reason);
    return std::nullopt;
  };
  if (bytes.size() > kMaxSaveBytes) return refuse("too large");
  if (bytes.substr(0, kMagic.size()) != kMagic) return refuse("not a saved game");
  // The last line is the checksum of everything before it.
  const size_t crcLine = bytes.rfind(std::string("\n").append(kCrcLabel));
  if (crcLine == std::string_view::npos || bytes.size() != crcLine + 1 + kCrcLabel.size() + kCrcDigits + 1 ||
      bytes.back() != '\n')
    return refuse("cut short");
  const std::string_view body = bytes.substr(0, crcLine + 1);
  const std::string_view crcText = bytes.substr(crcLine + 1 + kCrcLabel.size(), kCrcDigits);
  uint32_t crc = 0;
  const auto r = std::from_chars(crcText.data(), crcText.data() + crcText.size(), crc, 16);
  if (r.ec != std::errc() || r.ptr != crcText.data() + crcText.size() || crc != crcOf(body))
    return refuse("its checksum does not match");

  Reader in(body.substr(kMagic.size()));
  GameState s;
  in.label("version");
  const int version = in.num();
  if ((version < kOldestSaveVersion || version > kSaveVersion) && in.ok())
    return refuse("a version this program does not know");
  in.label("kind");
  if (const std::string_view kind = in.word(); in.ok() && !kindFromHex(kind, s.gameKind)) in.fail("game kind");
  if (version >= 3) {
    in.label("rules");
    if (const std::string_view list = in.word(); in.ok()) {
      if (const auto r = rules::parse(list))
        s.rules = *r;
      else
        in.fail("house rules");
    }
  }
  in.label("round");
  s.roundNumber = in.num();
  s.handSize = in.num();
  s.leadSeat = in.num();
  in.label("bidding");
  s.currentBidder = in.num();
  s.biddingStarter = in.num();
  s.bidTotal = in.num();
  in.label("play");
  s.currentPlayer = in.num();
  s.tricksPlayed = in.num();
  s.cardsInTrick = in.num();
  s.ledSuit = in.num();
  in.label("trump");
  s.trumpCard = in.num();
  in.label("pause");
  s.pauseTicks = in.num();
  in.label("delay");
  s.botDelay = in.num(0, kMaxBotDelayMs);
  in.label("skills");
  for (int seat = 1; seat <= kSeats && in.ok(); ++seat) {
    const auto skill = ai::skillNamed(in.word());
    if (!skill) in.fail("not a skill");
    s.botSkill[seat] = skill.value_or(ai::Skill::Classic);
  }
  for (int seat = 1; seat <= kSeats; ++seat) {
    GameState::Seat& p = s.seats[seat];
    in.label("seat");
    if (in.num() != seat && in.ok()) in.fail("seats out of order");
    p.score = in.num();
    p.tricks = in.num();
    p.bid = in.num();
    p.played = in.num();
    p.watching = in.num(0, 1) == 1;
    for (int pos = 1; pos <= kMaxHand; ++pos) p.hand[pos] = in.num();
  }
  in.label("played");
  s.played = in.hex();
  for (int seat = 1; seat <= kSeats; ++seat) s.playedBy[seat] = in.hex();
  in.label("voids");
  for (int seat = 1; seat <= kSeats; ++seat) s.voids[seat] = static_cast<uint8_t>(in.num(0, 0xF));
  in.label("points");
  const int rows = in.num(0, 20);
  for (int r = 0; r < rows && in.ok(); ++r) {
    auto& row = s.roundPoints.emplace_back();
    for (int seat = 1; seat <= kSeats; ++seat) row[seat] = in.num();
  }
  in.label("watch");
  const int events = in.num(0, 1000);
  for (int i = 0; i < events && in.ok(); ++i) {
    WatchEvent e;
    const std::string_view kind = in.word();
    auto small = [&] { return static_cast<uint8_t>(in.num(0, 255)); };
    if (kind == "r") {
      e = {WatchEvent::Round, small(), small(), 0};
    } else if (kind == "b") {
      e = {WatchEvent::Bid, small(), small(), 0};
    } else if (kind == "p") {
      e.kind = WatchEvent::Play;
      e.a = small();
      e.b = small();
      e.c = small();
    } else if (kind == "e") {
      e = {WatchEvent::EndRound, 0, 0, 0};
    } else if (kind == "u") {
      e = {WatchEvent::Unseen, 0, 0, 0};
    } else {
      in.fail("rule watch event");
    }
    s.watch.push_back(e);
  }
  in.label("random");
  for (uint64_t& part : s.deckRandom) part = in.hex();
  in.label("seeds");
  s.botSeed = in.hex();
  s.gameSerial = in.hex();
  if (version >= 2) {
    in.label("starter");
    if (const std::string_view name = in.word(); in.ok() && !kindFromHex(name, s.starter, kMaxStarterName))
      in.fail("starter's name");
    in.label("log");
    const int events = in.num(0, static_cast<int>(kMaxPublicEvents));
    for (int i = 0; i < events && in.ok(); ++i) {
      const std::string_view kind = in.word();
      auto small = [&] { return static_cast<uint8_t>(in.num(0, 255)); };
      PublicEvent e;
      if (kind == "r") {
        e.kind = PublicEvent::Round;
      } else if (kind == "b") {
        e.kind = PublicEvent::Bid;
      } else if (kind == "p") {
        e.kind = PublicEvent::Play;
      } else if (kind == "t") {
        e.kind = PublicEvent::Trick;
      } else {
        in.fail("game log event");
      }
      e.a = small();
      if (e.kind != PublicEvent::Trick) e.b = small();
      s.publicLog.push_back(e);
    }
  }
  if (in.ok() && !in.atEnd()) in.fail("more than a save holds");
  if (!in.ok()) return refuse(in.why());
  if (std::string bad = checkState(s); !bad.empty()) return refuse(bad);
  return s;
}

// --- The file ------------------------------------------------------------------------

bool SaveFile::write(const GameState& s, std::string* error) {
  auto failed = [&](std::string what) {
    if (error) *error = what + ": " + std::strerror(errno);
    return false;
  };
  const std::filesystem::path path(path_);
  std::error_code ec;
  if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path(), ec);
  const std::string bytes = encodeSave(s);
  std::string temp = path_ + ".XXXXXX";
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) return failed("Cannot create " + temp);
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  // On the disk before it replaces the old save: a crash after the rename
  // must not find a file of zeros.
  const bool written = done == bytes.size() && ::fsync(fd) == 0;
  const int savedErrno = errno;
  ::close(fd);
  if (!written || ::rename(temp.c_str(), path_.c_str()) != 0) {
    if (!written) errno = savedErrno;
    const bool ok = failed("Cannot write " + path_);
    ::unlink(temp.c_str());
    return ok;
  }
  return true;
}

SaveFile::Loaded SaveFile::read() {
  Loaded out;
  // A link is not followed, and a FIFO or a device at the save's path must
  // not hold up the start: opened without waiting, only a regular file is read.
  const int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
  if (fd < 0 && errno == ENOENT) return out;  // no game was left
  std::string why;
  if (fd < 0) {
    why = errno == ELOOP ? "it is a link" : std::string("it cannot be opened: ") + std::strerror(errno);
  } else {
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
      why = std::string("it cannot be read: ") + std::strerror(errno);
    } else if (!S_ISREG(st.st_mode)) {
      why = "not a regular file";
    } else if (static_cast<uint64_t>(st.st_size) > kMaxSaveBytes) {
      why = "too large";
    } else {
      std::string bytes(static_cast<size_t>(st.st_size), '\0');
      size_t got = 0;
      while (got < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) why = std::string("it cannot be read: ") + std::strerror(errno);
        if (n <= 0) break;
        got += static_cast<size_t>(n);
      }
      bytes.resize(got);
      if (why.empty() && (out.state = decodeSave(bytes, &why))) {
        ::close(fd);
        return out;
      }
    }
    ::close(fd);
  }
  // Kept aside, so that it is neither offered again nor lost; an older
  // damaged one makes way.
  std::error_code ec;
  std::filesystem::remove(damagedPath(), ec);
  std::filesystem::rename(path_, damagedPath(), ec);
  out.report = "The saved game " + path_ + " could not be read (" + why + ").";
  if (!ec) out.report += "\nThe damaged file is kept as " + damagedPath() + ".";
  return out;
}

void SaveFile::remove() {
  std::error_code ec;
  std::filesystem::remove(path_, ec);
}

// --- Kept up to date on a host -------------------------------------------------------

GameSaver::GameSaver(TServer& host, std::string path) : host_(host), file_(std::move(path)) {
  host_.engine.onCheckpoint = [this](Checkpoint c) { checkpoint(c); };
}

GameSaver::~GameSaver() { host_.engine.onCheckpoint = nullptr; }

bool GameSaver::saveNow(std::string* error) {
  GameState s;
  if (!host_.engine.saveState(s)) return false;
  std::string why;
  if (file_.write(s, &why)) {
    failing_ = false;
    return true;
  }
  if (!failing_ && onError) onError(why);
  failing_ = true;
  if (error) *error = why;
  return false;
}

void GameSaver::checkpoint(Checkpoint c) {
  if (c == Checkpoint::TrickDone)
    saveNow();
  else
    file_.remove();  // a game started or over leaves nothing to resume
}

}  // namespace ombrix
