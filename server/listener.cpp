#include "server/listener.h"

#include <sys/socket.h>

#include <QHostAddress>
#include <QThread>

namespace server {

namespace {

// The peer's address of an accepted socket, IPv4 written plainly even on a dual-stack socket.
QString peerAddress(qintptr descriptor) {
  sockaddr_storage raw{};
  socklen_t size = sizeof raw;
  if (::getpeername(int(descriptor), reinterpret_cast<sockaddr*>(&raw), &size) != 0)
    return QString();
  QHostAddress address(reinterpret_cast<sockaddr*>(&raw));
  bool mapped = false;
  const quint32 v4 = address.toIPv4Address(&mapped);
  return mapped ? QHostAddress(v4).toString() : address.toString();
}

}  // namespace

Listener::Listener(std::function<storage::Result<std::unique_ptr<storage::Storage>>()> openStorage,
                   ServeOptions options, std::optional<QSslConfiguration> tls, QObject* parent)
    : QTcpServer(parent),
      throttle_(options.throttleMs),
      context_{std::move(openStorage), options, std::move(tls), &throttle_} {}

bool Listener::take(const QString& address, QString* refusal) {
  QMutexLocker lock(&mutex_);
  if (active_ >= kMaxConnections) {
    *refusal = QStringLiteral("服务器连接数已满，请稍后再试");
    return false;
  }
  int& mine = perAddress_[address];
  if (mine >= context_.options.maxPerAddress) {
    *refusal = QStringLiteral("来自同一地址的连接过多，请稍后再试");
    return false;
  }
  ++mine;
  ++active_;
  return true;
}

void Listener::giveBack(const QString& address) {
  QMutexLocker lock(&mutex_);
  --active_;
  if (--perAddress_[address] <= 0) perAddress_.remove(address);
}

void Listener::incomingConnection(qintptr descriptor) {
  const QString address = peerAddress(descriptor);
  QString refusal;
  if (!take(address, &refusal)) {
    refuseConnection(descriptor, refusal, context_.tls.has_value());
    return;
  }
  QThread* thread = QThread::create([this, descriptor, address] {
    serveConnection(descriptor, context_);
    giveBack(address);
  });
  connect(thread, &QThread::finished, thread, &QObject::deleteLater);
  thread->start();
}

}  // namespace server
