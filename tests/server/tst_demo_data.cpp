// seed-demo: complete, consistent, deterministic demo persons, and accounts that sign in.
#include <QProcess>
#include <QtTest>

#include "schema/tables.h"
#include "schema/values.h"
#include "tests/server/requests.h"

namespace {

constexpr int kPersons = 30;

int seed(const QString& path, int persons) {
  QProcess tool;
  tool.start(TestServer::binary(), {"seed-demo", "--db", path, QString::number(persons)});
  if (!tool.waitForFinished(60000)) return -1;
  return tool.exitCode();
}

qint64 scalar(TestServer& server, const QString& sql) {
  return server.sql(sql).value(0).value(0).toLongLong();
}

}  // namespace

class DemoDataTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void everyPersonIsComplete();
  void historyNumbersAndCounter();
  void accountsSignIn_data();
  void accountsSignIn();
  void sameSeedSameData();
  void refusesAFilledDatabase();

 private:
  QTemporaryDir dir_;
  std::optional<testdb::FreshDatabase> demo_;
  std::unique_ptr<TestServer> server_;
};

void DemoDataTest::initTestCase() {
  demo_.emplace(dir_.path(), QStringLiteral("demo.db"));
  QCOMPARE(seed(demo_->location(), kPersons), 0);
  server_ = std::make_unique<TestServer>(demo_->location());
  QVERIFY2(server_->running(), qPrintable(server_->log()));
}

void DemoDataTest::everyPersonIsComplete() {
  QCOMPARE(scalar(*server_, "select count(*) from user_name"), kPersons + 2);
  QCOMPARE(scalar(*server_, "select count(distinct id) from user_name where length(id) = 18"),
           kPersons + 2);
  QCOMPARE(scalar(*server_, "select count(*) from info"), kPersons + 2);
  for (const schema::Table* t : schema::oneRowTables()) {
    QCOMPARE(scalar(*server_, QStringLiteral("select count(*) from %1 where id in (select id from "
                                             "user_name where qx = 2)")
                                  .arg(t->name)),
             kPersons);
    QStringList nulls;
    for (const schema::Column& c : t->columns)
      nulls << QStringLiteral("\"%1\" is null").arg(c.name);
    QCOMPARE(scalar(*server_,
                    QStringLiteral("select count(*) from %1 where id in (select id from user_name "
                                   "where qx = 2) and (%2)")
                        .arg(t->name, nulls.join(" or "))),
             0);
  }
  for (const QVariantList& row : server_->sql(
           "select date, dpsj from info where id in (select id from user_name where qx = 2)"))
    for (const QVariant& value : row)
      QVERIFY2(schema::isYearMonth(value.toString()), qPrintable(value.toString()));
}

void DemoDataTest::historyNumbersAndCounter() {
  qint64 rows = 0;
  for (const schema::Table* t : schema::historyTables()) {
    rows += scalar(*server_, QStringLiteral("select count(*) from %1").arg(t->name));
    QCOMPARE(scalar(*server_,
                    QStringLiteral("select count(*) from %1 where id not in (select id from info)")
                        .arg(t->name)),
             0);
    QCOMPARE(
        scalar(*server_, QStringLiteral("select %1 from counter").arg(t->name)),
        scalar(*server_, QStringLiteral("select coalesce(max(id_num), 0) from %1").arg(t->name)));
  }
  QVERIFY(rows > 0);
}

void DemoDataTest::accountsSignIn_data() {
  QTest::addColumn<QString>("id");
  QTest::addColumn<QString>("password");
  QTest::addColumn<int>("role");
  QTest::newRow("系统管理员") << "110101197001010011"
                              << "admin123" << 0;
  QTest::newRow("教务管理员") << "110101197501010022"
                              << "manager123" << 1;
  const QString person = server_->sql("select id from user_name where qx = 2 order by rid desc")
                             .value(0)
                             .value(0)
                             .toString();
  QTest::newRow("a person") << person << "123456" << 2;
}

void DemoDataTest::accountsSignIn() {
  QFETCH(QString, id);
  QFETCH(QString, password);
  QFETCH(int, role);
  WireClient client;
  QVERIFY(client.connectTo(server_->host(), server_->port()));
  const Answer<protocol::SignInReply> reply = client.signIn(id, password);
  QVERIFY2(reply.ok(), qPrintable(reply.error));
  QCOMPARE(reply->outcome, protocol::SignInOutcome::SignedIn);
  QCOMPARE(reply->role, role);
}

void DemoDataTest::sameSeedSameData() {
  const testdb::FreshDatabase fresh(dir_.path(), QStringLiteral("again.db"));
  QCOMPARE(seed(fresh.location(), kPersons), 0);
  TestServer again(fresh.location());
  const QString ids = QStringLiteral("select id, name, sex from info order by rid");
  QCOMPARE(again.sql(ids), server_->sql(ids));
}

void DemoDataTest::refusesAFilledDatabase() {
  QVERIFY(seed(server_->dbPath(), 5) != 0);
  QCOMPARE(scalar(*server_, "select count(*) from info"), kPersons + 2);
}

QTEST_GUILESS_MAIN(DemoDataTest)
#include "tst_demo_data.moc"
