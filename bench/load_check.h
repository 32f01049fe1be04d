#pragma once

#include <QString>
#include <QStringList>

#include "bench/school_load.h"

// After a load: is every acknowledged write in the database?
namespace bench {

struct CheckResult {
  int saves = 0;      // clients whose last acknowledged save was looked for
  int rows = 0;       // acknowledged history rows looked for
  int reviews = 0;    // acknowledged reviews looked for
  QStringList missing;  // one line per write not found as acknowledged
};

// Reads the database at `location` (an SQLite file or a PostgreSQL connection string) directly.
CheckResult check(const Writes& writes, const QString& location);

// Prints the result; true when nothing was missing.
bool print(const CheckResult& result);

}  // namespace bench
