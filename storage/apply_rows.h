#pragma once

#include <QList>
#include <QString>
#include <QVariantList>
#include <optional>

#include "storage/storage.h"

// How an apply writes its rows, the same for every engine: each row is checked against the
// stored row, written, and its changes recorded in the change log, inside the engine's
// transaction.
namespace storage {

// What an engine does for one row, inside its transaction.
class RowWriter {
 public:
  virtual ~RowWriter() = default;
  // The row of `table` with identity `rid`, every column but the password; fails when gone.
  virtual Result<ColumnValues> storedRow(const schema::Table& table, qint64 rid) = 0;
  // Writes the row (see Storage::apply for the checks an engine makes); the row's identity.
  virtual Result<qint64> writeRow(const schema::Table& table, const RowWrite& row,
                                  const std::optional<QString>& owner) = 0;
  // Runs one statement of the server's own, `values` bound to its `?` marks.
  virtual Status run(const QString& sql, const QVariantList& values) = 0;
};

// Writes the rows of `writes` in order. Each change to a staff table or an account goes into the
// change log, one row per column: when (`at`), who (`applier.actor`), whose record, table, row
// (`id_num` of a history row), column, old and new value (a password only as "密码已修改") and
// kind (新增, 修改, 删除; a reviewer's mark set in an account is 审核); each person's summary
// keeps the last change and the last review. Returns the identities of the inserted rows.
Result<QList<qint64>> applyRows(RowWriter& writer, const QList<TableWrite>& writes,
                                const Applier& applier, const QString& at);

}  // namespace storage
