// Reading a number from a text field. A field that is not a number raises
// the conversion error, whose text the caller shows; the table window's
// dispatcher stops the handler there and the queue goes on.
#pragma once

#include <QString>
#include <stdexcept>

namespace ombrix::ui {

class ConversionError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

inline int toInt(const QString& s) {
  bool ok = false;
  const int v = s.toInt(&ok);
  if (!ok) throw ConversionError(("'" + s + "' is not a valid integer value").toStdString());
  return v;
}

}  // namespace ombrix::ui
