#pragma once

#include <optional>

#include "schema/tables.h"
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

}  // namespace storage::sqlite
