#include "server/sqlite_schema.h"

#include "server/sqlite_db.h"

namespace server::sqlite {

namespace {

QString createTable(const schema::Table& table) {
  // AUTOINCREMENT: a deleted row's identity is never given to a new row, so a stale change can
  // never land on a row it was not read from.
  QStringList parts{QStringLiteral("rid INTEGER PRIMARY KEY AUTOINCREMENT")};
  for (const schema::Column& c : table.columns)
    parts << quoted(c.name) +
                 QLatin1StringView(c.kind == schema::Kind::Integer ? " INTEGER" : " TEXT");
  if (const QString key = table.uniqueColumn(); !key.isEmpty())
    parts << QStringLiteral("UNIQUE(%1)").arg(quoted(key));
  return QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (%2)")
      .arg(quoted(table.name), parts.join(QStringLiteral(", ")));
}

QString counterRow() {
  const schema::Table& counter = *schema::table(schema::kCounter);
  QStringList names, zeros;
  for (const schema::Column& c : counter.columns) {
    names << quoted(c.name);
    zeros << QStringLiteral("0");
  }
  return QStringLiteral("INSERT INTO %1 (%2) SELECT %3 WHERE NOT EXISTS (SELECT 1 FROM %1)")
      .arg(quoted(counter.name), names.join(u','), zeros.join(u','));
}

}  // namespace

QStringList schemaStatements() {
  QStringList statements;
  for (const schema::Table& t : schema::tables()) {
    statements << createTable(t);
    if (t.column(u"id"))
      statements << QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON %2(\"id\")")
                        .arg(quoted(t.name + QStringLiteral("_id")), quoted(t.name));
  }
  statements << counterRow();
  return statements;
}

QString personKeyCondition(const schema::Table& table) {
  const QString t = quoted(table.name);
  return QStringLiteral(
             "rid IN (SELECT rid FROM %1 WHERE \"id\"=?1"
             " UNION ALL SELECT rid FROM %1 WHERE \"id\">?1 AND \"id\"<?1||'!'"
             " UNION ALL SELECT rid FROM %1 WHERE \"id\"<'!') AND strim(\"id\")=?1")
      .arg(t);
}

}  // namespace server::sqlite
