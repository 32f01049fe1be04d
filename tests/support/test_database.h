#pragma once

#include <QList>
#include <QString>
#include <QVariantList>
#include <memory>

// The databases the tests run on. STAFFINFO_TEST_STORAGE=postgres runs a test on PostgreSQL: a
// fresh database in the cluster that STAFFINFO_TEST_PG names (a connection string to its
// maintenance database; CTest starts that cluster for the run). Otherwise, SQLite files.
namespace testdb {

bool onPostgres();

// A fresh, empty database in the test cluster, dropped when this is destroyed (any server using
// it must be gone by then). A test that cannot create one stops with the reason.
class PgDatabase {
 public:
  PgDatabase();
  ~PgDatabase();
  PgDatabase(const PgDatabase&) = delete;
  PgDatabase& operator=(const PgDatabase&) = delete;

  // Its connection string, for `--db`.
  const QString& location() const { return location_; }

 private:
  QString name_;
  QString location_;
};

// A fresh, empty database for a test on the storage the tests run on: a new PostgreSQL database
// (see PgDatabase), or the path of an SQLite file not made yet, named `file` in `folder`.
class FreshDatabase {
 public:
  FreshDatabase(const QString& folder, const QString& file);
  const QString& location() const { return location_; }

 private:
  std::unique_ptr<PgDatabase> pg_;
  QString location_;
};

// Runs one statement on the database at `location` (an SQLite file or a PostgreSQL connection
// string) with `params` bound to its `?` marks, and returns its rows: integers as qint64, texts
// as QString, nulls as null. A failing statement aborts the test program with the reason.
QList<QVariantList> sql(const QString& location, const QString& statement,
                        const QVariantList& params = {});

}  // namespace testdb
