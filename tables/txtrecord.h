// A table's DNS-SD text record: the strings "key=value" that the service
// "_ombrix._tcp" carries beside its name and port.
//
//   v=1.0.14  players=N  watchers=N  state=waiting|playing  round=R  [game=full|half]
//
// Reading is for records from anyone on the network: keys are compared
// without regard to case and the first of a repeated key counts (as DNS-SD
// has it), unknown keys are passed over, and a record whose numbers are not
// numbers or lie out of range, or whose version is not a version, describes
// no table.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tables/tablestate.h"

namespace ombrix::tables {

inline constexpr std::string_view kServiceType = "_ombrix._tcp";
// Longest version text taken ("1.0.14" and its like).
inline constexpr size_t kMaxVersionBytes = 16;
// A DNS-SD record holds at most this many bytes in one string.
inline constexpr size_t kMaxTxtString = 255;
// Longest house rules text kept: every entry of the LIST, spelled out.
inline constexpr size_t kMaxRulesText = 64;
// Strings of a record looked at; a record of thousands is not read to its end.
inline constexpr size_t kMaxTxtStrings = 64;

std::vector<std::string> txtRecord(const TableState& state);

// The strings of a TXT record as it travels (each after its length byte),
// at most kMaxTxtStrings; a length that runs past the end ends the record.
std::vector<std::string_view> txtStrings(std::string_view rdata);

// The table the strings describe, or nothing (and, in `why`, the reason).
std::optional<TableState> readTxt(const std::vector<std::string_view>& strings, std::string* why = nullptr);

}  // namespace ombrix::tables
