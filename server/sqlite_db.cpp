#include "server/sqlite_db.h"

#include <utility>

#include "schema/values.h"

namespace server::sqlite {

namespace {

constexpr int kBusyTimeoutMs = 5000;

// strim(x): schema::trim of the value as text; null stays null.
void strim(sqlite3_context* context, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
    sqlite3_result_null(context);
    return;
  }
  const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
  const int bytes = sqlite3_value_bytes(argv[0]);
  // Bytes up to 32 are single characters in UTF-8, so untouched ends need no decoding.
  if (bytes == 0 || (quint8(text[0]) > 32 && quint8(text[bytes - 1]) > 32)) {
    sqlite3_result_text(context, text, bytes, SQLITE_TRANSIENT);
    return;
  }
  const QByteArray trimmed = schema::trim(QString::fromUtf8(text, bytes)).toUtf8();
  sqlite3_result_text(context, trimmed.constData(), int(trimmed.size()), SQLITE_TRANSIENT);
}

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
  sqlite3* db = nullptr;
  const int flags =
      mode == Mode::ReadOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
  const int rc = sqlite3_open_v2(path.toUtf8().constData(), &db, flags, nullptr);
  Handle handle(db);
  if (rc != SQLITE_OK)
    return Error{QStringLiteral("无法打开数据库 %1：%2").arg(path, handle.failure())};
  sqlite3_extended_result_codes(db, 1);
  sqlite3_busy_timeout(db, kBusyTimeoutMs);
  // No SQL text may touch the file's structure or run schema code it does not trust.
  sqlite3_db_config(db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
  sqlite3_db_config(db, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
  sqlite3_create_function_v2(db, "strim", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS,
                             nullptr, strim, nullptr, nullptr, nullptr);
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
    case SQLITE_CONSTRAINT:
      return code == SQLITE_CONSTRAINT_UNIQUE || code == SQLITE_CONSTRAINT_PRIMARYKEY
                 ? QStringLiteral("保存失败：与已有记录重复（%1）").arg(message)
                 : QStringLiteral("保存失败：不符合数据约束（%1）").arg(message);
    default:
      return QStringLiteral("数据库错误：%1").arg(message);
  }
}

Result<Transaction> Transaction::begin(Handle& handle) {
  if (Status s = handle.exec(QStringLiteral("BEGIN IMMEDIATE")); !s) return Error{s.error()};
  return Transaction(handle);
}

Transaction::Transaction(Transaction&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)) {}

Transaction::~Transaction() {
  if (handle_) sqlite3_exec(handle_->get(), "ROLLBACK", nullptr, nullptr, nullptr);
}

Status Transaction::commit() {
  Status s = handle_->exec(QStringLiteral("COMMIT"));
  if (s) handle_ = nullptr;
  return s;
}

Status runToEnd(Handle& handle, Statement& statement) {
  int rc;
  while ((rc = sqlite3_step(statement.get())) == SQLITE_ROW) {
  }
  if (rc != SQLITE_DONE) return Error{handle.failure()};
  return ok();
}

QString quoted(QStringView identifier) {
  QString out = identifier.toString();
  out.replace(u'"', QStringLiteral("\"\""));
  return u'"' + out + u'"';
}

}  // namespace server::sqlite
