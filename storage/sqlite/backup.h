#pragma once

#include <QHash>
#include <QString>

#include "storage/result.h"

// Backups are SQLite files, whatever the engine served from, so that any backup can be served
// or restored with the same program.
namespace storage::sqlite {

// Writes a consistent copy of the SQLite database at `path` into the new file `target` through
// SQLite's online backup, while others keep reading and writing, and gives the row count of each
// table as of the copy.
Status onlineBackup(const QString& path, const QString& target, QHash<QString, qint64>* counts);

// Checks the backup at `path`: SQLite's integrity check passes and, with `counts`, every table
// holds as many rows as the source had.
Status checkBackup(const QString& path, const QHash<QString, qint64>& counts);

}  // namespace storage::sqlite
