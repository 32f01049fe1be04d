// What each role may read and write: an ordinary user (role 2) only its own rows and the fixed
// per-person texts; an administrator (role 1) everything but deleting accounts and info rows.
#include <QtTest>

#include "schema/queries.h"
#include "tests/server/requests.h"

using namespace requests;

namespace {

const QString kManager = QStringLiteral("110000000000000001");
const QString kMe = QStringLiteral("220000000000000002");
const QString kOther = QStringLiteral("330000000000000003");

const QString kNotMine = QStringLiteral("没有权限修改他人的数据");

}  // namespace

class ServerRolesTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void personReads_data();
  void personReads();
  void personWrites_data();
  void personWrites();
  void personMayDraw();
  void managerDeletes_data();
  void managerDeletes();

 private:
  qint64 ridOf(const QString& table, const QString& id);
  QList<QVariantList> othersRows();

  std::unique_ptr<TestServer> server_;
  std::unique_ptr<WireClient> me_;
  std::unique_ptr<WireClient> manager_;
};

void ServerRolesTest::initTestCase() {
  server_ = std::make_unique<TestServer>();
  QVERIFY2(server_->running(), qPrintable(server_->log()));
  QVERIFY(server_->addAccount(kManager, QStringLiteral("管理员"), 1, QStringLiteral("m")));
  QVERIFY(server_->addAccount(kMe, QStringLiteral("本人"), 2, QStringLiteral("p")));
  server_->sql(QStringLiteral("insert into user_name(id, qx) values (?, 2)"), {kOther});
  server_->sql(QStringLiteral("insert into info(id, name) values (?, '他人')"), {kOther});
  for (const QString& id : {kMe, kOther, QString(kMe + u' ')}) {
    server_->sql(QStringLiteral("insert into wycd(id, zgxl) values (?, '其他')"), {id});
    server_->sql(QStringLiteral("insert into jzgjckh(id_num, id, ch) values ((select count(*)+1 "
                                "from jzgjckh), ?, '称号')"),
                 {id});
  }
  server_->sql(QStringLiteral("update counter set jzgjckh=100"));
  me_ = signedIn(*server_, kMe, QStringLiteral("p"));
  manager_ = signedIn(*server_, kManager, QStringLiteral("m"));
  QVERIFY(me_ && manager_);
}

qint64 ServerRolesTest::ridOf(const QString& table, const QString& id) {
  return server_->sql(QStringLiteral("select rid from \"%1\" where id=?").arg(table), {id})
      .value(0)
      .value(0)
      .toLongLong();
}

QList<QVariantList> ServerRolesTest::othersRows() {
  QList<QVariantList> rows;
  for (const char* table : {"info", "wycd", "jzgjckh", "user_name"})
    rows << server_->sql(
        QStringLiteral("select * from %1 where id=?").arg(QLatin1StringView(table)), {kOther});
  return rows;
}

void ServerRolesTest::personReads_data() {
  QTest::addColumn<protocol::OpenRequest>("request");
  QTest::addColumn<int>("rows");  // -1: refused
  QTest::addColumn<QString>("error");
  const schema::queries::HistoryQueries& q = schema::queries::history(u"jzgjckh");
  QTest::newRow("table without key")
      << provider(QStringLiteral("DataSetProvider_wycd")) << 2 << QString();
  QTest::newRow("table, own key") << provider(QStringLiteral("DataSetProvider_wycd"), kMe) << 2
                                  << QString();
  QTest::newRow("table, other key")
      << provider(QStringLiteral("DataSetProvider_wycd"), kOther) << -1 << "没有权限查看他人的数据";
  QTest::newRow("own account") << provider(QStringLiteral("DataSetProvider_user")) << 1
                               << QString();
  QTest::newRow("counter row") << provider(QStringLiteral("DataSetProvider_count")) << 1
                               << QString();
  QTest::newRow("own history") << command(q.display, {kMe}) << 1 << QString();
  QTest::newRow("own history, padded id")
      << command(q.writeBack, {kMe + u' '}, QStringLiteral("DataSetProvider_temp2")) << 1
      << QString();
  const QString refused = QStringLiteral("没有权限执行该查询");
  QTest::newRow("other's history") << command(q.display, {kOther}) << -1 << refused;
  QTest::newRow("shape with a changed blank") << command(q.display + u' ', {kMe}) << -1 << refused;
  QTest::newRow("free select") << command(QStringLiteral("select * from info where id=?"), {kMe})
                               << -1 << refused;
  QTest::newRow("person list") << command(schema::queries::kPersonList) << -1 << refused;
}

void ServerRolesTest::personReads() {
  QFETCH(protocol::OpenRequest, request);
  QFETCH(int, rows);
  QFETCH(QString, error);
  const Answer<protocol::Packet> packet = me_->open(request);
  if (rows < 0) {
    QCOMPARE(packet.error, error);
    return;
  }
  QVERIFY2(packet.ok(), qPrintable(packet.error));
  QCOMPARE(packet->rows.size(), rows);
  const qsizetype id = packet->columns.indexOf(QStringLiteral("id"));
  for (const QVariantList& row : packet->rows) {
    if (id >= 0) QCOMPARE(row[id].toString().trimmed(), kMe);
    for (const QVariant& value : row)
      QVERIFY(!value.toString().startsWith(QStringLiteral("$argon2")));
  }
}

void ServerRolesTest::personWrites_data() {
  QTest::addColumn<protocol::OpenRequest>("source");
  QTest::addColumn<QString>("table");
  QTest::addColumn<int>("kind");
  QTest::addColumn<QString>("rowOf");  // whose stored row an update or delete addresses
  QTest::addColumn<QVariantMap>("values");
  QTest::addColumn<QString>("error");  // empty: allowed
  const int insertKind = int(protocol::Change::Kind::Insert);
  const int updateKind = int(protocol::Change::Kind::Update);
  const int deleteKind = int(protocol::Change::Kind::Delete);
  const protocol::OpenRequest wycd = provider(QStringLiteral("DataSetProvider_wycd"));
  const protocol::OpenRequest history =
      command(schema::queries::history(u"jzgjckh").writeBack, {kMe});

  QTest::newRow("own row") << wycd << "wycd" << updateKind << kMe
                           << QVariantMap{{"zgxl", "大学本科毕业"}} << QString();
  QTest::newRow("other's row") << wycd << "wycd" << updateKind << kOther
                               << QVariantMap{{"zgxl", "x"}} << kNotMine;
  QTest::newRow("delete other's row")
      << wycd << "wycd" << deleteKind << kOther << QVariantMap{} << kNotMine;
  QTest::newRow("own row given away")
      << wycd << "wycd" << updateKind << kMe << QVariantMap{{"id", kOther}} << kNotMine;
  QTest::newRow("insert for another")
      << wycd << "wycd" << insertKind << QString() << QVariantMap{{"id", kOther}} << kNotMine;
  QTest::newRow("insert without id")
      << wycd << "wycd" << insertKind << QString() << QVariantMap{{"zgxl", "x"}} << kNotMine;
  QTest::newRow("insert own history")
      << history << "jzgjckh" << insertKind << QString()
      << QVariantMap{{"id_num", 50}, {"id", kMe}, {"ch", "新"}} << QString();
  QTest::newRow("other's history through own text")
      << history << "jzgjckh" << deleteKind << kOther << QVariantMap{} << kNotMine;
  QTest::newRow("own account") << provider(QStringLiteral("DataSetProvider_user")) << "user_name"
                               << updateKind << kMe << QVariantMap{{"qx", 0}}
                               << "没有权限修改该数据";
  QTest::newRow("counter") << provider(QStringLiteral("DataSetProvider_count")) << "counter"
                           << updateKind << QString() << QVariantMap{{"shgx", 100}}
                           << "计数器只能由系统取号修改";
}

void ServerRolesTest::personWrites() {
  QFETCH(protocol::OpenRequest, source);
  QFETCH(QString, table);
  QFETCH(int, kind);
  QFETCH(QString, rowOf);
  QFETCH(QVariantMap, values);
  QFETCH(QString, error);
  const QList<QVariantList> others = othersRows();
  const QList<QVariantList> whole = server_->sql(QStringLiteral("select * from \"%1\"").arg(table));
  protocol::Change change{protocol::Change::Kind(kind), 0, {}, values};
  if (change.kind != protocol::Change::Kind::Insert)
    change.rid = rowOf.isEmpty() ? 1 : ridOf(table, rowOf);
  const Answer<protocol::ApplyReply> reply = me_->apply(apply(source, {change}));
  if (error.isEmpty()) {
    QVERIFY2(reply.ok(), qPrintable(reply.error));
  } else {
    QCOMPARE(reply.error, error);
    QCOMPARE(server_->sql(QStringLiteral("select * from \"%1\"").arg(table)), whole);
  }
  QCOMPARE(othersRows(), others);
}

void ServerRolesTest::personMayDraw() {
  const Answer<qint64> first = me_->draw(QStringLiteral("jwpx"));
  QVERIFY2(first.ok(), qPrintable(first.error));
  QCOMPARE(me_->draw(QStringLiteral("jwpx")).value, std::optional<qint64>(*first + 1));
}

void ServerRolesTest::managerDeletes_data() {
  QTest::addColumn<QString>("provider");
  QTest::addColumn<QString>("table");
  QTest::addColumn<QString>("error");
  const QString refused = QStringLiteral("没有删除该数据的权限");
  QTest::newRow("info") << "DataSetProvider_info"
                        << "info" << refused;
  QTest::newRow("account") << "DataSetProvider_user"
                           << "user_name" << refused;
  QTest::newRow("other table") << "DataSetProvider_wycd"
                               << "wycd" << QString();
}

void ServerRolesTest::managerDeletes() {
  QFETCH(QString, provider);
  QFETCH(QString, table);
  QFETCH(QString, error);
  const qint64 rid = ridOf(table, kOther);
  QVERIFY(rid > 0);
  const Answer<protocol::ApplyReply> reply =
      manager_->apply(apply(requests::provider(provider), {remove(rid, {})}));
  QCOMPARE(reply.error, error);
  QCOMPARE(ridOf(table, kOther) == rid, !error.isEmpty());
  // Changing those rows stays allowed.
  if (!error.isEmpty())
    QVERIFY(
        manager_->apply(apply(requests::provider(provider), {update(rid, {}, {{"id", kOther}})}))
            .ok());
}

QTEST_GUILESS_MAIN(ServerRolesTest)
#include "tst_server_roles.moc"
