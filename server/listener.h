#pragma once

#include <QTcpServer>
#include <atomic>

namespace server {

// Accepts clients and serves each on a thread of its own, up to a fixed number at once; a
// client beyond that is told so and closed.
class Listener : public QTcpServer {
  Q_OBJECT

 public:
  static constexpr int kMaxConnections = 256;

  explicit Listener(QString location, QObject* parent = nullptr);

 protected:
  void incomingConnection(qintptr descriptor) override;

 private:
  QString location_;
  std::atomic<int> active_{0};
};

}  // namespace server
