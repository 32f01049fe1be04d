// Running the server for years: a stop on SIGTERM while clients write loses and half-writes
// nothing; a backup taken while clients write holds every write acknowledged before it, and a
// backup that fails its check leaves nothing under its name; databases of older schema versions
// are brought up to date keeping every row or not at all, and newer ones refused.
#include <QFile>
#include <QThread>
#include <QtTest>
#include <atomic>
#include <mutex>

#include "schema/tables.h"
#include "storage/schema_versions.h"
#include "tests/server/requests.h"

using namespace requests;

namespace {

const QString kAdmin = QStringLiteral("110000000000000000");
const QString kPassword = QStringLiteral("admin");
constexpr int kWriters = 10;

// Ten clients save new persons, each save an info row and a wycd row in one apply, until told
// to stop or refused; the persons whose save was acknowledged, and when.
class Writers {
 public:
  explicit Writers(const TestServer& server) {
    for (int w = 0; w < kWriters; ++w) {
      threads_ << QThread::create([this, &server, w] {
        std::unique_ptr<WireClient> client = signedIn(server, kAdmin, kPassword);
        for (int n = 0; client && !stop_; ++n) {
          const QString id = QStringLiteral("W%1-%2").arg(w).arg(n);
          const protocol::ApplyRequest save{
              {{provider(QStringLiteral("DataSetProvider_info")), {insert({{"id", id}})}},
               {provider(QStringLiteral("DataSetProvider_wycd")), {insert({{"id", id}})}}}};
          if (!client->apply(save).ok()) break;
          const std::lock_guard lock(mutex_);
          acknowledged_ << id;
        }
      });
      threads_.back()->start();
    }
  }
  ~Writers() { finish(); }

  void finish() {
    stop_ = true;
    for (QThread* thread : std::as_const(threads_)) {
      thread->wait(60000);
      delete thread;
    }
    threads_.clear();
  }
  QStringList acknowledged() {
    const std::lock_guard lock(mutex_);
    return acknowledged_;
  }

 private:
  QList<QThread*> threads_;
  std::atomic<bool> stop_ = false;
  std::mutex mutex_;
  QStringList acknowledged_;
};

QStringList column(const QList<QVariantList>& rows) {
  QStringList values;
  for (const QVariantList& row : rows) values << row.value(0).toString();
  return values;
}

// Every acknowledged person has both rows, and no person has one without the other.
void verifyWhole(const QString& location, const QStringList& acknowledged) {
  const QString written = QStringLiteral("select id from %1 where id like 'W%'");
  const QStringList info = column(testdb::sql(location, written.arg(QStringLiteral("info"))));
  const QStringList wycd = column(testdb::sql(location, written.arg(QStringLiteral("wycd"))));
  for (const QString& id : acknowledged) QVERIFY2(info.contains(id), qPrintable(id));
  QCOMPARE(QSet<QString>(info.begin(), info.end()), QSet<QString>(wycd.begin(), wycd.end()));
}

}  // namespace

class ServerOperationsTest : public QObject {
  Q_OBJECT

 private slots:
  void stopWhileClientsWrite();
  void backupWhileClientsWrite();
  void backupThatFailsItsCheck();
  void upgradeKeepsEveryRow();
  void newerDatabaseIsRefused();
  void upgradeThatFailsHalfWay();
};

void ServerOperationsTest::stopWhileClientsWrite() {
  TestServer server;
  QVERIFY(server.running());
  QVERIFY(server.addAccount(kAdmin, QStringLiteral("管理员"), 0, kPassword));
  Writers writers(server);
  QTRY_VERIFY_WITH_TIMEOUT(writers.acknowledged().size() > 50, 20000);
  // A client repeating a failing sign-in: its lines are summarised, and the summary is written
  // before the server ends.
  WireClient guesser;
  QVERIFY(guesser.connectTo(server.host(), server.port()));
  for (int i = 0; i < 100; ++i) guesser.signIn(kAdmin, QStringLiteral("wrong"));

  QCOMPARE(server.stop(), 0);
  writers.finish();
  const QString log = server.log();
  QVERIFY2(log.contains(QStringLiteral("stopped in")), qPrintable(log.right(500)));
  QVERIFY(log.contains(QStringLiteral("more like this in the last minute")));
  verifyWhole(server.dbPath(), writers.acknowledged());
  if (!testdb::onPostgres()) {
    QCOMPARE(server.sql(QStringLiteral("pragma integrity_check")),
             (QList<QVariantList>{{QStringLiteral("ok")}}));
    QVERIFY(!QFile::exists(server.dbPath() + QStringLiteral("-wal")));
  }
}

void ServerOperationsTest::backupWhileClientsWrite() {
  TestServer server;
  QVERIFY(server.running());
  QVERIFY(server.addAccount(kAdmin, QStringLiteral("管理员"), 0, kPassword));
  Writers writers(server);
  QTRY_VERIFY_WITH_TIMEOUT(writers.acknowledged().size() > 50, 20000);
  const QStringList before = writers.acknowledged();
  QTemporaryDir dir;
  const QString file = dir.filePath(QStringLiteral("backup.db"));
  QString output;
  QCOMPARE(TestServer::run({"backup", "--db", server.dbPath(), "--to", file}, {}, &output), 0);
  writers.finish();
  QCOMPARE(testdb::sql(file, QStringLiteral("pragma integrity_check")),
           (QList<QVariantList>{{QStringLiteral("ok")}}));
  verifyWhole(file, before);
  QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"backup.db"});
}

// A database damaged on disk: its backup fails the integrity check and is not put in place.
void ServerOperationsTest::backupThatFailsItsCheck() {
  if (testdb::onPostgres()) QSKIP("the damage is done to an SQLite file");
  QTemporaryDir dir;
  const QString db = dir.filePath(QStringLiteral("damaged.db"));
  QCOMPARE(TestServer::run({"seed-demo", "--db", db, "20"}), 0);
  {
    QFile file(db);
    QVERIFY(file.open(QIODevice::ReadWrite));
    // The keys at the end of page 4, the index of info's identity numbers: the rows still
    // count, but the index no longer matches them.
    file.seek(4 * 4096 - 300);
    file.write(QByteArray(250, 'A'));
  }
  const QString target = dir.filePath(QStringLiteral("backup.db"));
  QString output;
  QVERIFY(TestServer::run({"backup", "--db", db, "--to", target}, {}, &output) != 0);
  QVERIFY2(output.contains(QStringLiteral("备份未通过完整性检查")), qPrintable(output));
  QCOMPARE(QDir(dir.path()).entryList({QStringLiteral("backup*")}, QDir::Files), QStringList());
}

// A database as schools hold it, made before versions were recorded: the upgrade keeps every row
// of every table and leaves a backup beside it.
void ServerOperationsTest::upgradeKeepsEveryRow() {
  QTemporaryDir dir;
  testdb::FreshDatabase fresh(dir.path(), QStringLiteral("old.db"));
  const QString db = fresh.location();
  QCOMPARE(TestServer::run({"seed-demo", "--db", db, "30"}), 0);
  if (testdb::onPostgres())
    testdb::sql(db, QStringLiteral("delete from schema_version"));
  else
    testdb::sql(db, QStringLiteral("pragma user_version=0"));
  QStringList before;
  for (const schema::Table& t : schema::tables())
    for (const QVariantList& row :
         testdb::sql(db, QStringLiteral("select * from \"%1\" order by rid").arg(t.name)))
      before << t.name + u':' + QVariant(row).toStringList().join(u'|');

  QString output;
  QCOMPARE(TestServer::run({"upgrade", "--db", db, "--check"}, {}, &output), 0);
  QVERIFY2(output.contains(QStringLiteral("需要升级")), qPrintable(output));
  QCOMPARE(TestServer::run({"upgrade", "--db", db, "--backup-dir", dir.path()}, {}, &output), 0);
  QStringList after;
  for (const schema::Table& t : schema::tables())
    for (const QVariantList& row :
         testdb::sql(db, QStringLiteral("select * from \"%1\" order by rid").arg(t.name)))
      after << t.name + u':' + QVariant(row).toStringList().join(u'|');
  QCOMPARE(after, before);
  QCOMPARE(TestServer::run({"upgrade", "--db", db, "--check"}, {}, &output), 0);
  QVERIFY2(output.contains(QStringLiteral("无需升级")), qPrintable(output));
  const QStringList backups =
      testdb::onPostgres()
          ? QDir(dir.path()).entryList({QStringLiteral("staffinfo-v0-*.db")}, QDir::Files)
          : QDir(dir.path()).entryList({QStringLiteral("old.db.v0-*.bak")}, QDir::Files);
  QCOMPARE(backups.size(), 1);
}

void ServerOperationsTest::newerDatabaseIsRefused() {
  TestServer server;
  QVERIFY(server.running());
  QCOMPARE(server.stop(), 0);
  const int newer = storage::currentSchemaVersion() + 1;
  if (testdb::onPostgres())
    server.sql(QStringLiteral("update schema_version set version=?"), {newer});
  else
    server.sql(QStringLiteral("pragma user_version=%1").arg(newer));
  QString output;
  QVERIFY(TestServer::run({"serve", "--db", server.dbPath(), "--listen", "127.0.0.1:0"}, {},
                          &output) != 0);
  QVERIFY2(output.contains(QStringLiteral("数据库的结构版本为 %1，本程序只认识到版本 %2")
                               .arg(newer)
                               .arg(storage::currentSchemaVersion())),
           qPrintable(output));
}

// A version 1 database where the second table of version 2 cannot be made (a view holds its
// name): the first table made is undone with it, and the database stays at version 1.
void ServerOperationsTest::upgradeThatFailsHalfWay() {
  QTemporaryDir dir;
  testdb::FreshDatabase fresh(dir.path(), QStringLiteral("old.db"));
  const QString db = fresh.location();
  QCOMPARE(TestServer::run({"seed-demo", "--db", db, "3"}), 0);
  for (const char* sql : {"drop table change_log", "drop table change_summary",
                          "create view change_summary as select 'x' as id"})
    testdb::sql(db, QString::fromLatin1(sql));
  if (testdb::onPostgres())
    testdb::sql(db, QStringLiteral("update schema_version set version=1"));
  else
    testdb::sql(db, QStringLiteral("pragma user_version=1"));
  QString output;
  QVERIFY(TestServer::run({"upgrade", "--db", db, "--backup-dir", dir.path()}, {}, &output) != 0);
  QCOMPARE(TestServer::run({"upgrade", "--db", db, "--check"}, {}, &output), 0);
  QVERIFY2(output.contains(QStringLiteral("数据库结构版本 1，")), qPrintable(output));
  const QString tableCount =
      testdb::onPostgres()
          ? QStringLiteral("select count(*) from pg_tables where tablename = 'change_log'")
          : QStringLiteral("select count(*) from sqlite_master where name = 'change_log'");
  QCOMPARE(testdb::sql(db, tableCount).value(0).value(0).toInt(), 0);
}

QTEST_GUILESS_MAIN(ServerOperationsTest)
#include "tst_server_operations.moc"
