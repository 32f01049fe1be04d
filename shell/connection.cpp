#include "shell/connection.h"

#include "protocol/frame.h"
#include "protocol/packet_stream.h"
#include "shell/remote_error.h"

std::optional<ServerAddress> ServerAddress::parse(const QString& text) {
  ServerAddress address;
  const QString trimmed = text.trimmed();
  const qsizetype colon = trimmed.lastIndexOf(u':');
  address.host = colon < 0 ? trimmed : trimmed.left(colon);
  if (colon >= 0) {
    bool ok = false;
    const uint port = trimmed.mid(colon + 1).toUInt(&ok);
    if (!ok || port == 0 || port > 65535) return std::nullopt;
    address.port = quint16(port);
  }
  if (address.host.isEmpty()) return std::nullopt;
  return address;
}

Connection& Connection::shared() {
  static Connection connection;
  return connection;
}

void Connection::open(const ServerAddress& address) {
  close();
  socket_.connectToHost(address.host, address.port);
  if (!socket_.waitForConnected(10000)) {
    const QString reason = socket_.errorString();
    socket_.abort();
    throw RemoteError(
        QStringLiteral("无法连接到应用服务器 %1：%2").arg(address.toString(), reason));
  }
  try {
    call(protocol::Hello{}.toCbor());
  } catch (...) {
    socket_.abort();
    throw;
  }
}

void Connection::close() {
  if (socket_.state() == QAbstractSocket::ConnectedState) {
    QString ignored;
    QCborMap bye;
    bye[QStringLiteral("op")] = protocol::op::kBye;
    protocol::writeFrame(socket_, bye, 1000, &ignored);
    socket_.disconnectFromHost();
  }
  socket_.abort();
}

bool Connection::connected() const { return socket_.state() == QAbstractSocket::ConnectedState; }

QByteArray Connection::exchange(const QCborMap& request) {
  if (!connected()) throw RemoteError(QStringLiteral("未连接到应用服务器"));
  QString error;
  std::optional<QByteArray> body;
  if (protocol::writeFrame(socket_, request, kTimeoutMs, &error))
    body = protocol::readFrameBody(socket_, kTimeoutMs, &error);
  if (!body) {
    socket_.abort();
    throw RemoteError(error);
  }
  return std::move(*body);
}

QCborMap Connection::call(const QCborMap& request) {
  QString error;
  const std::optional<QCborMap> reply = protocol::parseFrameBody(exchange(request), &error);
  if (!reply) {
    socket_.abort();
    throw RemoteError(error);
  }
  if (const auto refusal = protocol::replyError(*reply)) throw RemoteError(*refusal);
  return *reply;
}

protocol::SignInReply Connection::signIn(const QString& id, const QString& password) {
  return protocol::SignInReply::fromCbor(call(protocol::SignInRequest{id, password}.toCbor()));
}

protocol::Packet Connection::open(const protocol::OpenRequest& request) {
  protocol::PacketReply reply = protocol::readPacketReply(exchange(request.toCbor()));
  if (reply.malformed) socket_.abort();
  if (!reply.packet) throw RemoteError(reply.error);
  return std::move(*reply.packet);
}

protocol::ApplyReply Connection::apply(const protocol::ApplyRequest& request) {
  return protocol::ApplyReply::fromCbor(call(request.toCbor()));
}

qint64 Connection::draw(const QString& table) {
  return protocol::DrawReply::fromCbor(call(protocol::DrawRequest{table}.toCbor())).value;
}
