#pragma once

#include <sqlite3.h>

#include <QList>
#include <QString>
#include <functional>
#include <optional>

// What the benchmarks share: timing, sqlite3 alone reading what the server reads, memory.
namespace bench {

// Median of `runs` runs, in milliseconds; -1 when a run failed.
double medianMs(int runs, const std::function<bool()>& run);

// sqlite3 alone: prepare, bind `param` (when not empty) to every `?`, step every row, read every
// column. False when the statement fails.
bool rawRead(sqlite3* db, const QString& sql, const QString& param = {});

// Writes N demo persons into a new SQLite file at `path`; the seconds it took, or nothing (having
// said why on standard error).
std::optional<double> seed(const QString& path, int persons);

// Bytes the process has allocated and not freed (the C library's heap in use, blocks mapped
// on their own included).
qint64 heapBytes();

// The sizes given on the command line, else 1,000, 10,000 and 100,000; nothing (after printing
// `usage`) when an argument is not a positive number.
std::optional<QList<int>> sizes(const QStringList& arguments, const char* usage);

}  // namespace bench
