#include "storage/postgres/storage.h"

#include <QScopeGuard>
#include <limits>

#include "schema/values.h"
#include "storage/postgres/apply.h"
#include "storage/postgres/schema.h"
#include "storage/row_stream.h"

namespace storage {

using pg::Connection;
using pg::Params;
using pg::Pool;
using pg::quoted;
using pg::Rows;

namespace {

constexpr Oid kText = 25;

// A single-row-mode read's current row as streamRows reads it.
class Cursor {
 public:
  explicit Cursor(Connection& db) : db_(db) {}

  // Takes the next result; a failure is kept and what follows drained, so the connection is
  // ready for its next statement.
  bool next(Status* failure) {
    while (PGresult* raw = PQgetResult(db_.get())) {
      row_ = Rows(raw);
      const ExecStatusType status = PQresultStatus(raw);
      if (status == PGRES_SINGLE_TUPLE && *failure) return true;
      if (status != PGRES_TUPLES_OK && *failure) *failure = Error{db_.failure(raw)};
    }
    return false;
  }
  qint64 identity() const { return QByteArray(PQgetvalue(row_.get(), 0, 0)).toLongLong(); }
  bool isNull(int column) const { return PQgetisnull(row_.get(), 0, column); }
  std::optional<qint64> integer(int column) {
    if (PQftype(row_.get(), column) == kText) return std::nullopt;
    value_ = pg::value(row_.get(), 0, column);
    if (value_.typeId() != QMetaType::LongLong) return std::nullopt;
    return value_.toLongLong();
  }
  QByteArrayView text(int column) {
    if (PQftype(row_.get(), column) == kText)
      return QByteArrayView(PQgetvalue(row_.get(), 0, column), PQgetlength(row_.get(), 0, column));
    scratch_ = value_.toString().toUtf8();  // integer() has read the value
    return scratch_;
  }
  QVariant value(int column) const { return pg::value(row_.get(), 0, column); }

 private:
  Connection& db_;
  Rows row_;
  QVariant value_;
  QByteArray scratch_;
};

// Sends `statement` and streams its rows as they arrive. A read that ends early leaves the rest
// to the pool, which cancels it.
Status stream(Connection& db, const QByteArray& statement, const Params& params,
              const QList<int>& shown, const QStringList& names, bool rids, RowSink& out,
              int distinctKey = -1, qint64* streamed = nullptr, bool begun = false) {
  if (!PQsendQueryPrepared(db.get(), statement.constData(), params.size(), params.values(), nullptr,
                           nullptr, 0))
    return Error{db.failure()};
  PQsetSingleRowMode(db.get());
  Cursor cursor(db);
  return streamRows(cursor, shown, names, rids, out, distinctKey, streamed, begun);
}

// Reads a text in two steps in one snapshot: its first rows under a LIMIT, for which
// PostgreSQL picks a plan that starts at once (the main list at a million persons: a merge join
// of the two id indexes, its first rows in a tenth of the time), then the rest under an OFFSET
// with the plan that is fastest in all. The order is total, so the rest starts right after
// the first rows.
Status streamInSteps(Connection& db, const pg::Select& select, const Params& params, RowSink& out) {
  Result<QByteArray> first = db.prepared(select.firstRows, select.marks);
  if (!first) return Error{first.error()};
  Result<QByteArray> rest = db.prepared(select.restRows, select.marks);
  if (!rest) return Error{rest.error()};
  if (Status s = db.exec(QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY")); !s)
    return s;
  qint64 streamed = 0;
  if (Status s = stream(db, *first, params, select.shown, select.names, false, out, -1, &streamed);
      !s)
    return s;
  if (streamed == pg::Select::kFirstRows) {
    out.sendNow();  // the rest waits for its plan's sort
    if (Status s =
            stream(db, *rest, params, select.shown, select.names, false, out, -1, nullptr, true);
        !s)
      return s;
  }
  return db.exec(QStringLiteral("COMMIT"));
}

Result<Rows> runOnce(Connection& db, const QString& sql, const QVariantList& values = {}) {
  Result<QByteArray> statement = db.prepared(sql);
  if (!statement) return Error{statement.error()};
  return db.runPrepared(*statement, Params(values));
}

}  // namespace

Result<std::unique_ptr<PgStorage>> PgStorage::open(const QString& location,
                                                   const StorageOptions& options) {
  Result<std::shared_ptr<Pool>> pool = Pool::of(location, options.pgConnections);
  if (!pool) return Error{pool.error()};
  return std::unique_ptr<PgStorage>(new PgStorage(*pool, pg::Gate::of(location)));
}

Status PgStorage::ensureSchema() {
  Result<Pool::Lease> writer = pool_->take(pg::Role::Writer);
  if (!writer) return Error{writer.error()};
  if (Status s = (*writer)->exec(QStringLiteral("BEGIN")); !s) return s;
  Result<Rows> existing =
      (*writer)->run(QStringLiteral("SELECT to_regclass('public.info') IS NULL"));
  if (!existing) return Error{existing.error()};
  const bool fresh = PQgetvalue(existing->get(), 0, 0)[0] == 't';
  for (const QString& statement : pg::schemaStatements())
    if (Status s = (*writer)->exec(statement); !s) return s;
  // A new database is made at the current version at once.
  if (fresh) {
    for (const SchemaStep& step : schemaSteps())
      for (const QString& statement : pg::stepStatements(step))
        if (Status s = (*writer)->exec(statement); !s) return s;
    if (Status s = (*writer)->exec(pg::recordVersionText(currentSchemaVersion())); !s) return s;
  }
  return (*writer)->exec(QStringLiteral("COMMIT"));
}

Result<int> PgStorage::schemaVersion() {
  Result<Pool::Lease> writer = pool_->take(pg::Role::Writer);
  if (!writer) return Error{writer.error()};
  Result<Rows> version = (*writer)->run(
      QStringLiteral("SELECT coalesce(max(version), 0) FROM %1").arg(quoted(pg::kVersionTable)));
  if (!version) return Error{version.error()};
  return QByteArray(PQgetvalue(version->get(), 0, 0)).toInt();
}

Status PgStorage::upgrade(const QList<const SchemaStep*>& steps) {
  if (steps.isEmpty()) return ok();
  Result<Pool::Lease> writer = pool_->take(pg::Role::Writer);
  if (!writer) return Error{writer.error()};
  if (Status s = (*writer)->exec(QStringLiteral("BEGIN")); !s) return s;
  // Servers starting together take turns, and steps another has made are not made again.
  if (Status s = (*writer)->exec(pg::schemaLockText()); !s) return s;
  Result<Rows> version = (*writer)->run(
      QStringLiteral("SELECT coalesce(max(version), 0) FROM %1").arg(quoted(pg::kVersionTable)));
  if (!version) return Error{version.error()};
  const int from = QByteArray(PQgetvalue(version->get(), 0, 0)).toInt();
  for (const SchemaStep* step : steps)
    if (step->version > from)
      for (const QString& statement : pg::stepStatements(*step))
        if (Status s = (*writer)->exec(statement); !s) return s;
  if (steps.last()->version > from)
    if (Status s = (*writer)->exec(pg::recordVersionText(steps.last()->version)); !s) return s;
  return (*writer)->exec(QStringLiteral("COMMIT"));
}

// PostgreSQL keeps its own files whole.
Status PgStorage::checkpoint() { return ok(); }

Status PgStorage::readTable(const schema::Table& table, const std::optional<QString>& personKey,
                            RowSink& rows) {
  if (personKey && !table.column(u"id"))
    return Error{QStringLiteral("表 %1 不能按身份证号读取").arg(table.name)};
  const TableRead read = tableRead(table, personKey ? pg::personKeyCondition() : QString());
  Result<Pool::Lease> reader = pool_->take(pg::Role::Reader, read.sql);
  if (!reader) return Error{reader.error()};
  Result<QByteArray> statement = (*reader)->prepared(read.sql);
  if (!statement) return Error{statement.error()};
  Params params;
  if (personKey) params.add(schema::trim(*personKey));
  return stream(**reader, *statement, params, read.shown, table.columnNames(), true, rows);
}

Status PgStorage::select(const QString& text, const QVariantList& params, RowSink& rows) {
  Result<Pool::Lease> reader = pool_->take(pg::Role::Reader, gate_.firstStatement(text));
  if (!reader) return Error{reader.error()};
  Result<std::shared_ptr<const pg::Select>> checked = gate_.check(**reader, text);
  if (!checked) return Error{checked.error()};
  const pg::Select& select = **checked;
  if (select.marks != params.size())
    return Error{QStringLiteral("查询参数个数不符：需要 %1 个，收到 %2 个")
                     .arg(select.marks)
                     .arg(params.size())};
  if (!select.firstRows.isEmpty()) return streamInSteps(**reader, select, Params(params), rows);
  Result<QByteArray> statement = (*reader)->prepared(select.sql, select.marks);
  if (!statement) return Error{statement.error()};
  return stream(**reader, *statement, Params(params), select.shown, select.names, select.rids, rows,
                select.distinctKey);
}

Result<SelectShape> PgStorage::describe(const QString& text) {
  Result<Pool::Lease> reader = pool_->take(pg::Role::Reader);
  if (!reader) return Error{reader.error()};
  Result<std::shared_ptr<const pg::Select>> checked = gate_.check(**reader, text);
  if (!checked) return Error{checked.error()};
  return SelectShape{(*checked)->table, (*checked)->storedColumns};
}

Result<QList<qint64>> PgStorage::apply(const QList<TableWrite>& writes, const Applier& applier) {
  Result<Pool::Lease> writer = pool_->take(pg::Role::Writer);
  if (!writer) return Error{writer.error()};
  Connection& db = **writer;
  if (Status s = db.exec(QStringLiteral("BEGIN")); !s) return Error{s.error()};
  if (Status s = pg::takeTurns(db, writes); !s) return Error{s.error()};
  applying_ = &db;
  const auto done = qScopeGuard([this] { applying_ = nullptr; });
  pg::Writer rows(db);
  Result<QList<qint64>> inserted = applyRows(rows, writes, applier, changeTime());
  if (!inserted) return inserted;
  if (Status s = db.exec(QStringLiteral("COMMIT")); !s) return Error{s.error()};
  return *inserted;
}

Result<qint64> PgStorage::countRows(const schema::Table& table, const QString& column,
                                    const QVariant& value) {
  if (!table.column(column))
    return Error{QStringLiteral("表 %1 没有列 %2").arg(table.name, column)};
  std::optional<Pool::Lease> own;
  Connection* db = applying_;
  if (!db) {
    Result<Pool::Lease> writer = pool_->take(pg::Role::Writer);
    if (!writer) return Error{writer.error()};
    own.emplace(std::move(*writer));
    db = &**own;
  }
  Result<Rows> count = runOnce(
      *db,
      QStringLiteral("SELECT count(*) FROM %1 WHERE %2=$1").arg(quoted(table.name), quoted(column)),
      {value});
  if (!count) return Error{count.error()};
  return pg::value(count->get(), 0, 0).toLongLong();
}

Result<std::optional<Account>> PgStorage::findAccount(const QString& id) {
  Result<Pool::Lease> writer = pool_->take(pg::Role::Writer);
  if (!writer) return Error{writer.error()};
  Result<Rows> found =
      runOnce(**writer,
              QStringLiteral("SELECT \"password\",\"qx\" FROM %1 WHERE %2 ORDER BY rid LIMIT 1")
                  .arg(quoted(schema::kAccounts), pg::personKeyCondition()),
              {id});
  if (!found) return Error{found.error()};
  if (PQntuples(found->get()) == 0) return std::optional<Account>();
  Account account;
  const QVariant hash = pg::value(found->get(), 0, 0);
  if (!hash.isNull()) account.passwordHash = hash.toString().toUtf8();
  account.role = pg::value(found->get(), 0, 1);
  return std::optional<Account>(account);
}

Result<qint64> PgStorage::draw(const schema::Table& history) {
  if (!history.isHistory()) return Error{QStringLiteral("%1 不是记录表").arg(history.name)};
  Result<Pool::Lease> writer = pool_->take(pg::Role::Writer);
  if (!writer) return Error{writer.error()};
  // One statement: the counter row stays locked from its read to the commit, so every server's
  // draws take turns on it. Rows stored before numbers were checked may hold larger numbers.
  const QString counter = quoted(history.name);
  const QString next =
      QStringLiteral("greatest(%1, (SELECT coalesce(max(\"id_num\"), 0) FROM %1))").arg(counter);
  Result<Rows> drawn = runOnce(
      **writer,
      QStringLiteral("UPDATE %1 SET %2 = %3 + 1 WHERE rid = (SELECT min(rid) FROM %1) AND %3 < %4"
                     " RETURNING %2")
          .arg(quoted(schema::kCounter), counter, next)
          .arg(std::numeric_limits<qint64>::max()));
  if (!drawn) return Error{drawn.error()};
  if (PQntuples(drawn->get()) == 1) return pg::value(drawn->get(), 0, 0).toLongLong();
  Result<Rows> rows =
      runOnce(**writer, QStringLiteral("SELECT count(*) FROM %1").arg(quoted(schema::kCounter)));
  if (!rows) return Error{rows.error()};
  if (pg::value(rows->get(), 0, 0).toLongLong() == 0)
    return Error{QStringLiteral("计数器行不存在")};
  return Error{QStringLiteral("%1的序号已用尽，请联系管理员").arg(history.caption)};
}

}  // namespace storage
