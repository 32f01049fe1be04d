// PostgreSQL beside SQLite: one person's actions through the real server on each storage, and
// 50 clients spread over 1, 2 and 4 servers on one PostgreSQL database. Prints figures; never
// fails on speed. Starts a PostgreSQL cluster of its own (scripts/pg-cluster) and stops it.
//
//   bench_pg [N ...]   demo persons per size; 1,000, 10,000 and 100,000 when not given
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>
#include <latch>
#include <thread>

#include "bench/measure.h"
#include "bench/pg_cluster.h"
#include "demo/generator.h"
#include "schema/queries.h"
#include "schema/tables.h"
#include "tests/support/test_server.h"
#include "tests/support/wire_client.h"

namespace {

constexpr int kClients = 50;
constexpr int kRequestsPerClient = 60;
// Every client comes from loopback: the servers let them all in.
const QStringList kServe = {QStringLiteral("--max-per-address"), QStringLiteral("64")};

protocol::OpenRequest keyed(const QString& provider, const QString& person) {
  protocol::OpenRequest r;
  r.provider = provider;
  r.personKey = person;
  return r;
}

protocol::OpenRequest text(const QString& sql, const QVariantList& params) {
  protocol::OpenRequest r;
  r.provider = QStringLiteral("DataSetProvider_search");
  r.text = sql;
  r.params = params;
  return r;
}

// Opens every one-row table of the person, as the record pages do.
bool openRecord(WireClient& client, const QString& person) {
  for (const schema::Table* t : schema::oneRowTables())
    if (!client.open(keyed(QStringLiteral("DataSetProvider_") + t->name, person)).ok())
      return false;
  return true;
}

// Reads the person's basic row and writes it back unchanged: one apply, one transaction.
bool save(WireClient& client, const QString& person) {
  const protocol::OpenRequest source = keyed(QStringLiteral("DataSetProvider_info"), person);
  const Answer<protocol::Packet> read = client.open(source);
  if (!read.ok() || read->rows.isEmpty()) return false;
  QVariantMap original;
  for (int c = 0; c < read->columns.size(); ++c)
    original.insert(read->columns[c], read->rows[0][c]);
  protocol::Change change{
      protocol::Change::Kind::Update, read->rids[0], original, {{"name", original.value("name")}}};
  return client.apply({{{source, {change}}}}).ok();
}

// Draws a history number and stores a row with it, as the history pages do.
bool addHistory(WireClient& client, const QString& person) {
  const schema::queries::HistoryQueries& q = schema::queries::history(u"jnpx");
  const Answer<qint64> number = client.draw(q.table);
  if (!number.ok()) return false;
  protocol::Change row{
      protocol::Change::Kind::Insert, 0, {}, {{"id_num", *number}, {"id", person}}};
  return client.apply({{{text(q.writeBack, {person}), {row}}}}).ok();
}

struct Action {
  const char* label;
  std::function<bool(WireClient&, const QString&)> run;
};

const QList<Action>& actions() {
  static const QList<Action> all = {
      {"record pages (10 keyed opens)", openRecord},
      {"history rows (jyqk text)",
       [](WireClient& c, const QString& p) {
         return c.open(text(schema::queries::history(u"jyqk").display, {p})).ok();
       }},
      {"save basic row (read + apply)", save},
      {"draw + history row", addHistory},
      {"whole table (DataSetProvider_info)",
       [](WireClient& c, const QString&) {
         protocol::OpenRequest r;
         r.provider = QStringLiteral("DataSetProvider_info");
         return c.open(r).ok();
       }},
      {"main list (kPersonList)",
       [](WireClient& c, const QString&) {
         return c.open(text(schema::queries::kPersonList, {})).ok();
       }},
  };
  return all;
}

// Median milliseconds of each action on the server, for one person from the middle.
QList<double> personActions(const TestServer& server, const QString& person, int runs) {
  const demo::DemoAccount& admin = demo::administrators().front();
  WireClient client;
  QList<double> out;
  if (!client.connectTo(server.host(), server.port()) ||
      !client.signIn(admin.id, admin.password).ok())
    return out;
  for (const Action& a : actions())
    out << bench::medianMs(runs, [&] { return a.run(client, person); });
  return out;
}

struct Load {
  double perSecond = 0, p50 = 0, p99 = 0;
  int failed = 0;
};

// kClients clients, spread over `servers`, each doing kRequestsPerClient requests at once: per
// person, three keyed opens and a history read, every tenth a save.
Load load(const QList<TestServer*>& servers, const QStringList& persons) {
  const demo::DemoAccount& admin = demo::administrators().front();
  std::latch ready(kClients + 1);
  std::vector<QList<double>> latencies(kClients);
  std::atomic<int> failed = 0;
  std::vector<std::thread> clients;
  for (int c = 0; c < kClients; ++c)
    clients.emplace_back([&, c] {
      WireClient client;
      const TestServer& server = *servers[c % servers.size()];
      const bool in = client.connectTo(server.host(), server.port()) &&
                      client.signIn(admin.id, admin.password).ok();
      ready.arrive_and_wait();
      if (!in) {
        failed += kRequestsPerClient;
        return;
      }
      for (int i = 0; i < kRequestsPerClient; ++i) {
        const QString& person = persons[(c * 7919 + i * 104729) % persons.size()];
        QElapsedTimer timer;
        timer.start();
        bool ok;
        switch (i % 10 == 9 ? 4 : i % 4) {
          case 0:
            ok = client.open(keyed(QStringLiteral("DataSetProvider_info"), person)).ok();
            break;
          case 1:
            ok = client.open(keyed(QStringLiteral("DataSetProvider_wycd"), person)).ok();
            break;
          case 2:
            ok = client.open(keyed(QStringLiteral("DataSetProvider_rjxx"), person)).ok();
            break;
          case 3:
            ok = client.open(text(schema::queries::history(u"jyqk").display, {person})).ok();
            break;
          default:
            ok = save(client, person);
        }
        latencies[c] << timer.nsecsElapsed() / 1e6;
        if (!ok) ++failed;
      }
    });
  ready.arrive_and_wait();
  QElapsedTimer wall;
  wall.start();
  for (std::thread& t : clients) t.join();
  const double seconds = wall.nsecsElapsed() / 1e9;
  QList<double> all;
  for (const QList<double>& l : latencies) all << l;
  std::sort(all.begin(), all.end());
  Load out;
  out.failed = failed;
  if (all.isEmpty()) return out;
  out.perSecond = all.size() / seconds;
  out.p50 = all[all.size() / 2];
  out.p99 = all[qMin(all.size() - 1, all.size() * 99 / 100)];
  return out;
}

bool runSize(int persons) {
  QTemporaryDir dir;
  const QString file = dir.filePath(QStringLiteral("bench.db"));
  if (!bench::seed(file, persons)) return false;
  testdb::PgDatabase pg;
  const std::optional<double> copied = bench::copyInto(TestServer::binary(), file, pg.location());
  if (!copied) return false;
  std::printf("\nN = %d persons (copied into PostgreSQL in %.1f s)\n", persons, *copied);

  TestServer sqlite(file, kServe);
  TestServer postgres(pg.location(), kServe);
  if (!sqlite.running() || !postgres.running()) return false;
  QStringList ids;
  for (const QVariantList& row :
       postgres.sql(QStringLiteral("select id from user_name where qx = 2 order by rid")))
    ids << row.value(0).toString();
  const QString person = ids.value(ids.size() / 2);
  const int runs = persons >= 100000 ? 3 : 7;
  const QList<double> onSqlite = personActions(sqlite, person, runs);
  const QList<double> onPostgres = personActions(postgres, person, runs);
  if (onSqlite.size() != actions().size() || onPostgres.size() != actions().size()) return false;
  std::printf("  %-34s %12s %14s %7s\n", "one client, median", "SQLite ms", "PostgreSQL ms",
              "ratio");
  for (int i = 0; i < actions().size(); ++i)
    std::printf("  %-34s %12.2f %14.2f %7.1f\n", actions()[i].label, onSqlite[i], onPostgres[i],
                onSqlite[i] > 0 ? onPostgres[i] / onSqlite[i] : 0.0);

  std::printf(
      "  %-34s %12s %10s %10s %7s\n",
      qPrintable(QStringLiteral("%1 clients × %2 requests").arg(kClients).arg(kRequestsPerClient)),
      "requests/s", "p50 ms", "p99 ms", "failed");
  auto print = [](const QString& label, const Load& l) {
    std::printf("  %-34s %12.0f %10.2f %10.2f %7d\n", qUtf8Printable(label), l.perSecond, l.p50,
                l.p99, l.failed);
    std::fflush(stdout);
  };
  print(QStringLiteral("SQLite, 1 server"), load({&sqlite}, ids));
  std::vector<std::unique_ptr<TestServer>> more;
  QList<TestServer*> servers{&postgres};
  for (int count : {1, 2, 4}) {
    while (servers.size() < count) {
      more.push_back(std::make_unique<TestServer>(pg.location(), kServe));
      if (!more.back()->running()) return false;
      servers << more.back().get();
    }
    print(QStringLiteral("PostgreSQL, %1 server%2").arg(count).arg(count > 1 ? "s" : ""),
          load(servers, ids));
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  if (qEnvironmentVariableIsEmpty("STAFFINFO_SERVER_BIN"))
    qputenv("STAFFINFO_SERVER_BIN", STAFFINFO_SERVER_BIN_DEFAULT);
  const std::optional<QList<int>> sizes = bench::sizes(app.arguments().mid(1), "bench_pg [N ...]");
  if (!sizes) return 2;
  const bench::PgCluster cluster;
  if (!cluster.running()) return 1;
  int status = 0;
  for (int n : *sizes)
    if (!runSize(n)) {
      status = 1;
      break;
    }
  return status;
}
