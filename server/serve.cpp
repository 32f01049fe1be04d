#include "server/serve.h"

#include <malloc.h>
#include <sys/resource.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QThread>
#include <QTimer>
#include <csignal>
#include <cstdlib>

#include "server/backup_schedule.h"
#include "server/listener.h"
#include "server/log.h"
#include "server/stop_signal.h"
#include "server/tls.h"
#include "storage/open.h"

namespace server {

namespace {

// Each connection holds a socket: the usual soft limit of 1024 open files would run out long
// before the connection cap.
void raiseOpenFileLimit() {
  rlimit limit;
  if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
  }
}

// Replies are made of frames of some hundred KiB, made and freed as fast as the rows come. The
// memory stays with the process for the next ones instead of going back to the system after each
// and being faulted in again a page at a time, which costs more than writing it.
void keepFreedMemory() {
  mallopt(M_MMAP_THRESHOLD, 16 * 1024 * 1024);
  mallopt(M_TRIM_THRESHOLD, 64 * 1024 * 1024);
}

// Makes the database whole in its own files once every worker has closed its storage.
void closeDatabase(const QString& location) {
  storage::Result<std::unique_ptr<storage::Storage>> store = storage::openStorage(location);
  const Status closed = store ? (*store)->checkpoint() : Status(Error{store.error()});
  if (!closed) logLine(QStringLiteral("closing the database failed: %1").arg(closed.error()));
}

}  // namespace

Result<int> serve(const Command& command) {
  raiseOpenFileLimit();
  keepFreedMemory();
  storage::setQueryTempBytes(qint64(command.serve.tempMiB) * 1024 * 1024);
  if (!command.serve.logFile.isEmpty())
    if (Status s = logToFile(command.serve.logFile); !s) return Error{s.error()};
  // Summaries of clients' repeated lines go out once their minute is over.
  QTimer summaries;
  QObject::connect(&summaries, &QTimer::timeout, [] { flushLogSummaries(); });
  summaries.start(5000);
  // A client that vanishes while its reply is being written must not end the server.
  std::signal(SIGPIPE, SIG_IGN);
  std::optional<QSslConfiguration> tls;
  if (!command.serve.tlsCert.isEmpty()) {
    Result<QSslConfiguration> configuration =
        tls::serverConfiguration(command.serve.tlsCert, command.serve.tlsKey);
    if (!configuration) return Error{configuration.error()};
    tls = *configuration;
  }
  ServeOptions options = command.serve;
  // Each worker keeps a storage; on PostgreSQL no more of them than the pool's connections.
  if (options.workers == 0 && storage::isPostgres(command.database))
    options.workers =
        std::min(4 * QThread::idealThreadCount(), options.storageOptions.pgConnections);
  Listener listener(
      [&command] { return storage::openStorage(command.database, command.serve.storageOptions); },
      options, tls);
  const QHostAddress address = command.host == u"localhost" ? QHostAddress(QHostAddress::LocalHost)
                                                            : QHostAddress(command.host);
  if (!listener.listen(address, command.port))
    return Error{QStringLiteral("cannot listen on %1:%2: %3")
                     .arg(command.host)
                     .arg(command.port)
                     .arg(listener.errorString())};
  std::unique_ptr<BackupSchedule> backups;
  if (!options.backupDir.isEmpty()) {
    if (!QDir().mkpath(options.backupDir))
      return Error{QStringLiteral("无法创建备份目录 %1").arg(options.backupDir)};
    backups = std::make_unique<BackupSchedule>(command.database, options.backupDir,
                                               options.backupHours, options.backupKeep);
  }
  logLine(QStringLiteral("listening on %1:%2 (%3), database %4, %5 workers")
              .arg(command.host, QString::number(listener.serverPort()),
                   tls ? QStringLiteral("TLS") : QStringLiteral("plain TCP"),
                   storage::describeLocation(command.database))
              .arg(listener.workers()));

  onStopSignal(&listener, [&](const char* signal) {
    QElapsedTimer clock;
    clock.start();
    logLine(QStringLiteral("stopping on %1: no new connections, up to %2 s for requests in flight")
                .arg(QLatin1StringView(signal))
                .arg(options.drainTimeoutMs / 1000.0));
    const bool drained = listener.stop(options.drainTimeoutMs);
    backups.reset();  // a backup under way is finished first
    if (!drained) {
      logLine(QStringLiteral("stopped with requests still running after %1 s")
                  .arg(options.drainTimeoutMs / 1000.0));
      flushLogSummaries(true);
      std::_Exit(1);
    }
    closeDatabase(command.database);
    logLine(QStringLiteral("stopped in %1 s").arg(double(clock.elapsed()) / 1000, 0, 'f', 2));
    flushLogSummaries(true);
    QCoreApplication::exit(0);
  });
  return QCoreApplication::exec();
}

}  // namespace server
