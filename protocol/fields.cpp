#include "protocol/fields.h"

namespace ombrix::wire {

std::optional<int> parseDecimal(std::string_view text) {
  constexpr size_t kMaxDigits = 9;
  if (text.empty() || text.size() > kMaxDigits) return std::nullopt;
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return value;
}

std::optional<int> parseSigned(std::string_view text) {
  if (text.empty() || text[0] != '-') return parseDecimal(text);
  const auto n = parseDecimal(text.substr(1));
  return n ? std::optional<int>(-*n) : std::nullopt;
}

std::optional<std::string_view> FieldReader::next() {
  const size_t plus = rest_.find('+');
  if (plus == std::string_view::npos) return std::nullopt;
  std::string_view field = rest_.substr(0, plus);
  rest_.remove_prefix(plus + 1);
  return field;
}

std::optional<int> FieldReader::nextInt() { return number(next()); }

std::string_view FieldReader::rest() {
  std::string_view r = rest_;
  rest_ = {};
  return r;
}

std::optional<int> FieldReader::restInt() { return number(rest()); }

std::optional<int> FieldReader::nextSigned() { return number(next(), true); }
std::optional<int> FieldReader::restSigned() { return number(rest(), true); }

std::optional<int> FieldReader::number(std::optional<std::string_view> text, bool maySign) {
  std::optional<int> n = !text ? std::nullopt : maySign ? parseSigned(*text) : parseDecimal(*text);
  if (!n && bad_ && !bad_->number) *bad_ = {true, text.value_or(std::string_view())};
  return n;
}

}  // namespace ombrix::wire
