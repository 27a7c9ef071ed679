// The table window's side of the wire: single-byte text both ways, and the
// fields of an announcement read through the command catalogue.
#pragma once

#include <QString>
#include <optional>
#include <string>
#include <string_view>

#include "protocol/commands.h"
#include "ui/numbers.h"

namespace ombrix::client {

using ui::ConversionError;

// A text as the wire carries it: Latin-1, with "?" for a character Latin-1
// lacks and for the byte 255 (it would end the message), and a space for a
// line break (a table at "1.0.14" ends a message there).
std::string toWire(const QString& text);
inline QString fromWire(std::string_view bytes) {
  return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

// An announcement the catalogue could not read: the dispatcher drops it.
struct Dropped {};

// The parsed fields, or the handler stops: a number field that is not a
// number raises the conversion error (shown, and the queue goes on); any
// other damage drops the command silently.
template <class T>
T need(std::optional<T> parsed, const wire::BadField& bad) {
  if (parsed) return std::move(*parsed);
  if (bad.number)
    throw ConversionError(("'" + fromWire(bad.text) + "' is not a valid integer value").toStdString());
  throw Dropped{};
}

}  // namespace ombrix::client
