#pragma once

#include <QString>
#include <QStringList>

#include "schema/tables.h"
#include "storage/schema_versions.h"

// The SQLite form of the schema. Every table starts with `rid INTEGER PRIMARY KEY AUTOINCREMENT`,
// the hidden row identity, never reused; integer columns are INTEGER, all others TEXT.
namespace storage::sqlite {

// The statements that create whatever is missing: tables, the index on `id` of every table that
// has one, UNIQUE(id_num) on the history tables, and the counter row (all zero). Idempotent.
QStringList schemaStatements();
// The statements of an upgrade step: its tables made as every table is, then its own.
QStringList stepStatements(const SchemaStep& step);

// The condition "strim(id) = ?1" written so that the index on `id` serves it: an id that trims
// to the key either equals it, or is the key followed by blanks (sorting between the key and
// key||'!'), or starts with a character up to 32 (sorting below '!').
QString personKeyCondition(const schema::Table& table);

}  // namespace storage::sqlite
