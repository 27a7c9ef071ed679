#include "lobbyd/listing.h"

#include <algorithm>
#include <functional>
#include <random>
#include <string>
#include <tuple>

namespace ombrix::lobbyd {

using namespace lobbywire;

Listing::Kind Listing::kindOf(const tables::TableState& t) {
  if (t.stage == tables::Stage::Playing) return Playing;
  if (t.players == 0) return WaitingEmpty;
  return t.players >= kMaxPlayers ? WaitingFull : WaitingWithPeople;
}

uint64_t Listing::draw() {
  // Seeded from the system's random source once: places need not be secret,
  // only beyond a registrant's choosing.
  static std::mt19937_64 generator = [] {
    uint64_t seed;
    secureRandom(&seed, sizeof seed);
    return std::mt19937_64(seed);
  }();
  return generator();
}

void Listing::put(uint64_t id, Kind kind, std::string_view block, uint64_t draw) {
  auto [it, fresh] = entries_.try_emplace(id, Entry{kind, std::hash<std::string_view>{}(block), draw});
  if (fresh || it->second.kind != kind) dirty_ = true;
  it->second.kind = kind;
}

void Listing::remove(uint64_t id) {
  if (entries_.erase(id)) dirty_ = true;
}

const std::vector<uint64_t>& Listing::order(int64_t now, int64_t everyMs) {
  if (!dirty_ || (built_ && now >= builtAt_ && now - builtAt_ < everyMs && !order_.empty())) return order_;
  struct Row {
    Kind kind;
    uint64_t block, draw, id;
    uint32_t turn;
  };
  std::vector<Row> rows;
  rows.reserve(entries_.size());
  for (const auto& [id, e] : entries_) rows.push_back({e.kind, e.block, e.draw, id, 0});
  // Each block's tables of one kind in their drawn order, numbered: their turns.
  std::sort(rows.begin(), rows.end(),
            [](const Row& a, const Row& b) { return std::tie(a.kind, a.block, a.draw, a.id) < std::tie(b.kind, b.block, b.draw, b.id); });
  for (size_t i = 1; i < rows.size(); ++i)
    if (rows[i].kind == rows[i - 1].kind && rows[i].block == rows[i - 1].block) rows[i].turn = rows[i - 1].turn + 1;
  std::sort(rows.begin(), rows.end(),
            [](const Row& a, const Row& b) { return std::tie(a.kind, a.turn, a.draw, a.id) < std::tie(b.kind, b.turn, b.draw, b.id); });
  order_.clear();
  order_.reserve(rows.size());
  for (const Row& r : rows) order_.push_back(r.id);
  dirty_ = false;
  built_ = true;
  builtAt_ = now;
  return order_;
}

}  // namespace ombrix::lobbyd
