// Operating a server under load: on a large SQLite database (100,000 demo persons unless
// given), while staff clients keep working with a short think time (bench/school_load.h), it
// measures (a) the clients' latencies without a backup, (b) `staffinfo-server backup` run
// meanwhile, several times: how long each takes and the clients' latencies during them, and
// (c) a SIGTERM under that load: the drain time the server logs ("stopped in X s"), the wall
// time from the signal to its exit, what the clients saw, and that every acknowledged write is
// in the database afterwards. Prints figures; never fails on speed.
//
//   bench_operations [--persons P] [--clients N] [--think S] [--quiet S] [--backups B]
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <cstdio>

#include "bench/load_check.h"
#include "bench/load_figures.h"
#include "bench/load_setup.h"
#include "bench/measure.h"
#include "bench/school_load.h"
#include "tests/support/test_server.h"

namespace {

struct Settings {
  int persons = 100000;
  bench::LoadOptions load;
  double quietS = 30;  // the window without a backup, and the pause after each backup
  int backups = 3;
};

// Sleeps `seconds` while the load runs.
void wait(double seconds) { QThread::msleep(qint64(seconds * 1000)); }

void printP99(const char* label, const bench::LoadFigures& f) {
  using bench::Action;
  std::printf("  %-34s p99 %8.2f ms (page %.2f, save %.2f), %d actions, %d failed\n", label,
              f.all.p99, f.byAction[int(Action::BasicPage)].p99, f.byAction[int(Action::Save)].p99,
              f.all.count, f.all.failed);
}

// The figures of the samples in the given windows together.
bench::LoadFigures within(const QList<bench::Sample>& samples,
                          const QList<std::pair<double, double>>& windows) {
  QList<bench::Sample> chosen;
  double seconds = 0;
  for (const auto& [from, to] : windows) {
    seconds += to - from;
    for (const bench::Sample& s : samples)
      if (s.atS >= from && s.atS < to) chosen << s;
  }
  bench::LoadFigures f = bench::figures(chosen, 0, 1e9);
  f.seconds = seconds;
  return f;
}

int run(const Settings& s) {
  std::printf("bench_operations: %d persons, %d clients thinking %.2f s; load average %s\n",
              s.persons, s.load.clients, s.load.thinkS, qUtf8Printable(bench::loadAverage()));
  bench::raiseOpenFileLimit();
  QTemporaryDir dir;
  const QString file = dir.filePath(QStringLiteral("bench.db"));
  const std::optional<double> seeded = bench::seed(file, s.persons);
  if (!seeded) return 1;
  std::printf("  seeded in %.1f s (%.0f MB)\n", *seeded, QFileInfo(file).size() / 1e6);
  TestServer server(file, bench::serveOptions(s.load.clients + s.load.administrators));
  if (!server.running()) return 1;
  bench::SchoolLoad load(s.load, {{server.host(), server.port()}}, bench::demoPersons(file));
  load.signIn(bench::SchoolLoad::Group::Working);
  load.start();
  wait(5);  // every client under way

  // (a) without a backup
  const double quietFrom = load.now();
  wait(s.quietS);
  const double quietTo = load.now();

  // (b) backups, each followed by a quiet pause
  QList<std::pair<double, double>> during;
  for (int i = 0; i < s.backups; ++i) {
    const QString target = dir.filePath(QStringLiteral("backup-%1.db").arg(i));
    const double from = load.now();
    QString output;
    const int status = TestServer::run(
        {QStringLiteral("backup"), QStringLiteral("--db"), file, QStringLiteral("--to"), target},
        {}, &output);
    const double to = load.now();
    during << std::pair{from, to};
    std::printf("  backup %d: %.2f s, status %d, %.0f MB%s%s\n", i + 1, to - from, status,
                QFileInfo(target).size() / 1e6, output.isEmpty() ? "" : ": ",
                qUtf8Printable(output.trimmed().left(200)));
    wait(qMin(s.quietS, 10.0));
  }
  const QList<bench::Sample> samples = load.samples();
  const bench::LoadFigures quiet = bench::figures(samples, quietFrom, quietTo);
  const bench::LoadFigures backing = within(samples, during);
  std::printf("  without a backup (%.0f s):\n", quietTo - quietFrom);
  bench::print(quiet, 4);
  std::printf("  during the backups (%.1f s together):\n", backing.seconds);
  bench::print(backing, 4);
  printP99("without a backup", quiet);
  printP99("during the backups", backing);
  std::printf("  p99 during / without: %.2f\n",
              quiet.all.p99 > 0 ? backing.all.p99 / quiet.all.p99 : 0);

  // (c) a stop under load
  const double stopFrom = load.now();
  QElapsedTimer wall;
  wall.start();
  const int status = server.stop(60000);
  const double wallS = wall.nsecsElapsed() / 1e9;
  wait(1);
  load.stop();
  static const QRegularExpression stopped(QStringLiteral("stopped in ([0-9.]+) s"));
  const QRegularExpressionMatch logged = stopped.match(server.log());
  std::printf(
      "  SIGTERM under load: exit status %d; the server logged \"%s\"; %.2f s from the "
      "signal to its exit\n",
      status, logged.hasMatch() ? qUtf8Printable(logged.captured(0)) : "nothing", wallS);
  int underWay = 0, answered = 0;
  for (const bench::Sample& sample : load.samples())
    if (sample.atS < stopFrom && sample.atS + sample.ms / 1000 >= stopFrom) {
      ++underWay;
      answered += sample.error.isEmpty();
    }
  std::printf("  actions under way at the signal: %d, %d of them completed\n", underWay, answered);
  std::printf("  what the clients saw from the signal on:\n");
  bench::print(bench::figures(load.samples(), stopFrom, load.now()), 4);
  return bench::print(bench::check(load.writes(), file)) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  std::setvbuf(stdout, nullptr, _IOLBF, 0);  // each line as it comes, into a file too
  if (qEnvironmentVariableIsEmpty("STAFFINFO_SERVER_BIN"))
    qputenv("STAFFINFO_SERVER_BIN", STAFFINFO_SERVER_BIN_DEFAULT);
  Settings s;
  s.load.clients = 20;
  s.load.thinkS = 0.1;
  s.load.administrators = 0;  // staff at work: the administrators' whole-list reads aside
  const QList<bench::NumberOption> numbers = {
      {QStringLiteral("persons"), QStringLiteral("demo persons (100000)"), bench::into(&s.persons)},
      {QStringLiteral("clients"), QStringLiteral("working clients (20)"),
       bench::into(&s.load.clients)},
      {QStringLiteral("think"), QStringLiteral("seconds between two actions of a client (0.1)"),
       bench::into(&s.load.thinkS)},
      {QStringLiteral("quiet"), QStringLiteral("seconds measured without a backup (30)"),
       bench::into(&s.quietS)},
      {QStringLiteral("backups"), QStringLiteral("backups taken one after another (3)"),
       bench::into(&s.backups)}};
  QCommandLineParser parser;
  parser.addHelpOption();
  bench::addNumberOptions(parser, numbers);
  parser.process(app);
  if (!bench::readNumberOptions(parser, numbers)) return 2;
  return run(s);
}
