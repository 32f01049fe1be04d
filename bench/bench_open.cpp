// Times what a user waits for when a dataset opens: request → every value kept as the client keeps
// them, through the real server, beside sqlite3 alone reading the same rows, once with the
// engine's default settings and once with the server's (its page cache and memory map). Prints
// figures; never fails on speed.
//
//   bench_open [N]   N = 1000, 10000 or 100000 demo persons; all three when not given
#include <sqlite3.h>

#include <QCoreApplication>
#include <QTemporaryDir>
#include <cstdio>
#include <functional>

#include "bench/measure.h"
#include "demo/generator.h"
#include "schema/queries.h"
#include "schema/tables.h"
#include "tests/support/test_server.h"
#include "tests/support/wire_client.h"

namespace {

using bench::medianMs;
using bench::rawRead;

struct Case {
  QString label;
  protocol::OpenRequest request;
  QString rawSql;
  QString rawParam;
};

QList<Case> cases(const QString& person) {
  QList<Case> all;
  for (const schema::Table* t : schema::oneRowTables()) {
    protocol::OpenRequest r;
    r.provider = QStringLiteral("DataSetProvider_") + t->name;
    all << Case{
        r.provider, r, QStringLiteral("select * from \"%1\" order by rid").arg(t->name), {}};
  }
  protocol::OpenRequest accounts;
  accounts.provider = QStringLiteral("DataSetProvider_user");
  all << Case{
      accounts.provider, accounts, QStringLiteral("select * from user_name order by rid"), {}};
  protocol::OpenRequest keyed;
  keyed.provider = QStringLiteral("DataSetProvider_info");
  keyed.personKey = person;
  all << Case{QStringLiteral("DataSetProvider_info, one person"), keyed,
              QStringLiteral("select * from info where id=?"), person};
  const QString history = schema::queries::history(u"jyqk").display;
  protocol::OpenRequest rows;
  rows.provider = QStringLiteral("datasetprovider_temp4");
  rows.text = history;
  rows.params = {person};
  all << Case{QStringLiteral("jyqk rows of one person"), rows, history, person};
  protocol::OpenRequest list;
  list.provider = QStringLiteral("DataSetProvider_search");
  list.text = schema::queries::kPersonList;
  all << Case{QStringLiteral("main list (kPersonList)"), list, schema::queries::kPersonList, {}};
  return all;
}

bool runSize(int persons) {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("bench.db"));
  const std::optional<double> seeded = bench::seed(path, persons);
  if (!seeded) return false;
  std::printf("\nN = %d persons (seeded in %.1f s)\n", persons, *seeded);

  TestServer server(path);
  if (!server.running()) return false;
  const demo::DemoAccount& admin = demo::administrators().front();
  WireClient client;
  if (!client.connectTo(server.host(), server.port())) return false;
  const double signIn = medianMs(1, [&] { return client.signIn(admin.id, admin.password).ok(); });
  std::printf("  %-36s %10.1f ms\n", "sign-in (role 0)", signIn);

  sqlite3* db = nullptr;
  sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
  // The server's defaults for its read handles (serve --cache-mb 16 --mmap-mb 4096).
  sqlite3* tuned = nullptr;
  sqlite3_open_v2(path.toUtf8().constData(), &tuned, SQLITE_OPEN_READONLY, nullptr);
  sqlite3_exec(tuned, "PRAGMA cache_size=-16384; PRAGMA mmap_size=4294967296", nullptr, nullptr,
               nullptr);
  // A person from the middle who has education rows.
  const QString person =
      server.sql(QStringLiteral("select id from jyqk order by rid limit 1 offset ?"), {persons / 2})
          .value(0)
          .value(0)
          .toString();
  const int runs = persons >= 100000 ? 3 : 5;
  std::printf("  %-36s %8s %11s %11s %6s %11s %6s\n", "open", "rows", "server ms", "sqlite3 ms",
              "ratio", "tuned ms", "ratio");
  for (const Case& c : cases(person)) {
    qsizetype rows = 0;
    const double remote = medianMs(runs, [&] {
      const Answer<protocol::CompactPacket> packet = client.openCompact(c.request);
      rows = packet.ok() ? packet->values.rowCount() : -1;
      if (!packet.ok())
        std::fprintf(stderr, "%s: %s\n", qUtf8Printable(c.label), qUtf8Printable(packet.error));
      return packet.ok();
    });
    const double raw = medianMs(runs, [&] { return rawRead(db, c.rawSql, c.rawParam); });
    const double rawTuned = medianMs(runs, [&] { return rawRead(tuned, c.rawSql, c.rawParam); });
    std::printf("  %-36s %8lld %11.2f %11.2f %6.2f %11.2f %6.2f\n", qUtf8Printable(c.label),
                qlonglong(rows), remote, raw, raw > 0 ? remote / raw : 0.0, rawTuned,
                rawTuned > 0 ? remote / rawTuned : 0.0);
  }
  // Keyed reads back to back, as the record pages and the printed record make them: each a
  // different person's row, per read.
  const QList<QVariantList> ids = server.sql(
      QStringLiteral("select id from info order by rid limit 500 offset ?"), {persons / 3});
  auto perRead = [&](const std::function<bool(const QString&)>& read) {
    return medianMs(runs,
                    [&] {
                      for (const QVariantList& id : ids)
                        if (!read(id.value(0).toString())) return false;
                      return true;
                    }) /
           double(ids.size());
  };
  const double keyed = perRead([&](const QString& id) {
    protocol::OpenRequest r;
    r.provider = QStringLiteral("DataSetProvider_info");
    r.personKey = id;
    return client.openCompact(r).ok();
  });
  const QString keyedSql = QStringLiteral("select * from info where id=?");
  const double keyedRaw = perRead([&](const QString& id) { return rawRead(db, keyedSql, id); });
  const double keyedTuned =
      perRead([&](const QString& id) { return rawRead(tuned, keyedSql, id); });
  std::printf("  %-36s %8lld %11.3f %11.3f %6.2f %11.3f %6.2f\n",
              "keyed reads back to back, per read", qlonglong(ids.size()), keyed, keyedRaw,
              keyed / keyedRaw, keyedTuned, keyed / keyedTuned);
  std::fflush(stdout);
  sqlite3_close(tuned);
  sqlite3_close(db);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  if (qEnvironmentVariableIsEmpty("STAFFINFO_SERVER_BIN"))
    qputenv("STAFFINFO_SERVER_BIN", STAFFINFO_SERVER_BIN_DEFAULT);
  const std::optional<QList<int>> sizes =
      bench::sizes(app.arguments().mid(1), "bench_open [N ...]");
  if (!sizes) return 2;
  for (int n : *sizes)
    if (!runSize(n)) return 1;
  return 0;
}
