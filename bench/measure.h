#pragma once

// What the benchmarks share: demo data behind a real server, timing a few runs, and sqlite3
// alone reading what the server reads.

#include <sqlite3.h>

#include <QElapsedTimer>
#include <QList>
#include <QString>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <functional>

#include "bench/generator.h"
#include "tests/support/test_server.h"

namespace bench {

// Median of a few runs, in milliseconds; -1 when a run failed.
inline double medianMs(int runs, const std::function<bool()>& run) {
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

// sqlite3 alone: prepare, bind `param` (when given) to the one `?`, step every row, read every
// column. False when the text does not prepare.
inline bool rawRead(sqlite3* db, const QString& sql, const QString& param) {
  sqlite3_stmt* statement = nullptr;
  const QByteArray text = sql.toUtf8();
  if (sqlite3_prepare_v2(db, text.constData(), int(text.size()), &statement, nullptr) != SQLITE_OK)
    return false;
  const QByteArray value = param.toUtf8();
  if (!param.isEmpty())
    sqlite3_bind_text(statement, 1, value.constData(), int(value.size()), SQLITE_STATIC);
  const int columns = sqlite3_column_count(statement);
  qint64 bytes = 0;
  while (sqlite3_step(statement) == SQLITE_ROW)
    for (int c = 0; c < columns; ++c)
      if (sqlite3_column_type(statement, c) == SQLITE_INTEGER)
        bytes += sqlite3_column_int64(statement, c) & 1;
      else if (sqlite3_column_text(statement, c))
        bytes += sqlite3_column_bytes(statement, c);
  sqlite3_finalize(statement);
  return bytes >= 0;
}

// Fills a fresh database in `dir` with `persons` demo persons and says so on standard output.
// Its path, or empty when seeding failed (the reason on standard error).
inline QString seedDemo(const QTemporaryDir& dir, int persons) {
  const QString path = dir.filePath(QStringLiteral("bench.db"));
  QElapsedTimer timer;
  timer.start();
  if (server::Status s = demo::generate(path, persons); !s) {
    std::fprintf(stderr, "seeding failed: %s\n", qUtf8Printable(s.error()));
    return {};
  }
  std::printf("\nN = %d persons (seeded in %.1f s)\n", persons, timer.elapsed() / 1000.0);
  return path;
}

// A person from the middle of the demo persons who has education rows.
inline QString middlePerson(TestServer& server, int persons) {
  return server
      .sql(QStringLiteral("select id from jyqk order by rid limit 1 offset ?"), {persons / 2})
      .value(0)
      .value(0)
      .toString();
}

}  // namespace bench
