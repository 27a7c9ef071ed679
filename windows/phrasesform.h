// The phrase editor: the nine phrase buttons' texts, stored in the settings
// file when "Done" is pressed. Closing by the frame discards the edits.
#pragma once

#include <QDialog>
#include <array>
#include <functional>

class QLineEdit;

namespace ombrix::windows {

class Tphrases : public QDialog {
 public:
  explicit Tphrases(QWidget* parent = nullptr);
  std::array<QLineEdit*, 10> phrase{};  // phrase1 .. phrase9
  void setPhrase(int n, const QString& text);
  QString text(int n) const;
  // "Done": the table takes the nine texts (and stores them).
  std::function<void(const std::array<QString, 10>& texts)> onDone;
  void SelButton8Click();

 protected:
  void showEvent(QShowEvent* e) override;  // FormActivate: centred on the table
};

}  // namespace ombrix::windows
