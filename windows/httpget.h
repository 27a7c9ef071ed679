// One file fetched over HTTP/1.0: a GET, the body until the server closes
// (or until its Content-Length), relocations followed. Events arrive on the
// user-interface thread as callbacks, while the transfer runs. Over HTTPS the
// server's certificate must check out against the system's authorities.
#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QSslCertificate>
#include <QString>
#include <QUrl>
#include <functional>

class QSslSocket;
class QTimer;

namespace ombrix::windows {

class HttpGet : public QObject {
 public:
  explicit HttpGet(QObject* parent = nullptr);
  ~HttpGet() override;

  // The request's header lines beyond the request line and "Host".
  QString agent, accept;
  // A transfer that receives nothing for this long ends as failed.
  int stallMs = 30000;
  // Only https addresses are fetched, relocations included: what comes over
  // a connection anyone on the way could change is refused.
  bool httpsOnly = false;
  // Authorities trusted beside the system's (a test's own).
  QList<QSslCertificate> extraAuthorities;

  void get(const QUrl& url);
  // Ends a running transfer; onDone follows with a failure.
  void abort();
  bool running() const { return socket_ != nullptr; }
  qint64 received() const { return received_; }
  // Where the transfer is, or was, fetched from, after any relocation.
  QUrl where() const { return url_; }

  std::function<void()> onHeaderLine;  // one header line of the answer arrived
  std::function<void()> onDocBegin;    // the body begins
  // A piece of the body; false when it could not be kept, which ends the
  // transfer as failed.
  std::function<bool(const QByteArray&)> onDocData;
  // The transfer ended; an empty error text is success.
  std::function<void(const QString& error)> onDone;

 private:
  void connectTo(const QUrl& url);
  void readSome();
  bool readHead();
  void closed();
  void finish(const QString& error);

  QSslSocket* socket_ = nullptr;
  QTimer* stall_;
  QUrl url_;
  QByteArray head_;
  bool inBody_ = false;
  qint64 length_ = -1;  // the announced body length; -1 when the close ends it
  qint64 received_ = 0;
  int relocations_ = 0;
};

}  // namespace ombrix::windows
