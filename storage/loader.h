#pragma once

#include <QList>
#include <QString>
#include <QVariantList>
#include <map>
#include <memory>

#include "schema/tables.h"
#include "storage/copy.h"
#include "storage/result.h"

// Fills a database that holds no rows yet (its counter row aside) in one transaction, fast:
// rows are appended as given, without the checks an apply makes, tables in any order. Nothing
// is seen by others before commit(). For demo and benchmark data, on any engine.
namespace storage {

class Loader {
 public:
  // The database at `location`, its schema made when missing. Refused when a table holds rows.
  static Result<std::unique_ptr<Loader>> open(const QString& location);

  // Appends one row of `table`: every column in schema order. The row gets the table's next
  // identity. The counter table's one row replaces the row there.
  Status append(const schema::Table& table, const QVariantList& row);
  // Writes what is held, lets new rows continue above the appended identities, and commits.
  Status commit();

 private:
  explicit Loader(std::unique_ptr<CopyEnd> target) : target_(std::move(target)) {}

  struct Pending {
    QList<QVariantList> rows;  // identity first
    qint64 next = 1;           // the next identity
  };
  // Rows are held per table and written a batch at a time: an engine takes one table at once.
  static constexpr qsizetype kBatchRows = 2000;
  Status flush(const schema::Table& table, Pending& pending);

  std::unique_ptr<CopyEnd> target_;
  std::map<const schema::Table*, Pending> pending_;
};

}  // namespace storage
