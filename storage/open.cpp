#include "storage/open.h"

#include <QFile>
#include <QScopeGuard>
#include <cstdio>

#include "storage/postgres/copy.h"
#include "storage/postgres/storage.h"
#include "storage/sqlite/backup.h"
#include "storage/sqlite/copy.h"
#include "storage/sqlite/storage.h"

namespace storage {

bool isPostgres(const QString& location) {
  return location.startsWith(u"postgresql://") || location.startsWith(u"postgres://") ||
         location.contains(u'=');
}

QString describeLocation(const QString& location) {
  return isPostgres(location) ? pg::withoutPassword(location) : location;
}

Result<std::unique_ptr<Storage>> openStorage(const QString& location,
                                             const StorageOptions& options) {
  if (isPostgres(location)) {
    Result<std::unique_ptr<PgStorage>> pg = PgStorage::open(location, options);
    if (!pg) return Error{pg.error()};
    return std::unique_ptr<Storage>(std::move(*pg));
  }
  Result<std::unique_ptr<SqliteStorage>> sqlite = SqliteStorage::open(location, options);
  if (!sqlite) return Error{sqlite.error()};
  return std::unique_ptr<Storage>(std::move(*sqlite));
}

Result<std::unique_ptr<CopyEnd>> openCopyEnd(const QString& location, bool target) {
  if (target) {
    Result<std::unique_ptr<Storage>> storage = openStorage(location);
    if (!storage) return Error{storage.error()};
    if (Status s = (*storage)->ensureSchema(); !s) return Error{s.error()};
  }
  if (isPostgres(location)) return pg::openCopyEnd(location);
  return sqlite::openCopyEnd(location, target);
}

Status backupDatabase(const QString& location, const QString& file) {
  const QString part = file + QStringLiteral(".part");
  QFile::remove(part);
  const auto removePart = qScopeGuard([&] {
    for (const char* end : {"", "-wal", "-shm", "-journal"})
      QFile::remove(part + QLatin1StringView(end));
  });
  QHash<QString, qint64> counts;  // copyDatabase checks its counts itself
  if (isPostgres(location)) {
    Result<QStringList> copied = copyDatabase(location, part);
    if (!copied) return Error{copied.error()};
  } else if (Status s = sqlite::onlineBackup(location, part, &counts); !s) {
    return s;
  }
  if (Status s = sqlite::checkBackup(part, counts); !s) return s;
  if (std::rename(QFile::encodeName(part).constData(), QFile::encodeName(file).constData()) != 0)
    return Error{QStringLiteral("无法把备份放到 %1").arg(file)};
  return ok();
}

}  // namespace storage
