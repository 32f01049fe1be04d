#pragma once

#include <QList>
#include <QSslConfiguration>
#include <QTcpServer>
#include <QThread>
#include <atomic>
#include <memory>
#include <optional>

#include "server/connection.h"
#include "server/flight_budget.h"
#include "server/places.h"
#include "server/throttle.h"
#include "server/worker_pool.h"

// Accepts clients and hands each to one of a few event-loop threads (one per core, each on an
// EpollDispatcher, so a turn costs what the ready sockets cost, not all of them), where it is
// served without a thread of its own; requests run on a pool of workers. The places of the
// server are shared fairly (see Places).
namespace server {

class Listener : public QTcpServer {
  Q_OBJECT

 public:
  // `openStorage` opens a storage for one worker; `tls` set: every connection runs in TLS.
  Listener(WorkerPool::Open openStorage, const ServeOptions& options,
           std::optional<QSslConfiguration> tls, QObject* parent = nullptr);
  ~Listener() override;

  // Stops: no new connections, later requests answered with kStopping, the requests in flight
  // waited for up to `drainMs`; then every connection is closed and, when every request is
  // done, every worker's storage. False when requests were still running at the deadline.
  bool stop(int drainMs);

  // The limits `options` give, with their defaults filled in.
  static PlaceLimits placeLimits(const ServeOptions& options);
  int workers() const { return pool_->workers(); }

 protected:
  void incomingConnection(qintptr descriptor) override;

 private:
  std::atomic<bool> stopping_ = false;
  SignInThrottle throttle_;
  Places places_;
  FlightBudget budget_;
  std::unique_ptr<WorkerPool> pool_;
  ServerContext context_;
  QList<QThread*> loops_;
  QList<QObject*> hosts_;  // one per loop, parent of its connections
  quint64 nextId_ = 0;
  bool stopped_ = false;
};

}  // namespace server
