// The help window: a few pages of the game's documentation, one at a time,
// chosen by the buttons on its left.
#pragma once

#include <QDialog>
#include <functional>
#include <map>

class QLabel;
class QPushButton;
class QTextBrowser;

namespace ombrix::windows {

class Thelp : public QDialog {
 public:
  explicit Thelp(QWidget* parent = nullptr);
  QLabel* label_caption;
  std::map<int, QTextBrowser*> memo;  // memo1 .. memo4, memo9, memo10, by Tag
  // Shows the page of the button's Tag and its caption.
  void SelButton1Click(QPushButton* button);
  // "About": the table's about window instead of a page.
  std::function<void()> SelButton7Click;
  void FlatButton1Click() { hide(); }

 protected:
  void showEvent(QShowEvent* e) override;  // centred on the table window
};

}  // namespace ombrix::windows
