#include "windows/downloadform.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QScreen>

#include "ui/jpeg.h"
#include "ui/msgbox.h"
#include "ui/userfiles.h"
#include "widgets/art.h"
#include "windows/httpget.h"
#include "ui/designscale.h"

namespace ombrix::windows {

// assets/download.jpg, built into the program.
extern const unsigned char kDownloadPicture[];
extern const size_t kDownloadPictureSize;

namespace {

constexpr int kWidth = 420, kHeight = 470;
// Only over HTTPS: a program that came over a connection anyone on the way
// could change is never run.
const char* const kInstallerUrl = "https://www.quarrow.com/lobby/qrwsetup.exe";
// The installer is a Windows program: it starts through the Windows layer,
// as the lobby it installs does, with no parameters, so its own windows
// show the player every step (nothing is installed silently).
const char* const kWindowsLayer = "wine";
const QStringList kRunChoices = {"Run the Installer", "Don't Run It"};

QString sha256Of(const QString& path) {
  QFile f(path);
  QCryptographicHash hash(QCryptographicHash::Sha256);
  if (!f.open(QIODevice::ReadOnly) || !hash.addData(&f)) return {};
  return QString::fromLatin1(hash.result().toHex());
}

QLabel* text(QWidget* parent, const QString& s, int x, int y, int w, int h, const char* name = "") {
  auto* l = new QLabel(s, parent);
  l->setObjectName(name);
  l->setWordWrap(true);
  QFont f("Arial");
  f.setPixelSize(12);
  l->setFont(f);
  l->setGeometry(x, y, w, h);
  return l;
}

QPushButton* button(QWidget* parent, const QString& s, const char* name, int x, int y, int w) {
  auto* b = new QPushButton(s, parent);
  b->setObjectName(name);
  b->setGeometry(x, y, w, 26);
  return b;
}

}  // namespace

Tdownload::Tdownload(QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::WindowStaysOnTopHint), HttpClient1(new HttpGet(this)) {
  setObjectName("Tdownload");
  setWindowTitle("Download The Quarrow Lobby");
  resize(kWidth, kHeight);
  ui::designFill(new widgets::BackgroundPanel(this));
  url = kInstallerUrl;
  folder = ui::userFolder(ui::FileKind::Cache);
  // The lobby is installed beside the game.
  lobbyPath = QCoreApplication::applicationDirPath() + "/ombrix-lobby";
  startProgram = [](const QString& program, const QStringList& args) {
    return QProcess::startDetached(program, args);
  };
  HttpClient1->httpsOnly = true;
  HttpClient1->agent = "Mozilla/3.0 (compatible)";
  HttpClient1->accept = "image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*";
  HttpClient1->onHeaderLine = [this] { infolabel->setText(infolabel->text() + "."); };
  HttpClient1->onDocBegin = [this] { infolabel3->setText("Downloading: " + infolabel2->text()); };
  HttpClient1->onDocData = [this](const QByteArray& piece) { return keep(piece); };
  HttpClient1->onDone = [this](const QString& error) { finished(error); };

  picture = new QLabel(this);
  picture->setObjectName("Image1");
  picture->setPixmap(QPixmap::fromImage(ui::decodeJpeg(QByteArray::fromRawData(
      reinterpret_cast<const char*>(kDownloadPicture), static_cast<qsizetype>(kDownloadPictureSize)))));
  picture->setGeometry((kWidth - 240) / 2, 8, 240, 150);
  text(this,
       "Download The Quarrow Lobby Now to play this  and other exciting games online with other players!", 10,
       162, 400, 32);
  getbutton = button(this, "Download And Install The Quarrow Lobby Now", "getbutton", 10, 198, 288);
  abortbutton = button(this, "Stop Download", "abortbutton", 302, 198, 108);
  abortbutton->setEnabled(false);
  infolabel = text(this, "", 10, 228, 200, 18, "infolabel");
  infolabel3 = text(this, "", 210, 228, 200, 18, "infolabel3");
  infolabel2 = text(this, "", 10, 246, 200, 18, "infolabel2");
  infolabel2->hide();
  connect(getbutton, &QPushButton::clicked, this, [this] { getbuttonClick(); });
  connect(abortbutton, &QPushButton::clicked, this, [this] { abortbuttonClick(); });

  text(this, "To proceed to the game without the ability to play against others click the button below.", 10,
       268, 400, 32);
  connect(button(this, "Play Solo Game", "Button1", 10, 302, 150), &QPushButton::clicked, this,
          [this] { Button1Click(); });
  text(this,
       "Note: Even if you are playing offline, you will need to configure your FIREWALL to allow the game to "
       "access the internet components.",
       10, 332, 400, 32);
  text(
      this,
      "If you already have The Quarrow Lobby and you wish to play with others then click the button below to "
      "close this game and open The Quarrow Lobby.",
      10, 380, 400, 46);
  connect(button(this, "Play with Others", "Button2", 10, 430, 150), &QPushButton::clicked, this,
          [this] { Button2Click(); });
  picture->setScaledContents(true);
  ui::scaleWithWindow(this, {kWidth, kHeight});
}

Tdownload::~Tdownload() {
  HttpClient1->onDone = nullptr;
  HttpClient1->abort();
  delete file_;
}

void Tdownload::getbuttonClick() {
  if (HttpClient1->running()) return;
  if (!url.startsWith("https://")) {  // not even asked for
    infolabel->setText("Download Aborted");
    infolabel3->setText("Only an https address is fetched.");
    infolabelTag = 2;
    return;
  }
  infolabelTag = 1;
  const QString name = url.mid(url.lastIndexOf('/') + 1);
  infolabel2->setText(name);
  ui::makeFolderFor(folder + "/" + name);
  file_ = new QFile(folder + "/" + name);
  // Unbuffered, so that a full disk is seen at the write that meets it.
  if (!file_->open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
    infolabel->setText("Download Aborted");
    infolabelTag = 2;
    delete file_;
    file_ = nullptr;
    return;
  }
  writeFailed_ = false;
  getbutton->setEnabled(false);
  abortbutton->setEnabled(true);
  infolabel->setText("Loading");
  HttpClient1->get(QUrl(url));
}

bool Tdownload::keep(const QByteArray& piece) {
  if (file_->write(piece) != piece.size()) {
    writeFailed_ = true;
    return false;
  }
  infolabel->setText(QString::number(HttpClient1->received()) + " bytes");
  return true;
}

void Tdownload::finished(const QString& error) {
  if (error.isEmpty()) {
    infolabel->setText("Received " + QString::number(file_->size()) + " bytes");
  } else if (infolabelTag != 2) {  // "Stop Download" has said so already
    infolabel->setText("Download Aborted");
    infolabelTag = 2;
  }
  getbutton->setEnabled(true);
  abortbutton->setEnabled(false);
  const QString installer = file_->fileName();
  // A file the disk could not take is no installer: it goes.
  if (writeFailed_)
    file_->remove();
  else
    file_->close();
  delete file_;
  file_ = nullptr;
  if (infolabelTag == 2) return;
  askToRun(installer);
}

void Tdownload::askToRun(const QString& installer) {
  const QString where = HttpClient1->where().toDisplayString();
  const QString sha = sha256Of(installer);
  infolabel3->setText("Downloaded: not run yet");
  getbutton->setEnabled(false);  // the file asked about stays the file run
  const QString text =
      QString("%1 (%2 bytes) came from\n%3\n\nIts SHA-256 is\n%4\n\nRun it now? It starts through Wine and shows "
              "its own windows; nothing is installed without them.")
          .arg(QFileInfo(installer).fileName(), QString::number(QFileInfo(installer).size()), where, sha);
  ui::choice(text, kRunChoices, [this, installer](int answer) {
    getbutton->setEnabled(true);
    if (answer != 0) {
      infolabel3->setText("Not run: kept in " + QFileInfo(installer).absolutePath());
      return;
    }
    infolabel3->setText("Installing");
    if (!startProgram(kWindowsLayer, {installer})) return ui::messageBox("An Error has Occurred.");
    if (exitProgram) exitProgram();
  });
}

void Tdownload::abortbuttonClick() {
  HttpClient1->abort();  // finishes the transfer at once
  infolabel->setText("Download has been aborted.");
  infolabelTag = 2;
  infolabel3->setText("Download Aborted");
}

bool Tdownload::Button2Click() {
  if (QFile::exists(lobbyPath) && startProgram(lobbyPath, {})) {
    if (exitProgram) exitProgram();
    return true;
  }
  ui::messageBox(
      "Please close the game and open the Quarrow Lobby using the icon on your desktop or using the your "
      "Window's "
      "start-up menu.");
  return false;
}

void Tdownload::showEvent(QShowEvent* e) {
  if (const QScreen* s = screen()) move(s->availableGeometry().center() - QPoint(width() / 2, height() / 2));
  QDialog::showEvent(e);
}

}  // namespace ombrix::windows
