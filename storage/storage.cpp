#include "storage/storage.h"

#include <QDateTime>
#include <atomic>
#include <mutex>

#include "storage/sql_text.h"

namespace storage {

const QVariant* valueOf(const ColumnValues& columns, QStringView column) {
  for (const auto& [name, value] : columns)
    if (name == column) return &value;
  return nullptr;
}

QVariantList valuesOf(const ColumnValues& columns) {
  QVariantList values;
  for (const auto& [name, value] : columns) values << value;
  return values;
}

Status knownColumns(const schema::Table& table, const ColumnValues& columns) {
  for (const auto& [name, value] : columns)
    if (!table.column(name)) return Error{QStringLiteral("表 %1 没有列 %2").arg(table.name, name)};
  return ok();
}

namespace {

TableRead composeTableRead(const schema::Table& table, const QString& personCondition) {
  using sqltext::quoted;
  QStringList columns{QStringLiteral("rid")};
  TableRead read;
  for (const schema::Column& c : table.columns) {
    read.shown << int(columns.size());
    columns << (c.kind == schema::Kind::Password ? QStringLiteral("NULL AS ") + quoted(c.name)
                                                 : quoted(c.name));
  }
  read.sql =
      QStringLiteral("SELECT %1 FROM %2%3 ORDER BY rid")
          .arg(columns.join(u','), quoted(table.name),
               personCondition.isEmpty() ? QString() : QStringLiteral(" WHERE ") + personCondition);
  return read;
}

}  // namespace

TableRead tableRead(const schema::Table& table, const QString& personCondition) {
  // Composed once for each table and condition: every record page's open asks for one.
  static std::mutex mutex;
  static QHash<std::pair<const schema::Table*, QString>, TableRead> made;
  const std::lock_guard lock(mutex);
  auto found = made.find({&table, personCondition});
  if (found == made.end())
    found = made.insert({&table, personCondition}, composeTableRead(table, personCondition));
  return *found;
}

namespace {
std::atomic<qint64> tempBytes = 512ll * 1024 * 1024;
}  // namespace

QString changeTime() {
  return QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

qint64 queryTempBytes() { return tempBytes; }
void setQueryTempBytes(qint64 bytes) { tempBytes = bytes; }
QString tempLimitMessage() {
  return QStringLiteral("查询所需的临时空间超过 %1 MiB，请缩小查询范围")
      .arg(queryTempBytes() / (1024 * 1024));
}

QString createTableText(const schema::Table& table, const QString& ridDefinition,
                        const QString& integer, const QString& text) {
  using sqltext::quoted;
  QStringList parts{QStringLiteral("rid ") + ridDefinition};
  for (const schema::Column& c : table.columns)
    parts << quoted(c.name) + u' ' + (c.kind == schema::Kind::Integer ? integer : text);
  if (const QString key = table.uniqueColumn(); !key.isEmpty())
    parts << QStringLiteral("UNIQUE(%1)").arg(quoted(key));
  return QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (%2)")
      .arg(quoted(table.name), parts.join(QStringLiteral(", ")));
}

QString counterRowText() {
  using sqltext::quoted;
  const schema::Table& counter = *schema::table(schema::kCounter);
  QStringList names, zeros;
  for (const schema::Column& c : counter.columns) {
    names << quoted(c.name);
    zeros << QStringLiteral("0");
  }
  return QStringLiteral("INSERT INTO %1 (%2) SELECT %3 WHERE NOT EXISTS (SELECT 1 FROM %1)")
      .arg(quoted(counter.name), names.join(u','), zeros.join(u','));
}

}  // namespace storage
