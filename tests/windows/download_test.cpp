// The lobby download window against a small HTTPS server on a free port,
// whose certificate (tests/data/tls/) only the window under test trusts.
#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include "tests/support/qtloop.h"
#include "ui/msgbox.h"
#include "windows/downloadform.h"
#include "windows/httpget.h"

namespace ombrix::windows {
namespace {

QByteArray readData(const char* name) {
  QFile f(QString(OMBRIX_TEST_DATA) + "/tls/" + name);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QSslCertificate testCertificate() { return QSslCertificate(readData("localhost.crt")); }

// Answers every request with `head` and then `body`; with `hold` it keeps
// the connection open after the body's first half, as a slow server would.
// Over TLS unless `plain`.
struct Server {
  explicit Server(QByteArray head, QByteArray body, bool hold = false, bool plain = false) : plain(plain) {
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setLocalCertificate(testCertificate());
    tls.setPrivateKey(QSslKey(readData("localhost.key"), QSsl::Ec));
    listener.setSslConfiguration(tls);
    QTcpServer* accepting = plain ? static_cast<QTcpServer*>(&bare) : &listener;
    accepting->listen(QHostAddress::LocalHost, 0);
    port = accepting->serverPort();
    QObject::connect(accepting, &QTcpServer::pendingConnectionAvailable, [this, accepting, head, body, hold] {
      QTcpSocket* s = accepting->nextPendingConnection();
      QObject::connect(s, &QTcpSocket::readyRead, s, [this, s, head, body, hold] {
        request += s->readAll();
        if (!request.contains("\r\n\r\n")) return;
        s->write(head + "\r\n");
        s->write(hold ? body.left(body.size() / 2) : body);
        if (!hold) s->disconnectFromHost();
      });
    });
  }
  QString url() const {
    return QString("%1://127.0.0.1:%2/lobby/qrwsetup.exe").arg(plain ? "http" : "https").arg(port);
  }
  bool plain;
  QSslServer listener;
  QTcpServer bare;
  quint16 port = 0;
  QByteArray request;
};

struct Download : ::testing::Test {
  void SetUp() override {
    ui::setMessageBoxSink([this](const QString& t, std::function<void()> then) {
      boxes.push_back(t);
      if (then) then();
    });
    ui::setChoiceSink([this](const QString& t, const QStringList& buttons, std::function<void(int)> answer) {
      asked.push_back(t);
      EXPECT_EQ(buttons.value(0), "Run the Installer");
      answer(run ? 0 : 1);
    });
    window.folder = dir.path();
    window.lobbyPath = dir.filePath("no-lobby-here.exe");
    window.HttpClient1->extraAuthorities = {testCertificate()};
    window.startProgram = [this](const QString& p, const QStringList& a) {
      started.push_back((p + " " + a.join(' ')).trimmed());
      return startWorks;
    };
    window.exitProgram = [this] { exited = true; };
  }
  void TearDown() override {
    ui::setMessageBoxSink({});
    ui::setChoiceSink({});
  }
  void fetch(const QString& url) {
    window.url = url;
    window.getbuttonClick();
    ASSERT_TRUE(test::waitFor([&] { return window.getbutton->isEnabled(); }));
  }
  QTemporaryDir dir;
  Tdownload window;
  std::vector<QString> boxes, asked, started;
  bool run = true, startWorks = true, exited = false;
};

TEST_F(Download, AnInstallerIsRunOnlyWhenThePlayerSaysSoHavingSeenItsOriginAndHash) {
  const QByteArray body(5000, 'x');
  Server server("HTTP/1.0 200 OK\r\nContent-Length: 5000\r\nContent-Type: application/octet-stream\r\n",
                body);
  run = false;
  window.url = server.url();
  window.getbuttonClick();
  EXPECT_FALSE(window.getbutton->isEnabled());
  EXPECT_TRUE(window.abortbutton->isEnabled());
  ASSERT_TRUE(test::waitFor([&] { return window.getbutton->isEnabled(); }));
  EXPECT_TRUE(server.request.startsWith("GET /lobby/qrwsetup.exe HTTP/1.0\r\n"));
  EXPECT_TRUE(server.request.contains("User-Agent: Mozilla/3.0 (compatible)\r\n"));
  EXPECT_TRUE(
      server.request.contains("Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*\r\n"));
  EXPECT_EQ(window.infolabel->text(), "Received 5000 bytes");
  QFile saved(dir.filePath("qrwsetup.exe"));
  ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
  EXPECT_EQ(saved.readAll(), body);
  // Asked, told where from and the hash; a no runs nothing and keeps the file.
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_TRUE(asked[0].contains(server.url())) << asked[0].toStdString();
  EXPECT_TRUE(asked[0].contains(QCryptographicHash::hash(body, QCryptographicHash::Sha256).toHex()));
  EXPECT_TRUE(started.empty());
  EXPECT_FALSE(exited);
  EXPECT_TRUE(window.infolabel3->text().startsWith("Not run"));

  run = true;
  fetch(server.url());
  EXPECT_EQ(asked.size(), 2u);
  EXPECT_EQ(window.infolabel3->text(), "Installing");
  // A Windows installer, started the way the lobby is, with its own windows.
  EXPECT_EQ(started, std::vector<QString>{"wine " + dir.filePath("qrwsetup.exe")});
  EXPECT_TRUE(exited);
}

TEST_F(Download, NothingComesOverAConnectionThatIsNotAuthenticated) {
  // A plain address is not even asked for.
  Server plain("HTTP/1.0 200 OK\r\nContent-Length: 10\r\n", "0123456789", false, true);
  fetch(plain.url());
  EXPECT_TRUE(plain.request.isEmpty());
  EXPECT_EQ(window.infolabel->text(), "Download Aborted");
  // Nor is one an https server sends the window to.
  Server downgrade("HTTP/1.0 302 Found\r\nLocation: " + plain.url().toLatin1() + "\r\n", "");
  fetch(downgrade.url());
  EXPECT_FALSE(downgrade.request.isEmpty());
  EXPECT_TRUE(plain.request.isEmpty());
  EXPECT_EQ(window.infolabel->text(), "Download Aborted");
  // A certificate the window does not trust ends the transfer before the request.
  Server stranger("HTTP/1.0 200 OK\r\nContent-Length: 10\r\n", "0123456789");
  window.HttpClient1->extraAuthorities.clear();
  fetch(stranger.url());
  EXPECT_TRUE(stranger.request.isEmpty());
  EXPECT_EQ(window.infolabel->text(), "Download Aborted");
  EXPECT_TRUE(asked.empty());
  EXPECT_TRUE(started.empty());
  EXPECT_FALSE(exited);
}

TEST_F(Download, AnInstallerThatWillNotStartIsReported) {
  Server server("HTTP/1.0 200 OK\r\nContent-Length: 10\r\n", "0123456789");
  window.url = server.url();
  startWorks = false;
  window.getbuttonClick();
  ASSERT_TRUE(test::waitFor([&] { return window.getbutton->isEnabled(); }));
  EXPECT_EQ(boxes, std::vector<QString>{"An Error has Occurred."});
  EXPECT_FALSE(exited);
}

TEST_F(Download, StoppingOrFailingStartsNothing) {
  Server slow("HTTP/1.0 200 OK\r\nContent-Length: 100000\r\n", QByteArray(100000, 'y'), true);
  window.url = slow.url();
  window.getbuttonClick();
  ASSERT_TRUE(test::waitFor([&] { return window.infolabel->text().endsWith(" bytes"); }));
  window.abortbuttonClick();
  EXPECT_EQ(window.infolabel->text(), "Download has been aborted.");
  EXPECT_EQ(window.infolabel3->text(), "Download Aborted");
  EXPECT_EQ(window.infolabelTag, 2);
  EXPECT_TRUE(window.getbutton->isEnabled());
  EXPECT_FALSE(window.abortbutton->isEnabled());

  Server missing("HTTP/1.0 404 Not Found\r\nContent-Length: 0\r\n", "");
  window.url = missing.url();
  window.getbuttonClick();
  ASSERT_TRUE(test::waitFor([&] { return window.getbutton->isEnabled(); }));
  EXPECT_EQ(window.infolabel->text(), "Download Aborted");
  EXPECT_TRUE(started.empty());
  EXPECT_FALSE(exited);
}

TEST_F(Download, ARelocationIsFollowedAndABodyCutShortFails) {
  Server target("HTTP/1.0 200 OK\r\n", "the installer");  // no length: the close ends it
  Server moved("HTTP/1.0 302 Found\r\nLocation: " + target.url().toLatin1() + "\r\n", "");
  window.url = moved.url();
  window.getbuttonClick();
  ASSERT_TRUE(test::waitFor([&] { return window.getbutton->isEnabled(); }));
  EXPECT_EQ(window.infolabel->text(), "Received 13 bytes");
  EXPECT_EQ(started.size(), 1u);

  Server cut("HTTP/1.0 200 OK\r\nContent-Length: 100\r\n", "only part");
  window.url = cut.url();
  window.getbuttonClick();
  ASSERT_TRUE(test::waitFor([&] { return window.getbutton->isEnabled(); }));
  EXPECT_EQ(window.infolabel->text(), "Download Aborted");
  EXPECT_EQ(started.size(), 1u);
}

TEST_F(Download, ATransferThatStallsIsAborted) {
  Server slow("HTTP/1.0 200 OK\r\nContent-Length: 100000\r\n", QByteArray(100000, 'y'), true);
  window.url = slow.url();
  window.HttpClient1->stallMs = 50;  // the real limit, shortened
  window.getbuttonClick();
  ASSERT_TRUE(test::waitFor([&] { return window.getbutton->isEnabled(); }));
  EXPECT_EQ(window.infolabel->text(), "Download Aborted");
  EXPECT_EQ(window.infolabelTag, 2);
  EXPECT_FALSE(window.abortbutton->isEnabled());
  EXPECT_TRUE(started.empty());
  EXPECT_FALSE(exited);
}

TEST_F(Download, AFailedWriteAbortsAndRemovesThePartialFile) {
  // The installer's place is a device that is always full.
  const QString installer = dir.filePath("qrwsetup.exe");
  ASSERT_TRUE(QFile::link("/dev/full", installer));
  Server server("HTTP/1.0 200 OK\r\nContent-Length: 5000\r\n", QByteArray(5000, 'x'));
  window.url = server.url();
  window.getbuttonClick();
  ASSERT_TRUE(test::waitFor([&] { return window.getbutton->isEnabled(); }));
  EXPECT_EQ(window.infolabel->text(), "Download Aborted");
  EXPECT_EQ(window.infolabelTag, 2);
  EXPECT_FALSE(QFileInfo(installer).exists() || QFileInfo(installer).isSymLink());
  EXPECT_TRUE(started.empty());
  EXPECT_FALSE(exited);
}

TEST_F(Download, PlayingWithOthersNeedsTheLobbyInstalled) {
  window.Button2Click();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_TRUE(boxes[0].startsWith("Please close the game and open the Quarrow Lobby"));
  EXPECT_FALSE(exited);
  QFile lobby(window.lobbyPath);
  ASSERT_TRUE(lobby.open(QIODevice::WriteOnly));
  lobby.close();
  window.Button2Click();
  EXPECT_EQ(started, std::vector<QString>{window.lobbyPath});
  EXPECT_TRUE(exited);
  EXPECT_FALSE(window.picture->pixmap().isNull());  // the JPEG picture decoded
  EXPECT_EQ(window.picture->pixmap().width(), 240);
}

}  // namespace
}  // namespace ombrix::windows
