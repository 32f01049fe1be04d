#pragma once

#include <sqlite3.h>

#include <QString>
#include <functional>

// What the benchmarks share: timing runs, and sqlite3 alone doing the reads that are compared.
namespace bench {

// Median of a few runs, in milliseconds; -1 when a run failed.
double medianMs(int runs, const std::function<bool()>& run);

// sqlite3 alone: prepares `sql` (with `param` bound to its one `?` when not empty) and calls
// `row` on every result row. False when the text does not prepare.
bool eachRow(sqlite3* db, const QString& sql, const QString& param,
             const std::function<void(sqlite3_stmt*)>& row);

// eachRow reading every column of every row.
bool rawRead(sqlite3* db, const QString& sql, const QString& param);

// A benchmark's main: runs `runSize` for N = 1,000, 10,000 and 100,000, or for the one N given
// as the first argument, against the server built beside it unless $STAFFINFO_SERVER_BIN names
// another. Returns the exit status: 2 for a bad argument, 1 when a size failed.
int runSizes(int argc, char** argv, const std::function<bool(int persons)>& runSize);

}  // namespace bench
