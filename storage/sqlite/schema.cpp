#include "storage/sqlite/schema.h"

#include "storage/sqlite/db.h"
#include "storage/storage.h"

namespace storage::sqlite {

namespace {

QStringList tableStatements(const schema::Table& t) {
  // AUTOINCREMENT: a deleted row's identity is never given to a new row, so a stale change can
  // never land on a row it was not read from.
  QStringList statements{createTableText(t, QStringLiteral("INTEGER PRIMARY KEY AUTOINCREMENT"),
                                         QStringLiteral("INTEGER"), QStringLiteral("TEXT"))};
  if (t.column(u"id"))
    statements << QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON %2(\"id\")")
                      .arg(quoted(t.name + QStringLiteral("_id")), quoted(t.name));
  return statements;
}

}  // namespace

QStringList schemaStatements() {
  QStringList statements;
  for (const schema::Table& t : schema::tables()) statements << tableStatements(t);
  statements << counterRowText();
  return statements;
}

QStringList stepStatements(const SchemaStep& step) {
  QStringList statements;
  for (const schema::Table* t : step.tables) statements << tableStatements(*t);
  return statements << step.sqlite;
}

QString personKeyCondition(const schema::Table& table) {
  const QString t = quoted(table.name);
  return QStringLiteral(
             "rid IN (SELECT rid FROM %1 WHERE \"id\"=?1"
             " UNION ALL SELECT rid FROM %1 WHERE \"id\">?1 AND \"id\"<?1||'!'"
             " UNION ALL SELECT rid FROM %1 WHERE \"id\"<'!') AND strim(\"id\")=?1")
      .arg(t);
}

}  // namespace storage::sqlite
