#include "server/schema_upgrade.h"

#include <QDateTime>
#include <QDir>

#include "server/log.h"
#include "storage/open.h"
#include "storage/schema_versions.h"

namespace server {

Status bringUpToDate(storage::Storage& store, const QString& location,
                     const QString& backupFolder) {
  Result<storage::UpgradePlan> plan = storage::planUpgrade(store);
  if (!plan) return Error{plan.error()};
  if (plan->steps.isEmpty()) return ok();
  const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
  const QString backup =
      storage::isPostgres(location)
          ? QDir(backupFolder.isEmpty() ? QDir::currentPath() : backupFolder)
                .filePath(QStringLiteral("staffinfo-v%1-%2.db").arg(plan->from).arg(stamp))
          : QStringLiteral("%1.v%2-%3.bak").arg(location).arg(plan->from).arg(stamp);
  if (Status s = storage::backupDatabase(location, backup); !s)
    return Error{QStringLiteral("升级前的备份失败，数据库未升级：%1").arg(s.error())};
  logLine(QStringLiteral("schema version %1 backed up to %2 before the upgrade")
              .arg(plan->from)
              .arg(backup));
  for (const storage::SchemaStep* step : plan->steps)
    logLine(QStringLiteral("schema upgrade to version %1: %2")
                .arg(step->version)
                .arg(step->description));
  if (Status s = store.upgrade(plan->steps); !s)
    return Error{QStringLiteral("数据库升级失败，仍为版本 %1：%2").arg(plan->from).arg(s.error())};
  logLine(QStringLiteral("schema upgraded from version %1 to %2").arg(plan->from).arg(plan->to));
  return ok();
}

}  // namespace server
