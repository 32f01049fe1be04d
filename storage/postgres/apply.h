#pragma once

#include <optional>

#include "schema/tables.h"
#include "storage/apply_rows.h"
#include "storage/postgres/db.h"
#include "storage/storage.h"

// Row writes inside a writer's transaction, with the same checks as on SQLite (see
// sqlite_apply.h); the row read is locked until the transaction ends, so a save that raced
// with another server's save of the same row sees that save and is refused.
namespace storage::pg {

// Takes the transaction's turns for what `writes` may touch: one for all account writes (the
// last super-administrator check), one per table and person an `id` is written to (the
// one-row-per-person check). Other servers' writes to the same take their turns after this
// transaction ends.
Status takeTurns(Connection& db, const QList<TableWrite>& writes);

Result<qint64> writeRow(Connection& db, const schema::Table& table, const RowWrite& row,
                        const std::optional<QString>& owner);

// The stored row `rid` of `table`, every column but the password; fails when the row is gone.
Result<ColumnValues> storedRow(Connection& db, const schema::Table& table, qint64 rid);

// The rows of an apply on this engine (see storage/apply_rows.h), inside the caller's
// transaction.
class Writer final : public RowWriter {
 public:
  explicit Writer(Connection& db) : db_(db) {}
  Result<ColumnValues> storedRow(const schema::Table& table, qint64 rid) override {
    return pg::storedRow(db_, table, rid);
  }
  Result<qint64> writeRow(const schema::Table& table, const RowWrite& row,
                          const std::optional<QString>& owner) override {
    return pg::writeRow(db_, table, row, owner);
  }
  Status run(const QString& sql, const QVariantList& values) override;

 private:
  Connection& db_;
};

}  // namespace storage::pg
