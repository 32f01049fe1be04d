#include "bench/measure.h"

#include <malloc.h>

#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>

#include "demo/generator.h"

namespace bench {

double medianMs(int runs, const std::function<bool()>& run) {
  QList<double> times;
  for (int i = 0; i < runs; ++i) {
    QElapsedTimer timer;
    timer.start();
    if (!run()) return -1;
    times << timer.nsecsElapsed() / 1e6;
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

std::optional<double> seed(const QString& path, int persons) {
  QElapsedTimer timer;
  timer.start();
  if (storage::Status s = demo::generate(path, persons); !s) {
    std::fprintf(stderr, "seeding failed: %s\n", qUtf8Printable(s.error()));
    return std::nullopt;
  }
  return timer.elapsed() / 1000.0;
}

bool rawRead(sqlite3* db, const QString& sql, const QString& param) {
  sqlite3_stmt* statement = nullptr;
  const QByteArray text = sql.toUtf8();
  if (sqlite3_prepare_v2(db, text.constData(), int(text.size()), &statement, nullptr) != SQLITE_OK)
    return false;
  const QByteArray value = param.toUtf8();
  if (!param.isEmpty())
    for (int i = 1; i <= sqlite3_bind_parameter_count(statement); ++i)
      sqlite3_bind_text(statement, i, value.constData(), int(value.size()), SQLITE_STATIC);
  const int columns = sqlite3_column_count(statement);
  qint64 bytes = 0;
  int rc;
  while ((rc = sqlite3_step(statement)) == SQLITE_ROW)
    for (int c = 0; c < columns; ++c)
      if (sqlite3_column_type(statement, c) == SQLITE_INTEGER)
        bytes += sqlite3_column_int64(statement, c) & 1;
      else if (sqlite3_column_text(statement, c))
        bytes += sqlite3_column_bytes(statement, c);
  sqlite3_finalize(statement);
  return rc == SQLITE_DONE && bytes >= 0;
}

// Large blocks the C library maps on their own (hblkhd) count too: at a million persons the
// list's arrays are such blocks.
qint64 heapBytes() {
  const struct mallinfo2 info = mallinfo2();
  return qint64(info.uordblks + info.hblkhd);
}

std::optional<QList<int>> sizes(const QStringList& arguments, const char* usage) {
  if (arguments.isEmpty()) return QList<int>{1000, 10000, 100000};
  QList<int> out;
  for (const QString& a : arguments) {
    bool ok = false;
    out << a.toInt(&ok);
    if (!ok || out.back() <= 0) {
      std::fprintf(stderr, "usage: %s\n", usage);
      return std::nullopt;
    }
  }
  return out;
}

}  // namespace bench
