// Reading a command's fields in the table window. A number field that is not
// a number raises ui::ConversionError (see ui/numbers.h).
#pragma once

#include <QString>
#include <QStringList>

#include "ui/numbers.h"

namespace ombrix::client {

using ui::ConversionError;
using ui::toInt;

// For the bid box: the number, or kNotANumber after showing the error.
constexpr int kNotANumber = -2147483647 - 1;
int toIntOrBox(const QString& s);

class Fields {
 public:
  explicit Fields(const QString& data) : data_(data), parts_(data.split('+')) {}
  QString s(int k) const { return k < parts_.size() ? parts_[k] : QString(); }
  int i(int k) const { return toInt(s(k)); }
  int count() const { return static_cast<int>(parts_.size()); }
  // Everything from field k on, "+" included (free-text last fields).
  QString rest(int k) const {
    int at = 0;
    for (int j = 0; j < k; ++j) {
      at = data_.indexOf('+', at);
      if (at < 0) return {};
      ++at;
    }
    return data_.mid(at);
  }

 private:
  QString data_;
  QStringList parts_;
};

}  // namespace ombrix::client
