// A school on a deadline day against real servers (bench/school_load.h): N staff members sign
// in, open their record pages, save and add history rows with think time between, while five
// administrators list, filter and review; optionally M more connections sign in and stay idle.
// Prints the sign-in rate, the servers' memory per connection and threads, requests per second,
// latencies per kind of action and failures, then checks in the database that every
// acknowledged write is there. Prints figures; never fails on speed (exit 1 only when the
// set-up failed or an acknowledged write is missing).
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTemporaryDir>
#include <QThread>
#include <cstdio>
#include <memory>
#include <optional>

#include "bench/load_check.h"
#include "bench/load_figures.h"
#include "bench/load_setup.h"
#include "bench/measure.h"
#include "bench/pg_cluster.h"
#include "bench/school_load.h"
#include "tests/support/test_database.h"
#include "tests/support/test_server.h"

namespace {

struct Settings {
  bench::LoadOptions load;
  int persons = 0;
  double durationS = 120;
  int servers = 1;
  bool postgres = false;
};

std::optional<Settings> parse(const QCoreApplication& app) {
  Settings s;
  const QList<bench::NumberOption> numbers = {
      {QStringLiteral("clients"), QStringLiteral("working clients (2000)"),
       bench::into(&s.load.clients)},
      {QStringLiteral("persons"),
       QStringLiteral("demo persons to seed (clients + idle, at least 10000)"),
       bench::into(&s.persons)},
      {QStringLiteral("duration"), QStringLiteral("seconds of work after the sign-ins (120)"),
       bench::into(&s.durationS)},
      {QStringLiteral("think"), QStringLiteral("seconds between two actions of a client (10)"),
       bench::into(&s.load.thinkS)},
      {QStringLiteral("servers"), QStringLiteral("servers sharing the database (1)"),
       bench::into(&s.servers)},
      {QStringLiteral("idle"), QStringLiteral("more clients that sign in and stay idle (0)"),
       bench::into(&s.load.idle)},
      {QStringLiteral("admins"), QStringLiteral("administrators' connections (5)"),
       bench::into(&s.load.administrators)},
      {QStringLiteral("threads"), QStringLiteral("threads of the working clients (2)"),
       bench::into(&s.load.threads)},
      {QStringLiteral("signing"), QStringLiteral("sign-ins in flight together (4)"),
       bench::into(&s.load.signingAtOnce)},
  };
  QCommandLineParser parser;
  parser.setApplicationDescription(
      QStringLiteral("A school on a deadline day, against real servers."));
  parser.addHelpOption();
  bench::addNumberOptions(parser, numbers);
  parser.addOption(
      {QStringLiteral("postgres"),
       QStringLiteral("the servers share one PostgreSQL database (a cluster of its own)")});
  parser.process(app);
  if (!bench::readNumberOptions(parser, numbers)) return std::nullopt;
  s.postgres = parser.isSet(QStringLiteral("postgres"));
  s.servers = qMax(1, s.servers);
  s.load.signingAtOnce = qMax(1, s.load.signingAtOnce);
  s.persons = qMax(s.persons, qMax(s.load.clients + s.load.idle, 10000));
  return s;
}

double kib(qint64 kb, int connections) { return connections > 0 ? double(kb) / connections : 0; }

// Memory the servers took on for `connections` more connections.
void printMemory(const char* what, const bench::ServerGauge& before,
                 const bench::ServerGauge& after, int connections) {
  std::printf(
      "  servers' memory with %d %s: %.1f MiB resident (%.1f before), %.2f KiB per "
      "connection; anonymous %.2f KiB per connection; threads %lld (most in one server)\n",
      connections, what, after.rssKb / 1024.0, before.rssKb / 1024.0,
      kib(after.rssKb - before.rssKb, connections), kib(after.anonKb - before.anonKb, connections),
      static_cast<long long>(after.mostThreads));
}

void printSignIns(const QList<bench::Sample>& samples, double fromS, double seconds, int signedIn,
                  int atOnce) {
  const bench::LoadFigures f = bench::figures(samples, fromS, fromS + seconds);
  const bench::ActionFigures& s = f.byAction[int(bench::Action::SignIn)];
  std::printf(
      "  sign-ins: %d of %d in %.1f s = %.1f per second, %d at a time; p50 %.0f ms, p99 "
      "%.0f ms\n",
      signedIn, s.count, seconds, s.count / seconds, atOnce, s.p50, s.p99);
  for (auto i = f.failures.cbegin(); i != f.failures.cend(); ++i)
    std::printf("    %7d  %s\n", i.value(), qUtf8Printable(i.key()));
}

int run(const Settings& s) {
  std::printf(
      "bench_load: %d clients, %d idle, %d administrators, think %.1f s, %.0f s of work; "
      "%d %s server%s, %d persons; load average %s\n",
      s.load.clients, s.load.idle, s.load.administrators, s.load.thinkS, s.durationS, s.servers,
      s.postgres ? "PostgreSQL" : "SQLite", s.servers > 1 ? "s" : "", s.persons,
      qUtf8Printable(bench::loadAverage()));
  std::printf("  open-file limit of this process: %lld\n",
              static_cast<long long>(bench::raiseOpenFileLimit()));
  std::optional<bench::PgCluster> cluster;
  std::optional<testdb::PgDatabase> pg;
  QTemporaryDir dir;
  if (s.postgres) {
    cluster.emplace();
    if (!cluster->running()) return 1;
    pg.emplace();
  }
  const QString location = s.postgres ? pg->location() : dir.filePath(QStringLiteral("bench.db"));
  const std::optional<double> seeded = bench::seed(location, s.persons);
  if (!seeded) return 1;
  std::printf("  seeded %d persons in %.1f s\n", s.persons, *seeded);

  const int total = s.load.clients + s.load.idle + s.load.administrators;
  std::vector<std::unique_ptr<TestServer>> owned;
  QList<TestServer*> servers;
  QList<bench::Endpoint> endpoints;
  for (int i = 0; i < s.servers; ++i) {
    owned.push_back(std::make_unique<TestServer>(
        location, bench::serveOptions((total + s.servers - 1) / s.servers)));
    if (!owned.back()->running()) return 1;
    servers << owned.back().get();
    endpoints << bench::Endpoint{owned.back()->host(), owned.back()->port()};
  }
  const QStringList persons = bench::demoPersons(location);
  if (persons.size() < s.load.clients + s.load.idle) {
    std::fprintf(stderr, "only %lld demo persons\n", static_cast<long long>(persons.size()));
    return 1;
  }

  bench::SchoolLoad load(s.load, endpoints, persons);
  qint64 mostThreads = 0;
  const auto tick = [&] { mostThreads = qMax(mostThreads, bench::gauge(servers).mostThreads); };
  const bench::ServerGauge fresh = bench::gauge(servers);
  double from = load.now();
  double took = load.signIn(bench::SchoolLoad::Group::Working, tick);
  printSignIns(load.samples(), from, took, load.signedIn(), s.load.signingAtOnce);
  const bench::ServerGauge working = bench::gauge(servers);
  printMemory("signed-in idle connections", fresh, working, s.load.clients + s.load.administrators);
  if (s.load.idle > 0) {
    from = load.now();
    const int before = load.signedIn();
    took = load.signIn(bench::SchoolLoad::Group::Idle, tick);
    printSignIns(load.samples(), from, took, load.signedIn() - before, s.load.signingAtOnce);
    printMemory("more idle connections", working, bench::gauge(servers), s.load.idle);
  }

  load.start();
  const bench::CpuGauge cpuFrom = bench::cpu(servers);
  const double start = load.now();
  while (load.now() - start < s.durationS) {
    tick();
    QThread::msleep(200);
  }
  const double end = load.now();
  const bench::CpuGauge cpuTo = bench::cpu(servers);
  load.stop();
  const bench::ServerGauge after = bench::gauge(servers);
  std::printf("  work (load average %s):\n", qUtf8Printable(bench::loadAverage()));
  bench::print(bench::figures(load.samples(), start, end), 4);
  bench::printCpu(cpuFrom, cpuTo, end - start, 4);
  std::printf(
      "  connections lost: %d; servers' memory after the work %.1f MiB resident; threads "
      "at most %lld in one server\n",
      load.connectionsLost(), after.rssKb / 1024.0, static_cast<long long>(mostThreads));

  for (TestServer* server : servers)
    if (const int status = server->stop(60000); status != 0)
      std::printf("  a server stopped with status %d\n", status);
  return bench::print(bench::check(load.writes(), location)) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  std::setvbuf(stdout, nullptr, _IOLBF, 0);  // each line as it comes, into a file too
  if (qEnvironmentVariableIsEmpty("STAFFINFO_SERVER_BIN"))
    qputenv("STAFFINFO_SERVER_BIN", STAFFINFO_SERVER_BIN_DEFAULT);
  const std::optional<Settings> settings = parse(app);
  if (!settings) return 2;
  return run(*settings);
}
