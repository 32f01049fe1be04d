#include "storage/schema_versions.h"

#include "storage/storage.h"

namespace storage {

const QList<SchemaStep>& schemaSteps() {
  static const QList<SchemaStep> steps = {
      {1, QStringLiteral("记录结构版本（表结构不变）"), {}, {}},
  };
  return steps;
}

int currentSchemaVersion() { return schemaSteps().last().version; }

QString UpgradePlan::describe() const {
  if (steps.isEmpty())
    return QStringLiteral("数据库结构版本 %1，已是本程序的版本，无需升级").arg(from);
  QStringList lines{
      QStringLiteral("数据库结构版本 %1，本程序为版本 %2，需要升级：").arg(from).arg(to)};
  for (const SchemaStep* step : steps)
    lines << QStringLiteral("  版本 %1：%2").arg(step->version).arg(step->description);
  return lines.join(u'\n');
}

Result<UpgradePlan> planUpgrade(Storage& store) {
  Result<int> version = store.schemaVersion();
  if (!version) return Error{version.error()};
  UpgradePlan plan{*version, currentSchemaVersion(), {}};
  if (*version > plan.to)
    return Error{QStringLiteral("数据库的结构版本为 %1，本程序只认识到版本 %2：请使用更新的程序")
                     .arg(*version)
                     .arg(plan.to)};
  for (const SchemaStep& step : schemaSteps())
    if (step.version > *version) plan.steps << &step;
  return plan;
}

}  // namespace storage
