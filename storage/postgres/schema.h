#pragma once

#include <QString>
#include <QStringList>

#include "schema/tables.h"
#include "storage/schema_versions.h"

// The PostgreSQL form of the schema, in the connecting role's `public` schema. Every table starts
// with `rid bigint` from an identity sequence, the hidden row identity, never reused; integer
// columns are bigint, all others text in the "C" collation, so texts compare and sort by their
// bytes as on SQLite. strim(x) trims as schema::trim does.
namespace storage::pg {

// The role that runs client select texts: it may select from the system's tables only, and
// reads `user_name` through a view in kReaderSchema whose password column is null.
inline const QString kReaderRole = QStringLiteral("staffinfo_read");
inline const QString kReaderSchema = QStringLiteral("staffinfo_read");
// Every committed change to `user_name` is announced on this channel.
inline const QString kAccountsChannel = QStringLiteral("staffinfo_accounts");

// The one-row table that records the schema version (see storage/schema_versions.h).
inline const QString kVersionTable = QStringLiteral("schema_version");

// Taken by whoever changes the schema, so that servers starting together take turns.
QString schemaLockText();
// Records `version` as the schema's.
QString recordVersionText(int version);

// The statements that create whatever is missing, to be run in one transaction: tables, the
// indexes on `id` and on its trimmed value, UNIQUE(id_num) on the history tables, the counter row
// (all zero), strim, the reader role with its view and grants, the announcement of account
// changes and the version table. Idempotent; several servers starting at once take turns through an
// advisory lock.
QStringList schemaStatements();
// The statements of an upgrade step: its tables made as every table is and readable by the
// reader role, then its own.
QStringList stepStatements(const SchemaStep& step);

// The condition "strim(id) = $mark", served by the index on the trimmed `id`.
QString personKeyCondition(const QString& mark = QStringLiteral("$1"));

}  // namespace storage::pg
