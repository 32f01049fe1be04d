#include "storage/sqlite/apply.h"

#include <QStringList>

#include "schema/values.h"
#include "storage/sqlite/schema.h"

namespace storage::sqlite {

namespace {

using Kind = protocol::Change::Kind;

// "?1", "?2" … numbered from `first`.
QString marks(qsizetype count, int first = 1) {
  QStringList out;
  for (qsizetype i = 0; i < count; ++i) out << u'?' + QString::number(first + i);
  return out.join(u',');
}

Status run(Handle& db, const QString& sql, const QVariantList& values) {
  Result<Statement> statement = db.prepare(sql);
  if (!statement) return Error{statement.error()};
  statement->bindAll(values);
  return runToEnd(db, *statement);
}

Result<qint64> insertRow(Handle& db, const schema::Table& table, const ColumnValues& columns) {
  QStringList names;
  for (const auto& [name, value] : columns) names << quoted(name);
  const QString sql = names.isEmpty()
                          ? QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(quoted(table.name))
                          : QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                .arg(quoted(table.name), names.join(u','), marks(names.size()));
  if (Status s = run(db, sql, valuesOf(columns)); !s) return Error{s.error()};
  return qint64(sqlite3_last_insert_rowid(db.get()));
}

// The stored row must exist, be the owner's and still hold the values that were read.
Status checkRow(Handle& db, const schema::Table& table, const RowWrite& row,
                const std::optional<QString>& owner) {
  const QString notYours = QStringLiteral("没有权限修改他人的数据");
  if (owner && !table.column(u"id")) return Error{notYours};
  QStringList same;
  for (int i = 0; i < row.expected.size(); ++i)
    same << QStringLiteral("%1 IS ?%2").arg(quoted(row.expected[i].first)).arg(i + 1);
  const QString sql =
      QStringLiteral("SELECT %1%2 FROM %3 WHERE rid=?%4")
          .arg(same.isEmpty() ? QStringLiteral("1") : same.join(u" AND "),
               owner ? QStringLiteral(", strim(\"id\")") : QString(), quoted(table.name))
          .arg(row.expected.size() + 1);
  Result<Statement> statement = db.prepare(sql);
  if (!statement) return Error{statement.error()};
  statement->bindAll(valuesOf(row.expected) << QVariant(row.rid));
  const int rc = sqlite3_step(statement->get());
  if (rc == SQLITE_DONE) return Error{QStringLiteral("要修改的记录已不存在")};
  if (rc != SQLITE_ROW) return Error{db.failure()};
  if (owner && statement->column(1).toString() != *owner) return Error{notYours};
  if (sqlite3_column_int(statement->get(), 0) == 0)
    return Error{QStringLiteral("记录已被其他用户修改，请重新打开后再保存")};
  return ok();
}

// A person has at most one row in a one-row table and one account: a second row for the same
// trimmed `id` (two first saves racing, or a row moved onto another person) is refused. A row
// that keeps its person passes, so a database that already holds duplicates keeps working.
Status checkOnePerPerson(Handle& db, const schema::Table& table, const RowWrite& row) {
  if (table.kind != schema::TableKind::OneRow && table.kind != schema::TableKind::Accounts)
    return ok();
  const QVariant* id = valueOf(row.values, u"id");
  if (!id || id->isNull()) return ok();
  Result<Statement> statement =
      db.prepare(QStringLiteral("SELECT 1 FROM %1 WHERE %2 AND rid IS NOT ?2 AND NOT EXISTS "
                                "(SELECT 1 FROM %1 WHERE rid=?2 AND strim(\"id\")=?1) LIMIT 1")
                     .arg(quoted(table.name), personKeyCondition(table)));
  if (!statement) return Error{statement.error()};
  statement->bindAll(
      {schema::trim(id->toString()), row.kind == Kind::Insert ? QVariant() : QVariant(row.rid)});
  const int rc = sqlite3_step(statement->get());
  if (rc == SQLITE_ROW)
    return Error{QStringLiteral("%1中已有身份证号 %2 的记录（可能刚被其他用户添加），"
                                "请重新打开后再保存")
                     .arg(table.caption.isEmpty() ? table.name : table.caption,
                          schema::trim(id->toString()))};
  if (rc != SQLITE_DONE) return Error{db.failure()};
  return ok();
}

// A history row's `id_num` is a number the table's counter has issued: from 1 to its value.
Status checkIssuedNumber(Handle& db, const schema::Table& table, const RowWrite& row) {
  if (!table.isHistory()) return ok();
  const QVariant* number = valueOf(row.values, u"id_num");
  if (!number) {
    if (row.kind != Kind::Insert) return ok();
  } else if (number->typeId() == QMetaType::LongLong && number->toLongLong() >= 1) {
    Result<Statement> statement =
        db.prepare(QStringLiteral("SELECT %1 FROM %2 ORDER BY rid LIMIT 1")
                       .arg(quoted(table.name), quoted(schema::kCounter)));
    if (!statement) return Error{statement.error()};
    const int rc = sqlite3_step(statement->get());
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) return Error{db.failure()};
    if (rc == SQLITE_ROW && number->toLongLong() <= sqlite3_column_int64(statement->get(), 0))
      return ok();
  }
  return Error{QStringLiteral("%1的序号必须是系统分配的号码").arg(table.caption)};
}

}  // namespace

Result<qint64> writeRow(Handle& db, const schema::Table& table, const RowWrite& row,
                        const std::optional<QString>& owner) {
  if (table.kind == schema::TableKind::Counter)
    return Error{QStringLiteral("计数器只能由系统取号修改")};
  if (Status s = knownColumns(table, row.values); !s) return Error{s.error()};
  if (Status s = knownColumns(table, row.expected); !s) return Error{s.error()};
  if (row.kind != Kind::Delete) {
    if (Status s = checkIssuedNumber(db, table, row); !s) return Error{s.error()};
    if (Status s = checkOnePerPerson(db, table, row); !s) return Error{s.error()};
  }
  if (row.kind == Kind::Insert) return insertRow(db, table, row.values);

  if (Status s = checkRow(db, table, row, owner); !s) return Error{s.error()};
  const QString t = quoted(table.name);
  if (row.kind == Kind::Delete) {
    if (Status s = run(db, QStringLiteral("DELETE FROM %1 WHERE rid=?1").arg(t), {row.rid}); !s)
      return Error{s.error()};
  } else if (!row.values.isEmpty()) {
    QStringList sets;
    for (int i = 0; i < row.values.size(); ++i)
      sets << QStringLiteral("%1=?%2").arg(quoted(row.values[i].first)).arg(i + 1);
    const QString sql = QStringLiteral("UPDATE %1 SET %2 WHERE rid=?%3")
                            .arg(t, sets.join(u','))
                            .arg(row.values.size() + 1);
    if (Status s = run(db, sql, valuesOf(row.values) << QVariant(row.rid)); !s)
      return Error{s.error()};
  }
  return row.rid;
}

Result<ColumnValues> storedRow(Handle& db, const schema::Table& table, qint64 rid) {
  QStringList names;
  for (const schema::Column& c : table.columns)
    if (c.kind != schema::Kind::Password) names << c.name;
  QStringList quotedNames;
  for (const QString& name : names) quotedNames << quoted(name);
  Result<Statement> statement = db.prepare(QStringLiteral("SELECT %1 FROM %2 WHERE rid=?1")
                                               .arg(quotedNames.join(u','), quoted(table.name)));
  if (!statement) return Error{statement.error()};
  statement->bind(1, rid);
  const int rc = sqlite3_step(statement->get());
  if (rc == SQLITE_DONE) return Error{QStringLiteral("要修改的记录已不存在")};
  if (rc != SQLITE_ROW) return Error{db.failure()};
  ColumnValues row;
  for (int i = 0; i < names.size(); ++i) row.append({names[i], statement->column(i)});
  return row;
}

Status Writer::run(const QString& sql, const QVariantList& values) {
  return sqlite::run(db_, sql, values);
}

}  // namespace storage::sqlite
