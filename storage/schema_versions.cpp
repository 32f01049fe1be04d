#include "storage/schema_versions.h"

#include "storage/storage.h"

namespace storage {

namespace {

// The rules of schema/quality.h as PostgreSQL functions (SQLite has them from the server).
QStringList qualityFunctions() {
  return {
      QStringLiteral(
          "CREATE OR REPLACE FUNCTION public.id_problem(x text) RETURNS text LANGUAGE plpgsql "
          "STABLE AS $$ DECLARE s text := public.strim(x); total int := 0; "
          "w int[] := ARRAY[7,9,10,5,8,4,2,1,6,3,7,9,10,5,8,4,2]; y int; m int; d int; BEGIN "
          "IF s IS NULL OR s = '' THEN RETURN NULL; END IF; "
          "IF s !~ '^[0-9]{17}[0-9Xx]$' THEN RETURN '身份证号格式不对'; END IF; "
          "y := substr(s, 7, 4)::int; m := substr(s, 11, 2)::int; d := substr(s, 13, 2)::int; "
          "IF y < 1900 OR m < 1 OR m > 12 OR d < 1 OR d > extract(day from make_date(y, m, 1) + "
          "interval '1 month' - interval '1 day') OR make_date(y, m, d) > current_date THEN "
          "RETURN '出生日期不存在'; END IF; "
          "FOR i IN 1..17 LOOP total := total + substr(s, i, 1)::int * w[i]; END LOOP; "
          "IF substr('10X98765432', total % 11 + 1, 1) <> upper(substr(s, 18, 1)) THEN "
          "RETURN '校验位错误'; END IF; RETURN NULL; END $$"),
      QStringLiteral(
          "CREATE OR REPLACE FUNCTION public.year_month_state(x text) RETURNS text LANGUAGE "
          "plpgsql STABLE AS $$ DECLARE s text := public.strim(x); BEGIN "
          "IF s IS NULL OR s = '' OR s = '无' THEN RETURN 'empty'; END IF; "
          "IF s !~ '^[0-9]{6}$' OR substr(s, 1, 4)::int < 1900 OR substr(s, 5, 2)::int < 1 OR "
          "substr(s, 5, 2)::int > 12 THEN RETURN 'invalid'; END IF; "
          "IF s > to_char(current_date, 'YYYYMM') THEN RETURN 'future'; END IF; "
          "RETURN 'ok'; END $$"),
  };
}

}  // namespace

const QList<SchemaStep>& schemaSteps() {
  static const QList<SchemaStep> steps = {
      {1, QStringLiteral("记录结构版本（表结构不变）"), {}, {}, {}},
      {2,
       QStringLiteral("变更记录：每次保存的修改与审核；完整性检查用的函数"),
       {schema::storedTable(schema::kChangeLog), schema::storedTable(schema::kChangeSummary)},
       {},
       {qualityFunctions()}},
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
