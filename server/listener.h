#pragma once

#include <QHash>
#include <QMutex>
#include <QTcpServer>

#include "server/connection.h"
#include "server/status.h"
#include "server/throttle.h"

namespace server {

// Accepts clients and serves each on a thread of its own, up to a fixed number at once and a
// bounded number per peer address; a client beyond either is told so and closed.
class Listener : public QTcpServer {
  Q_OBJECT

 public:
  static constexpr int kMaxConnections = 256;

  // `tls` set: every connection runs in TLS with it.
  Listener(std::function<storage::Result<std::unique_ptr<storage::Storage>>()> openStorage,
           ServeOptions options, std::optional<QSslConfiguration> tls, QObject* parent = nullptr);

 protected:
  void incomingConnection(qintptr descriptor) override;

 private:
  // Takes a place for a connection from `address`; false when there is none.
  bool take(const QString& address, QString* refusal);
  void giveBack(const QString& address);

  SignInThrottle throttle_;
  ConnectionContext context_;
  QMutex mutex_;
  int active_ = 0;
  QHash<QString, int> perAddress_;
};

}  // namespace server
