#include "server/connection.h"

#include <QTcpSocket>
#include <QtEndian>

#include "protocol/frame.h"
#include "server/log.h"
#include "server/session.h"
#include "server/storage.h"

namespace server {

namespace {

constexpr int kChunkTimeoutMs = 30000;  // a frame that stalls this long mid-way is dropped
constexpr int kWriteTimeoutMs = 60000;
// Before sign-in a frame needs no more than a few bytes; a big one is not waited for.
constexpr quint32 kGuestFrameBytes = 64 * 1024;

QString peerOf(const QTcpSocket& socket) {
  return socket.peerAddress().toString() + u':' + QString::number(socket.peerPort());
}

QByteArray errorFrame(const QString& reason) {
  return protocol::encodeFrame(protocol::errorReply(reason));
}

bool send(QTcpSocket& socket, QByteArray frame) {
  if (quint64(frame.size()) > protocol::kMaxFrameBytes + 4)
    frame = errorFrame(QStringLiteral("应答超过报文长度上限"));
  if (socket.write(frame) != frame.size()) return false;
  while (socket.bytesToWrite() > 0)
    if (!socket.waitForBytesWritten(kWriteTimeoutMs)) return false;
  return true;
}

// Waits for the next frame header; false when the peer has gone.
bool waitForHeader(QTcpSocket& socket) {
  while (socket.bytesAvailable() < 4)
    if (!socket.waitForReadyRead(-1)) return false;
  return true;
}

}  // namespace

void serveConnection(qintptr descriptor, const QString& location) {
  QTcpSocket socket;
  if (!socket.setSocketDescriptor(descriptor)) {
    logLine(QStringLiteral("cannot take connection: %1").arg(socket.errorString()));
    return;
  }
  socket.setSocketOption(QAbstractSocket::KeepAliveOption, 1);
  const QString peer = peerOf(socket);
  logLine(peer + QStringLiteral(" connected"));

  QString reason;
  Result<std::unique_ptr<Storage>> storage = openStorage(location);
  if (!storage) {
    reason = storage.error();
    send(socket, errorFrame(reason));
  } else {
    Session session(**storage, peer);
    while (true) {
      if (!waitForHeader(socket)) {
        reason = QStringLiteral("closed by peer");
        break;
      }
      const quint32 length = qFromBigEndian<quint32>(socket.peek(4).constData());
      if (!session.signedIn() && length > kGuestFrameBytes) {
        reason = QStringLiteral("登录前的报文过长（%1 字节）").arg(length);
        send(socket, errorFrame(reason));
        break;
      }
      QString error;
      const std::optional<QCborMap> request = protocol::readFrame(socket, kChunkTimeoutMs, &error);
      if (!request) {
        reason = error;
        send(socket, errorFrame(error));
        break;
      }
      const Session::Reply reply = session.handle(*request);
      if (!send(socket, reply.frame)) {
        reason = QStringLiteral("send failed: %1").arg(socket.errorString());
        break;
      }
      if (reply.close) {
        reason = QStringLiteral("closed by server");
        break;
      }
    }
  }
  socket.disconnectFromHost();
  if (socket.state() != QAbstractSocket::UnconnectedState) socket.waitForDisconnected(1000);
  logLine(QStringLiteral("%1 disconnected (%2)").arg(peer, reason));
}

void refuseConnection(qintptr descriptor, const QString& reason) {
  QTcpSocket socket;
  if (!socket.setSocketDescriptor(descriptor)) return;
  logLine(QStringLiteral("%1 refused: %2").arg(peerOf(socket), reason));
  socket.write(errorFrame(reason));
  socket.waitForBytesWritten(1000);
  socket.disconnectFromHost();
}

}  // namespace server
