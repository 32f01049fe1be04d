#pragma once

#include <sqlite3.h>

#include <QHash>
#include <QList>
#include <QString>
#include <functional>
#include <optional>

// What the benchmarks share: timing, sqlite3 alone reading what the server reads, memory.
namespace bench {

// Median of `runs` runs, in milliseconds; -1 when a run failed.
double medianMs(int runs, const std::function<bool()>& run);

// sqlite3 alone reading as fast as its C API reads: what every benchmark compares with. A
// read-only handle in multi-thread mode (one thread uses it, so no call takes the connection's
// mutex), each statement prepared once and reset for the next run, every row stepped and every
// value touched through one sqlite3_column_value: its type, then its integer or its text's bytes.
// Nothing is converted or copied.
class PlainReader {
 public:
  // The engine's defaults, or the server's read settings (its page cache and file map).
  enum class Settings { Engine, Server };
  // Called for each row instead of touching its values.
  using Row = std::function<void(sqlite3_stmt* statement)>;

  PlainReader(const QString& path, Settings settings);
  ~PlainReader();
  PlainReader(const PlainReader&) = delete;
  PlainReader& operator=(const PlainReader&) = delete;

  // Runs `sql`, `param` (when not empty) bound to every `?`. False when the statement fails.
  bool read(const QString& sql, const QString& param = {}, const Row& row = {});
  Settings settings() const { return settings_; }

 private:
  sqlite3_stmt* statement(const QString& sql);

  Settings settings_;
  sqlite3* db_ = nullptr;
  QHash<QString, sqlite3_stmt*> statements_;
  qint64 touched_ = 0;  // what the values add up to, so that reading them is not left out
};

// A read's baseline: PlainReader with either settings, whichever is faster.
class Baseline {
 public:
  struct Figure {
    double ms = -1;  // the faster median; -1 when a run failed
    PlainReader::Settings settings = PlainReader::Settings::Engine;
    const char* settingsName() const;
  };

  explicit Baseline(const QString& path);

  // The median of `runs` runs of `read` on each reader, after one run that is not timed (it
  // prepares the statements and reads the file's pages in), the faster of the two.
  Figure time(int runs, const std::function<bool(PlainReader&)>& read);

 private:
  PlainReader engine_;
  PlainReader server_;
};

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
