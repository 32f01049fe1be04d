#include "server/write_plan.h"

#include <QRegularExpression>
#include <QThread>
#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include "schema/limits.h"
#include "schema/values.h"
#include "storage/password.h"

namespace server {

namespace {

using Kind = protocol::Change::Kind;

bool isPassword(const schema::Table& table, const QString& column) {
  const schema::Column* c = table.column(column);
  return c && c->kind == schema::Kind::Password;
}

// A value for an integer column as it will be stored: an integer, or the text of one (digits
// with an optional sign) as that integer; null stays null. Anything else is refused rather than
// left to the engine, which would read "1e-400" as the number 0.
Result<QVariant> integerValue(const schema::Table& table, const QString& column,
                              const QVariant& value) {
  const schema::Column* c = table.column(column);
  if (!c || c->kind != schema::Kind::Integer || value.isNull() ||
      value.typeId() == QMetaType::LongLong)
    return value;
  static const QRegularExpression digits(QStringLiteral("^[+-]?[0-9]{1,19}$"));
  const QString text = schema::trim(value.toString());
  bool parsed = false;
  const qint64 number = text.toLongLong(&parsed);
  if (value.typeId() == QMetaType::QString && parsed && digits.match(text).hasMatch())
    return QVariant(number);
  return Error{QStringLiteral("%1 只能是整数，收到 \"%2\"")
                   .arg(c->label.isEmpty() ? column : c->label, value.toString().left(40))};
}

Result<storage::ColumnValues> mapValues(const schema::Table& table,
                                        const QHash<QString, QString>& storedColumns,
                                        const QVariantMap& values) {
  QHash<QString, QVariant> seen;
  storage::ColumnValues out;
  for (auto it = values.begin(); it != values.end(); ++it) {
    const auto stored = storedColumns.constFind(it.key());
    if (stored == storedColumns.end())
      return Error{QStringLiteral("列 %1 不能保存修改").arg(it.key())};
    const auto earlier = seen.constFind(*stored);
    if (earlier != seen.end()) {
      if (*earlier != it.value())
        return Error{QStringLiteral("列 %1 被同时改成了不同的值").arg(*stored)};
      continue;
    }
    Result<QVariant> value = integerValue(table, *stored, it.value());
    if (!value) return Error{value.error()};
    if (const schema::Column* c = table.column(*stored);
        c && value->typeId() == QMetaType::QString && schema::exceedsBound(*c, value->toString()))
      return Error{QStringLiteral("%1超过 %2 字节")
                       .arg(c->label.isEmpty() ? c->name : c->label)
                       .arg(schema::maxValueBytes(*c))};
    seen.insert(*stored, it.value());
    out.append({*stored, *value});
  }
  return out;
}

storage::ColumnValues mapExpected(const schema::Table& table,
                                  const QHash<QString, QString>& storedColumns,
                                  const QVariantMap& original) {
  storage::ColumnValues out;
  for (auto it = original.begin(); it != original.end(); ++it) {
    const auto stored = storedColumns.constFind(it.key());
    if (stored != storedColumns.end() && !isPassword(table, *stored))
      out.append({*stored, it.value()});
  }
  return out;
}

}  // namespace

QHash<QString, QString> tableColumns(const schema::Table& table) {
  QHash<QString, QString> columns;
  for (const schema::Column& c : table.columns) columns.insert(c.name, c.name);
  return columns;
}

Result<QList<storage::RowWrite>> planWrites(const schema::Table& table,
                                            const QHash<QString, QString>& storedColumns,
                                            const QList<protocol::Change>& changes) {
  QList<storage::RowWrite> rows;
  for (const protocol::Change& change : changes) {
    storage::RowWrite row;
    row.kind = change.kind;
    row.rid = change.rid;
    if (change.kind != Kind::Insert)
      row.expected = mapExpected(table, storedColumns, change.original);
    if (change.kind != Kind::Delete) {
      Result<storage::ColumnValues> values = mapValues(table, storedColumns, change.values);
      if (!values) return Error{values.error()};
      row.values = *values;
    }
    rows << row;
  }
  return rows;
}

Status hashPasswords(const schema::Table& table, QList<storage::RowWrite>& rows) {
  QList<QVariant*> passwords;
  for (storage::RowWrite& row : rows)
    for (auto& [column, value] : row.values)
      if (isPassword(table, column) && !value.isNull()) passwords << &value;
  if (passwords.isEmpty()) return ok();

  // An import brings many passwords at once: hash them on every core. Each worker takes the
  // next unhashed value until none is left or one has failed.
  std::atomic<qsizetype> next = 0;
  std::atomic<bool> failed = false;
  QString failure;
  std::mutex failureLock;
  auto work = [&] {
    for (qsizetype i = next++; i < passwords.size() && !failed; i = next++) {
      Result<QByteArray> hash = storage::password::hash(passwords[i]->toString());
      if (!hash) {
        const std::lock_guard lock(failureLock);
        failure = hash.error();
        failed = true;
        return;
      }
      *passwords[i] = QString::fromLatin1(*hash);
    }
  };
  const qsizetype workers = qMin(passwords.size(), qsizetype(qMax(1, QThread::idealThreadCount())));
  std::vector<std::thread> helpers;
  for (qsizetype w = 1; w < workers; ++w) helpers.emplace_back(work);
  work();
  for (std::thread& helper : helpers) helper.join();
  if (failed) return Error{failure};
  return ok();
}

}  // namespace server
