// Times what a user waits for when a dataset opens: request → every value kept as the client keeps
// them, through the real server, beside sqlite3 alone reading the same rows as fast as it can
// (bench::PlainReader, the faster of the engine's default settings and the server's). Prints
// figures; never fails on speed.
//
//   bench_open [N]   N = 1000, 10000 or 100000 demo persons; all three when not given
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
using bench::PlainReader;

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

  bench::Baseline baseline(path);
  // A person from the middle who has education rows.
  const QString person =
      server.sql(QStringLiteral("select id from jyqk order by rid limit 1 offset ?"), {persons / 2})
          .value(0)
          .value(0)
          .toString();
  const int runs = persons >= 100000 ? 3 : 5;
  std::printf("  %-36s %8s %11s %11s %8s %6s\n", "open", "rows", "server ms", "sqlite3 ms",
              "settings", "ratio");
  for (const Case& c : cases(person)) {
    qsizetype rows = 0;
    const double remote = medianMs(runs, [&] {
      const Answer<protocol::CompactPacket> packet = client.openCompact(c.request);
      rows = packet.ok() ? packet->values.rowCount() : -1;
      if (!packet.ok())
        std::fprintf(stderr, "%s: %s\n", qUtf8Printable(c.label), qUtf8Printable(packet.error));
      return packet.ok();
    });
    const bench::Baseline::Figure raw =
        baseline.time(runs, [&](PlainReader& r) { return r.read(c.rawSql, c.rawParam); });
    std::printf("  %-36s %8lld %11.2f %11.2f %8s %6.2f\n", qUtf8Printable(c.label), qlonglong(rows),
                remote, raw.ms, raw.settingsName(), raw.ms > 0 ? remote / raw.ms : 0.0);
  }
  // Keyed reads back to back, as the record pages and the printed record make them: each a
  // different person's row, per read.
  const QList<QVariantList> ids = server.sql(
      QStringLiteral("select id from info order by rid limit 500 offset ?"), {persons / 3});
  auto everyId = [&](const std::function<bool(const QString&)>& read) {
    for (const QVariantList& id : ids)
      if (!read(id.value(0).toString())) return false;
    return true;
  };
  const auto openKeyed = [&](const QString& id) {
    protocol::OpenRequest r;
    r.provider = QStringLiteral("DataSetProvider_info");
    r.personKey = id;
    return client.openCompact(r).ok();
  };
  const double keyed = medianMs(runs, [&] { return everyId(openKeyed); }) / double(ids.size());
  const QString keyedSql = QStringLiteral("select * from info where id=?");
  const bench::Baseline::Figure keyedRaw = baseline.time(runs, [&](PlainReader& r) {
    return everyId([&](const QString& id) { return r.read(keyedSql, id); });
  });
  const double keyedRawMs = keyedRaw.ms / double(ids.size());
  std::printf("  %-36s %8lld %11.3f %11.3f %8s %6.2f\n", "keyed reads back to back, per read",
              qlonglong(ids.size()), keyed, keyedRawMs, keyedRaw.settingsName(),
              keyed / keyedRawMs);
  std::fflush(stdout);
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
