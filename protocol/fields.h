// Reading the "+"-separated fields of a command.
//
// Wire rule: a field ends at the next "+". A field that the sender follows with
// "+" is read with next(); a last field without one (free text, or a number at
// the very end) is read with rest(). A next() that finds no "+" fails: the
// sender left off the trailing "+" and the field is not there.
#pragma once

#include <optional>
#include <string_view>

namespace ombrix::wire {

// A non-negative decimal integer: one to nine ASCII digits and nothing else.
// Nine digits keep every accepted value inside a 32-bit int.
std::optional<int> parseDecimal(std::string_view text);
// The same, or "-" and one: a score under house rules may be negative.
std::optional<int> parseSigned(std::string_view text);

// Why a message did not parse, for a receiver that reports it: `number` is
// set when a number field was not a decimal number, and `text` holds that
// field (empty when the field was missing altogether). A missing text field
// leaves `number` false. Only the first failure is kept.
struct BadField {
  bool number = false;
  std::string_view text;
};

class FieldReader {
 public:
  explicit FieldReader(std::string_view fields, BadField* bad = nullptr) : rest_(fields), bad_(bad) {}

  std::optional<std::string_view> next();
  std::optional<int> nextInt();
  std::string_view rest();
  std::optional<int> restInt();
  // A number that may be negative ("-N").
  std::optional<int> nextSigned();
  std::optional<int> restSigned();
  // A number field's text (nothing: the field is missing), noted in the
  // BadField when it is not a decimal number.
  std::optional<int> number(std::optional<std::string_view> text, bool maySign = false);
  bool atEnd() const { return rest_.empty(); }

 private:
  std::string_view rest_;
  BadField* bad_;
};

}  // namespace ombrix::wire
