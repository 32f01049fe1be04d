#include "tests/support/wire_client.h"

#include <QDeadlineTimer>

#include "protocol/frame.h"
#include "protocol/packet_stream.h"

template <typename T>
Answer<T> WireClient::ask(const QCborMap& request) {
  const std::optional<QCborMap> reply = call(request);
  if (!reply) return {std::nullopt, error_};
  if (const std::optional<QString> refusal = protocol::replyError(*reply))
    return {std::nullopt, *refusal};
  return {T::fromCbor(*reply), QString()};
}

bool WireClient::connectTo(const QString& host, quint16 port, bool hello, const QString& from) {
  if (!from.isEmpty() && !socket_.bind(QHostAddress(from))) {
    error_ = socket_.errorString();
    return false;
  }
  socket_.connectToHost(host, port);
  if (!socket_.waitForConnected(kTimeoutMs)) {
    error_ = socket_.errorString();
    return false;
  }
  if (!hello) return true;
  const std::optional<QCborMap> reply = call(protocol::Hello{}.toCbor());
  if (reply && protocol::replyError(*reply)) error_ = *protocol::replyError(*reply);
  return reply && !protocol::replyError(*reply);
}

Answer<protocol::SignInReply> WireClient::signIn(const QString& id, const QString& password) {
  return ask<protocol::SignInReply>(protocol::SignInRequest{id, password}.toCbor());
}

Answer<protocol::Packet> WireClient::open(const protocol::OpenRequest& request) {
  Answer<protocol::CompactPacket> compact = openCompact(request);
  if (!compact.ok()) return {std::nullopt, compact.error};
  return {protocol::toPacket(*compact), QString()};
}

Answer<protocol::CompactPacket> WireClient::openCompact(const protocol::OpenRequest& request) {
  std::optional<QByteArray> body = exchange(request.toCbor());
  using State = protocol::PacketReader::State;
  protocol::CompactPacket packet;
  protocol::PacketReader reader(packet);
  while (body) {
    switch (reader.read(*body)) {
      case State::More:
        body = protocol::readFrameBody(socket_, kTimeoutMs, &error_);
        continue;
      case State::Done:
        return {std::move(packet), QString()};
      case State::Refused:
      case State::Malformed:
        return {std::nullopt, reader.error()};
    }
  }
  return {std::nullopt, error_};
}

Answer<protocol::Packet> WireClient::select(const QString& text, const QVariantList& params,
                                            const QString& provider) {
  protocol::OpenRequest request;
  request.provider = provider;
  request.text = text;
  request.params = params;
  return open(request);
}

Answer<protocol::ApplyReply> WireClient::apply(const protocol::ApplyRequest& request) {
  return ask<protocol::ApplyReply>(request.toCbor());
}

Answer<qint64> WireClient::draw(const QString& table) {
  const Answer<protocol::DrawReply> reply =
      ask<protocol::DrawReply>(protocol::DrawRequest{table}.toCbor());
  return {reply.ok() ? std::optional<qint64>(reply->value) : std::nullopt, reply.error};
}

std::optional<QByteArray> WireClient::exchange(const QCborMap& request) {
  if (!protocol::writeFrame(socket_, request, kTimeoutMs, &error_)) return std::nullopt;
  return protocol::readFrameBody(socket_, kTimeoutMs, &error_);
}

std::optional<QCborMap> WireClient::call(const QCborMap& request) {
  const std::optional<QByteArray> body = exchange(request);
  return body ? protocol::parseFrameBody(*body, &error_) : std::nullopt;
}

bool WireClient::sendRaw(const QByteArray& bytes) {
  if (socket_.write(bytes) != bytes.size()) return false;
  while (socket_.bytesToWrite() > 0)
    if (!socket_.waitForBytesWritten(kTimeoutMs)) return false;
  return true;
}

std::optional<QCborMap> WireClient::readReply() {
  return protocol::readFrame(socket_, kTimeoutMs, &error_);
}

bool WireClient::waitForClosed(int timeoutMs) {
  if (socket_.state() == QAbstractSocket::UnconnectedState) return true;
  // Drain whatever the server still sends until it closes.
  QDeadlineTimer deadline(timeoutMs);
  while (!deadline.hasExpired()) {
    socket_.readAll();
    if (socket_.state() == QAbstractSocket::UnconnectedState) return true;
    if (!socket_.waitForReadyRead(int(qMax<qint64>(deadline.remainingTime(), 1))) &&
        socket_.state() != QAbstractSocket::ConnectedState)
      return true;
  }
  return false;
}
