#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

class QCommandLineParser;
class TestServer;

// What the load benchmarks need around the load itself: room for thousands of sockets, the
// servers' options and gauges, the demo persons to sign in as.
namespace bench {

// A number the command line may give (`--name n`) and where it goes.
struct NumberOption {
  QString name;
  QString help;  // says the default too
  std::function<void(double)> set;
};
// Setters that store the number given into `target`.
std::function<void(double)> into(int* target);
std::function<void(double)> into(double* target);
void addNumberOptions(QCommandLineParser& parser, const QList<NumberOption>& options);
// Sets each option given; false (having said which) when one is not a number of at least 0.
bool readNumberOptions(const QCommandLineParser& parser, const QList<NumberOption>& options);

// Raises this process's open-file limit to its hard limit (each client holds a socket); the
// limit now in force.
qint64 raiseOpenFileLimit();

// `serve` options that let `connections` clients from loopback in (one address, as a school
// behind one NAT address).
QStringList serveOptions(int connections);

// The identity numbers of the demo persons (role 2 accounts) in the database, in stored order.
QStringList demoPersons(const QString& location);

// What the servers' processes hold: resident memory (all of it, and the anonymous part, which
// leaves out the database file's mapped pages) and threads, summed over the servers, the
// threads also as the most of one server.
struct ServerGauge {
  qint64 rssKb = 0;
  qint64 anonKb = 0;
  qint64 threads = 0;
  qint64 mostThreads = 0;
};
ServerGauge gauge(const QList<TestServer*>& servers);

// Processor time, in seconds: the machine's busy time (all cores together), this process's
// and the servers' processes'. The difference of two readings over the wall time between them
// is the cores each used meanwhile.
struct CpuGauge {
  double machine = 0;
  double self = 0;
  double servers = 0;
};
CpuGauge cpu(const QList<TestServer*>& servers);
// Prints the cores used between two readings `seconds` apart.
void printCpu(const CpuGauge& from, const CpuGauge& to, double seconds, int indent = 2);

// The machine's load averages (1, 5 and 15 minutes) as /proc/loadavg gives them.
QString loadAverage();

}  // namespace bench
