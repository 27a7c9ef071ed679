// The order of the lobby server's public listing.
//
// Not the order of registration: registrations last as long as their
// connections, and whoever registered many tables first would hold the first
// pages for ever. Tables come by kind (waiting with people in them and a seat
// free, waiting empty, waiting with every seat taken, playing), and within a
// kind the address blocks take turns (every block's first table, then every
// block's second, ...), each table's place among its turn drawn at random
// when it registers. A block with a hundred tables thus puts one in each
// turn, and a table from anywhere else is in the first turn.
#pragma once

#include <cstdint>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "lobbywire/wire.h"

namespace ombrix::lobbyd {

class Listing {
 public:
  enum Kind : uint8_t { WaitingWithPeople, WaitingEmpty, WaitingFull, Playing };
  static Kind kindOf(const tables::TableState& t);
  // A random place, drawn once for a table's life.
  static uint64_t draw();

  // Adds the table, or moves it to another kind.
  void put(uint64_t id, Kind kind, std::string_view block, uint64_t draw);
  void remove(uint64_t id);
  size_t size() const { return entries_.size(); }

  // The tables in listing order. Rebuilt when something changed, at most
  // every `everyMs` (a listing is asked for far more often than thousands
  // of tables change kind); a table's own line is always current, only its
  // place may be that late.
  const std::vector<uint64_t>& order(int64_t now, int64_t everyMs);

 private:
  struct Entry {
    Kind kind;
    uint64_t block;  // a hash of the block: two blocks that collide share turns, nothing worse
    uint64_t draw;
  };
  std::unordered_map<uint64_t, Entry> entries_;
  std::vector<uint64_t> order_;
  bool dirty_ = false;
  bool built_ = false;
  int64_t builtAt_ = 0;
};

}  // namespace ombrix::lobbyd
