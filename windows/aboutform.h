// The about window: the version (the one every log-in carries), the
// credits and the maker's web site.
#pragma once

#include <QDialog>

class QLabel;

namespace ombrix::windows {

// The maker's web site, which the about window's link and the table's logo open.
extern const char* const kMakerSite;

class Tabout : public QDialog {
 public:
  explicit Tabout(QWidget* parent = nullptr);
  QLabel* version;
  void FlatButton1Click() { hide(); }

 protected:
  void showEvent(QShowEvent* e) override;  // centred on the table window
};

// Opens the maker's web site in the desktop's browser.
void openMakerSite();

}  // namespace ombrix::windows
