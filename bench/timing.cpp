#include "bench/timing.h"

#include <QElapsedTimer>
#include <QList>
#include <algorithm>
#include <cstdio>

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

bool eachRow(sqlite3* db, const QString& sql, const QString& param,
             const std::function<void(sqlite3_stmt*)>& row) {
  sqlite3_stmt* statement = nullptr;
  const QByteArray text = sql.toUtf8();
  if (sqlite3_prepare_v2(db, text.constData(), int(text.size()), &statement, nullptr) != SQLITE_OK)
    return false;
  const QByteArray value = param.toUtf8();
  if (!param.isEmpty())
    sqlite3_bind_text(statement, 1, value.constData(), int(value.size()), SQLITE_STATIC);
  while (sqlite3_step(statement) == SQLITE_ROW) row(statement);
  sqlite3_finalize(statement);
  return true;
}

int runSizes(int argc, char** argv, const std::function<bool(int persons)>& runSize) {
  if (qEnvironmentVariableIsEmpty("STAFFINFO_SERVER_BIN"))
    qputenv("STAFFINFO_SERVER_BIN", STAFFINFO_SERVER_BIN_DEFAULT);
  QList<int> sizes = {1000, 10000, 100000};
  if (argc > 1) {
    bool ok = false;
    sizes = {QString::fromLocal8Bit(argv[1]).toInt(&ok)};
    if (!ok || sizes.front() <= 0) {
      std::fprintf(stderr, "usage: %s [N]\n", argv[0]);
      return 2;
    }
  }
  for (int n : sizes)
    if (!runSize(n)) return 1;
  return 0;
}

bool rawRead(sqlite3* db, const QString& sql, const QString& param) {
  qint64 bytes = 0;
  return eachRow(db, sql, param,
                 [&bytes](sqlite3_stmt* statement) {
                   const int columns = sqlite3_column_count(statement);
                   for (int c = 0; c < columns; ++c)
                     if (sqlite3_column_type(statement, c) == SQLITE_INTEGER)
                       bytes += sqlite3_column_int64(statement, c) & 1;
                     else if (sqlite3_column_text(statement, c))
                       bytes += sqlite3_column_bytes(statement, c);
                 }) &&
         bytes >= 0;
}

}  // namespace bench
