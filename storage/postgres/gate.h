#pragma once

#include <QHash>
#include <QMutex>
#include <QStringList>
#include <memory>

#include "schema/tables.h"
#include "storage/postgres/db.h"

namespace storage::pg {

// A client's select text that passed the gate, as it runs on PostgreSQL.
struct Select {
  QString sql;        // the text with `$N` marks; the row identity first when `rids`; ordered
  int marks = 0;      // parameters it takes
  bool rids = false;  // the row identity is the statement's column 0
  QList<int> shown;   // the statement's columns delivered, in order (never a `rid`)
  QStringList names;  // their packet names, made unique
  // A distinct text with rids drops repeated rows whose key is null (see sqlite::CheckedSelect);
  // the statement column of that key, else -1.
  int distinctKey = -1;
  const schema::Table* table = nullptr;   // the table written back to, when `rids`
  QHash<QString, QString> storedColumns;  // packet name → plain column of `table`
  // A text read in two steps (see PgStorage::select): `sql` under a LIMIT of kFirstRows, then
  // under an OFFSET of as many. Empty when the text is read in one.
  QString firstRows;
  QString restRows;
  static constexpr int kFirstRows = 1000;
};

// The select gate of one database, shared by the process. A text must be one SELECT (or WITH …
// SELECT) that writes nothing, calls only named functions and reads only the system's tables;
// it runs on a reader connection (read-only, as the select-only role, `user_name` seen
// without passwords). Rows get identities on the same terms as on SQLite, and a text without
// an ORDER BY of its own comes back in a fixed order: by row identity when it has them, else
// by every column. Where that order is total, the text's rows are the same in every run and it
// scans a few tables, it is read in two steps. Column names are those the text gives, as SQLite
// names them: the alias as written, a plain column's stored name, else the expression's text.
class Gate {
 public:
  static Gate& of(const QString& location);

  // The checked text, from the process's cache or checked now on `reader`.
  Result<std::shared_ptr<const Select>> check(Connection& reader, const QString& text);
  // The statement a checked text runs first (for choosing a connection that has it prepared);
  // empty when the text was not checked yet.
  QString firstStatement(const QString& text);

 private:
  struct Origin {
    QString table;
    QString column;
  };
  Result<Select> checkNew(Connection& reader, const QString& text);
  Status loadCatalog(Connection& reader);
  // The table of every scan in the text's plan (a table scanned twice is named twice).
  Result<QStringList> tablesRead(Connection& reader, const QByteArray& statement, int marks);
  void addRowIdentities(Connection& reader, const QString& text, int statementColumns,
                        const QList<Origin>& origins, const QSet<QString>& tables, Select& select);
  QList<Origin> origins(const PGresult* description) const;

  static constexpr int kMostTexts = 256;
  QMutex mutex_;
  QHash<QString, std::shared_ptr<const Select>> checked_;
  QHash<quint64, Origin> catalog_;  // (table oid << 16 | column number) → stored names
};

}  // namespace storage::pg
