#pragma once

#include <QHash>
#include <QList>

#include "protocol/messages.h"
#include "schema/tables.h"
#include "server/status.h"
#include "storage/storage.h"

// From a dataset's posted changes to row writes in stored column names.
namespace server {

// The column map of a table provider's packet: every column is itself.
QHash<QString, QString> tableColumns(const schema::Table& table);

// Maps each change's columns through `storedColumns` (packet name → stored column of `table`).
// A value for a column that is not a plain column of the table is refused, and so are two
// different values for one stored column. A value for an integer column becomes the integer it
// is stored as (an integer, or the text of one); any other value there is refused, and so is a
// text longer than its column allows (schema/limits.h). The original
// values that map to stored columns, the password excepted, become the values the stored row must
// still hold.
Result<QList<storage::RowWrite>> planWrites(const schema::Table& table,
                                            const QHash<QString, QString>& storedColumns,
                                            const QList<protocol::Change>& changes);

// Replaces every value written into a password column by the hash of its trimmed text; a null
// stays null. Runs before the transaction, as each hash takes a while; the hashes of many rows
// are made on all cores at once.
Status hashPasswords(const schema::Table& table, QList<storage::RowWrite>& rows);

}  // namespace server
