// The table window's side of the wire: single-byte text both ways.
#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace ombrix::client {

// A text as the wire carries it: Latin-1, with "?" for a character Latin-1
// lacks and for the byte 255 (it would end the message), and a space for a
// line break (a table at "1.0.14" ends a message there).
std::string toWire(const QString& text);
inline QString fromWire(std::string_view bytes) {
  return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

}  // namespace ombrix::client
