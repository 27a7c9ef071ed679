#include "windows/httpget.h"

#include <QSslConfiguration>
#include <QSslSocket>
#include <QTimer>
#include <algorithm>
#include <utility>

namespace ombrix::windows {

namespace {

constexpr int kMaxRelocations = 5;         // more is a loop between servers
constexpr qsizetype kMaxHead = 64 * 1024;  // status and header lines; no server sends more
constexpr int kHttpsPort = 443, kHttpPort = 80;

}  // namespace

HttpGet::HttpGet(QObject* parent) : QObject(parent), stall_(new QTimer(this)) {
  stall_->setSingleShot(true);
  connect(stall_, &QTimer::timeout, this, [this] { finish("nothing arrived for too long"); });
}

HttpGet::~HttpGet() {
  if (socket_) {
    socket_->disconnect(this);
    socket_->abort();
  }
}

void HttpGet::get(const QUrl& url) {
  if (running()) return;
  relocations_ = 0;
  if (httpsOnly && url.scheme() != "https") {
    url_ = url;
    if (onDone) onDone("only an https address is fetched");
    return;
  }
  connectTo(url);
}

void HttpGet::abort() {
  if (running()) finish("aborted");
}

void HttpGet::connectTo(const QUrl& url) {
  url_ = url;
  head_.clear();
  inBody_ = false;
  length_ = -1;
  received_ = 0;
  const bool secure = url.scheme() == "https";
  socket_ = new QSslSocket(this);
  if (!extraAuthorities.isEmpty()) {
    QSslConfiguration tls = socket_->sslConfiguration();
    tls.addCaCertificates(extraAuthorities);
    socket_->setSslConfiguration(tls);
  }
  auto request = [this] {
    QByteArray path = url_.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority | QUrl::RemoveFragment);
    if (path.isEmpty()) path = "/";
    QByteArray host = url_.host(QUrl::FullyEncoded).toLatin1();
    if (url_.port() >= 0) host += ":" + QByteArray::number(url_.port());
    socket_->write("GET " + path + " HTTP/1.0\r\nHost: " + host + "\r\nUser-Agent: " + agent.toLatin1() +
                   "\r\nAccept: " + accept.toLatin1() + "\r\n\r\n");
  };
  connect(socket_, secure ? &QSslSocket::encrypted : &QSslSocket::connected, this, request);
  connect(socket_, &QSslSocket::readyRead, this, [this] { readSome(); });
  connect(socket_, &QSslSocket::disconnected, this, [this] { closed(); });
  connect(socket_, &QSslSocket::errorOccurred, this, [this](QAbstractSocket::SocketError e) {
    if (e != QAbstractSocket::RemoteHostClosedError && socket_) finish(socket_->errorString());
  });
  stall_->start(stallMs);
  const quint16 port = url.port(secure ? kHttpsPort : kHttpPort);
  if (secure)
    socket_->connectToHostEncrypted(url.host(), port);
  else
    socket_->connectToHost(url.host(), port);
}

void HttpGet::readSome() {
  if (!socket_) return;
  stall_->start(stallMs);
  QByteArray data = socket_->readAll();
  if (!inBody_) {
    head_ += data;
    if (!readHead()) return;
    data = std::exchange(head_, {});  // what came after the head
  }
  if (length_ >= 0) data.truncate(std::min<qint64>(data.size(), length_ - received_));
  if (!data.isEmpty()) {
    received_ += data.size();
    if (onDocData && !onDocData(data)) return finish("the received data could not be kept");
    if (!socket_) return;
  }
  if (length_ >= 0 && received_ >= length_) finish({});
}

// The status and header lines, once all are there; true when the body
// begins. A relocation starts over at the new place.
bool HttpGet::readHead() {
  qsizetype end = head_.indexOf("\r\n\r\n"), gap = 4;
  const qsizetype bare = head_.indexOf("\n\n");  // some servers end lines with LF alone
  if (bare >= 0 && (end < 0 || bare < end)) end = bare, gap = 2;
  if (end < 0) {
    if (head_.size() > kMaxHead) finish("the answer is no HTTP");
    return false;
  }
  const QList<QByteArray> lines = head_.left(end).split('\n');
  head_.remove(0, end + gap);
  const QList<QByteArray> status = lines[0].trimmed().split(' ');
  bool ok = false;
  const int code = status.value(1).toInt(&ok);
  if (!status[0].startsWith("HTTP/") || !ok) {
    finish("the answer is no HTTP");
    return false;
  }
  QByteArray location;
  for (const QByteArray& line : lines) {
    if (onHeaderLine) onHeaderLine();
    if (!socket_) return false;
    const qsizetype colon = line.indexOf(':');
    if (colon < 0) continue;
    const QByteArray name = line.left(colon).trimmed().toLower(), value = line.mid(colon + 1).trimmed();
    if (name == "content-length") {
      const qint64 n = value.toLongLong(&ok);
      length_ = ok && n >= 0 ? n : -1;  // an unreadable length leaves the close to end the body
    }
    if (name == "location") location = value;
  }
  if (code >= 300 && code < 400 && !location.isEmpty()) {
    const QUrl next = url_.resolved(QUrl::fromEncoded(location));
    if (++relocations_ > kMaxRelocations || (next.scheme() != "http" && next.scheme() != "https")) {
      finish("relocated too often or to no web address");
      return false;
    }
    if (httpsOnly && next.scheme() != "https") {
      finish("relocated to an address without https");
      return false;
    }
    QSslSocket* old = std::exchange(socket_, nullptr);
    old->disconnect(this);
    old->abort();
    old->deleteLater();
    connectTo(next);
    return false;
  }
  if (code < 200 || code >= 300) {
    finish("the server answered " + QString::fromLatin1(lines[0].trimmed()));
    return false;
  }
  inBody_ = true;
  if (onDocBegin) onDocBegin();
  return socket_ != nullptr;
}

void HttpGet::closed() {
  if (!socket_) return;
  readSome();
  if (!socket_) return;
  if (!inBody_)
    finish("the connection closed before the answer");
  else if (length_ >= 0 && received_ < length_)
    finish("the connection closed before the whole file");
  else
    finish({});
}

void HttpGet::finish(const QString& error) {
  stall_->stop();
  if (QSslSocket* s = std::exchange(socket_, nullptr)) {
    s->disconnect(this);
    s->abort();
    s->deleteLater();
  }
  if (onDone) onDone(error);
}

}  // namespace ombrix::windows
