#include "bench/async_wire.h"

#include <QtEndian>
#include <memory>
#include <utility>

#include "protocol/frame.h"

namespace bench {

AsyncWire::AsyncWire(int timeoutMs, QObject* parent) : QObject(parent), socket_(this), timer_(this) {
  timer_.setSingleShot(true);
  timer_.setInterval(timeoutMs);
  connect(&timer_, &QTimer::timeout, this, [this] { fail(QStringLiteral("等待对方应答超时")); });
  connect(&socket_, &QTcpSocket::readyRead, this, &AsyncWire::readFrames);
  connect(&socket_, &QTcpSocket::errorOccurred, this,
          [this] { fail(QStringLiteral("连接已断开：%1").arg(socket_.errorString())); });
  connect(&socket_, &QTcpSocket::disconnected, this,
          [this] { fail(QStringLiteral("连接已断开：服务器关闭了连接")); });
  connect(&socket_, &QTcpSocket::connected, this, [this] {
    timer_.stop();
    call(protocol::Hello{}.toCbor(), [this](Answer<QCborMap> reply) {
      if (const Done then = std::exchange(connected_, nullptr)) then(reply.error);
    });
  });
}

void AsyncWire::connectTo(const QString& host, quint16 port, Done then) {
  connected_ = std::move(then);
  timer_.start();
  socket_.connectToHost(host, port);
}

void AsyncWire::send(const QCborMap& request, Reader read, Done done) {
  Q_ASSERT(!done_);
  if (!lost_.isEmpty()) {
    QTimer::singleShot(0, this, [done = std::move(done), reason = lost_] { done(reason); });
    return;
  }
  read_ = std::move(read);
  done_ = std::move(done);
  timer_.start();
  socket_.write(protocol::encodeFrame(request));
}

void AsyncWire::call(const QCborMap& request, Then<QCborMap> then) {
  auto reply = std::make_shared<Answer<QCborMap>>();
  send(
      request,
      [reply](const QByteArray& body) {
        if (std::optional<QCborMap> map = protocol::parseFrameBody(body, &reply->error)) {
          if (std::optional<QString> refusal = protocol::replyError(*map))
            reply->error = *refusal;
          else
            reply->value = std::move(*map);
        }
        return true;
      },
      [reply, then = std::move(then)](const QString& error) {
        if (!error.isEmpty()) *reply = {std::nullopt, error};
        then(std::move(*reply));
      });
}

template <typename T>
void AsyncWire::ask(const QCborMap& request, Then<T> then) {
  call(request, [then = std::move(then)](Answer<QCborMap> reply) {
    if (!reply.ok()) return then({std::nullopt, reply.error});
    then({T::fromCbor(*reply), QString()});
  });
}

void AsyncWire::signIn(const QString& id, const QString& password,
                       Then<protocol::SignInReply> then) {
  ask(protocol::SignInRequest{id, password}.toCbor(), std::move(then));
}

void AsyncWire::apply(const protocol::ApplyRequest& request, Then<protocol::ApplyReply> then) {
  ask(request.toCbor(), std::move(then));
}

void AsyncWire::draw(const QString& table, Then<qint64> then) {
  ask<protocol::DrawReply>(protocol::DrawRequest{table}.toCbor(),
                           [then = std::move(then)](Answer<protocol::DrawReply> reply) {
                             if (!reply.ok()) return then({std::nullopt, reply.error});
                             then({reply->value, QString()});
                           });
}

void AsyncWire::open(const protocol::OpenRequest& request, Then<protocol::CompactPacket> then) {
  // The reader keeps a reference into the packet: both live together until the reply is done.
  struct Reply {
    protocol::CompactPacket packet;
    protocol::PacketReader reader{packet};
    QString error;
  };
  auto reply = std::make_shared<Reply>();
  send(
      request.toCbor(),
      [reply](const QByteArray& body) {
        using State = protocol::PacketReader::State;
        const State state = reply->reader.read(body);
        if (state == State::More) return false;
        if (state != State::Done) reply->error = reply->reader.error();
        return true;
      },
      [reply, then = std::move(then)](const QString& error) {
        const QString reason = error.isEmpty() ? reply->error : error;
        if (!reason.isEmpty()) return then({std::nullopt, reason});
        then({std::move(reply->packet), QString()});
      });
}

void AsyncWire::readFrames() {
  while (socket_.bytesAvailable() >= 4) {
    char header[4];
    socket_.peek(header, 4);
    const quint32 length = qFromBigEndian<quint32>(header);
    if (length > protocol::kMaxFrameBytes)
      return fail(QStringLiteral("报文过长（%1 字节）").arg(length));
    if (socket_.bytesAvailable() < 4 + qint64(length)) return;
    socket_.skip(4);
    const QByteArray body = socket_.read(length);
    if (!read_) {
      // A frame nobody asked for: the server says why it closes the connection.
      QString error;
      const std::optional<QCborMap> map = protocol::parseFrameBody(body, &error);
      const std::optional<QString> reason = map ? protocol::replyError(*map) : error;
      return fail(QStringLiteral("服务器关闭连接：%1").arg(reason.value_or(error)));
    }
    if (read_(body)) {
      timer_.stop();
      finish(QString());
    } else {
      timer_.start();  // the next frame of the reply gets the whole timeout
    }
  }
}

void AsyncWire::finish(const QString& error) {
  read_ = nullptr;
  // Cleared before the call: `done` may send the next request.
  if (const Done done = std::exchange(done_, nullptr)) done(error);
}

void AsyncWire::fail(const QString& reason) {
  if (!lost_.isEmpty()) return;
  lost_ = reason;
  timer_.stop();
  socket_.abort();
  if (const Done then = std::exchange(connected_, nullptr)) then(reason);
  finish(reason);
}

}  // namespace bench
