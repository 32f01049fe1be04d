#include "bench/load_setup.h"

#include <sys/resource.h>

#include <QCommandLineParser>
#include <QFile>
#include <cstdio>

#include "tests/support/test_database.h"
#include "tests/support/test_server.h"

namespace bench {

std::function<void(double)> into(int* target) {
  return [target](double v) { *target = int(v); };
}

std::function<void(double)> into(double* target) {
  return [target](double v) { *target = v; };
}

void addNumberOptions(QCommandLineParser& parser, const QList<NumberOption>& options) {
  for (const NumberOption& o : options) parser.addOption({o.name, o.help, QStringLiteral("n")});
}

bool readNumberOptions(const QCommandLineParser& parser, const QList<NumberOption>& options) {
  for (const NumberOption& o : options) {
    if (!parser.isSet(o.name)) continue;
    bool ok = false;
    const double value = parser.value(o.name).toDouble(&ok);
    if (!ok || value < 0) {
      std::fprintf(stderr, "--%s needs a number, got \"%s\"\n", qUtf8Printable(o.name),
                   qUtf8Printable(parser.value(o.name)));
      return false;
    }
    o.set(value);
  }
  return true;
}

qint64 raiseOpenFileLimit() {
  rlimit limit;
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return -1;
  limit.rlim_cur = limit.rlim_max;
  setrlimit(RLIMIT_NOFILE, &limit);
  getrlimit(RLIMIT_NOFILE, &limit);
  return qint64(limit.rlim_cur);
}

QStringList serveOptions(int connections) {
  // Beyond the clients: the places the server keeps for administrators, and some slack.
  const QString most = QString::number(connections + 200);
  return {QStringLiteral("--max-connections"), most, QStringLiteral("--max-per-address"), most};
}

QStringList demoPersons(const QString& location) {
  QStringList ids;
  for (const QVariantList& row :
       testdb::sql(location, QStringLiteral("select id from user_name where qx = 2 order by rid")))
    ids << row.value(0).toString().trimmed();
  return ids;
}

ServerGauge gauge(const QList<TestServer*>& servers) {
  ServerGauge out;
  for (const TestServer* s : servers) {
    out.rssKb += s->status("VmRSS");
    out.anonKb += s->status("RssAnon");
    const qint64 threads = s->status("Threads");
    out.threads += threads;
    out.mostThreads = qMax(out.mostThreads, threads);
  }
  return out;
}

QString loadAverage() {
  QFile file(QStringLiteral("/proc/loadavg"));
  if (!file.open(QIODevice::ReadOnly)) return QStringLiteral("?");
  return QString::fromLatin1(file.readAll()).section(u' ', 0, 2);
}

}  // namespace bench
