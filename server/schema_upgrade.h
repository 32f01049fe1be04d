#pragma once

#include <QString>

#include "server/status.h"
#include "storage/storage.h"

// Bringing a database to this program's schema version (see storage/schema_versions.h).
namespace server {

// Refuses a database newer than this program; an older one is first backed up beside it (an
// SQLite database to DB.vN-YYYYMMDD-HHMMSS.bak; PostgreSQL into an SQLite file in
// `backupFolder`, or the working folder without one), then upgraded in one transaction, each step
// logged.
Status bringUpToDate(storage::Storage& store, const QString& location, const QString& backupFolder);

}  // namespace server
