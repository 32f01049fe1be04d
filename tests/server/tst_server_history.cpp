// The change history the server keeps: every applied change recorded (passwords only as
// changed), nothing for a refused apply, nobody writing it, each reading only what their role
// may; the review as an event that empties the list of changes since it; the quality rules as
// the database computes them; the upgrade that brings the history to an older database.
#include <QtTest>

#include "schema/quality.h"
#include "schema/queries.h"
#include "storage/schema_versions.h"
#include "tests/server/requests.h"

using namespace requests;

namespace {

const QString kAdmin = QStringLiteral("110000000000000000");
const QString kManager = QStringLiteral("120000000000000000");
const QString kPerson = QStringLiteral("220000000000000002");
const QString kOther = QStringLiteral("330000000000000003");

// The log's rows for `person` as "table.column kind old→new", oldest first.
QStringList changesOf(TestServer& server, const QString& person) {
  QStringList out;
  for (const QVariantList& row : server.sql(
           QStringLiteral("select table_name, column_name, kind, old_value, new_value, changed_by "
                          "from change_log where id=? order by rid"),
           {person}))
    out << QStringLiteral("%1.%2 %3 %4→%5 by %6")
               .arg(row[0].toString(), row[1].toString(), row[2].toString(), row[3].toString(),
                    row[4].toString(), row[5].toString());
  return out;
}

}  // namespace

class ServerHistoryTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void changesAreRecorded_data();
  void changesAreRecorded();
  void refusedApplyLeavesNoHistory();
  void nobodyWritesHistory_data();
  void nobodyWritesHistory();
  void eachReadsTheHistoryTheirRoleMay();
  void reviewEmptiesTheChangesSinceIt();
  void qualityRules_data();
  void qualityRules();
  void upgradeBringsTheHistory();

 private:
  qint64 ridOf(const QString& table, const QString& id);

  std::unique_ptr<TestServer> server_;
  std::unique_ptr<WireClient> admin_;
  std::unique_ptr<WireClient> manager_;
  std::unique_ptr<WireClient> person_;
};

void ServerHistoryTest::initTestCase() {
  server_ = std::make_unique<TestServer>();
  QVERIFY2(server_->running(), qPrintable(server_->log()));
  QVERIFY(server_->addAccount(kAdmin, QStringLiteral("超管"), 0, QStringLiteral("a")));
  QVERIFY(server_->addAccount(kManager, QStringLiteral("管理员"), 1, QStringLiteral("m")));
  QVERIFY(server_->addAccount(kPerson, QStringLiteral("本人"), 2, QStringLiteral("p")));
  QVERIFY(server_->addAccount(kOther, QStringLiteral("他人"), 2, QStringLiteral("o")));
  admin_ = signedIn(*server_, kAdmin, QStringLiteral("a"));
  manager_ = signedIn(*server_, kManager, QStringLiteral("m"));
  person_ = signedIn(*server_, kPerson, QStringLiteral("p"));
  QVERIFY(admin_ && manager_ && person_);
}

qint64 ServerHistoryTest::ridOf(const QString& table, const QString& id) {
  return server_->sql(QStringLiteral("select rid from \"%1\" where id=?").arg(table), {id})
      .value(0)
      .value(0)
      .toLongLong();
}

// Each change of each kind, by the person on their own record or by the administrator, gives
// the log the lines expected, in addition to what was there.
void ServerHistoryTest::changesAreRecorded_data() {
  QTest::addColumn<QString>("step");
  QTest::addColumn<QStringList>("lines");
  QTest::newRow("insert into a one-row table")
      << "wycd insert"
      << QStringList{"wycd.id 新增 →220000000000000002 by 220000000000000002",
                     "wycd.zgxl 新增 →大学 by 220000000000000002"};
  QTest::newRow("update of a one-row table")
      << "wycd update" << QStringList{"wycd.zgxl 修改 大学→研究生 by 220000000000000002"};
  QTest::newRow("insert into a history table")
      << "shgx insert"
      << QStringList{"shgx.gzdw 新增 →一中 by 220000000000000002",
                     "shgx.id 新增 →220000000000000002 by 220000000000000002",
                     "shgx.id_num 新增 →%1 by 220000000000000002"};
  QTest::newRow("delete from a history table")
      << "shgx delete"
      << QStringList{"shgx.id_num 删除 %1→ by 220000000000000002",
                     "shgx.id 删除 220000000000000002→ by 220000000000000002",
                     "shgx.gzdw 删除 一中→ by 220000000000000002"};
  QTest::newRow("the account's password and role")
      << "account"
      << QStringList{"user_name.password 修改 →密码已修改 by 110000000000000000",
                     "user_name.qx 修改 2→1 by 110000000000000000"};
}

void ServerHistoryTest::changesAreRecorded() {
  QFETCH(QString, step);
  QFETCH(QStringList, lines);
  const QStringList before = changesOf(*server_, kPerson);
  const protocol::OpenRequest wycd = provider(QStringLiteral("DataSetProvider_wycd"));
  const protocol::OpenRequest shgx =
      command(schema::queries::history(u"shgx").writeBack, {kPerson});
  static qint64 number = 0;
  Answer<protocol::ApplyReply> reply;
  if (step == u"wycd insert") {
    reply = person_->apply(apply(wycd, {insert({{"id", kPerson}, {"zgxl", "大学"}})}));
  } else if (step == u"wycd update") {
    reply = person_->apply(apply(wycd, {update(ridOf("wycd", kPerson), {}, {{"zgxl", "研究生"}})}));
  } else if (step == u"shgx insert") {
    number = *person_->draw(QStringLiteral("shgx"));
    reply = person_->apply(
        apply(shgx, {insert({{"id_num", number}, {"id", kPerson}, {"gzdw", "一中"}})}));
  } else if (step == u"shgx delete") {
    reply = person_->apply(apply(shgx, {remove(ridOf("shgx", kPerson), {})}));
  } else {
    reply = admin_->apply(
        apply(provider(QStringLiteral("DataSetProvider_user")),
              {update(ridOf("user_name", kPerson), {}, {{"password", "new"}, {"qx", 1}})}));
  }
  QVERIFY2(reply.ok(), qPrintable(reply.error));
  for (QString& line : lines) line.replace(QStringLiteral("%1"), QString::number(number));
  QCOMPARE(changesOf(*server_, kPerson), before + lines);
  // The person stays an ordinary user for the cases below.
  server_->sql(QStringLiteral("update user_name set qx=2 where id=?"), {kPerson});
}

void ServerHistoryTest::refusedApplyLeavesNoHistory() {
  const QList<QVariantList> before = server_->sql(QStringLiteral("select * from change_log"));
  // The first row is written, the second is a second row of the person: the whole apply is
  // refused and the first row's history goes with it.
  const Answer<protocol::ApplyReply> refused =
      person_->apply(apply(provider(QStringLiteral("DataSetProvider_other_info")),
                           {insert({{"id", kPerson}}), insert({{"id", kPerson}})}));
  QVERIFY(!refused.ok());
  QCOMPARE(server_->sql(QStringLiteral("select * from change_log")), before);
}

void ServerHistoryTest::nobodyWritesHistory_data() {
  QTest::addColumn<int>("who");  // 0 the administrator, 1 the manager, 2 the person
  QTest::addColumn<int>("kind");
  QTest::newRow("role 0 inserts") << 0 << int(protocol::Change::Kind::Insert);
  QTest::newRow("role 1 deletes") << 1 << int(protocol::Change::Kind::Delete);
  QTest::newRow("role 2 updates") << 2 << int(protocol::Change::Kind::Update);
}

void ServerHistoryTest::nobodyWritesHistory() {
  QFETCH(int, who);
  QFETCH(int, kind);
  WireClient* clients[] = {admin_.get(), manager_.get(), person_.get()};
  const QList<QVariantList> before = server_->sql(QStringLiteral("select * from change_log"));
  const qint64 rid = server_->sql(QStringLiteral("select max(rid) from change_log"))
                         .value(0)
                         .value(0)
                         .toLongLong();
  protocol::Change change{protocol::Change::Kind(kind), rid, {}, {}};
  if (change.kind != protocol::Change::Kind::Delete)
    change.values = {{"id", kPerson}, {"kind", QStringLiteral("审核")}};
  const QString text = who == 2 ? schema::queries::kPersonChanges
                                : QStringLiteral("select * from change_log where id=?");
  const Answer<protocol::ApplyReply> reply =
      clients[who]->apply(apply(command(text, {kPerson}), {change}));
  QVERIFY(!reply.ok());
  QCOMPARE(server_->sql(QStringLiteral("select * from change_log")), before);
}

void ServerHistoryTest::eachReadsTheHistoryTheirRoleMay() {
  QVERIFY(person_->select(schema::queries::kPersonChanges, {kPerson}).ok());
  QCOMPARE(person_->select(schema::queries::kPersonChanges, {kOther}).error,
           QStringLiteral("没有权限执行该查询"));
  QCOMPARE(person_->select(QStringLiteral("select * from change_log")).error,
           QStringLiteral("没有权限执行该查询"));
  QVERIFY(manager_->select(schema::queries::kPersonChanges, {kOther}).ok());
  QVERIFY(manager_->select(schema::queries::kChangedSinceReview).ok());
}

// After a review the changes since it are none and the person is not marked; a later change
// lists and marks them again; a second review by the same reviewer is an event too.
void ServerHistoryTest::reviewEmptiesTheChangesSinceIt() {
  const auto since = [&] {
    return manager_->select(schema::queries::kPersonChangesSinceReview, {kPerson, kPerson});
  };
  const auto marked = [&] {
    return manager_->select(schema::queries::kPersonChangedSinceReview, {kPerson})->rows.size() ==
           1;
  };
  QVERIFY(since()->rows.size() > 0);
  QVERIFY(marked());
  for (int review = 0; review < 2; ++review) {
    const std::optional<QCborMap> reply = manager_->call(protocol::ReviewRequest{kPerson}.toCbor());
    QVERIFY(reply && protocol::ReviewReply::fromCbor(*reply).reviewed);
    QCOMPARE(since()->rows.size(), 0);
    QVERIFY(!marked());
  }
  QCOMPARE(server_
               ->sql(QStringLiteral("select count(*) from change_log where id=? and kind='审核'"),
                     {kPerson})
               .value(0)
               .value(0)
               .toInt(),
           2);
  QVERIFY(person_
              ->apply(apply(provider(QStringLiteral("DataSetProvider_wycd")),
                            {update(ridOf("wycd", kPerson), {}, {{"zgxl", "博士"}})}))
              .ok());
  QCOMPARE(since()->rows.size(), 1);
  QVERIFY(marked());
  // An ordinary user does not review.
  const std::optional<QCborMap> refused = person_->call(protocol::ReviewRequest{kPerson}.toCbor());
  QVERIFY(refused && protocol::replyError(*refused));
}

// Identity numbers and year-months as the rules judge them, the same in C++ and in the
// database.
void ServerHistoryTest::qualityRules_data() {
  QTest::addColumn<QString>("id");
  QTest::addColumn<QString>("problem");
  QTest::newRow("valid") << "11010519491231002X" << QString();
  QTest::newRow("valid, lower-case x") << "11010519491231002x" << QString();
  QTest::newRow("valid digit") << "110101199003077598" << QString();
  QTest::newRow("wrong check digit") << "110101199003077591"
                                     << "校验位错误";
  QTest::newRow("30 February") << "110101199002307590"
                               << "出生日期不存在";
  QTest::newRow("29 February of a leap year") << "110101200002290018" << QString();
  QTest::newRow("29 February otherwise") << "110101199902290018"
                                         << "出生日期不存在";
  QTest::newRow("month 13") << "110101199013010012"
                            << "出生日期不存在";
  QTest::newRow("born in the future") << "110101209901010017"
                                      << "出生日期不存在";
  QTest::newRow("17 digits") << "11010119900307759"
                             << "身份证号格式不对";
  QTest::newRow("a letter inside") << "1101011990030775A2"
                                   << "身份证号格式不对";
  QTest::newRow("blanks around a valid one") << " 110101199003077598 " << QString();
  QTest::newRow("empty") << "" << QString();
}

void ServerHistoryTest::qualityRules() {
  QFETCH(QString, id);
  QFETCH(QString, problem);
  QCOMPARE(schema::identityProblem(id), problem);
  const Answer<protocol::Packet> db =
      admin_->select(QStringLiteral("select id_problem(?) as p"), {id});
  QVERIFY2(db.ok(), qPrintable(db.error));
  QCOMPARE(db->rows.value(0).value(0).toString(), problem);
  // A year-month with every state, the same way.
  const QString next = QDate::currentDate().addMonths(1).toString(QStringLiteral("yyyyMM"));
  for (const auto& [value, state] : {std::pair{QStringLiteral("198001"), "ok"},
                                     {QStringLiteral("无"), "empty"},
                                     {QStringLiteral("198013"), "invalid"},
                                     {QStringLiteral("1980-1"), "invalid"},
                                     {next, "future"}}) {
    QCOMPARE(schema::yearMonthStateName(schema::yearMonthState(value)), QLatin1StringView(state));
    QCOMPARE(admin_->select(QStringLiteral("select year_month_state(?) as s"), {value})
                 ->rows.value(0)
                 .value(0)
                 .toString(),
             QLatin1StringView(state));
  }
}

// A database of the first schema version, with rows: the upgrade keeps them and brings the
// change log; an upgrade that fails on the way leaves the database at its old version.
void ServerHistoryTest::upgradeBringsTheHistory() {
  for (const bool blocked : {true, false}) {
    QTemporaryDir dir;
    testdb::FreshDatabase fresh(dir.path(), QStringLiteral("v1.db"));
    const QString db = fresh.location();
    QCOMPARE(TestServer::run({"seed-demo", "--db", db, "10"}), 0);
    // Back to version 1: no change log, the version recorded as 1.
    for (const QString& table : {schema::kChangeLog, schema::kChangeSummary})
      testdb::sql(db, QStringLiteral("drop table %1").arg(table));
    if (testdb::onPostgres())
      testdb::sql(db, QStringLiteral("update schema_version set version=1"));
    else
      testdb::sql(db, QStringLiteral("pragma user_version=1"));
    // Something in the way of the change log's index makes the upgrade fail half way.
    if (blocked) testdb::sql(db, QStringLiteral("create view change_log as select 1 as id"));
    const QList<QVariantList> info = testdb::sql(db, QStringLiteral("select * from info"));

    QString output;
    const int status =
        TestServer::run({"upgrade", "--db", db, "--backup-dir", dir.path()}, {}, &output);
    const QString version = testdb::onPostgres()
                                ? QStringLiteral("select version from schema_version")
                                : QStringLiteral("pragma user_version");
    QCOMPARE(testdb::sql(db, version).value(0).value(0).toInt(),
             blocked ? 1 : storage::currentSchemaVersion());
    QCOMPARE(testdb::sql(db, QStringLiteral("select * from info")), info);
    if (blocked) {
      QVERIFY2(status != 0 && output.contains(QStringLiteral("仍为版本 1")), qPrintable(output));
      continue;
    }
    QVERIFY2(status == 0, qPrintable(output));
    QCOMPARE(testdb::sql(db, QStringLiteral("select count(*) from change_log"))
                 .value(0)
                 .value(0)
                 .toInt(),
             0);
  }
}

QTEST_GUILESS_MAIN(ServerHistoryTest)
#include "tst_server_history.moc"
