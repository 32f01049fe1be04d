#include "shell/connection.h"

#include <QHostAddress>
#include <QScopedValueRollback>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QtEndian>

#include "protocol/frame.h"
#include "protocol/packet_stream.h"
#include "shell/remote_error.h"

namespace {

bool isLoopback(const QString& host) {
  return host == u"localhost" || QHostAddress(host).isLoopback();
}

QString handshakeFailure(const QSslSocket& socket) {
  QStringList reasons;
  for (const QSslError& error : socket.sslHandshakeErrors()) reasons << error.errorString();
  return reasons.isEmpty() ? socket.errorString() : reasons.join(QStringLiteral("；"));
}

}  // namespace

std::optional<ServerAddress> ServerAddress::parse(const QString& text) {
  ServerAddress address;
  QString rest = text.trimmed();
  std::optional<bool> tls;
  for (const auto& [scheme, secure] : {std::pair{QLatin1StringView("tls://"), true},
                                       std::pair{QLatin1StringView("tcp://"), false}})
    if (rest.startsWith(scheme, Qt::CaseInsensitive)) {
      rest = rest.mid(scheme.size());
      tls = secure;
    }
  const qsizetype colon = rest.lastIndexOf(u':');
  const bool bracketed = rest.startsWith(u'[');
  const qsizetype close = rest.indexOf(u']');
  // "[::1]:7070", "::1" (no port), "host:7070", "host"
  const bool hasPort =
      bracketed ? close >= 0 && colon > close : colon >= 0 && rest.count(u':') == 1;
  address.host = hasPort ? rest.left(colon) : rest;
  if (bracketed) address.host = address.host.mid(1, (hasPort ? colon : rest.size()) - 2);
  if (hasPort) {
    bool ok = false;
    const uint port = rest.mid(colon + 1).toUInt(&ok);
    if (!ok || port == 0 || port > 65535) return std::nullopt;
    address.port = quint16(port);
  }
  if (address.host.isEmpty()) return std::nullopt;
  address.tls = tls.value_or(!isLoopback(address.host));
  return address;
}

std::optional<ServerAddress> ServerAddress::fromOptions(const QString& text,
                                                        const QString& caFile) {
  std::optional<ServerAddress> address = text.isEmpty() ? ServerAddress{} : parse(text);
  if (address && !caFile.isEmpty()) {
    address->tls = true;
    address->caFile = caFile;
  }
  return address;
}

// A reply being read in parts: where its rows go and who follows them.
struct Connection::Parts {
  explicit Parts(protocol::CompactPacket& into) : reader(into) {}
  protocol::PacketReader reader;
  Arrived arrived;        // none: a synchronous open reads every part itself
  bool dropping = false;  // nobody wants the rows: the frames are read and dropped
};

Connection::Connection() = default;
Connection::~Connection() = default;

Connection& Connection::shared() {
  static Connection connection;
  return connection;
}

void Connection::open(const ServerAddress& address) {
  close();
  address_ = address;
  try {
    connectSocket();
  } catch (...) {
    address_.reset();
    throw;
  }
}

void Connection::connectSocket() {
  drop();
  const ServerAddress& address = *address_;
  const QString where = address.toString();
  if (address.tls) {
    auto socket = std::make_unique<QSslSocket>();
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    if (!address.caFile.isEmpty()) {
      const QList<QSslCertificate> authorities = QSslCertificate::fromPath(address.caFile);
      if (authorities.isEmpty())
        throw RemoteError(QStringLiteral("无法读取证书文件 %1").arg(address.caFile));
      configuration.setCaCertificates(authorities);
    }
    configuration.setPeerVerifyMode(QSslSocket::VerifyPeer);
    configuration.setProtocol(QSsl::TlsV1_2OrLater);
    socket->setSslConfiguration(configuration);
    socket->connectToHostEncrypted(address.host, address.port);
    if (!socket->waitForEncrypted(kConnectTimeoutMs)) {
      const bool reached = socket->state() != QAbstractSocket::UnconnectedState ||
                           !socket->sslHandshakeErrors().isEmpty();
      const QString reason = handshakeFailure(*socket);
      socket->abort();
      throw RemoteError(
          reached
              ? QStringLiteral("无法验证应用服务器 %1 的身份，连接已拒绝：%2").arg(where, reason)
              : QStringLiteral("无法连接到应用服务器 %1：%2").arg(where, reason));
    }
    socket_ = std::move(socket);
  } else {
    socket_ = std::make_unique<QTcpSocket>();
    socket_->connectToHost(address.host, address.port);
    if (!socket_->waitForConnected(kConnectTimeoutMs)) {
      const QString reason = socket_->errorString();
      drop();
      throw RemoteError(QStringLiteral("无法连接到应用服务器 %1：%2").arg(where, reason));
    }
  }
  watch(*socket_);
  QString error;
  bool sent = false;
  const std::optional<QByteArray> body = transfer(protocol::Hello{}.toCbor(), &error, &sent);
  const std::optional<QCborMap> reply =
      body ? protocol::parseFrameBody(*body, &error) : std::nullopt;
  if (reply) {
    if (const std::optional<QString> refusal = protocol::replyError(*reply)) error = *refusal;
  }
  if (!reply || protocol::replyError(*reply)) {
    drop();
    throw RemoteError(error);
  }
}

void Connection::reconnect() {
  try {
    connectSocket();
  } catch (const RemoteError& e) {
    throw RemoteError(QStringLiteral("与应用服务器的连接已断开，重新连接失败：%1").arg(e.reason()));
  }
  if (!credentials_) return;
  QString error;
  bool sent = false;
  const std::optional<QByteArray> body = transfer(credentials_->toCbor(), &error, &sent);
  std::optional<QCborMap> reply = body ? protocol::parseFrameBody(*body, &error) : std::nullopt;
  if (reply && protocol::replyError(*reply)) error = *protocol::replyError(*reply);
  if (reply && !protocol::replyError(*reply) &&
      protocol::SignInReply::fromCbor(*reply).outcome == protocol::SignInOutcome::SignedIn)
    return;
  drop();
  throw RemoteError(QStringLiteral("与应用服务器的连接已断开，重新登录失败%1")
                        .arg(error.isEmpty() ? QString() : QStringLiteral("：") + error));
}

void Connection::drop() {
  if (socket_) {
    socket_->disconnect();  // no more signals from a socket being dropped
    socket_->abort();
  }
  socket_.reset();
}

void Connection::close() {
  parts_.reset();
  if (connected()) {
    QString ignored;
    protocol::writeFrame(*socket_, protocol::byeRequest(), 1000, &ignored);
    socket_->disconnectFromHost();
  }
  drop();
  address_.reset();
  credentials_.reset();
}

bool Connection::connected() const {
  return socket_ && socket_->state() == QAbstractSocket::ConnectedState;
}

bool Connection::stale() {
  if (!connected() || socket_->bytesAvailable() > 0) return true;
  // Takes in a close (or a farewell frame) that has arrived but not been noticed yet.
  socket_->waitForReadyRead(0);
  return !connected() || socket_->bytesAvailable() > 0;
}

std::optional<QByteArray> Connection::transfer(const QCborMap& request, QString* error,
                                               bool* sent) {
  const QScopedValueRollback<bool> waiting(waiting_, true);
  *sent = protocol::writeFrame(*socket_, request, kTimeoutMs, error);
  return *sent ? protocol::readFrameBody(*socket_, kTimeoutMs, error) : std::nullopt;
}

QByteArray Connection::exchange(const QCborMap& request, Repeat repeat) {
  if (!address_) throw RemoteError(QStringLiteral("未连接到应用服务器"));
  finishParts();
  bool reconnected = false;
  if (!socket_ || stale()) {
    reconnect();
    reconnected = true;
  }
  while (true) {
    QString error;
    bool sent = false;
    if (std::optional<QByteArray> body = transfer(request, &error, &sent)) return std::move(*body);
    const bool lost = !connected();
    drop();
    // A reply that is late may still come, and a request that left may have been carried out.
    if (sent && repeat == Repeat::Unsafe)
      throw RemoteError(
          QStringLiteral(
              "与应用服务器的连接中断，无法确定这次修改是否已保存，请重新打开后核对（%1）")
              .arg(error));
    if (!lost || reconnected) throw RemoteError(error);
    reconnect();
    reconnected = true;
  }
}

QCborMap Connection::call(const QCborMap& request, Repeat repeat) {
  QString error;
  const std::optional<QCborMap> reply = protocol::parseFrameBody(exchange(request, repeat), &error);
  if (!reply) {
    drop();
    throw RemoteError(error);
  }
  if (const auto refusal = protocol::replyError(*reply)) throw RemoteError(*refusal);
  return *reply;
}

protocol::SignInReply Connection::signIn(const QString& id, const QString& password) {
  const protocol::SignInRequest request{id, password};
  // A failed sign-in signs the session out on the server; a reconnect does the same.
  credentials_.reset();
  const protocol::SignInReply reply =
      protocol::SignInReply::fromCbor(call(request.toCbor(), Repeat::Safe));
  if (reply.outcome == protocol::SignInOutcome::SignedIn) credentials_ = request;
  return reply;
}

void Connection::open(const protocol::OpenRequest& request, protocol::CompactPacket& into) {
  if (openInParts(request, into, {})) return;
  finishParts();
}

bool Connection::openInParts(const protocol::OpenRequest& request, protocol::CompactPacket& into,
                             Arrived arrived) {
  auto parts = std::make_unique<Parts>(into);
  switch (parts->reader.read(exchange(request.toCbor(), Repeat::Safe))) {
    case protocol::PacketReader::State::More:
      parts->arrived = std::move(arrived);
      parts_ = std::move(parts);
      return false;
    case protocol::PacketReader::State::Done:
      return true;
    case protocol::PacketReader::State::Malformed:
      drop();
      [[fallthrough]];
    case protocol::PacketReader::State::Refused:
      throw RemoteError(parts->reader.error());
  }
  return true;
}

void Connection::dropParts() {
  if (parts_) parts_->dropping = true;
}

void Connection::watch(QTcpSocket& socket) {
  QObject::connect(&socket, &QIODevice::readyRead, &socket, [this] { readArrivedParts(); });
  QObject::connect(&socket, &QAbstractSocket::disconnected, &socket, [this] {
    if (!parts_ || waiting_) return;
    drop();
    endParts(QStringLiteral("与应用服务器的连接已断开"));
  });
}

void Connection::readArrivedParts() {
  if (!parts_ || waiting_) return;
  bool took = false;
  while (parts_ && socket_->bytesAvailable() >= 4) {
    const quint32 length = qFromBigEndian<quint32>(socket_->peek(4).constData());
    if (socket_->bytesAvailable() < 4 + qint64(length)) break;
    QString error;
    const std::optional<QByteArray> body = protocol::readFrameBody(*socket_, kTimeoutMs, &error);
    if (!body) {
      drop();
      endParts(error);
      return;
    }
    took = true;
    if (!takePart(*body)) return;
  }
  if (took && parts_ && parts_->arrived) parts_->arrived(false, QString());
}

void Connection::finishParts() {
  while (parts_) {
    QString error;
    std::optional<QByteArray> body;
    {
      const QScopedValueRollback<bool> waiting(waiting_, true);
      body = protocol::readFrameBody(*socket_, kTimeoutMs, &error);
    }
    if (!body) {
      drop();
      endParts(error);
      return;
    }
    if (takePart(*body) && parts_->arrived) parts_->arrived(false, QString());
  }
}

bool Connection::takePart(const QByteArray& body) {
  if (parts_->dropping) {
    // Only whether more follow matters.
    QString ignored;
    const std::optional<QCborMap> frame = protocol::parseFrameBody(body, &ignored);
    if (frame && frame->value(QStringLiteral("more")).toBool()) return true;
    parts_.reset();
    return false;
  }
  switch (parts_->reader.read(body)) {
    case protocol::PacketReader::State::More:
      return true;
    case protocol::PacketReader::State::Done:
      endParts(QString());
      return false;
    case protocol::PacketReader::State::Refused:
      endParts(parts_->reader.error());
      return false;
    case protocol::PacketReader::State::Malformed:
      drop();
      endParts(parts_->reader.error());
      return false;
  }
  return false;
}

void Connection::endParts(const QString& error) {
  const std::unique_ptr<Parts> parts = std::move(parts_);
  if (parts->arrived && !parts->dropping) parts->arrived(true, error);
  if (!parts->arrived && !error.isEmpty()) throw RemoteError(error);
}

protocol::ApplyReply Connection::apply(const protocol::ApplyRequest& request) {
  return protocol::ApplyReply::fromCbor(call(request.toCbor(), Repeat::Unsafe));
}

bool Connection::review(const QString& person) {
  return protocol::ReviewReply::fromCbor(
             call(protocol::ReviewRequest{person}.toCbor(), Repeat::Unsafe))
      .reviewed;
}

qint64 Connection::draw(const QString& table) {
  return protocol::DrawReply::fromCbor(call(protocol::DrawRequest{table}.toCbor(), Repeat::Unsafe))
      .value;
}
