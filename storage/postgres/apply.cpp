#include "storage/postgres/apply.h"

#include <QStringList>
#include <algorithm>

#include "schema/values.h"
#include "storage/postgres/schema.h"
#include "storage/sql_text.h"

namespace storage::pg {

namespace {

using Kind = protocol::Change::Kind;

Result<Rows> run(Connection& db, const QString& sql, const QVariantList& values) {
  Result<QByteArray> statement = db.prepared(sql);
  if (!statement) return Error{statement.error()};
  return db.runPrepared(*statement, Params(values));
}

Status checkRow(Connection& db, const schema::Table& table, const RowWrite& row,
                const std::optional<QString>& owner) {
  const QString notYours = QStringLiteral("没有权限修改他人的数据");
  if (owner && !table.column(u"id")) return Error{notYours};
  QStringList same;
  for (int i = 0; i < row.expected.size(); ++i)
    same << QStringLiteral("%1 IS NOT DISTINCT FROM $%2")
                .arg(quoted(row.expected[i].first))
                .arg(i + 1);
  const QString sql =
      QStringLiteral("SELECT %1%2 FROM %3 WHERE rid=$%4 FOR UPDATE")
          .arg(same.isEmpty() ? QStringLiteral("true") : same.join(u" AND "),
               owner ? QStringLiteral(", strim(\"id\")") : QString(), quoted(table.name))
          .arg(row.expected.size() + 1);
  Result<Rows> found = run(db, sql, valuesOf(row.expected) << QVariant(row.rid));
  if (!found) return Error{found.error()};
  if (PQntuples(found->get()) == 0) return Error{QStringLiteral("要修改的记录已不存在")};
  if (owner && value(found->get(), 0, 1).toString() != *owner) return Error{notYours};
  if (value(found->get(), 0, 0).toLongLong() == 0)
    return Error{QStringLiteral("记录已被其他用户修改，请重新打开后再保存")};
  return ok();
}

bool onePerPerson(const schema::Table& table) {
  return table.kind == schema::TableKind::OneRow || table.kind == schema::TableKind::Accounts;
}

Error alreadyThere(const schema::Table& table, const QString& id) {
  return Error{QStringLiteral("%1中已有身份证号 %2 的记录（可能刚被其他用户添加），"
                              "请重新打开后再保存")
                   .arg(table.caption.isEmpty() ? table.name : table.caption, id)};
}

// For an update of a one-row table: no other row of the person it moves to.
Status checkOnePerPerson(Connection& db, const schema::Table& table, const RowWrite& row) {
  if (!onePerPerson(table)) return ok();
  const QVariant* id = valueOf(row.values, u"id");
  if (!id || id->isNull()) return ok();
  Result<Rows> found =
      run(db,
          QStringLiteral("SELECT 1 FROM %1 WHERE %2 AND rid<>$2 AND NOT EXISTS"
                         " (SELECT 1 FROM %1 WHERE rid=$2 AND strim(\"id\")=$1) LIMIT 1")
              .arg(quoted(table.name), personKeyCondition()),
          {schema::trim(id->toString()), QVariant(row.rid)});
  if (!found) return Error{found.error()};
  if (PQntuples(found->get()) > 0) return alreadyThere(table, schema::trim(id->toString()));
  return ok();
}

// Inserts the row; into a one-row table only when the person has no row there yet, checked in
// the same statement.
Result<qint64> insertRow(Connection& db, const schema::Table& table, const RowWrite& row) {
  QStringList names, values;
  for (const auto& [name, value] : row.values) {
    names << quoted(name);
    values << QStringLiteral("$%1::%2")
                  .arg(names.size())
                  .arg(table.column(name)->kind == schema::Kind::Integer ? u"bigint" : u"text");
  }
  const QVariant* id = valueOf(row.values, u"id");
  const bool keyed = onePerPerson(table) && id && !id->isNull();
  QVariantList params = valuesOf(row.values);
  QString sql = QStringLiteral("INSERT INTO %1 ").arg(quoted(table.name));
  if (names.isEmpty()) {
    sql += QStringLiteral("DEFAULT VALUES");
  } else {
    sql += QStringLiteral("(%1) SELECT %2").arg(names.join(u','), values.join(u','));
    if (keyed) {
      params << schema::trim(id->toString());
      sql +=
          QStringLiteral(" WHERE NOT EXISTS (SELECT 1 FROM %1 WHERE %2)")
              .arg(quoted(table.name), personKeyCondition(u'$' + QString::number(params.size())));
    }
  }
  Result<Rows> inserted = run(db, sql + QStringLiteral(" RETURNING rid"), params);
  if (!inserted) return Error{inserted.error()};
  if (PQntuples(inserted->get()) == 0) return alreadyThere(table, schema::trim(id->toString()));
  return value(inserted->get(), 0, 0).toLongLong();
}

Status checkIssuedNumber(Connection& db, const schema::Table& table, const RowWrite& row) {
  if (!table.isHistory()) return ok();
  const QVariant* number = valueOf(row.values, u"id_num");
  if (!number) {
    if (row.kind != Kind::Insert) return ok();
  } else if (number->typeId() == QMetaType::LongLong && number->toLongLong() >= 1) {
    Result<Rows> counter = run(db,
                               QStringLiteral("SELECT %1 FROM %2 ORDER BY rid LIMIT 1")
                                   .arg(quoted(table.name), quoted(schema::kCounter)),
                               {});
    if (!counter) return Error{counter.error()};
    if (PQntuples(counter->get()) > 0 &&
        number->toLongLong() <= value(counter->get(), 0, 0).toLongLong())
      return ok();
  }
  return Error{QStringLiteral("%1的序号必须是系统分配的号码").arg(table.caption)};
}

}  // namespace

Status takeTurns(Connection& db, const QList<TableWrite>& writes) {
  QStringList keys;
  for (const TableWrite& write : writes) {
    if (write.table->name == schema::kAccounts) keys << schema::kAccounts;
    if (write.table->kind != schema::TableKind::OneRow) continue;
    for (const RowWrite& row : write.rows)
      if (const QVariant* id = valueOf(row.values, u"id"); id && !id->isNull())
        keys << write.table->name + u':' + schema::trim(id->toString());
  }
  // In one order everywhere, so two transactions never wait for each other's turns.
  std::sort(keys.begin(), keys.end());
  keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
  if (keys.isEmpty()) return ok();
  QStringList elements;
  for (const QString& key : keys) {
    QString element = key;
    element.replace(u'\\', QStringLiteral("\\\\")).replace(u'"', QStringLiteral("\\\""));
    elements << u'"' + element + u'"';
  }
  // The array's elements in its order, in one round trip.
  Result<Rows> turns = run(db,
                           QStringLiteral("SELECT pg_advisory_xact_lock(hashtextextended(k, 0)) "
                                          "FROM unnest($1::text[]) WITH ORDINALITY AS u(k, n) "
                                          "ORDER BY n"),
                           {u'{' + elements.join(u',') + u'}'});
  if (!turns) return Error{turns.error()};
  return ok();
}

Result<qint64> writeRow(Connection& db, const schema::Table& table, const RowWrite& row,
                        const std::optional<QString>& owner) {
  if (table.kind == schema::TableKind::Counter)
    return Error{QStringLiteral("计数器只能由系统取号修改")};
  if (Status s = knownColumns(table, row.values); !s) return Error{s.error()};
  if (Status s = knownColumns(table, row.expected); !s) return Error{s.error()};
  if (row.kind != Kind::Delete)
    if (Status s = checkIssuedNumber(db, table, row); !s) return Error{s.error()};
  if (row.kind == Kind::Insert) return insertRow(db, table, row);
  if (row.kind == Kind::Update)
    if (Status s = checkOnePerPerson(db, table, row); !s) return Error{s.error()};
  const QString t = quoted(table.name);
  if (Status s = checkRow(db, table, row, owner); !s) return Error{s.error()};
  if (row.kind == Kind::Delete) {
    if (Result<Rows> r = run(db, QStringLiteral("DELETE FROM %1 WHERE rid=$1").arg(t), {row.rid});
        !r)
      return Error{r.error()};
  } else if (!row.values.isEmpty()) {
    QStringList sets;
    for (int i = 0; i < row.values.size(); ++i)
      sets << QStringLiteral("%1=$%2").arg(quoted(row.values[i].first)).arg(i + 1);
    const QString sql = QStringLiteral("UPDATE %1 SET %2 WHERE rid=$%3")
                            .arg(t, sets.join(u','))
                            .arg(row.values.size() + 1);
    if (Result<Rows> r = run(db, sql, valuesOf(row.values) << QVariant(row.rid)); !r)
      return Error{r.error()};
  }
  return row.rid;
}

Result<ColumnValues> storedRow(Connection& db, const schema::Table& table, qint64 rid) {
  QStringList names, quotedNames;
  for (const schema::Column& c : table.columns)
    if (c.kind != schema::Kind::Password) {
      names << c.name;
      quotedNames << quoted(c.name);
    }
  Result<Rows> row = run(db,
                         QStringLiteral("SELECT %1 FROM %2 WHERE rid=$1")
                             .arg(quotedNames.join(u','), quoted(table.name)),
                         {rid});
  if (!row) return Error{row.error()};
  if (PQntuples(row->get()) == 0) return Error{QStringLiteral("要修改的记录已不存在")};
  ColumnValues out;
  for (int i = 0; i < names.size(); ++i) out.append({names[i], value(row->get(), 0, i)});
  return out;
}

Status Writer::run(const QString& sql, const QVariantList& values) {
  const sqltext::NumberedMarks numbered = sqltext::numberMarks(sql);
  Result<Rows> rows = pg::run(db_, numbered.text, values);
  if (!rows) return Error{rows.error()};
  return ok();
}

}  // namespace storage::pg
