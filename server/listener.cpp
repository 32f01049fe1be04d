#include "server/listener.h"

#include <QTimer>

#include "schema/queries.h"
#include "server/epoll_dispatcher.h"

namespace server {

namespace {

// How often each loop checks its connections' deadlines.
constexpr int kSweepMs = 200;

int defaultWorkers(const ServeOptions& options) {
  if (options.workers > 0) return options.workers;
  return std::max(4, 4 * QThread::idealThreadCount());
}

}  // namespace

PlaceLimits Listener::placeLimits(const ServeOptions& options) {
  PlaceLimits limits;
  limits.connections = options.maxConnections;
  limits.perAddress =
      options.maxPerAddress > 0 ? options.maxPerAddress : std::max(1, options.maxConnections / 4);
  limits.unsigned_ =
      options.maxUnsigned > 0 ? options.maxUnsigned : std::max(64, options.maxConnections / 10);
  limits.administratorReserve =
      std::min(std::max(8, options.maxConnections / 20), options.maxConnections / 2);
  return limits;
}

Listener::Listener(WorkerPool::Open openStorage, const ServeOptions& options,
                   std::optional<QSslConfiguration> tls, QObject* parent)
    : QTcpServer(parent),
      throttle_(options.throttleMs),
      places_(placeLimits(options)),
      budget_(qint64(options.flightMiB) * 1024 * 1024),
      pool_(std::make_unique<WorkerPool>(defaultWorkers(options), std::move(openStorage))),
      context_{options, std::move(tls), &throttle_, &places_, &budget_, pool_.get(), &stopping_} {
  for (int i = 0; i < std::max(1, QThread::idealThreadCount()); ++i) {
    auto* loop = new QThread(this);
    loop->setEventDispatcher(new EpollDispatcher);
    auto* host = new QObject;
    auto* sweep = new QTimer(host);
    sweep->setInterval(kSweepMs);
    connect(sweep, &QTimer::timeout, host, [host] {
      for (QObject* child : host->children())
        if (auto* connection = qobject_cast<Connection*>(child)) connection->sweep();
    });
    connect(loop, &QThread::started, sweep, qOverload<>(&QTimer::start));
    host->moveToThread(loop);
    connect(loop, &QThread::finished, host, &QObject::deleteLater);
    loop->start();
    loops_ << loop;
    hosts_ << host;
  }
  // A worker opens its storage and checks the main list's text now, so that the first
  // administrator after a start does not wait for a fresh database connection and that check.
  pool_->submit(QStringLiteral("@start"), 1, [](storage::Storage* store, const QString&) {
    if (store) (void)store->describe(schema::queries::kPersonList);
  });
}

Listener::~Listener() { stop(0); }

bool Listener::stop(int drainMs) {
  if (std::exchange(stopped_, true)) return true;
  close();
  stopping_ = true;
  const bool drained = pool_->drain(drainMs);
  for (QObject* host : std::as_const(hosts_))
    QMetaObject::invokeMethod(
        host,
        [host] {
          for (QObject* child : host->children())
            if (auto* connection = qobject_cast<Connection*>(child))
              connection->closeWith(kStopping);
        },
        Qt::BlockingQueuedConnection);
  for (QThread* loop : std::as_const(loops_)) {
    loop->quit();
    loop->wait();
  }
  if (drained) pool_.reset();
  return drained;
}

void Listener::incomingConnection(qintptr descriptor) {
  QObject* host = hosts_[int(nextId_ % quint64(hosts_.size()))];
  const quint64 id = ++nextId_;
  QMetaObject::invokeMethod(
      host, [this, host, descriptor, id] { new Connection(descriptor, id, context_, host); },
      Qt::QueuedConnection);
}

}  // namespace server
