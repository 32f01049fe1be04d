#include "storage/postgres/pool.h"

#include <poll.h>

#include <QDeadlineTimer>
#include <chrono>

#include "storage/account_changes.h"
#include "storage/postgres/schema.h"
#include "storage/storage.h"

namespace storage::pg {

namespace {

constexpr int kPollMs = 200;
constexpr int kReconnectMs = 1000;

}  // namespace

Result<std::shared_ptr<Pool>> Pool::of(const QString& location, int size) {
  static QMutex mutex;
  static QHash<QString, std::shared_ptr<Pool>> pools;
  QMutexLocker lock(&mutex);
  if (const auto found = pools.constFind(location); found != pools.cend()) return *found;
  std::shared_ptr<Pool> pool(new Pool(location, qMax(1, size)));
  // The first connection tells at once whether the database can be reached at all.
  Result<Lease> first = pool->take(Role::Writer);
  if (!first) return Error{first.error()};
  pool->listener_ = std::thread([raw = pool.get()] { raw->listen(); });
  pools.insert(location, pool);
  return pool;
}

Pool::~Pool() {
  stopping_ = true;
  if (listener_.joinable()) listener_.join();
}

Result<Pool::Lease> Pool::take(Role role, const QString& statement) {
  const int r = int(role);
  QMutexLocker lock(&mutex_);
  QDeadlineTimer deadline(kWriteTurnWaitMs);
  while (true) {
    if (!idle_[r].empty()) {
      auto& idle = idle_[r];
      // The one given back last (the warmest), unless another has the statement prepared.
      auto chosen = std::prev(idle.end());
      if (!statement.isEmpty())
        for (auto it = idle.rbegin(); it != idle.rend(); ++it)
          if ((*it)->hasPrepared(statement)) {
            chosen = std::prev(it.base());
            break;
          }
      std::unique_ptr<Connection> connection = std::move(*chosen);
      idle.erase(chosen);
      return Lease(this, std::move(connection));
    }
    if (open_[r] < size_) {
      ++open_[r];
      lock.unlock();
      Result<std::unique_ptr<Connection>> opened = Connection::open(location_, role);
      if (!opened) {
        lock.relock();
        --open_[r];
        returned_.wakeAll();
        return Error{opened.error()};
      }
      return Lease(this, std::move(*opened));
    }
    if (!returned_.wait(&mutex_, deadline)) return Error{QStringLiteral("数据库正忙，请稍后重试")};
  }
}

Pool::Lease::~Lease() {
  if (connection_) pool_->giveBack(std::move(connection_));
}

void Pool::giveBack(std::unique_ptr<Connection> connection) {
  PGconn* conn = connection->get();
  if (PQtransactionStatus(conn) == PQTRANS_ACTIVE) abandonRunning(conn);
  const PGTransactionStatusType status = PQtransactionStatus(conn);
  if (status == PQTRANS_INTRANS || status == PQTRANS_INERROR) PQclear(PQexec(conn, "ROLLBACK"));
  const bool keep = !connection->broken() && PQtransactionStatus(conn) == PQTRANS_IDLE;
  const int r = int(connection->role());
  QMutexLocker lock(&mutex_);
  if (keep)
    idle_[r].push_back(std::move(connection));
  else
    --open_[r];
  returned_.wakeAll();
}

void Pool::listen() {
  const QByteArray listenText = "LISTEN " + quoted(kAccountsChannel).toUtf8();
  while (!stopping_) {
    PGconn* conn = PQconnectdb(location_.toUtf8().constData());
    if (PQstatus(conn) == CONNECTION_OK) PQclear(PQexec(conn, listenText.constData()));
    // Whatever happened while nobody listened counts as a change.
    accountsChanged();
    while (!stopping_ && PQstatus(conn) == CONNECTION_OK) {
      pollfd socket{PQsocket(conn), POLLIN, 0};
      if (::poll(&socket, 1, kPollMs) < 0 || !PQconsumeInput(conn)) break;
      bool changed = false;
      while (PGnotify* notice = PQnotifies(conn)) {
        changed = true;
        PQfreemem(notice);
      }
      if (changed) accountsChanged();
    }
    PQfinish(conn);
    for (int waited = 0; waited < kReconnectMs && !stopping_; waited += kPollMs)
      std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
  }
}

}  // namespace storage::pg
