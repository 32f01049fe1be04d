#include "bench/measure.h"

#include <malloc.h>

#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>

#include "demo/generator.h"
#include "storage/storage.h"

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

PlainReader::PlainReader(const QString& path, Settings settings) : settings_(settings) {
  sqlite3_open_v2(path.toUtf8().constData(), &db_, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX,
                  nullptr);
  if (settings == Settings::Server) {
    const storage::StorageOptions server;
    const QByteArray pragmas = QStringLiteral("PRAGMA cache_size=-%1; PRAGMA mmap_size=%2")
                                   .arg(qint64(server.cacheMiB) * 1024)
                                   .arg(qint64(server.mmapMiB) * 1024 * 1024)
                                   .toUtf8();
    sqlite3_exec(db_, pragmas.constData(), nullptr, nullptr, nullptr);
  }
}

PlainReader::~PlainReader() {
  for (sqlite3_stmt* statement : std::as_const(statements_)) sqlite3_finalize(statement);
  sqlite3_close(db_);
}

sqlite3_stmt* PlainReader::statement(const QString& sql) {
  if (sqlite3_stmt* kept = statements_.value(sql)) return kept;
  const QByteArray text = sql.toUtf8();
  sqlite3_stmt* prepared = nullptr;
  if (sqlite3_prepare_v3(db_, text.constData(), int(text.size()), SQLITE_PREPARE_PERSISTENT,
                         &prepared, nullptr) != SQLITE_OK)
    return nullptr;
  statements_.insert(sql, prepared);
  return prepared;
}

bool PlainReader::read(const QString& sql, const QString& param, const Row& row) {
  sqlite3_stmt* s = statement(sql);
  if (!s) return false;
  const QByteArray value = param.toUtf8();
  if (!param.isEmpty())
    for (int i = 1; i <= sqlite3_bind_parameter_count(s); ++i)
      sqlite3_bind_text(s, i, value.constData(), int(value.size()), SQLITE_STATIC);
  const int columns = sqlite3_column_count(s);
  int rc;
  while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
    if (row) {
      row(s);
      continue;
    }
    for (int c = 0; c < columns; ++c) {
      sqlite3_value* v = sqlite3_column_value(s, c);
      if (sqlite3_value_type(v) == SQLITE_INTEGER)
        touched_ += sqlite3_value_int64(v) & 1;
      else if (const unsigned char* text = sqlite3_value_text(v))
        touched_ += sqlite3_value_bytes(v) + text[0];
    }
  }
  sqlite3_reset(s);
  sqlite3_clear_bindings(s);
  return rc == SQLITE_DONE;
}

const char* Baseline::Figure::settingsName() const {
  return settings == PlainReader::Settings::Server ? "server" : "engine";
}

Baseline::Baseline(const QString& path)
    : engine_(path, PlainReader::Settings::Engine), server_(path, PlainReader::Settings::Server) {}

Baseline::Figure Baseline::time(int runs, const std::function<bool(PlainReader&)>& read) {
  Figure best;
  for (PlainReader* reader : {&engine_, &server_}) {
    if (!read(*reader)) return {};
    const double ms = medianMs(runs, [&] { return read(*reader); });
    if (ms < 0) return {};
    if (best.ms < 0 || ms < best.ms) best = {ms, reader->settings()};
  }
  return best;
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
