// The change log at school size: N demo persons (100,000 by default) with ten logged changes
// each in the log, through the real server. Times a record save with its log rows beside what
// those rows cost the engine, one person's changes as the history window reads them, and the
// main list with and without the changed-since-review marks, the reads beside sqlite3 alone
// (bench::PlainReader, the faster of the engine's settings and the server's). Prints figures;
// never fails on speed.
//
//   bench_history [N]
#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>

#include "bench/measure.h"
#include "demo/generator.h"
#include "schema/queries.h"
#include "tests/support/test_server.h"
#include "tests/support/wire_client.h"

namespace {

// A term of saves: every person changed kRounds times and reviewed after round kReviewRound;
// a third of them changed twice more since.
constexpr int kRounds = 12;
constexpr int kReviewRound = 9;
// Runs per figure: more than the server's workers, each of which prepares a text once.
constexpr int kRuns = 25;
constexpr int kListRuns = 9;

bool exec(sqlite3* db, const char* sql) {
  return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

// Every person's identity number, in the order of `info`.
QStringList persons(sqlite3* db) {
  QStringList ids;
  sqlite3_stmt* s = nullptr;
  sqlite3_prepare_v2(db, "select id from info order by rid", -1, &s, nullptr);
  while (sqlite3_step(s) == SQLITE_ROW)
    ids << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(s, 0)));
  sqlite3_finalize(s);
  return ids;
}

// Writes a term's changes and reviews into the log, round by round; the rows written.
qint64 fillLog(sqlite3* db, const QStringList& ids) {
  if (!exec(db, "BEGIN")) return 0;
  sqlite3_stmt* log = nullptr;
  sqlite3_prepare_v2(db,
                     "insert into change_log (changed_at, changed_by, id, table_name, row_number,"
                     " column_name, old_value, new_value, kind) values (?1, ?2, ?2, 'info', null,"
                     " 'mz', ?3, ?4, ?5)",
                     -1, &log, nullptr);
  const QByteArray reviewed = "审核", updated = "修改";
  qint64 written = 0;
  for (int round = 0; round < kRounds; ++round)
    for (qsizetype p = 0; p < ids.size(); ++p) {
      if (round > kReviewRound && p % 3 != 0) continue;
      const bool review = round == kReviewRound;
      const QByteArray at = QDateTime(QDate(2026, 9, 1), QTime(8, 0))
                                .addSecs(round * 86400 + p)
                                .toString(Qt::ISODate)
                                .toUtf8();
      const QByteArray id = ids[p].toUtf8(), old = "汉" + QByteArray::number(round),
                       now = "汉" + QByteArray::number(round + 1);
      const QByteArray& kind = review ? reviewed : updated;
      sqlite3_bind_text(log, 1, at.constData(), int(at.size()), SQLITE_TRANSIENT);
      sqlite3_bind_text(log, 2, id.constData(), int(id.size()), SQLITE_TRANSIENT);
      sqlite3_bind_text(log, 3, old.constData(), int(old.size()), SQLITE_TRANSIENT);
      sqlite3_bind_text(log, 4, now.constData(), int(now.size()), SQLITE_TRANSIENT);
      sqlite3_bind_text(log, 5, kind.constData(), int(kind.size()), SQLITE_TRANSIENT);
      if (sqlite3_step(log) != SQLITE_DONE) return 0;
      sqlite3_reset(log);
      ++written;
    }
  sqlite3_finalize(log);
  const bool summarised =
      exec(db,
           "insert into change_summary (id, changed, reviewed) select id,"
           " max(case when kind<>'审核' then rid end), max(case when kind='审核' then rid end)"
           " from change_log group by id") &&
      exec(db, "COMMIT") && exec(db, "ANALYZE");
  return summarised ? written : 0;
}

// The writes of a save of the basic page with one changed value, as sqlite3 alone makes them:
// the update, and with `logged` the log row and the summary the server writes beside it. Rolled
// back, so the figure is the statements' cost without the commit's wait for the disk.
bool rawSave(sqlite3* db, const QString& person, int round, bool logged) {
  const QByteArray id = person.toUtf8(), value = "族" + QByteArray::number(round);
  const auto run = [&](const char* sql) {
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &s, nullptr) != SQLITE_OK) return false;
    for (int i = 1; i <= sqlite3_bind_parameter_count(s); ++i)
      sqlite3_bind_text(s, i, i == 1 ? id.constData() : value.constData(),
                        int(i == 1 ? id.size() : value.size()), SQLITE_STATIC);
    const bool done = sqlite3_step(s) == SQLITE_DONE;
    sqlite3_finalize(s);
    return done;
  };
  if (!exec(db, "BEGIN IMMEDIATE")) return false;
  bool done = run("update info set mz=?2 where id=?1");
  if (logged)
    done = done &&
           run("insert into change_log (changed_at, changed_by, id, table_name, column_name,"
               " new_value, kind) values (datetime('now'), ?1, ?1, 'info', 'mz', ?2, '修改')") &&
           run("insert into change_summary (id, changed) values (?1, last_insert_rowid()) on"
               " conflict (id) do update set changed = excluded.changed");
  return exec(db, "ROLLBACK") && done;
}

protocol::OpenRequest request(const QString& provider, const QString& text = {},
                              const QVariantList& params = {}) {
  protocol::OpenRequest r;
  r.provider = provider;
  r.text = text;
  r.params = params;
  return r;
}

// Reads the person's basic row and saves it with a new nationality: one apply, one log row.
bool save(WireClient& client, const QString& person, int round) {
  protocol::OpenRequest source = request(QStringLiteral("DataSetProvider_info"));
  source.personKey = person;
  const Answer<protocol::Packet> read = client.open(source);
  if (!read.ok() || read->rows.isEmpty()) return false;
  QVariantMap original;
  for (int c = 0; c < read->columns.size(); ++c)
    original.insert(read->columns[c], read->rows[0][c]);
  const protocol::Change change{protocol::Change::Kind::Update,
                                read->rids[0],
                                original,
                                {{"mz", QStringLiteral("族%1").arg(round)}}};
  return client.apply({{{source, {change}}}}).ok();
}

void line(const char* what, double server, double engine) {
  std::printf("  %-46s %10.2f %10.2f %7.2f\n", what, server, engine,
              engine > 0 ? server / engine : 0.0);
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  if (qEnvironmentVariableIsEmpty("STAFFINFO_SERVER_BIN"))
    qputenv("STAFFINFO_SERVER_BIN", STAFFINFO_SERVER_BIN_DEFAULT);
  const std::optional<QList<int>> sizes = bench::sizes(app.arguments().mid(1), "bench_history [N]");
  if (!sizes) return 2;
  const int n = app.arguments().size() > 1 ? sizes->front() : 100000;

  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("bench.db"));
  const std::optional<double> seeded = bench::seed(path, n);
  if (!seeded) return 1;
  sqlite3* db = nullptr;
  sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
  exec(db, "PRAGMA journal_mode=WAL");
  const QStringList ids = persons(db);
  QElapsedTimer filling;
  filling.start();
  const qint64 logged = fillLog(db, ids);
  if (logged == 0) {
    std::fprintf(stderr, "bench_history: filling the log failed: %s\n", sqlite3_errmsg(db));
    return 1;
  }
  std::printf("N = %d persons (seeded in %.1f s), %lld changes in the log (written in %.1f s)\n", n,
              *seeded, logged, filling.elapsed() / 1000.0);

  TestServer server(path);
  WireClient client;
  const demo::DemoAccount& admin = demo::administrators().front();
  if (!server.running() || !client.connectTo(server.host(), server.port()) ||
      !client.signIn(admin.id, admin.password).ok()) {
    std::fprintf(stderr, "bench_history: the server did not serve\n");
    return 1;
  }
  const QString person = ids[ids.size() / 6 * 3];  // changed since the review
  const QString search = QStringLiteral("DataSetProvider_search");
  int round = 0;
  std::printf("  medians of %d runs\n", kRuns);

  const double saved = bench::medianMs(kRuns, [&] { return save(client, person, ++round); });
  const double rawPlain =
      bench::medianMs(kRuns, [&] { return rawSave(db, person, ++round, false); });
  const double rawLogged =
      bench::medianMs(kRuns, [&] { return rawSave(db, person, ++round, true); });
  std::printf(
      "  basic page save (read + apply, one changed value, its log row): %.2f ms\n"
      "  its statements in sqlite3 alone, rolled back: %.3f ms, %.3f ms without the log\n"
      "  the log adds %.3f ms, %.1f %% of the save\n",
      saved, rawLogged, rawPlain, rawLogged - rawPlain, 100.0 * (rawLogged - rawPlain) / saved);
  std::printf("  %-46s %10s %10s %7s\n", "", "server ms", "sqlite3 ms", "ratio");

  const double changes = bench::medianMs(kRuns, [&] {
    return client.open(request(search, schema::queries::kPersonChanges, {person})).ok();
  });
  bench::Baseline baseline(path);
  const auto plain = [&](int runs, const QString& sql, const QString& param = {}) {
    return baseline.time(runs, [&](bench::PlainReader& r) { return r.read(sql, param); }).ms;
  };
  line("one person's changes (kPersonChanges)", changes,
       plain(kRuns, schema::queries::kPersonChanges, person));
  const double since = bench::medianMs(kRuns, [&] {
    return client
        .open(request(search, schema::queries::kPersonChangesSinceReview, {person, person}))
        .ok();
  });
  line("the same since the last review", since,
       plain(kRuns, schema::queries::kPersonChangesSinceReview, person));

  const auto list = [&] {
    return client.openCompact(request(search, schema::queries::kPersonList)).ok();
  };
  const auto marks = [&] {
    return client.openCompact(request(search, schema::queries::kChangedSinceReview)).ok();
  };
  // Alternately, so both see the same machine.
  QList<double> alone, marked;
  for (int run = 0; run < kListRuns; ++run) {
    alone << bench::medianMs(1, list);
    marked << bench::medianMs(1, [&] { return list() && marks(); });
  }
  std::sort(alone.begin(), alone.end());
  std::sort(marked.begin(), marked.end());
  const double listAlone = alone[kListRuns / 2], listMarked = marked[kListRuns / 2];
  line("main list (kPersonList)", listAlone, plain(kListRuns, schema::queries::kPersonList));
  line("main list and its marks (kChangedSinceReview)", listMarked,
       baseline
           .time(kListRuns,
                 [](bench::PlainReader& r) {
                   return r.read(schema::queries::kPersonList) &&
                          r.read(schema::queries::kChangedSinceReview);
                 })
           .ms);
  std::printf("  the marks add %.1f %% to the main list\n", 100.0 * (listMarked / listAlone - 1));
  sqlite3_close(db);
  return 0;
}
