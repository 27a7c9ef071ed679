// A solo game saved beside the tally, to be resumed at the next start.
//
// The file is text, one line per part of the state, the format's version
// first and a CRC-32 of everything before it last: a file cut short or
// changed in a byte is refused before any of it is believed, and one that
// reads whole is still held against what a game can reach (checkState). A
// save is written to a temporary file beside the old one and renamed over
// it only once complete and on the disk, so one interrupted at any point
// leaves the previous save whole.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "engine/gamestate.h"

namespace ombrix {

class TServer;

// The save's name, in the folder the tally is kept in.
constexpr const char* kSaveFileName = "ombrixgame.sav";
// The format's version. A reader refuses a version it does not know.
// Version 2 adds the game's log and its starter (the game record of a
// resumed table); a version 1 save still resumes, its record starting at the
// round it resumes in. Version 3 adds the house rules; an older save is a
// game of the design's rules.
constexpr int kSaveVersion = 3;
constexpr int kOldestSaveVersion = 1;
// No save comes near this (a full game's is a few kilobytes); a file larger
// is not read at all.
constexpr size_t kMaxSaveBytes = 64 * 1024;

// `version` other than kSaveVersion writes what an older program wrote (for
// the tests of reading old saves).
std::string encodeSave(const GameState& s, int version = kSaveVersion);
// The state a save holds; nothing, and why in `why`, when it cannot be read
// or does not hold together.
std::optional<GameState> decodeSave(std::string_view bytes, std::string* why = nullptr);

class SaveFile {
 public:
  explicit SaveFile(std::string path) : path_(std::move(path)) {}
  const std::string& path() const { return path_; }
  std::string damagedPath() const { return path_ + ".damaged"; }

  // Writes `s`, making the folder first if need be. False, the old file
  // untouched, and the reason in `error` when it fails.
  bool write(const GameState& s, std::string* error = nullptr);

  struct Loaded {
    std::optional<GameState> state;
    // Set when a file was there and could not be used: what to tell the
    // player. The file has then been moved aside as damagedPath().
    std::string report;
  };
  // What the file holds; nothing when there is none. A file that cannot be
  // read or does not hold together is moved aside (replacing an older
  // damaged one) and reported; it never stops the program.
  Loaded read();
  void remove();

 private:
  std::string path_;
};

// Keeps a solo game's save up to date on its host: written after every
// trick, removed when a game starts or ends. The window saves at its close
// with saveNow().
class GameSaver {
 public:
  GameSaver(TServer& host, std::string path);
  ~GameSaver();
  GameSaver(const GameSaver&) = delete;
  GameSaver& operator=(const GameSaver&) = delete;

  SaveFile& file() { return file_; }
  // Saves the game in progress now; false when there is none or the write failed.
  bool saveNow(std::string* error = nullptr);

  // Told when a save could not be written, once until one succeeds again.
  std::function<void(std::string_view error)> onError;

 private:
  void checkpoint(Checkpoint c);

  TServer& host_;
  SaveFile file_;
  bool failing_ = false;
};

}  // namespace ombrix
