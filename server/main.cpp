#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTextStream>
#include <cstdio>

#include "demo/generator.h"
#include "schema/values.h"
#include "server/accounts.h"
#include "server/cli.h"
#include "server/log.h"
#include "server/schema_upgrade.h"
#include "server/serve.h"
#include "server/tls.h"
#include "storage/copy.h"
#include "storage/open.h"
#include "storage/schema_versions.h"
#include "storage/storage.h"

namespace {

using namespace server;

int fail(const QString& reason) {
  std::fprintf(stderr, "staffinfo-server: %s\n", qUtf8Printable(reason));
  return 1;
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

int backup(const QString& location, const QString& file) {
  QElapsedTimer clock;
  clock.start();
  if (Status s = storage::backupDatabase(location, file); !s) return fail(s.error());
  logLine(QStringLiteral("backup of %1 written to %2 in %3 s")
              .arg(storage::describeLocation(location), file)
              .arg(double(clock.elapsed()) / 1000, 0, 'f', 1));
  return 0;
}

int upgrade(storage::Storage& store, const Command& command) {
  Result<storage::UpgradePlan> plan = storage::planUpgrade(store);
  if (!plan) return fail(plan.error());
  std::printf("%s\n", qUtf8Printable(plan->describe()));
  if (command.check || plan->steps.isEmpty()) return 0;
  if (Status s = bringUpToDate(store, command.database, command.serve.backupDir); !s)
    return fail(s.error());
  return 0;
}

int copy(const QString& from, const QString& to) {
  const Result<QStringList> counts =
      storage::copyDatabase(from, to, [](const QString& table, qint64 done, qint64 total) {
        logLine(QStringLiteral("copying %1: %2 of %3 rows").arg(table).arg(done).arg(total));
      });
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

  if (command->kind == Command::Kind::Backup) return backup(command->database, command->to);

  Result<std::unique_ptr<storage::Storage>> store = storage::openStorage(command->database);
  if (!store) return fail(store.error());
  if (Status s = (*store)->ensureSchema(); !s) return fail(s.error());
  if (command->kind == Command::Kind::Upgrade) return upgrade(**store, *command);
  if (Status s = bringUpToDate(**store, command->database, command->serve.backupDir); !s)
    return fail(s.error());

  switch (command->kind) {
    case Command::Kind::Serve:
      store->reset();
      {
        const Result<int> served = serve(*command);
        return served ? *served : fail(served.error());
      }
    case Command::Kind::AddAccount:
      return addAccountFromInput(**store, *command);
    case Command::Kind::SeedDemo: {
      store->reset();
      const auto progress = [&](int done) {
        logLine(QStringLiteral("%1 of %2 demo persons made").arg(done).arg(command->persons));
      };
      if (Status s =
              demo::generate(command->database, command->persons, demo::kDefaultSeed, progress);
          !s)
        return fail(s.error());
      logLine(QStringLiteral("%1 demo persons written to %2")
                  .arg(command->persons)
                  .arg(storage::describeLocation(command->database)));
      return 0;
    }
    case Command::Kind::MakeCert:
    case Command::Kind::Copy:
    case Command::Kind::Backup:
    case Command::Kind::Upgrade:
      break;
  }
  return 1;
}
