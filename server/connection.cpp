#include "server/connection.h"

#include <QDeadlineTimer>
#include <QSslSocket>
#include <QtEndian>

#include "protocol/frame.h"
#include "protocol/request_reader.h"
#include "server/log.h"
#include "server/reply_link.h"
#include "server/request_limits.h"
#include "server/session.h"

namespace server {

namespace {

// A worker waits this long for a slow reader to take its reply before it gives up on it.
constexpr int kWriteTimeoutMs = 60000;
// What the socket buffers of a client's input while no larger frame is announced.
constexpr qint64 kSmallBuffer = 64 * 1024;
// Reply frames are handed to the socket while it holds less than this unwritten.
constexpr qint64 kLowWaterBytes = 1024 * 1024;
// A connection told to close is cut off when its last words are not taken within this.
constexpr qint64 kClosingGraceMs = 2000;

qint64 nowMs() { return QDeadlineTimer::current().deadline(); }

// The peer's address, IPv4 written plainly even on a dual-stack socket.
QString addressOf(const QHostAddress& address) {
  bool mapped = false;
  const quint32 v4 = address.toIPv4Address(&mapped);
  return mapped ? QHostAddress(v4).toString() : address.toString();
}

QByteArray errorFrame(const QString& reason) {
  return protocol::encodeFrame(protocol::errorReply(reason));
}

}  // namespace

Connection::Connection(qintptr descriptor, quint64 id, const ServerContext& context,
                       QObject* parent)
    : QObject(parent), context_(context), id_(id), acceptedAt_(nowMs()), lastActive_(acceptedAt_) {
  if (context.tls)
    socket_ = std::make_unique<QSslSocket>();
  else
    socket_ = std::make_unique<QTcpSocket>();
  if (!socket_->setSocketDescriptor(descriptor)) {
    logLine(QStringLiteral("cannot take connection: %1").arg(socket_->errorString()));
    ended_ = true;
    deleteLater();
    return;
  }
  socket_->setSocketOption(QAbstractSocket::KeepAliveOption, 1);
  // A reply's frames go out as soon as they are written: waiting to fill a packet (Nagle) only
  // holds back the last bytes of a frame until the client acknowledges the ones before.
  socket_->setSocketOption(QAbstractSocket::LowDelayOption, 1);
  socket_->setReadBufferSize(kSmallBuffer);
  address_ = addressOf(socket_->peerAddress());
  peer_ = address_ + u':' + QString::number(socket_->peerPort());
  link_ = std::make_shared<ReplyLink>(this);
  connect(socket_.get(), &QTcpSocket::readyRead, this, &Connection::readInput);
  connect(socket_.get(), &QTcpSocket::bytesWritten, this, &Connection::flushReply);
  connect(socket_.get(), &QTcpSocket::disconnected, this, [this] {
    // A client may hang up right after its last request (a bye): that request is answered first.
    if (busy_)
      peerGone_ = true;
    else
      end(closing_ ? endReason_ : QStringLiteral("closed by peer"));
  });

  const std::optional<QString> refusal =
      context.places->enter(id_, address_, [link = link_, this](const QString& reason) {
        link->post([this, reason] { closeWith(reason); });
      });
  if (refusal) {
    logClient(address_, QStringLiteral("refused"),
              QStringLiteral("%1 refused: %2").arg(peer_, *refusal));
    closeWith(*refusal);
    return;
  }
  session_ = std::make_shared<Session>(
      peer_, address_, *context.throttle,
      [places = context.places, id](const User& user) { return places->signIn(id, user); });
  if (auto* tls = qobject_cast<QSslSocket*>(socket_.get())) {
    connect(tls, &QAbstractSocket::errorOccurred, this, [this, tls] {
      if (tls->isEncrypted()) return;
      if (!heard_)
        logClient(address_, QStringLiteral("connected"), peer_ + QStringLiteral(" connected"));
      heard_ = true;
      end(QStringLiteral("TLS handshake failed: %1").arg(tls->errorString()));
    });
    tls->setSslConfiguration(*context.tls);
    tls->startServerEncryption();
  }
}

Connection::~Connection() {
  if (link_) link_->detach();
  giveBackBudget();
}

void Connection::giveBackBudget() {
  if (reserved_ > 0) context_.budget->giveBack(std::exchange(reserved_, 0));
}

void Connection::readInput() {
  while (!busy_ && !closing_ && !ended_) {
    if (expected_ < 0) {
      if (socket_->bytesAvailable() == 0) return;
      if (!std::exchange(heard_, true))
        logClient(address_, QStringLiteral("connected"), peer_ + QStringLiteral(" connected"));
      if (frameStart_ < 0) frameStart_ = nowMs();
      if (socket_->bytesAvailable() < 4) return;
      const quint32 length = qFromBigEndian<quint32>(socket_->peek(4).constData());
      const quint32 most = user_ ? limits::kMaxRequestBytes : limits::kMaxGuestRequestBytes;
      if (length > most) {
        closeWith(user_ ? QStringLiteral("请求过大（%1 字节，上限 %2 字节）").arg(length).arg(most)
                        : QStringLiteral("登录前的报文过长（%1 字节）").arg(length));
        return;
      }
      // A frame that does not fit in the budget waits unread; the sweep tries again.
      const qint64 cost = FlightBudget::costOf(length);
      if (!context_.budget->take(cost)) return;
      reserved_ = cost;
      expected_ = length;
      if (expected_ + 4 > kSmallBuffer) socket_->setReadBufferSize(expected_ + 4);
    }
    if (socket_->bytesAvailable() < 4 + expected_) return;
    socket_->skip(4);
    QByteArray body = socket_->read(expected_);
    expected_ = -1;
    frameStart_ = -1;
    socket_->setReadBufferSize(kSmallBuffer);
    dispatch(std::move(body));
  }
}

void Connection::dispatch(QByteArray body) {
  lastActive_ = nowMs();
  context_.places->touch(id_);
  if (context_.stopping && context_.stopping->load()) {
    giveBackBudget();
    socket_->write(errorFrame(kStopping));
    return;
  }
  busy_ = true;
  // The jobs of one account (or, before sign-in, one address) share a few workers at most.
  const QString key = user_ ? user_->id : u'@' + address_;
  const int most = !user_ ? 2 : user_->role == access::kPerson ? 1 : 4;
  // Writes wait for a writer's place in the pool (see WorkerPool).
  static const QSet<QString> writeOps = {protocol::op::kApply, protocol::op::kDraw,
                                         protocol::op::kReview};
  const bool writes = writeOps.contains(protocol::leadingOp(body));
  context_.pool->submit(
      key, most,
      [this, session = session_, link = link_, body = std::move(body)](storage::Storage* store,
                                                                       const QString& failure) {
        const Session::Send send = [&link](const QByteArray& frame) {
          return link->send(frame, kWriteTimeoutMs);
        };
        const Session::Reply reply = session->handle(body, store, failure, send);
        Outcome outcome{reply.close, reply.goodbye, reply.lost, session->user()};
        if (!reply.frame.isEmpty() && !outcome.lost) outcome.lost = !send(reply.frame);
        link->post([this, outcome] { finished(outcome); });
      },
      writes);
}

void Connection::finished(const Outcome& outcome) {
  busy_ = false;
  giveBackBudget();
  if (user_ && !outcome.user) context_.places->signOut(id_);
  user_ = outcome.user;
  lastActive_ = nowMs();
  context_.places->touch(id_);
  if (peerGone_) {
    // Whole requests that came before the peer hung up (a bye, say) are still served.
    if (!outcome.goodbye && !outcome.close && !outcome.lost) {
      readInput();
      if (busy_) return;
    }
    end(outcome.goodbye ? QStringLiteral("goodbye") : QStringLiteral("closed by peer"));
    return;
  }
  if (outcome.lost) {
    end(QStringLiteral("send failed: %1").arg(socket_->errorString()));
    return;
  }
  if (outcome.goodbye || outcome.close) {
    // Whatever of the reply is still waiting goes out first.
    closing_ = true;
    endReason_ = outcome.goodbye ? QStringLiteral("goodbye") : QStringLiteral("closed by server");
    for (QByteArray& frame : link_->take()) socket_->write(frame);
    closingSince_ = nowMs();
    socket_->disconnectFromHost();
    return;
  }
  readInput();
}

void Connection::flushReply() {
  if (ended_ || !link_ || socket_->bytesToWrite() > kLowWaterBytes) return;
  for (QByteArray& frame : link_->take()) socket_->write(frame);
}

void Connection::closeWith(const QString& reason) {
  if (ended_ || closing_) return;
  closing_ = true;
  endReason_ = reason;
  closingSince_ = nowMs();
  const auto* tls = qobject_cast<const QSslSocket*>(socket_.get());
  if (!tls || tls->isEncrypted()) socket_->write(errorFrame(reason));
  socket_->flush();
  socket_->disconnectFromHost();
  if (socket_->state() == QAbstractSocket::UnconnectedState) end(reason);
}

void Connection::sweep() {
  if (ended_) return;
  const qint64 now = nowMs();
  const ServeOptions& o = context_.options;
  if (closing_) {
    if (now - closingSince_ > kClosingGraceMs) {
      socket_->abort();
      end(endReason_);
    }
    return;
  }
  if (busy_) return;
  if (!user_ && now - acceptedAt_ > o.signInTimeoutMs)
    closeWith(QStringLiteral("未在 %1 秒内登录，连接已关闭").arg(o.signInTimeoutMs / 1000.0));
  else if (frameStart_ >= 0 && now - frameStart_ > o.stallTimeoutMs)
    closeWith(QStringLiteral("报文传送中断，连接已关闭"));
  else if (user_ && frameStart_ < 0 && now - lastActive_ > o.idleTimeoutMs)
    closeWith(QStringLiteral("连接空闲时间过长，已断开"));
  else if (expected_ < 0 && socket_->bytesAvailable() >= 4)
    readInput();  // a frame waiting for room in the flight budget
}

void Connection::end(const QString& reason) {
  if (ended_) return;
  ended_ = true;
  link_->detach();
  giveBackBudget();
  context_.places->leave(id_);
  if (heard_)
    logClient(address_,
              reason == u"goodbye" ? QStringLiteral("goodbye") : QStringLiteral("disconnected"),
              QStringLiteral("%1 disconnected (%2)").arg(peer_, reason));
  if (socket_->state() != QAbstractSocket::UnconnectedState) socket_->abort();
  deleteLater();
}

}  // namespace server
