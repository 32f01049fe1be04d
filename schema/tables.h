#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// The staff database: seventeen tables and the counter row, columns in their stored order.
// Both programs read this: the server creates the tables from it, the client takes labels,
// table lists and providers from it.
namespace schema {

enum class Kind {
  IdentityNumber,  // identity-card number as text; `id` everywhere
  Text,            // free text, stored trimmed
  LongText,        // free text that may run to paragraphs (posts held, course content)
  YearMonth,       // six bytes in GBK, e.g. "198001" (see values.h)
  Choice,          // text proposed by a fixed list; any text is accepted
  NumberText,      // a count typed by the user, stored as text
  Integer,         // `id_num`, `qx` and the counters
  Password,        // stored hashed by the server, never read back
};

enum class TableKind { OneRow, History, Accounts, Counter, ChangeLog };

struct Column {
  QString name;
  QString label;  // Chinese label; empty where the table gives none
  Kind kind;
};

struct Table {
  QString name;
  QString caption;  // group caption on forms and reports
  TableKind kind;
  QList<Column> columns;
  int since = 1;  // the schema version that brought the table (storage/schema_versions.h)

  const Column* column(QStringView columnName) const;
  QStringList columnNames() const;
  bool isHistory() const { return kind == TableKind::History; }
  // The column whose stored values are unique in the table (`id_num` of a history table, the
  // person of the change summary); empty when the table has none.
  QString uniqueColumn() const;
};

// All tables in a fixed order: the ten one-row tables, the six history tables, `user_name`,
// then the counter table.
const QList<Table>& tables();

// The table of that exact name, or nullptr.
const Table* table(QStringView name);

// The ten one-row-per-person tables, in the order listed above.
QList<const Table*> oneRowTables();

// The six history tables: jzgjckh, shgx, grll, jyqk, jnpx, jwpx.
QList<const Table*> historyTables();

// The accounts table and the table holding the counter row.
inline const QString kAccounts = QStringLiteral("user_name");
inline const QString kCounter = QStringLiteral("counter");

// The server's own tables beside the staff database: every applied change, one row per column
// (who, when, whose record, table, row, column, old and new value, kind), and per person the
// last change and the last review in it. Clients read them through select texts; no request
// writes them.
inline const QString kChangeLog = QStringLiteral("change_log");
inline const QString kChangeSummary = QStringLiteral("change_summary");
// The kinds of change the log records.
inline const QString kInserted = QStringLiteral("新增");
inline const QString kUpdated = QStringLiteral("修改");
inline const QString kDeleted = QStringLiteral("删除");
inline const QString kReviewed = QStringLiteral("审核");

// Every table as stored: the staff tables (tables()) and the server's own.
const QList<const Table*>& storedTables();
// The stored table of that exact name, or nullptr.
const Table* storedTable(QStringView name);

// Providers: `DataSetProvider_<table>` for the one-row tables, `DataSetProvider_user` for the
// accounts, `DataSetProvider_count` for the counter row, and the command-text providers that
// run a client's select text. Names are matched exactly as spelled.
const QStringList& commandTextProviders();

// The table a table provider serves, or nullptr (command-text providers and unknown names).
const Table* providerTable(QStringView provider);

}  // namespace schema
