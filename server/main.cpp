#include <sys/resource.h>

#include <QCoreApplication>
#include <QHostAddress>
#include <QTextStream>
#include <QThread>
#include <QTimer>
#include <csignal>
#include <cstdio>

#include "demo/generator.h"
#include "schema/values.h"
#include "server/accounts.h"
#include "server/cli.h"
#include "server/listener.h"
#include "server/log.h"
#include "server/tls.h"
#include "storage/copy.h"
#include "storage/open.h"
#include "storage/storage.h"

namespace {

using namespace server;

int fail(const QString& reason) {
  std::fprintf(stderr, "staffinfo-server: %s\n", qUtf8Printable(reason));
  return 1;
}

// Each connection holds a socket and two database handles with their journal files: the usual
// soft limit of 1024 open files would run out before the connection cap.
void raiseOpenFileLimit() {
  rlimit limit;
  if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
  }
}

int serve(const Command& command) {
  raiseOpenFileLimit();
  storage::setQueryTempBytes(qint64(command.serve.tempMiB) * 1024 * 1024);
  if (!command.serve.logFile.isEmpty())
    if (Status s = logToFile(command.serve.logFile); !s) return fail(s.error());
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
    if (!configuration) return fail(configuration.error());
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
    return fail(QStringLiteral("cannot listen on %1:%2: %3")
                    .arg(command.host)
                    .arg(command.port)
                    .arg(listener.errorString()));
  logLine(QStringLiteral("listening on %1:%2 (%3), database %4")
              .arg(command.host, QString::number(listener.serverPort()),
                   tls ? QStringLiteral("TLS") : QStringLiteral("plain TCP"),
                   storage::describeLocation(command.database)));
  return QCoreApplication::exec();
}

int addAccountFromInput(storage::Storage& store, const Command& command) {
  QTextStream input(stdin);
  QString password;
  if (!input.readLineInto(&password))
    return fail(QStringLiteral("add-account reads the password from standard input"));
  if (Status s = addAccount(store, command.id, command.name, command.role, password); !s)
    return fail(s.error());
  logLine(QStringLiteral("account %1 written, role %2")
              .arg(schema::trim(command.id))
              .arg(command.role));
  return 0;
}

int copy(const QString& from, const QString& to) {
  const Result<QStringList> counts = storage::copyDatabase(from, to);
  if (!counts) return fail(counts.error());
  logLine(QStringLiteral("copied %1 to %2: %3")
              .arg(storage::describeLocation(from), storage::describeLocation(to),
                   counts->join(QStringLiteral(", "))));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const Result<Command> command = parseCommand(app.arguments().mid(1));
  if (!command) {
    std::fprintf(stderr, "staffinfo-server: %s\n\n%s", qUtf8Printable(command.error()),
                 qUtf8Printable(usage()));
    return 2;
  }

  if (command->kind == Command::Kind::MakeCert) {
    if (Status s = tls::makeCertificate(command->certFile, command->keyFile, command->names,
                                        command->days);
        !s)
      return fail(s.error());
    logLine(QStringLiteral("certificate %1 and key %2 written")
                .arg(command->certFile, command->keyFile));
    return 0;
  }
  if (command->kind == Command::Kind::Copy) return copy(command->from, command->to);

  Result<std::unique_ptr<storage::Storage>> store = storage::openStorage(command->database);
  if (!store) return fail(store.error());
  if (Status s = (*store)->ensureSchema(); !s) return fail(s.error());

  switch (command->kind) {
    case Command::Kind::Serve:
      store->reset();
      return serve(*command);
    case Command::Kind::AddAccount:
      return addAccountFromInput(**store, *command);
    case Command::Kind::SeedDemo: {
      store->reset();
      if (Status s = demo::generate(command->database, command->persons); !s)
        return fail(s.error());
      logLine(QStringLiteral("%1 demo persons written to %2")
                  .arg(command->persons)
                  .arg(storage::describeLocation(command->database)));
      return 0;
    }
    case Command::Kind::MakeCert:
    case Command::Kind::Copy:
      break;
  }
  return 1;
}
