#pragma once

#include <QHash>
#include <QMutex>
#include <QWaitCondition>
#include <atomic>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

#include "storage/postgres/db.h"

namespace storage::pg {

// What every storage of one PostgreSQL database shares within this process: a bounded set of
// connections of each role, lent to one request at a time, and a listener that moves the
// process's accounts generation on whenever any server commits a change to `user_name`.
class Pool {
 public:
  // The pool of the database at `location`, made on first use with at most `size` connections
  // of each role.
  static Result<std::shared_ptr<Pool>> of(const QString& location, int size);
  ~Pool();

  // A connection lent out; given back when destroyed, rolled back if it was left in a
  // transaction, dropped if it broke.
  class Lease {
   public:
    Lease(Pool* pool, std::unique_ptr<Connection> connection)
        : pool_(pool), connection_(std::move(connection)) {}
    Lease(Lease&& other) noexcept = default;
    Lease& operator=(Lease&&) = delete;
    ~Lease();
    Connection& operator*() const { return *connection_; }
    Connection* operator->() const { return connection_.get(); }

   private:
    Pool* pool_;
    std::unique_ptr<Connection> connection_;
  };

  // A connection of `role`: an idle one, a new one while there are fewer than the size, else
  // the next one given back (waiting no longer than a write waits for its turn). Among idle
  // ones, one that has `statement` prepared: planning a many-table join can cost more than
  // running it, and each connection plans its statements for itself.
  Result<Lease> take(Role role, const QString& statement = {});

  const QString& location() const { return location_; }

 private:
  Pool(QString location, int size) : location_(std::move(location)), size_(size) {}
  void giveBack(std::unique_ptr<Connection> connection);
  void listen();

  const QString location_;
  const int size_;
  QMutex mutex_;
  QWaitCondition returned_;
  std::vector<std::unique_ptr<Connection>> idle_[2];
  int open_[2] = {0, 0};
  std::atomic<bool> stopping_{false};
  std::thread listener_;
};

}  // namespace storage::pg
