// The lobby download window, shown when a solo game starts: fetch the
// installer of the maker's lobby program over HTTPS and, once the player has
// seen where it came from and its SHA-256 and said so, start it; start the
// lobby if it is installed; or go on with the solo game.
#pragma once

#include <QDialog>
#include <QStringList>
#include <functional>

class QFile;
class QLabel;
class QPushButton;

namespace ombrix::windows {

class HttpGet;

class Tdownload : public QDialog {
 public:
  explicit Tdownload(QWidget* parent = nullptr);
  ~Tdownload() override;

  QString url;        // the installer, on the maker's web server
  QString folder;     // where it is saved: beside the program when it may write there
  QString lobbyPath;  // the lobby program, ombrix-lobby beside the game
  QPushButton *getbutton, *abortbutton;
  QLabel *picture, *infolabel, *infolabel2, *infolabel3;
  int infolabelTag = 0;  // 1 while a download runs, 2 when it was aborted or failed
  HttpGet* HttpClient1;  // fetches the installer; its stall limit can be shortened

  // Ends the program as the table's "Exit" does.
  std::function<void()> exitProgram;
  // Starts a program with its parameters; false when it could not be.
  std::function<bool(const QString& program, const QStringList& args)> startProgram;

  void getbuttonClick();
  void abortbuttonClick();
  void Button1Click() { hide(); }
  // Starts the lobby and ends the program; false when the lobby could not start (said so).
  bool Button2Click();

 protected:
  void showEvent(QShowEvent* e) override;  // centred on the desktop

 private:
  bool keep(const QByteArray& piece);
  void finished(const QString& error);
  // Shows where the installer came from and its SHA-256; runs it on a yes.
  void askToRun(const QString& installer);
  QFile* file_ = nullptr;
  bool writeFailed_ = false;
};

}  // namespace ombrix::windows
