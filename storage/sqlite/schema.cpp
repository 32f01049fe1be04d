#include "storage/sqlite/schema.h"

#include "storage/sqlite/db.h"
#include "storage/storage.h"

namespace storage::sqlite {

QStringList schemaStatements() {
  QStringList statements;
  for (const schema::Table& t : schema::tables()) {
    // AUTOINCREMENT: a deleted row's identity is never given to a new row, so a stale change can
    // never land on a row it was not read from.
    statements << createTableText(t, QStringLiteral("INTEGER PRIMARY KEY AUTOINCREMENT"),
                                  QStringLiteral("INTEGER"), QStringLiteral("TEXT"));
    if (t.column(u"id"))
      statements << QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON %2(\"id\")")
                        .arg(quoted(t.name + QStringLiteral("_id")), quoted(t.name));
  }
  statements << counterRowText();
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

}  // namespace storage::sqlite
