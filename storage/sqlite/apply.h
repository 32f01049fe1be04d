#pragma once

#include <optional>

#include "schema/tables.h"
#include "storage/apply_rows.h"
#include "storage/sqlite/db.h"
#include "storage/storage.h"

namespace storage::sqlite {

// Writes one row change inside the caller's transaction, addressing the row by `rid` only.
// Before an update or delete the stored row must exist, belong to `owner` when one is given,
// and still hold every expected value (`col IS ?`). Returns the row's identity (for an insert,
// the new one).
Result<qint64> writeRow(Handle& db, const schema::Table& table, const RowWrite& row,
                        const std::optional<QString>& owner);

// The stored row `rid` of `table`, every column but the password; fails when the row is gone.
Result<ColumnValues> storedRow(Handle& db, const schema::Table& table, qint64 rid);

// The rows of an apply on this engine (see storage/apply_rows.h), inside the caller's
// transaction.
class Writer final : public RowWriter {
 public:
  explicit Writer(Handle& db) : db_(db) {}
  Result<ColumnValues> storedRow(const schema::Table& table, qint64 rid) override {
    return sqlite::storedRow(db_, table, rid);
  }
  Result<qint64> writeRow(const schema::Table& table, const RowWrite& row,
                          const std::optional<QString>& owner) override {
    return sqlite::writeRow(db_, table, row, owner);
  }
  Status run(const QString& sql, const QVariantList& values) override;

 private:
  Handle& db_;
};

}  // namespace storage::sqlite
