#include "storage/sqlite/db.h"

#include <QDeadlineTimer>
#include <QMutex>
#include <QSet>
#include <QWaitCondition>
#include <utility>

#include "storage/sqlite/functions.h"
#include "storage/sqlite/temp_limit.h"
#include "storage/storage.h"

namespace storage::sqlite {

namespace {

// Writes within this process queue for their turn (see Transaction); the busy timeout covers
// other processes (add-account, a copy) holding the file.
constexpr int kBusyTimeoutMs = 10000;
// What one handle may build: no value or row past kMaxBuiltValueBytes, no SQL text past 1 MiB, and
// expressions and compound selects of a size a person writes.
constexpr std::pair<int, int> kLimits[] = {
    {SQLITE_LIMIT_LENGTH, int(kMaxBuiltValueBytes)},
    {SQLITE_LIMIT_SQL_LENGTH, 1024 * 1024},
    {SQLITE_LIMIT_EXPR_DEPTH, 200},
    {SQLITE_LIMIT_COMPOUND_SELECT, 50},
    {SQLITE_LIMIT_VARIABLE_NUMBER, 999},
    {SQLITE_LIMIT_FUNCTION_ARG, 32},
    {SQLITE_LIMIT_ATTACHED, 0},
    // LIKE and GLOB take time in proportion to text × pattern: a pattern is a few words.
    {SQLITE_LIMIT_LIKE_PATTERN_LENGTH, 1000},
};
// SQLite's heap across all connections: above the soft limit it gives back cache memory; at
// the hard limit an allocation fails and the statement ends with an error.
constexpr qint64 kSoftHeapBytes = 128ll * 1024 * 1024;
constexpr qint64 kHardHeapBytes = 1024ll * 1024 * 1024;

void limitProcess() {
  static const bool done = [] {
    sqlite3_soft_heap_limit64(kSoftHeapBytes);
    sqlite3_hard_heap_limit64(kHardHeapBytes);
    installTempLimit();
    return true;
  }();
  Q_UNUSED(done);
}

// One turn at a time for every write transaction in this process, first come first served:
// writers wait here instead of failing on SQLite's busy lock. A writer gives up only when its
// turn has not come before the client would stop waiting for the reply.
class WriteTurns {
 public:
  static WriteTurns& shared() {
    static WriteTurns turns;
    return turns;
  }

  bool acquire(int timeoutMs) {
    QMutexLocker lock(&mutex_);
    const quint64 ticket = next_++;
    QDeadlineTimer deadline(timeoutMs);
    while (serving_ != ticket) {
      if (!turn_.wait(&mutex_, deadline) && serving_ != ticket) {
        abandoned_.insert(ticket);
        return false;
      }
    }
    return true;
  }

  void release() {
    QMutexLocker lock(&mutex_);
    ++serving_;
    while (abandoned_.remove(serving_)) ++serving_;
    turn_.wakeAll();
  }

 private:
  QMutex mutex_;
  QWaitCondition turn_;
  quint64 next_ = 0;
  quint64 serving_ = 0;
  QSet<quint64> abandoned_;
};

}  // namespace

Statement::Statement(Statement&& other) noexcept
    : statement_(std::exchange(other.statement_, nullptr)) {}

Statement& Statement::operator=(Statement&& other) noexcept {
  if (this != &other) {
    sqlite3_finalize(statement_);
    statement_ = std::exchange(other.statement_, nullptr);
  }
  return *this;
}

Statement::~Statement() { sqlite3_finalize(statement_); }

void Statement::bind(int index, const QVariant& value) {
  if (value.isNull()) {
    sqlite3_bind_null(statement_, index);
    return;
  }
  switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
    case QMetaType::Bool:
      sqlite3_bind_int64(statement_, index, value.toLongLong());
      return;
    case QMetaType::Double:
      sqlite3_bind_double(statement_, index, value.toDouble());
      return;
    default: {
      const QByteArray text = value.toString().toUtf8();
      sqlite3_bind_text(statement_, index, text.constData(), int(text.size()), SQLITE_TRANSIENT);
    }
  }
}

void Statement::bindAll(const QVariantList& values) {
  for (int i = 0; i < values.size(); ++i) bind(i + 1, values[i]);
}

QVariant Statement::column(int index, qint64* bytes) const {
  switch (sqlite3_column_type(statement_, index)) {
    case SQLITE_NULL:
      return QVariant();
    case SQLITE_INTEGER:
      if (bytes) *bytes += 8;
      return QVariant(qint64(sqlite3_column_int64(statement_, index)));
    case SQLITE_FLOAT:
      if (bytes) *bytes += 8;
      return QVariant(sqlite3_column_double(statement_, index));
    default: {
      const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement_, index));
      const int size = sqlite3_column_bytes(statement_, index);
      if (bytes) *bytes += size;
      return QVariant(QString::fromUtf8(text, size));
    }
  }
}

Result<Handle> Handle::open(const QString& path, Mode mode) {
  limitProcess();
  sqlite3* db = nullptr;
  // One thread uses a handle, so its calls need not take the connection's mutex: each value read
  // would otherwise lock and unlock it.
  const int flags =
      SQLITE_OPEN_NOMUTEX |
      (mode == Mode::ReadOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
  const int rc = sqlite3_open_v2(path.toUtf8().constData(), &db, flags, nullptr);
  Handle handle(db);
  if (rc != SQLITE_OK)
    return Error{QStringLiteral("无法打开数据库 %1：%2").arg(path, handle.failure())};
  sqlite3_extended_result_codes(db, 1);
  sqlite3_busy_timeout(db, kBusyTimeoutMs);
  for (const auto& [limit, value] : kLimits) sqlite3_limit(db, limit, value);
  // No SQL text may touch the file's structure or run schema code it does not trust.
  sqlite3_db_config(db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
  sqlite3_db_config(db, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
  registerFunctions(db);
  if (mode == Mode::ReadOnly) {
    if (Status s = handle.exec(QStringLiteral("PRAGMA query_only=1")); !s) return Error{s.error()};
  }
  return handle;
}

Handle::Handle(Handle&& other) noexcept : db_(std::exchange(other.db_, nullptr)) {}

Handle& Handle::operator=(Handle&& other) noexcept {
  if (this != &other) {
    sqlite3_close_v2(db_);
    db_ = std::exchange(other.db_, nullptr);
  }
  return *this;
}

Handle::~Handle() { sqlite3_close_v2(db_); }

Result<Statement> Handle::prepare(const QString& sql) {
  const QByteArray text = sql.toUtf8();
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(db_, text.constData(), int(text.size()), &statement, nullptr) != SQLITE_OK)
    return Error{failure()};
  return Statement(statement);
}

Status Handle::exec(const QString& sql) {
  if (sqlite3_exec(db_, sql.toUtf8().constData(), nullptr, nullptr, nullptr) != SQLITE_OK)
    return Error{failure()};
  return ok();
}

QString Handle::failure() const {
  if (!db_) return QStringLiteral("内存不足");
  const int code = sqlite3_extended_errcode(db_);
  const QString message = QString::fromUtf8(sqlite3_errmsg(db_));
  switch (code & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return QStringLiteral("数据库正忙，请稍后重试");
    case SQLITE_INTERRUPT:
      return QStringLiteral("查询时间过长，已中止");
    case SQLITE_TOOBIG:
      return QStringLiteral("数据过大：单个值不能超过 %1 KiB").arg(kMaxBuiltValueBytes / 1024);
    case SQLITE_FULL:
      if (takeTempLimitHit()) return tempLimitMessage();
      return QStringLiteral("服务器磁盘已满：%1").arg(message);
    case SQLITE_NOMEM:
      return QStringLiteral("服务器内存不足，请缩小查询范围");
    case SQLITE_CONSTRAINT:
      return code == SQLITE_CONSTRAINT_UNIQUE || code == SQLITE_CONSTRAINT_PRIMARYKEY
                 ? QStringLiteral("保存失败：与已有记录重复（%1）").arg(message)
                 : QStringLiteral("保存失败：不符合数据约束（%1）").arg(message);
    default:
      return QStringLiteral("数据库错误：%1").arg(message);
  }
}

Result<Transaction> Transaction::begin(Handle& handle) {
  if (!WriteTurns::shared().acquire(kWriteTurnWaitMs))
    return Error{QStringLiteral("数据库正忙，请稍后重试")};
  Transaction transaction(handle);
  if (Status s = handle.exec(QStringLiteral("BEGIN IMMEDIATE")); !s) return Error{s.error()};
  return transaction;
}

Transaction::Transaction(Transaction&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)) {}

Transaction::~Transaction() {
  if (!handle_) return;
  sqlite3_exec(handle_->get(), "ROLLBACK", nullptr, nullptr, nullptr);
  WriteTurns::shared().release();
}

Status Transaction::commit() {
  Status s = handle_->exec(QStringLiteral("COMMIT"));
  if (s) {
    handle_ = nullptr;
    WriteTurns::shared().release();
  }
  return s;
}

Result<StatementCache::Lease> StatementCache::get(const QString& sql) {
  auto found = statements_.find(sql);
  if (found == statements_.end()) {
    Result<Statement> prepared = handle_.prepare(sql);
    if (!prepared) return Error{prepared.error()};
    if (statements_.size() >= kMostStatements) statements_.clear();
    found = statements_.emplace(sql, std::move(*prepared)).first;
  }
  sqlite3_clear_bindings(found->second.get());
  return Lease(&found->second);
}

Status runToEnd(Handle& handle, Statement& statement) {
  int rc;
  while ((rc = sqlite3_step(statement.get())) == SQLITE_ROW) {
  }
  if (rc != SQLITE_DONE) return Error{handle.failure()};
  return ok();
}

}  // namespace storage::sqlite
