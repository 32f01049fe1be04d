#pragma once

#include <QString>
#include <memory>

#include "storage/copy.h"
#include "storage/storage.h"

// The one place that knows the engines: it picks one by the database's location.
namespace storage {

// True when `location` names a PostgreSQL database: a postgresql:// or postgres:// URL, or a
// connection string of key=value words (libpq fills in what is missing from the PG*
// environment variables). Anything else is the path of an SQLite file.
bool isPostgres(const QString& location);

// `location` fit for a log: a PostgreSQL location without its password.
QString describeLocation(const QString& location);

// Opens the storage at `location`: PostgreSQL (see isPostgres) or an SQLite file.
Result<std::unique_ptr<Storage>> openStorage(const QString& location,
                                             const StorageOptions& options = {});

// The copy end for `location` (see copy.h). A target gets its schema made first; a source must
// exist.
Result<std::unique_ptr<CopyEnd>> openCopyEnd(const QString& location, bool target);

// Writes a consistent copy of the database at `location` into the SQLite file `file` while it is
// served: from SQLite through its online backup, from PostgreSQL out of one snapshot (as copy
// does). The copy is written under a temporary name beside `file`, checked (integrity, every
// table's rows) and only then renamed into place; a copy that fails leaves nothing at `file`.
Status backupDatabase(const QString& location, const QString& file);

}  // namespace storage
