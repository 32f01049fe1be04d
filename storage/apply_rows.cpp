#include "storage/apply_rows.h"

#include <QHash>

#include "schema/values.h"

namespace storage {

namespace {

using Kind = protocol::Change::Kind;

const QString kPasswordChanged = QStringLiteral("密码已修改");

QString textOf(const QVariant* value) { return value ? value->toString() : QString(); }

bool journaled(const schema::Table& table) {
  return table.kind == schema::TableKind::OneRow || table.kind == schema::TableKind::History ||
         table.kind == schema::TableKind::Accounts;
}

// The last change and the last review of each person, as the log's row identities.
struct Marks {
  qint64 changed = 0;
  qint64 reviewed = 0;
};

class Journal {
 public:
  Journal(RowWriter& writer, const QString& actor, const QString& at)
      : writer_(writer), actor_(actor), at_(at), log_(*schema::storedTable(schema::kChangeLog)) {}

  Status record(const schema::Table& table, const RowWrite& row, const ColumnValues& stored) {
    const QVariant* id = valueOf(row.kind == Kind::Insert ? row.values : stored, u"id");
    const QString person = schema::trim(textOf(id));
    const QVariant* number = table.isHistory() ? valueOf(row.values, u"id_num") : nullptr;
    if (table.isHistory() && !number) number = valueOf(stored, u"id_num");
    const QVariant rowNumber = number ? *number : QVariant();
    if (row.kind == Kind::Delete) {
      for (const auto& [column, old] : stored)
        if (!textOf(&old).isEmpty())
          if (Status s =
                  entry(table, person, rowNumber, column, textOf(&old), {}, schema::kDeleted);
              !s)
            return s;
      return ok();
    }
    for (const auto& [column, value] : row.values) {
      const schema::Column* c = table.column(column);
      const bool password = c && c->kind == schema::Kind::Password;
      const QString old = row.kind == Kind::Insert ? QString() : textOf(valueOf(stored, column));
      const QString now = password && !value.isNull() ? kPasswordChanged : textOf(&value);
      // A review is an event each time, even by the reviewer of last time.
      const bool review = table.kind == schema::TableKind::Accounts && column == u"shr";
      if (now == old && !password && !review) continue;
      if (password && value.isNull()) continue;
      const QString kind = review                     ? schema::kReviewed
                           : row.kind == Kind::Insert ? schema::kInserted
                                                      : schema::kUpdated;
      if (Status s = entry(table, person, rowNumber, column, password ? QString() : old, now, kind);
          !s)
        return s;
    }
    return ok();
  }

  // Each person's summary, once per apply.
  Status summarise() {
    for (auto it = marks_.cbegin(); it != marks_.cend(); ++it) {
      if (it->changed)
        if (Status s = writer_.run(
                QStringLiteral("INSERT INTO change_summary (id, changed) VALUES (?, ?) ON "
                               "CONFLICT (id) DO UPDATE SET changed = excluded.changed"),
                {it.key(), it->changed});
            !s)
          return s;
      if (it->reviewed)
        if (Status s = writer_.run(
                QStringLiteral("INSERT INTO change_summary (id, reviewed) VALUES (?, ?) ON "
                               "CONFLICT (id) DO UPDATE SET reviewed = excluded.reviewed"),
                {it.key(), it->reviewed});
            !s)
          return s;
    }
    return ok();
  }

 private:
  Status entry(const schema::Table& table, const QString& person, const QVariant& rowNumber,
               const QString& column, const QString& old, const QString& now, const QString& kind) {
    RowWrite row;
    row.values = {{QStringLiteral("changed_at"), at_},
                  {QStringLiteral("changed_by"), actor_},
                  {QStringLiteral("id"), person},
                  {QStringLiteral("table_name"), table.name},
                  {QStringLiteral("row_number"), rowNumber},
                  {QStringLiteral("column_name"), column},
                  {QStringLiteral("old_value"), old.isEmpty() ? QVariant() : QVariant(old)},
                  {QStringLiteral("new_value"), now.isEmpty() ? QVariant() : QVariant(now)},
                  {QStringLiteral("kind"), kind}};
    Result<qint64> rid = writer_.writeRow(log_, row, std::nullopt);
    if (!rid) return Error{rid.error()};
    Marks& marks = marks_[person];
    (kind == schema::kReviewed ? marks.reviewed : marks.changed) = *rid;
    return ok();
  }

  RowWriter& writer_;
  const QString& actor_;
  const QString& at_;
  const schema::Table& log_;
  QHash<QString, Marks> marks_;
};

}  // namespace

Result<QList<qint64>> applyRows(RowWriter& writer, const QList<TableWrite>& writes,
                                const Applier& applier, const QString& at) {
  Journal journal(writer, applier.actor, at);
  QList<qint64> inserted;
  for (const TableWrite& write : writes)
    for (const RowWrite& row : write.rows) {
      Result<ColumnValues> stored = row.kind == Kind::Insert
                                        ? Result<ColumnValues>(ColumnValues{})
                                        : writer.storedRow(*write.table, row.rid);
      if (!stored) return Error{stored.error()};
      if (applier.check)
        if (Status s = applier.check(*write.table, row, *stored); !s) return Error{s.error()};
      Result<qint64> rid = writer.writeRow(*write.table, row, applier.owner);
      if (!rid) return Error{rid.error()};
      if (row.kind == Kind::Insert) inserted << *rid;
      if (journaled(*write.table))
        if (Status s = journal.record(*write.table, row, *stored); !s) return Error{s.error()};
    }
  if (Status s = journal.summarise(); !s) return Error{s.error()};
  return inserted;
}

}  // namespace storage
