#include "storage/sqlite/storage.h"

#include <QLocale>
#include <QScopeGuard>
#include <limits>

#include "protocol/frame.h"
#include "protocol/utf8.h"
#include "schema/values.h"
#include "storage/row_stream.h"
#include "storage/sqlite/apply.h"
#include "storage/sqlite/schema.h"

namespace storage {

using sqlite::Handle;
using sqlite::quoted;
using sqlite::Statement;
using sqlite::Transaction;

namespace {

// A statement's current row as streamRows reads it. Each value is looked up once, however many
// questions are asked of it. Text that is not valid UTF-8 (a blob) goes with its bad bytes
// replaced; a real as its shortest text.
class Cursor {
 public:
  Cursor(Handle& db, Statement& statement) : db_(db), statement_(statement), s_(statement.get()) {}

  bool next(Status* failure) {
    column_ = -1;
    const int rc = sqlite3_step(s_);
    if (rc == SQLITE_ROW) return true;
    if (rc != SQLITE_DONE) *failure = Error{db_.failure()};
    return false;
  }
  qint64 identity() const { return sqlite3_column_int64(s_, 0); }
  bool isNull(int column) { return typeOf(column) == SQLITE_NULL; }
  std::optional<qint64> integer(int column) {
    if (typeOf(column) != SQLITE_INTEGER) return std::nullopt;
    return sqlite3_value_int64(value_);
  }
  QByteArrayView text(int column) {
    if (typeOf(column) == SQLITE_FLOAT) {
      scratch_ = QString::number(sqlite3_value_double(value_), 'g', QLocale::FloatingPointShortest)
                     .toUtf8();
      return scratch_;
    }
    const auto* bytes = reinterpret_cast<const char*>(sqlite3_value_text(value_));
    const QByteArrayView text(bytes, sqlite3_value_bytes(value_));
    if (protocol::isValidUtf8(text)) return text;
    scratch_ = QString::fromUtf8(text).toUtf8();
    return scratch_;
  }
  QVariant value(int column) const { return statement_.column(column); }

 private:
  // The column's value and type, valid until the next step.
  int typeOf(int column) {
    if (column != column_) {
      column_ = column;
      value_ = sqlite3_column_value(s_, column);
      type_ = sqlite3_value_type(value_);
    }
    return type_;
  }

  Handle& db_;
  Statement& statement_;
  sqlite3_stmt* s_;
  int column_ = -1;
  sqlite3_value* value_ = nullptr;
  int type_ = SQLITE_NULL;
  QByteArray scratch_;
};

Status stream(Handle& db, Statement& statement, const QList<int>& shown, const QStringList& names,
              bool rids, RowSink& out, int distinctKey = -1) {
  Cursor cursor(db, statement);
  return streamRows(cursor, shown, names, rids, out, distinctKey);
}

}  // namespace

SqliteStorage::SqliteStorage(Handle write, Handle read)
    : write_(std::move(write)), read_(std::move(read)), gate_(read_) {}

Result<std::unique_ptr<SqliteStorage>> SqliteStorage::open(const QString& path,
                                                           const StorageOptions& options) {
  Result<Handle> write = Handle::open(path, Handle::Mode::ReadWrite);
  if (!write) return Error{write.error()};
  Result<Handle> read = Handle::open(path, Handle::Mode::ReadOnly);
  if (!read) return Error{read.error()};
  // Reads of a large file go through a mapping shared by every connection, and a page cache of
  // their own, instead of a read call per page.
  if (Status s = read->exec(QStringLiteral("PRAGMA cache_size=-%1; PRAGMA mmap_size=%2")
                                .arg(qint64(options.cacheMiB) * 1024)
                                .arg(qint64(options.mmapMiB) * 1024 * 1024));
      !s)
    return Error{s.error()};
  return std::unique_ptr<SqliteStorage>(new SqliteStorage(std::move(*write), std::move(*read)));
}

Status SqliteStorage::ensureSchema() {
  if (Status s = write_.exec(QStringLiteral("PRAGMA journal_mode=WAL")); !s) return s;
  Result<Transaction> transaction = Transaction::begin(write_);
  if (!transaction) return Error{transaction.error()};
  Result<Statement> tables =
      write_.prepare(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type='table'"));
  if (!tables) return Error{tables.error()};
  if (sqlite3_step(tables->get()) != SQLITE_ROW) return Error{write_.failure()};
  const bool fresh = sqlite3_column_int(tables->get(), 0) == 0;
  tables = Statement();
  for (const QString& statement : sqlite::schemaStatements())
    if (Status s = write_.exec(statement); !s) return s;
  // A new database is made at the current version at once.
  if (fresh) {
    for (const SchemaStep& step : schemaSteps())
      for (const QString& statement : sqlite::stepStatements(step))
        if (Status s = write_.exec(statement); !s) return s;
    if (Status s =
            write_.exec(QStringLiteral("PRAGMA user_version=%1").arg(currentSchemaVersion()));
        !s)
      return s;
  }
  return transaction->commit();
}

Result<int> SqliteStorage::schemaVersion() {
  Result<Statement> version = write_.prepare(QStringLiteral("PRAGMA user_version"));
  if (!version) return Error{version.error()};
  if (sqlite3_step(version->get()) != SQLITE_ROW) return Error{write_.failure()};
  return sqlite3_column_int(version->get(), 0);
}

Status SqliteStorage::upgrade(const QList<const SchemaStep*>& steps) {
  if (steps.isEmpty()) return ok();
  Result<Transaction> transaction = Transaction::begin(write_);
  if (!transaction) return Error{transaction.error()};
  for (const SchemaStep* step : steps)
    for (const QString& statement : sqlite::stepStatements(*step))
      if (Status s = write_.exec(statement); !s) return s;
  if (Status s = write_.exec(QStringLiteral("PRAGMA user_version=%1").arg(steps.last()->version));
      !s)
    return s;
  return transaction->commit();
}

Status SqliteStorage::checkpoint() {
  return write_.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
}

Status SqliteStorage::readTable(const schema::Table& table, const std::optional<QString>& personKey,
                                RowSink& rows) {
  if (personKey && !table.column(u"id"))
    return Error{QStringLiteral("表 %1 不能按身份证号读取").arg(table.name)};
  const TableRead read =
      tableRead(table, personKey ? sqlite::personKeyCondition(table) : QString());
  Result<sqlite::StatementCache::Lease> statement = reads_.get(read.sql);
  if (!statement) return Error{statement.error()};
  if (personKey) (*statement)->bind(1, schema::trim(*personKey));
  const sqlite::SelectGate::Run run = gate_.startClock();
  return stream(read_, **statement, read.shown, table.columnNames(), true, rows);
}

Status SqliteStorage::select(const QString& text, const QVariantList& params, RowSink& rows) {
  // A text passes the gate once per connection; its statement is kept and run again.
  auto found = selects_.find(text);
  if (found == selects_.end()) {
    Result<sqlite::CheckedSelect> checked = gate_.check(text, sqlite::SelectGate::Use::Run);
    if (!checked) return Error{checked.error()};
    if (selects_.size() >= kMostSelects) selects_.clear();
    found = selects_.emplace(text, std::move(*checked)).first;
  }
  const sqlite::CheckedSelect& checked = found->second;
  sqlite3_stmt* statement = checked.statement.get();
  const auto reset = qScopeGuard([statement] {
    sqlite3_reset(statement);
    sqlite3_clear_bindings(statement);
  });
  const int wanted = sqlite3_bind_parameter_count(statement);
  if (wanted != params.size())
    return Error{
        QStringLiteral("查询参数个数不符：需要 %1 个，收到 %2 个").arg(wanted).arg(params.size())};
  Statement& bound = found->second.statement;
  bound.bindAll(params);
  const sqlite::SelectGate::Run run = gate_.startClock();
  return stream(read_, bound, checked.shown, checked.names, checked.rids, rows,
                checked.distinctKey);
}

Result<SelectShape> SqliteStorage::describe(const QString& text) {
  Result<sqlite::CheckedSelect> checked = gate_.check(text, sqlite::SelectGate::Use::Describe);
  if (!checked) return Error{checked.error()};
  return SelectShape{checked->table, checked->storedColumns};
}

Result<QList<qint64>> SqliteStorage::apply(const QList<TableWrite>& writes,
                                           const Applier& applier) {
  Result<Transaction> transaction = Transaction::begin(write_);
  if (!transaction) return Error{transaction.error()};
  sqlite::Writer rows(write_);
  Result<QList<qint64>> inserted = applyRows(rows, writes, applier, changeTime());
  if (!inserted) return inserted;
  if (Status s = transaction->commit(); !s) return Error{s.error()};
  return inserted;
}

Result<qint64> SqliteStorage::countRows(const schema::Table& table, const QString& column,
                                        const QVariant& value) {
  if (!table.column(column))
    return Error{QStringLiteral("表 %1 没有列 %2").arg(table.name, column)};
  Result<sqlite::StatementCache::Lease> statement =
      writes_.get(QStringLiteral("SELECT count(*) FROM %1 WHERE %2=?1")
                      .arg(quoted(table.name), quoted(column)));
  if (!statement) return Error{statement.error()};
  (*statement)->bind(1, value);
  if (sqlite3_step((*statement)->get()) != SQLITE_ROW) return Error{write_.failure()};
  return qint64(sqlite3_column_int64((*statement)->get(), 0));
}

Result<std::optional<Account>> SqliteStorage::findAccount(const QString& id) {
  const schema::Table& accounts = *schema::table(schema::kAccounts);
  Result<sqlite::StatementCache::Lease> statement =
      writes_.get(QStringLiteral("SELECT \"password\",\"qx\" FROM %1 WHERE %2 ORDER BY rid LIMIT 1")
                      .arg(quoted(accounts.name), sqlite::personKeyCondition(accounts)));
  if (!statement) return Error{statement.error()};
  (*statement)->bind(1, id);
  const int rc = sqlite3_step((*statement)->get());
  if (rc == SQLITE_DONE) return std::optional<Account>();
  if (rc != SQLITE_ROW) return Error{write_.failure()};
  Account account;
  if (sqlite3_column_type((*statement)->get(), 0) == SQLITE_TEXT)
    account.passwordHash = (*statement)->column(0).toString().toUtf8();
  account.role = (*statement)->column(1);
  return std::optional<Account>(account);
}

Result<qint64> SqliteStorage::draw(const schema::Table& history) {
  if (!history.isHistory()) return Error{QStringLiteral("%1 不是记录表").arg(history.name)};
  Result<Transaction> transaction = Transaction::begin(write_);
  if (!transaction) return Error{transaction.error()};
  const QString counter = quoted(history.name);
  // Rows stored before numbers were checked may hold numbers the counter never issued.
  Result<Statement> highest = write_.prepare(
      QStringLiteral("SELECT max(coalesce(CAST(%1 AS INTEGER),0),"
                     "coalesce(CAST((SELECT max(\"id_num\") FROM %2) AS INTEGER),0)),"
                     "(SELECT min(rid) FROM %3) FROM %3 WHERE rid=(SELECT min(rid) FROM %3)")
          .arg(counter, quoted(history.name), quoted(schema::kCounter)));
  if (!highest) return Error{highest.error()};
  const int rc = sqlite3_step(highest->get());
  if (rc == SQLITE_DONE) return Error{QStringLiteral("计数器行不存在")};
  if (rc != SQLITE_ROW) return Error{write_.failure()};
  if (sqlite3_column_type(highest->get(), 0) != SQLITE_INTEGER ||
      sqlite3_column_int64(highest->get(), 0) == std::numeric_limits<qint64>::max())
    return Error{QStringLiteral("%1的序号已用尽，请联系管理员").arg(history.caption)};
  const qint64 value = sqlite3_column_int64(highest->get(), 0) + 1;
  const qint64 row = sqlite3_column_int64(highest->get(), 1);
  Result<Statement> update = write_.prepare(
      QStringLiteral("UPDATE %1 SET %2=?1 WHERE rid=?2").arg(quoted(schema::kCounter), counter));
  if (!update) return Error{update.error()};
  update->bindAll({value, row});
  if (Status s = sqlite::runToEnd(write_, *update); !s) return Error{s.error()};
  if (Status s = transaction->commit(); !s) return Error{s.error()};
  return value;
}

}  // namespace storage
