#include "bench/pg_cluster.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <cstdio>

namespace bench {

namespace {

// Runs scripts/pg-cluster; what it printed, or nothing when it failed.
QString script(const QString& action, const QString& folder) {
  QProcess process;
  process.start(QStringLiteral(STAFFINFO_SOURCE_DIR "/scripts/pg-cluster"), {action, folder});
  process.waitForFinished(120000);
  if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
    std::fprintf(stderr, "pg-cluster %s: %s\n", qUtf8Printable(action),
                 process.readAllStandardError().constData());
    return {};
  }
  return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

}  // namespace

PgCluster::PgCluster()
    : folder_(QStringLiteral("/tmp/staffinfo-bench-pg-%1").arg(QCoreApplication::applicationPid())),
      location_(script(QStringLiteral("start"), folder_)) {
  if (running())
    qputenv("STAFFINFO_TEST_PG",
            QStringLiteral("host=%1 user=postgres dbname=postgres").arg(folder_).toUtf8());
}

PgCluster::~PgCluster() {
  if (running()) script(QStringLiteral("stop"), folder_);
}

std::optional<double> copyInto(const QString& server, const QString& file,
                               const QString& location) {
  QElapsedTimer timer;
  timer.start();
  QProcess copy;
  copy.start(server, {QStringLiteral("copy"), QStringLiteral("--from"), file,
                      QStringLiteral("--to"), location});
  if (!copy.waitForFinished(-1) || copy.exitStatus() != QProcess::NormalExit ||
      copy.exitCode() != 0) {
    std::fprintf(stderr, "copy failed: %s\n", copy.readAllStandardError().constData());
    return std::nullopt;
  }
  return timer.elapsed() / 1000.0;
}

}  // namespace bench
