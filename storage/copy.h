#pragma once

#include <QString>
#include <QVariantList>
#include <functional>
#include <memory>

#include "schema/tables.h"
#include "storage/result.h"

// Copying a whole database between storages (an SQLite school file into a district's
// PostgreSQL, or back): every table's rows as stored, row identities and password hashes
// included.
namespace storage {

// One end of a copy, on one engine.
class CopyEnd {
 public:
  virtual ~CopyEnd() = default;

  // As a source: a consistent view of the database from here to finishRead().
  virtual Status beginRead() = 0;
  // The schema version the source records (see schema_versions.h): tables it predates are not
  // there to be read.
  virtual Result<int> schemaVersion() = 0;
  virtual Result<qint64> count(const schema::Table& table) = 0;
  // Every row of `table` in stored order: its identity, then every column in schema order.
  virtual Status read(const schema::Table& table,
                      const std::function<Status(const QVariantList& row)>& each) = 0;
  virtual Status finishRead() = 0;
  // The identity a new row of `table` would get next: above every one ever issued, those of
  // rows deleted since included.
  virtual Result<qint64> nextIdentity(const schema::Table& table) = 0;

  // As a target: one transaction from beginWrite() to commit(). The counter table is emptied
  // before its rows are written; every other table must be empty.
  virtual Status beginWrite() = 0;
  virtual Status startTable(const schema::Table& table) = 0;
  virtual Status write(const QVariantList& row) = 0;
  virtual Status endTable() = 0;
  // New rows of `table` get identities from `next` on, or above every copied one if larger:
  // an identity the source has issued is never issued again by the copy.
  virtual Status continueIdentities(const schema::Table& table, qint64 next) = 0;
  // Commits; new rows get identities above every copied one.
  virtual Status commit() = 0;
};

// The stored tables a database of schema `version` has.
QList<const schema::Table*> tablesOf(int version);

// Refuses a target that holds rows (the counter row aside); call it after beginWrite().
Status requireEmpty(CopyEnd& target);

// Told the rows of `table` copied so far out of `total`: every kProgressRows rows, and at the
// end of a table that had more.
using CopyProgress = std::function<void(const QString& table, qint64 done, qint64 total)>;
inline constexpr qint64 kProgressRows = 100000;

// Copies every table of `from` into `to`, which must hold no rows yet (its counter row aside),
// in one transaction of the target that commits only when every table holds as many rows as the
// source's. Returns a line per table with its row count.
Result<QStringList> copyDatabase(const QString& from, const QString& to,
                                 const CopyProgress& progress = {});

}  // namespace storage
