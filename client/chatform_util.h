// Reading a command's fields in the table window. A number field that is not
// a number raises the conversion error, whose text the dispatcher shows; the
// handler stops there and the queue goes on.
#pragma once

#include <QString>
#include <QStringList>
#include <stdexcept>

namespace ombrix::client {

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
