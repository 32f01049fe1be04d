#include "storage/copy.h"

#include "storage/open.h"
#include "storage/schema_versions.h"

namespace storage {

QList<const schema::Table*> tablesOf(int version) {
  QList<const schema::Table*> tables;
  for (const schema::Table* t : schema::storedTables())
    if (t->since <= version) tables << t;
  return tables;
}

Status requireEmpty(CopyEnd& target) {
  for (const schema::Table* t : schema::storedTables()) {
    if (t->kind == schema::TableKind::Counter) continue;
    Result<qint64> held = target.count(*t);
    if (!held) return Error{held.error()};
    if (*held > 0)
      return Error{QStringLiteral("目标数据库已有数据（表 %1 有 %2 行），不能复制到其中")
                       .arg(t->name)
                       .arg(*held)};
  }
  return ok();
}

Result<QStringList> copyDatabase(const QString& from, const QString& to,
                                 const CopyProgress& progress) {
  Result<std::unique_ptr<CopyEnd>> source = openCopyEnd(from, false);
  if (!source) return Error{source.error()};
  Result<std::unique_ptr<CopyEnd>> target = openCopyEnd(to, true);
  if (!target) return Error{target.error()};

  if (Status s = (*source)->beginRead(); !s) return Error{s.error()};
  // A source of an older schema has fewer tables: the target keeps the others empty.
  Result<int> version = (*source)->schemaVersion();
  if (!version) return Error{version.error()};
  if (*version > currentSchemaVersion())
    return Error{QStringLiteral("源数据库的结构版本为 %1，本程序只认识到版本 %2：请使用更新的程序")
                     .arg(*version)
                     .arg(currentSchemaVersion())};
  const QList<const schema::Table*> tables = tablesOf(std::max(*version, 1));
  QHash<QString, qint64> counts;
  for (const schema::Table* t : tables) {
    Result<qint64> rows = (*source)->count(*t);
    if (!rows) return Error{rows.error()};
    counts.insert(t->name, *rows);
  }
  // Inside the target's transaction: no rows may be there, and every table must end up with
  // as many rows as the source's before anything is committed.
  if (Status s = (*target)->beginWrite(); !s) return Error{s.error()};
  if (Status s = requireEmpty(**target); !s) return Error{s.error()};

  for (const schema::Table* t : tables) {
    if (Status s = (*target)->startTable(*t); !s) return Error{s.error()};
    const qint64 total = counts.value(t->name);
    qint64 done = 0;
    if (Status s = (*source)->read(*t,
                                   [&](const QVariantList& row) {
                                     if (progress && ++done % kProgressRows == 0)
                                       progress(t->name, done, total);
                                     return (*target)->write(row);
                                   });
        !s)
      return Error{s.error()};
    if (Status s = (*target)->endTable(); !s) return Error{s.error()};
    if (progress && done > kProgressRows && done % kProgressRows != 0)
      progress(t->name, done, total);
    Result<qint64> next = (*source)->nextIdentity(*t);
    if (!next) return Error{next.error()};
    if (Status s = (*target)->continueIdentities(*t, *next); !s) return Error{s.error()};
  }
  if (Status s = (*source)->finishRead(); !s) return Error{s.error()};
  QStringList report;
  for (const schema::Table* t : tables) {
    Result<qint64> copied = (*target)->count(*t);
    if (!copied) return Error{copied.error()};
    if (*copied != counts.value(t->name))
      return Error{QStringLiteral("复制后表 %1 的行数不符：源 %2 行，目标 %3 行")
                       .arg(t->name)
                       .arg(counts.value(t->name))
                       .arg(*copied)};
    report << QStringLiteral("%1: %2").arg(t->name).arg(*copied);
  }
  if (Status s = (*target)->commit(); !s) return Error{s.error()};
  return report;
}

}  // namespace storage
