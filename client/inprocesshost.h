// What the table window needs of a host that runs in the same process: to
// listen, the port it listens on, a way to show the host's notices, and the
// solo game's save. The host lives below the window's layers; app/ binds the
// two (app/hostbinding.h), so the window's library links no host.
#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ombrix::client {

// A solo game saved when the program last closed, as the table needs it.
struct SavedGame {
  int round = 0;
  // Each scored round's points by seat [1..4], round 1 first: the score
  // card's rows, which no announcement brings back.
  std::vector<std::array<int, 5>> roundPoints;
  // What every table was told of the game, in order, and who started it:
  // the game record's rounds before. Empty when the save kept none.
  struct Told {
    enum Kind { Round, Bid, Play, Trick } kind;
    int a, b;  // Round: dealer, trump card. Bid: seat, bid. Play: seat, card. Trick: winner.
  };
  std::vector<Told> told;
  std::string starter;
};

class InProcessHost {
 public:
  virtual ~InProcessHost() = default;
  // Starts listening; port "0" takes any free one. Throws on failure.
  virtual void listen(const std::string& port) = 0;
  virtual int port() const = 0;
  // The host's message boxes ("Card does't exist"), to be shown without
  // blocking the dispatch.
  virtual void onNotice(std::function<void(std::string_view)> show) = 0;

  // --- The solo game's save ----------------------------------------------------
  // From here on the host keeps a save of its game; returns the game the
  // save holds, if any. A save that cannot be used is moved aside and what
  // to tell the player is put in `report`.
  virtual std::optional<SavedGame> openSave(std::string* report) {
    (void)report;
    return std::nullopt;
  }
  // Puts the game openSave found on the host, before the table connects.
  // False when there was none or the host refused it.
  virtual bool resumeSave() { return false; }
  // The player chose a new game: the save is gone.
  virtual void discardSave() {}
  // Saves the game in progress now (the program is closing).
  virtual void saveNow() {}
};

}  // namespace ombrix::client
