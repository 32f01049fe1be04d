#include "server/listener.h"

#include <QThread>

#include "server/connection.h"

namespace server {

Listener::Listener(QString location, QObject* parent)
    : QTcpServer(parent), location_(std::move(location)) {}

void Listener::incomingConnection(qintptr descriptor) {
  if (active_.load() >= kMaxConnections) {
    refuseConnection(descriptor, QStringLiteral("服务器连接数已满，请稍后再试"));
    return;
  }
  ++active_;
  QThread* thread = QThread::create([this, descriptor] {
    serveConnection(descriptor, location_);
    --active_;
  });
  connect(thread, &QThread::finished, thread, &QObject::deleteLater);
  thread->start();
}

}  // namespace server
