#include "bench/load_check.h"

#include <QHash>
#include <QSet>
#include <cstdio>

#include "tests/support/test_database.h"

namespace bench {

namespace {

// Column `column` of `table`, by the row's trimmed identity number (or `key`).
QHash<QString, QString> byPerson(const QString& location, const QString& table,
                                 const QString& column, const QString& key = QStringLiteral("id")) {
  QHash<QString, QString> out;
  for (const QVariantList& row :
       testdb::sql(location, QStringLiteral("select %1, %2 from %3").arg(key, column, table)))
    out.insert(row.value(0).toString().trimmed(), row.value(1).toString());
  return out;
}

}  // namespace

CheckResult check(const Writes& writes, const QString& location) {
  CheckResult out;
  // A save wrote the same text into each of these columns, in one transaction.
  const QList<std::pair<QString, QString>>& saved = savedColumns();
  for (const auto& [table, column] : saved) {
    const QHash<QString, QString> stored = byPerson(location, table, column);
    for (const Writes::Saved& s : writes.saves) {
      if (s.value.isEmpty()) continue;
      out.saves += table == saved.front().first;
      const QString value = stored.value(s.person);
      if (value != s.value && !s.unanswered.contains(value))
        out.missing << QStringLiteral("save of %1: %2.%3 is \"%4\", acknowledged \"%5\"")
                           .arg(s.person, table, column, value, s.value);
    }
  }
  QHash<QString, QHash<QString, QString>> rows;  // table → id_num → trimmed id
  for (const Writes::Row& r : writes.rows) {
    if (!rows.contains(r.table))
      rows.insert(r.table, byPerson(location, r.table, QStringLiteral("id"), QStringLiteral("id_num")));
    ++out.rows;
    const QString id = QString::number(r.idNum);
    if (rows[r.table].value(id).trimmed() != r.person)
      out.missing << QStringLiteral("%1 row id_num %2 of %3: not found").arg(r.table, id, r.person);
  }
  const QHash<QString, QString> reviewers =
      byPerson(location, QStringLiteral("user_name"), QStringLiteral("shr"));
  const QSet<QString> admins(writes.reviewers.cbegin(), writes.reviewers.cend());
  for (const QString& person : writes.reviewed) {
    ++out.reviews;
    if (!admins.contains(reviewers.value(person).trimmed()))
      out.missing << QStringLiteral("review of %1: reviewer is \"%2\"")
                         .arg(person, reviewers.value(person));
  }
  return out;
}

bool print(const CheckResult& r) {
  std::printf("  check: %d clients' last saves, %d history rows, %d reviews acknowledged; %lld "
              "not in the database\n",
              r.saves, r.rows, r.reviews, static_cast<long long>(r.missing.size()));
  for (qsizetype i = 0; i < qMin<qsizetype>(r.missing.size(), 20); ++i)
    std::printf("    %s\n", qUtf8Printable(r.missing[i]));
  return r.missing.isEmpty();
}

}  // namespace bench
