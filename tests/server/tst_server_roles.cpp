// What each role may read and write: an ordinary user (role 2) only its own rows and the fixed
// per-person texts, never deleting its one-row records; an administrator (role 1) everything
// but deleting accounts and info rows, changing any stored identity number, giving role 0 or
// changing a role-0 account; nobody removes the last role-0 account; roles are judged as they
// are stored; a changed or deleted account takes effect in its open sessions at once.
#include <QtTest>

#include "schema/queries.h"
#include "tests/server/requests.h"

using namespace requests;

namespace {

const QString kManager = QStringLiteral("110000000000000001");
const QString kMe = QStringLiteral("220000000000000002");
const QString kOther = QStringLiteral("330000000000000003");
const QString kSuper = QStringLiteral("440000000000000004");

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
  void managerPrivileges_data();
  void managerPrivileges();
  void rolesAsStored_data();
  void rolesAsStored();
  void lastSuperAccountStays();
  void changedAccountsTakeEffectAtOnce();

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
  QVERIFY(server_->addAccount(kSuper, QStringLiteral("超管"), 0, QStringLiteral("s")));
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
  QTest::newRow("own id padded") << wycd << "wycd" << updateKind << kMe
                                 << QVariantMap{{"id", kMe + u' '}} << kNotMine;
  QTest::newRow("own id with a control character")
      << wycd << "wycd" << updateKind << kMe << QVariantMap{{"id", kMe + u'\x01'}} << kNotMine;
  QTest::newRow("delete own one-row record")
      << wycd << "wycd" << deleteKind << kMe << QVariantMap{} << "没有删除该数据的权限";
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

void ServerRolesTest::managerPrivileges_data() {
  QTest::addColumn<protocol::OpenRequest>("source");
  QTest::addColumn<QString>("table");
  QTest::addColumn<int>("kind");
  QTest::addColumn<QString>("rowOf");
  QTest::addColumn<QVariantMap>("values");
  QTest::addColumn<QString>("error");  // empty: allowed
  const int insertKind = int(protocol::Change::Kind::Insert);
  const int updateKind = int(protocol::Change::Kind::Update);
  const int deleteKind = int(protocol::Change::Kind::Delete);
  const protocol::OpenRequest accounts = provider(QStringLiteral("DataSetProvider_user"));
  const protocol::OpenRequest info = provider(QStringLiteral("DataSetProvider_info"));
  const protocol::OpenRequest infoText =
      command(QStringLiteral("select id,name from info where id=?"), {kOther});
  const QString grant = QStringLiteral("没有权限授予超级管理员权限");
  const QString superAccount = QStringLiteral("没有权限修改超级管理员的账户");
  const QString rename = QStringLiteral("没有权限修改身份证号");

  QTest::newRow("new account with role 0")
      << accounts << "user_name" << insertKind << QString()
      << QVariantMap{{"id", "550000000000000005"}, {"qx", 0}} << grant;
  QTest::newRow("role 0 given as text")
      << accounts << "user_name" << updateKind << kOther << QVariantMap{{"qx", " 0"}} << grant;
  QTest::newRow("super's password") << accounts << "user_name" << updateKind << kSuper
                                    << QVariantMap{{"password", "x"}} << superAccount;
  QTest::newRow("super demoted") << accounts << "user_name" << updateKind << kSuper
                                 << QVariantMap{{"qx", 2}} << superAccount;
  QTest::newRow("account renamed") << accounts << "user_name" << updateKind << kOther
                                   << QVariantMap{{"id", "550000000000000005"}} << rename;
  QTest::newRow("person's id blanked")
      << info << "info" << updateKind << kOther << QVariantMap{{"id", " "}} << rename;
  QTest::newRow("person's id nulled")
      << info << "info" << updateKind << kOther << QVariantMap{{"id", QVariant()}} << rename;
  QTest::newRow("person's id padded")
      << info << "info" << updateKind << kOther << QVariantMap{{"id", kOther + u' '}} << rename;
  QTest::newRow("history row moved to another person")
      << command(schema::queries::history(u"jzgjckh").writeBack, {kOther}) << "jzgjckh"
      << updateKind << kOther << QVariantMap{{"id", kMe}} << rename;
  QTest::newRow("person deleted through a select text")
      << infoText << "info" << deleteKind << kOther << QVariantMap{} << "没有删除该数据的权限";
  QTest::newRow("review mark on a super's account")
      << accounts << "user_name" << updateKind << kSuper << QVariantMap{{"shr", kManager}}
      << QString();
  QTest::newRow("ordinary account's password and role")
      << accounts << "user_name" << updateKind << kOther
      << QVariantMap{{"password", "n"}, {"qx", 1}} << QString();
}

void ServerRolesTest::managerPrivileges() {
  QFETCH(protocol::OpenRequest, source);
  QFETCH(QString, table);
  QFETCH(int, kind);
  QFETCH(QString, rowOf);
  QFETCH(QVariantMap, values);
  QFETCH(QString, error);
  const QString all = QStringLiteral("select * from \"%1\" order by rid").arg(table);
  const QList<QVariantList> before = server_->sql(all);
  protocol::Change change{protocol::Change::Kind(kind), 0, {}, values};
  if (!rowOf.isEmpty()) change.rid = ridOf(table, rowOf);
  const Answer<protocol::ApplyReply> reply = manager_->apply(apply(source, {change}));
  QCOMPARE(reply.error, error);
  if (!error.isEmpty()) QCOMPARE(server_->sql(all), before);
}

// An administrator sets an ordinary account's role: a value is refused, or stored as the integer
// it names and read back as that role at the next sign-in. No text the engine would read as the
// number 0 ("1e-400") reaches role 0.
void ServerRolesTest::rolesAsStored_data() {
  QTest::addColumn<QVariant>("qx");
  QTest::addColumn<int>("stored");  // -1: refused, the role stays 2
  for (const char* text : {"1e-400", "-1e-400", "1e-330", "0.0", "1.0", "0x1", "", "二"})
    QTest::newRow(qPrintable(QStringLiteral("\"%1\"").arg(QString::fromUtf8(text))))
        << QVariant(QString::fromUtf8(text)) << -1;
  QTest::newRow("0. and 400 zeros") << QVariant(QStringLiteral("0.") + QString(400, u'0')) << -1;
  QTest::newRow("3") << QVariant(qint64(3)) << -1;
  QTest::newRow("-1") << QVariant(QStringLiteral("-1")) << -1;
  QTest::newRow("null") << QVariant() << -1;
  QTest::newRow("integer 1") << QVariant(qint64(1)) << 1;
  QTest::newRow("text 1") << QVariant(QStringLiteral("1")) << 1;
  QTest::newRow("text +2 with blanks") << QVariant(QStringLiteral(" +2 ")) << 2;
}

void ServerRolesTest::rolesAsStored() {
  QFETCH(QVariant, qx);
  QFETCH(int, stored);
  const QString id = QStringLiteral("770000000000000077");
  QVERIFY(server_->addAccount(id, QStringLiteral("角色"), 2, QStringLiteral("r")));
  const qint64 rid = ridOf(QStringLiteral("user_name"), id);
  const Answer<protocol::ApplyReply> reply = manager_->apply(
      apply(provider(QStringLiteral("DataSetProvider_user")), {update(rid, {}, {{"qx", qx}})}));
  QCOMPARE(reply.ok(), stored >= 0);
  const int role = stored >= 0 ? stored : 2;
  const QVariant storedQx =
      server_->sql(QStringLiteral("select qx from user_name where rid=?"), {rid}).value(0).value(0);
  QCOMPARE(storedQx.typeId(), QMetaType::LongLong);
  QCOMPARE(storedQx.toInt(), role);
  WireClient client;
  QVERIFY(client.connectTo(server_->host(), server_->port()));
  const Answer<protocol::SignInReply> signIn = client.signIn(id, QStringLiteral("r"));
  QVERIFY2(signIn.ok(), qPrintable(signIn.error));
  QCOMPARE(signIn->role, role);
}

// kSuper is the only role-0 account: it may not delete or demote itself until another exists.
// Demoted, its open session loses the rights of role 0 on its next request.
void ServerRolesTest::lastSuperAccountStays() {
  std::unique_ptr<WireClient> super = signedIn(*server_, kSuper, QStringLiteral("s"));
  QVERIFY(super);
  const protocol::OpenRequest accounts = provider(QStringLiteral("DataSetProvider_user"));
  const qint64 rid = ridOf(QStringLiteral("user_name"), kSuper);
  const QString last = QStringLiteral("不能删除或降级最后一个超级管理员账户");
  for (const protocol::Change& change :
       {remove(rid, {}), update(rid, {}, {{"qx", 1}}), update(rid, {}, {{"qx", 2}})})
    QCOMPARE(super->apply(apply(accounts, {change})).error, last);
  QCOMPARE(server_->sql(QStringLiteral("select qx from user_name where rid=?"), {rid}),
           (QList<QVariantList>{{0}}));

  server_->sql(QStringLiteral("insert into user_name(id, qx) values ('660000000000000006', 0)"));
  const Answer<protocol::ApplyReply> demoted =
      super->apply(apply(accounts, {update(rid, {}, {{"qx", 1}})}));
  QVERIFY2(demoted.ok(), qPrintable(demoted.error));
  const qint64 info = ridOf(QStringLiteral("info"), kOther);
  QCOMPARE(super->apply(apply(provider(QStringLiteral("DataSetProvider_info")), {remove(info, {})}))
               .error,
           QStringLiteral("没有删除该数据的权限"));
}

// A demoted administrator reads as an ordinary user at once; a deleted account is signed out.
void ServerRolesTest::changedAccountsTakeEffectAtOnce() {
  const QString demotedId = QStringLiteral("770000000000000007");
  const QString goneId = QStringLiteral("880000000000000008");
  QVERIFY(server_->addAccount(demotedId, QStringLiteral("降级"), 1, QStringLiteral("d")));
  QVERIFY(server_->addAccount(goneId, QStringLiteral("删除"), 1, QStringLiteral("g")));
  std::unique_ptr<WireClient> demoted = signedIn(*server_, demotedId, QStringLiteral("d"));
  std::unique_ptr<WireClient> gone = signedIn(*server_, goneId, QStringLiteral("g"));
  QVERIFY(demoted && gone);
  QVERIFY(demoted->select(schema::queries::kPersonList).ok());

  const protocol::OpenRequest accounts = provider(QStringLiteral("DataSetProvider_user"));
  const QString user = QStringLiteral("user_name");
  QVERIFY(manager_->apply(apply(accounts, {update(ridOf(user, demotedId), {}, {{"qx", 2}})})).ok());
  QCOMPARE(demoted->select(schema::queries::kPersonList).error,
           QStringLiteral("没有权限执行该查询"));

  const QString superId = QStringLiteral("990000000000000009");
  QVERIFY(server_->addAccount(superId, QStringLiteral("超管乙"), 0, QStringLiteral("z")));
  std::unique_ptr<WireClient> super = signedIn(*server_, superId, QStringLiteral("z"));
  QVERIFY(super);
  QVERIFY(super->apply(apply(accounts, {remove(ridOf(user, goneId), {})})).ok());
  QCOMPARE(gone->select(schema::queries::kPersonList).error,
           QStringLiteral("该账户已被删除或权限已失效，请重新登录"));
  QCOMPARE(gone->select(schema::queries::kPersonList).error, QStringLiteral("请先登录"));
}

QTEST_GUILESS_MAIN(ServerRolesTest)
#include "tst_server_roles.moc"
