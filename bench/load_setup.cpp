#include "bench/load_setup.h"

#include <sys/resource.h>
#include <unistd.h>

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
  // The clients and some slack are the places for staff; the server keeps a twentieth of all
  // its places for administrators beyond them.
  const QString most = QString::number((connections + 200) * 20 / 19 + 1);
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

namespace {

QList<QByteArray> fieldsOf(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  return file.readLine().simplified().split(' ');
}

// utime + stime of a process, in seconds; its name (field 2) holds no blank here.
double processSeconds(qint64 pid) {
  const QList<QByteArray> f = fieldsOf(QStringLiteral("/proc/%1/stat").arg(pid));
  return f.size() > 14 ? (f[13].toDouble() + f[14].toDouble()) / sysconf(_SC_CLK_TCK) : 0;
}

}  // namespace

CpuGauge cpu(const QList<TestServer*>& servers) {
  CpuGauge out;
  // The first line of /proc/stat: "cpu" and then user nice system idle iowait irq softirq steal…
  const QList<QByteArray> f = fieldsOf(QStringLiteral("/proc/stat"));
  for (int i = 1; i < f.size() && i <= 8; ++i)
    if (i != 4 && i != 5) out.machine += f[i].toDouble() / sysconf(_SC_CLK_TCK);
  out.self = processSeconds(getpid());
  for (const TestServer* s : servers) out.servers += processSeconds(s->processId());
  return out;
}

void printCpu(const CpuGauge& from, const CpuGauge& to, double seconds, int indent) {
  const double machine = (to.machine - from.machine) / seconds;
  const double servers = (to.servers - from.servers) / seconds;
  const double self = (to.self - from.self) / seconds;
  std::printf(
      "%*scores busy meanwhile: %.2f of %d; the servers %.2f, the clients %.2f, other "
      "programs %.2f\n",
      indent, "", machine, int(sysconf(_SC_NPROCESSORS_ONLN)), servers, self,
      machine - servers - self);
}

QString loadAverage() {
  QFile file(QStringLiteral("/proc/loadavg"));
  if (!file.open(QIODevice::ReadOnly)) return QStringLiteral("?");
  return QString::fromLatin1(file.readAll()).section(u' ', 0, 2);
}

}  // namespace bench
