#include "storage/sqlite/backup.h"

#include "schema/tables.h"
#include "storage/copy.h"
#include "storage/sqlite/db.h"

namespace storage::sqlite {

namespace {

Result<qint64> countRows(Handle& db, const schema::Table& table) {
  Result<Statement> count =
      db.prepare(QStringLiteral("SELECT count(*) FROM %1").arg(quoted(table.name)));
  if (!count) return Error{count.error()};
  if (sqlite3_step(count->get()) != SQLITE_ROW) return Error{db.failure()};
  return qint64(sqlite3_column_int64(count->get(), 0));
}

}  // namespace

Status onlineBackup(const QString& path, const QString& target, QHash<QString, qint64>* counts) {
  Result<Handle> source = Handle::open(path, Handle::Mode::ReadOnly);
  if (!source) return Error{source.error()};
  Result<Handle> copy = Handle::open(target, Handle::Mode::ReadWrite);
  if (!copy) return Error{copy.error()};
  // One read transaction: the counts and the pages copied are of the same moment, and writers
  // go on meanwhile (the write-ahead log keeps the moment for this reader).
  if (Status s = source->exec(QStringLiteral("BEGIN")); !s) return s;
  Result<Statement> version = source->prepare(QStringLiteral("PRAGMA user_version"));
  if (!version) return Error{version.error()};
  if (sqlite3_step(version->get()) != SQLITE_ROW) return Error{source->failure()};
  for (const schema::Table* t : tablesOf(std::max(sqlite3_column_int(version->get(), 0), 1))) {
    Result<qint64> rows = countRows(*source, *t);
    if (!rows) return Error{rows.error()};
    counts->insert(t->name, *rows);
  }
  version = Statement();
  sqlite3_backup* backup = sqlite3_backup_init(copy->get(), "main", source->get(), "main");
  if (!backup) return Error{copy->failure()};
  const int stepped = sqlite3_backup_step(backup, -1);
  const int finished = sqlite3_backup_finish(backup);
  if (stepped != SQLITE_DONE || finished != SQLITE_OK)
    return Error{QStringLiteral("备份失败：%1").arg(copy->failure())};
  // A backup is one file, whatever journal its source keeps.
  if (Status s = copy->exec(QStringLiteral("PRAGMA journal_mode=DELETE")); !s) return s;
  return source->exec(QStringLiteral("COMMIT"));
}

Status checkBackup(const QString& path, const QHash<QString, qint64>& counts) {
  Result<Handle> db = Handle::open(path, Handle::Mode::ReadOnly);
  if (!db) return Error{db.error()};
  Result<Statement> check = db->prepare(QStringLiteral("PRAGMA integrity_check"));
  if (!check) return Error{check.error()};
  QStringList problems;
  while (sqlite3_step(check->get()) == SQLITE_ROW) problems << check->column(0).toString();
  if (problems != QStringList{QStringLiteral("ok")})
    return Error{QStringLiteral("备份未通过完整性检查：%1").arg(problems.join(u"; ").left(300))};
  for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
    Result<qint64> rows = countRows(*db, *schema::storedTable(it.key()));
    if (!rows) return Error{rows.error()};
    if (*rows != *it)
      return Error{QStringLiteral("备份中表 %1 有 %2 行，源数据库有 %3 行")
                       .arg(it.key())
                       .arg(*rows)
                       .arg(*it)};
  }
  return ok();
}

}  // namespace storage::sqlite
