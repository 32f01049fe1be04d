#include "server/connection.h"

#include <QDeadlineTimer>
#include <QSslSocket>
#include <QtEndian>
#include <memory>

#include "protocol/frame.h"
#include "server/log.h"
#include "server/request_limits.h"
#include "server/session.h"
#include "storage/storage.h"

namespace server {

namespace {

constexpr int kWriteTimeoutMs = 60000;
const QString kConnected = QStringLiteral("connected");

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

// One connection's conversation with its deadlines.
class Conversation {
 public:
  Conversation(QTcpSocket& socket, Session& session, const ServeOptions& options,
               const QDeadlineTimer& signInDeadline, QString peer, QString address)
      : socket_(socket),
        session_(session),
        options_(options),
        signInDeadline_(signInDeadline),
        peer_(std::move(peer)),
        address_(std::move(address)) {}

  // Whether the client sent anything: a connection that closes without a byte (a readiness
  // probe, a port scan) leaves no line in the log.
  bool heard() const { return heard_; }

  // Serves requests until the connection ends; returns why it ended.
  QString run() {
    while (true) {
      const QString ended = nextRequest();
      if (!ended.isEmpty()) return ended;
    }
  }

 private:
  // How long to wait for more bytes: the stall limit, and before sign-in no later than its
  // deadline.
  int waitMs(int limitMs) const {
    if (session_.signedIn()) return limitMs;
    return int(qBound<qint64>(0, signInDeadline_.remainingTime(), qint64(limitMs)));
  }

  // Waits until `count` bytes are buffered. Empty on success, else why the connection ends
  // (having told the client when it is still there).
  QString await(qint64 count, int idleLimitMs) {
    while (socket_.bytesAvailable() < count) {
      const bool started = socket_.bytesAvailable() > 0;
      const int limit = waitMs(started ? options_.stallTimeoutMs : idleLimitMs);
      if (limit > 0 && socket_.waitForReadyRead(limit)) continue;
      if (socket_.state() != QAbstractSocket::ConnectedState)
        return QStringLiteral("closed by peer");
      QString reason;
      if (!session_.signedIn() && signInDeadline_.hasExpired())
        reason =
            QStringLiteral("未在 %1 秒内登录，连接已关闭").arg(options_.signInTimeoutMs / 1000.0);
      else if (started)
        reason = QStringLiteral("报文传送中断，连接已关闭");
      else
        reason = QStringLiteral("连接空闲时间过长，已断开");
      send(socket_, errorFrame(reason));
      return reason;
    }
    return QString();
  }

  QString nextRequest() {
    if (QString ended = await(1, options_.idleTimeoutMs); !ended.isEmpty()) return ended;
    if (!std::exchange(heard_, true))
      logClient(address_, kConnected, peer_ + QStringLiteral(" connected"));
    if (QString ended = await(4, options_.stallTimeoutMs); !ended.isEmpty()) return ended;
    const quint32 length = qFromBigEndian<quint32>(socket_.peek(4).constData());
    const quint32 most =
        session_.signedIn() ? limits::kMaxRequestBytes : limits::kMaxGuestRequestBytes;
    if (length > most) {
      const QString reason =
          session_.signedIn()
              ? QStringLiteral("请求过大（%1 字节，上限 %2 字节）").arg(length).arg(most)
              : QStringLiteral("登录前的报文过长（%1 字节）").arg(length);
      send(socket_, errorFrame(reason));
      return reason;
    }
    if (QString ended = await(4 + qint64(length), options_.stallTimeoutMs); !ended.isEmpty())
      return ended;
    socket_.skip(4);
    const QByteArray body = socket_.read(length);

    if (const std::optional<QString> refusal = limits::checkShape(body)) {
      send(socket_, errorFrame(*refusal));
      // A request over the limits is answered; bytes that are not a request end the talk.
      return *refusal == protocol::kUnreadableFrame ? *refusal : QString();
    }
    QString error;
    const std::optional<QCborMap> request = protocol::parseFrameBody(body, &error);
    if (!request) {
      send(socket_, errorFrame(error));
      return error;
    }
    const Session::Reply reply = session_.handle(*request);
    if (reply.goodbye) {
      send(socket_, reply.frame);  // a client that said bye need not stay for the answer
      return QStringLiteral("goodbye");
    }
    if (reply.lost || (!reply.frame.isEmpty() && !send(socket_, reply.frame)))
      return QStringLiteral("send failed: %1").arg(socket_.errorString());
    if (reply.close) return QStringLiteral("closed by server");
    return QString();
  }

  QTcpSocket& socket_;
  Session& session_;
  const ServeOptions& options_;
  const QDeadlineTimer& signInDeadline_;
  QString peer_;
  QString address_;
  bool heard_ = false;
};

std::unique_ptr<QTcpSocket> takeSocket(qintptr descriptor, bool tls) {
  std::unique_ptr<QTcpSocket> socket =
      tls ? std::make_unique<QSslSocket>() : std::make_unique<QTcpSocket>();
  if (!socket->setSocketDescriptor(descriptor)) {
    logLine(QStringLiteral("cannot take connection: %1").arg(socket->errorString()));
    return nullptr;
  }
  return socket;
}

}  // namespace

void serveConnection(qintptr descriptor, const ConnectionContext& context) {
  const QDeadlineTimer signInDeadline(context.options.signInTimeoutMs);
  std::unique_ptr<QTcpSocket> socket = takeSocket(descriptor, context.tls.has_value());
  if (!socket) return;
  socket->setSocketOption(QAbstractSocket::KeepAliveOption, 1);
  // Never more buffered than the largest request, whatever a client sends ahead.
  socket->setReadBufferSize(limits::kMaxRequestBytes + 8);
  const QString peer = peerOf(*socket);
  const QString address = socket->peerAddress().toString();

  QString reason;
  bool heard = true;
  if (auto* tls = qobject_cast<QSslSocket*>(socket.get())) {
    tls->setSslConfiguration(*context.tls);
    tls->startServerEncryption();
    if (!tls->waitForEncrypted(int(qMax<qint64>(signInDeadline.remainingTime(), 1))))
      reason = QStringLiteral("TLS handshake failed: %1").arg(tls->errorString());
    if (!reason.isEmpty()) logClient(address, kConnected, peer + QStringLiteral(" connected"));
  }
  if (reason.isEmpty()) {
    Result<std::unique_ptr<storage::Storage>> store = context.openStorage();
    if (!store) {
      reason = store.error();
      logClient(address, kConnected, peer + QStringLiteral(" connected"));
      send(*socket, errorFrame(reason));
    } else {
      QTcpSocket& out = *socket;
      Session session(**store, peer, address, *context.throttle,
                      [&out](const QByteArray& frame) { return send(out, frame); });
      Conversation conversation(*socket, session, context.options, signInDeadline, peer, address);
      reason = conversation.run();
      heard = conversation.heard();
    }
  }
  socket->disconnectFromHost();
  if (socket->state() != QAbstractSocket::UnconnectedState) socket->waitForDisconnected(1000);
  if (heard)
    logClient(address,
              reason == u"goodbye" ? QStringLiteral("goodbye") : QStringLiteral("disconnected"),
              QStringLiteral("%1 disconnected (%2)").arg(peer, reason));
}

void refuseConnection(qintptr descriptor, const QString& reason, bool tls) {
  QTcpSocket socket;
  if (!socket.setSocketDescriptor(descriptor)) return;
  logClient(socket.peerAddress().toString(), QStringLiteral("refused"),
            QStringLiteral("%1 refused: %2").arg(peerOf(socket), reason));
  // Over TLS a reason could only be given after a handshake, which the accepting thread does
  // not wait for: the connection is just closed.
  if (!tls) {
    socket.write(errorFrame(reason));
    socket.waitForBytesWritten(1000);
  }
  socket.disconnectFromHost();
}

}  // namespace server
