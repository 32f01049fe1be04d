// Sign-in outcomes, what a session may do before and after, add-account, and the command line.
#include <QProcess>
#include <QtTest>

#include "tests/server/requests.h"

using namespace requests;
using Outcome = protocol::SignInOutcome;

Q_DECLARE_METATYPE(protocol::SignInOutcome)

namespace {

QString hashOf(TestServer& server, const QString& id) {
  return server.sql(QStringLiteral("select password from user_name where id=?"), {id})
      .value(0)
      .value(0)
      .toString();
}

}  // namespace

class ServerSignInTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void outcomes_data();
  void outcomes();
  void emptyAccountsTable();
  void onlySignInBeforeSigningIn_data();
  void onlySignInBeforeSigningIn();
  void failedSignInSignsOut();
  void addAccountOverwrites();
  void badArgumentsPrintUsage_data();
  void badArgumentsPrintUsage();

 private:
  std::unique_ptr<TestServer> server_;
};

void ServerSignInTest::initTestCase() {
  // Wrong passwords on purpose, many times from one address: no throttling here.
  server_ = std::make_unique<TestServer>(QString(), QStringList{"--throttle", "0"});
  QVERIFY2(server_->running(), qPrintable(server_->log()));
  // Two real hashes, copied into the odd rows the server would never write itself.
  QVERIFY(server_->addAccount(QStringLiteral("S1"), QStringLiteral("甲"), 0, QStringLiteral("pw")));
  QVERIFY(
      server_->addAccount(QStringLiteral("TMP"), QStringLiteral("乙"), 2, QStringLiteral("other")));
  const QString pw = hashOf(*server_, QStringLiteral("S1"));
  const QString other = hashOf(*server_, QStringLiteral("TMP"));
  const QString insert = QStringLiteral("insert into user_name(id, password, qx) values (?, ?, ?)");
  server_->sql(insert, {" S2 \t", pw, 1});
  server_->sql(insert, {"S3X", pw, 2});
  server_->sql(insert, {"S4", pw, 2});
  server_->sql(insert, {"S4", other, 0});
  server_->sql(insert, {"S5", pw, QVariant()});
  server_->sql(insert, {"S6", pw, 5});
  server_->sql(insert, {"S7", QVariant(), 0});
  server_->sql(insert, {"S8", "", 0});
  server_->sql(insert, {"S9", "pw", 0});
}

void ServerSignInTest::outcomes_data() {
  QTest::addColumn<QString>("id");
  QTest::addColumn<QString>("password");
  QTest::addColumn<Outcome>("outcome");
  QTest::addColumn<int>("role");
  QTest::newRow("exact") << "S1"
                         << "pw" << Outcome::SignedIn << 0;
  QTest::newRow("typed with blanks") << "  S1 \t"
                                     << " pw\r" << Outcome::SignedIn << 0;
  QTest::newRow("stored with blanks") << "S2"
                                      << "pw" << Outcome::SignedIn << 1;
  QTest::newRow("trailing X") << "S3X"
                              << "pw" << Outcome::SignedIn << 2;
  QTest::newRow("trailing x is another id") << "S3x"
                                            << "pw" << Outcome::NoSuchAccount << -1;
  QTest::newRow("password case") << "S1"
                                 << "PW" << Outcome::WrongPassword << -1;
  QTest::newRow("first of two rows") << "S4"
                                     << "pw" << Outcome::SignedIn << 2;
  QTest::newRow("second row never compared") << "S4"
                                             << "other" << Outcome::WrongPassword << -1;
  QTest::newRow("null role") << "S5"
                             << "pw" << Outcome::NoValidRole << -1;
  QTest::newRow("role 5") << "S6"
                          << "pw" << Outcome::NoValidRole << -1;
  QTest::newRow("null stored password") << "S7"
                                        << "" << Outcome::WrongPassword << -1;
  QTest::newRow("empty stored password") << "S8"
                                         << "" << Outcome::WrongPassword << -1;
  QTest::newRow("plain stored password") << "S9"
                                         << "pw" << Outcome::WrongPassword << -1;
  QTest::newRow("unknown id, known password") << "S10"
                                              << "pw" << Outcome::NoSuchAccount << -1;
  QTest::newRow("empty id") << ""
                            << "" << Outcome::NoSuchAccount << -1;
}

void ServerSignInTest::outcomes() {
  QFETCH(QString, id);
  QFETCH(QString, password);
  QFETCH(Outcome, outcome);
  QFETCH(int, role);
  WireClient client;
  QVERIFY(client.connectTo(server_->host(), server_->port()));
  const Answer<protocol::SignInReply> reply = client.signIn(id, password);
  QVERIFY2(reply.ok(), qPrintable(reply.error));
  QCOMPARE(reply->outcome, outcome);
  if (outcome == Outcome::SignedIn) QCOMPARE(reply->role, role);
  // Only a signed-in session may read.
  QCOMPARE(client.open(provider(QStringLiteral("DataSetProvider_count"))).ok(),
           outcome == Outcome::SignedIn);
}

void ServerSignInTest::emptyAccountsTable() {
  TestServer empty;
  QVERIFY(empty.running());
  WireClient client;
  QVERIFY(client.connectTo(empty.host(), empty.port()));
  for (const char* id : {"S1", "", "110101197001010011"}) {
    const Answer<protocol::SignInReply> reply = client.signIn(QString::fromLatin1(id), QString());
    QVERIFY2(reply.ok(), qPrintable(reply.error));
    QCOMPARE(reply->outcome, Outcome::NoSuchAccount);
  }
}

void ServerSignInTest::onlySignInBeforeSigningIn_data() {
  QTest::addColumn<QCborMap>("request");
  QTest::newRow("open") << provider(QStringLiteral("DataSetProvider_info")).toCbor();
  QTest::newRow("apply")
      << apply(provider(QStringLiteral("DataSetProvider_info")), {insert({{"id", "x"}})}).toCbor();
  QTest::newRow("draw") << protocol::DrawRequest{QStringLiteral("shgx")}.toCbor();
  QTest::newRow("unknown op") << QCborMap{{QStringLiteral("op"), QStringLiteral("shutdown")}};
}

void ServerSignInTest::onlySignInBeforeSigningIn() {
  QFETCH(QCborMap, request);
  WireClient client;
  QVERIFY(client.connectTo(server_->host(), server_->port()));
  const std::optional<QCborMap> reply = client.call(request);
  QVERIFY(reply);
  QCOMPARE(protocol::replyError(*reply), std::optional<QString>(QStringLiteral("请先登录")));
  QCOMPARE(server_->sql(QStringLiteral("select count(*) from info where id='x'")).value(0).value(0),
           QVariant(qint64(0)));
  // The connection stays usable, and bye ends it.
  QVERIFY(client.signIn(QStringLiteral("S1"), QStringLiteral("pw")).ok());
  const std::optional<QCborMap> bye =
      client.call(QCborMap{{QStringLiteral("op"), protocol::op::kBye}});
  QVERIFY(bye && !protocol::replyError(*bye));
  QVERIFY(client.waitForClosed());
}

void ServerSignInTest::failedSignInSignsOut() {
  std::unique_ptr<WireClient> client =
      signedIn(*server_, QStringLiteral("S1"), QStringLiteral("pw"));
  QVERIFY(client);
  QVERIFY(client->open(provider(QStringLiteral("DataSetProvider_info"))).ok());
  // A later sign-in replaces the first: as a person, only its own rows.
  QCOMPARE(client->signIn(QStringLiteral("S3X"), QStringLiteral("pw"))->role, 2);
  QVERIFY(!client->select(QStringLiteral("select * from info")).ok());
  QCOMPARE(client->signIn(QStringLiteral("S5"), QStringLiteral("pw"))->outcome,
           Outcome::NoValidRole);
  QCOMPARE(client->open(provider(QStringLiteral("DataSetProvider_info"))).error,
           QStringLiteral("请先登录"));
}

void ServerSignInTest::addAccountOverwrites() {
  server_->sql(QStringLiteral("insert into user_name(id, qx, shr) values ('A1 ', 2, 'S1')"));
  server_->sql(QStringLiteral("insert into info(id, name, mz) values (' A1', '旧名', '汉族')"));
  QVERIFY(server_->addAccount(QStringLiteral(" A1 "), QStringLiteral(" 新名 "), 1,
                              QStringLiteral(" one ")));
  QCOMPARE(server_->sql(QStringLiteral("select id, qx, shr from user_name where id like '%A1%'")),
           (QList<QVariantList>{{"A1", 1, "S1"}}));
  QCOMPARE(server_->sql(QStringLiteral("select id, name, mz from info where id like '%A1%'")),
           (QList<QVariantList>{{"A1", "新名", "汉族"}}));
  QVERIFY(signedIn(*server_, QStringLiteral("A1"), QStringLiteral("one")));

  const QString second = QStringLiteral("second-secret-9");
  QVERIFY(server_->addAccount(QStringLiteral("A1"), QStringLiteral("新名"), 2, second));
  QCOMPARE(server_->sql(QStringLiteral("select qx from user_name where id like '%A1%'")),
           (QList<QVariantList>{{2}}));
  QVERIFY(!signedIn(*server_, QStringLiteral("A1"), QStringLiteral("one")));
  QVERIFY(signedIn(*server_, QStringLiteral("A1"), second));
  QVERIFY(server_->log().contains(QStringLiteral("sign-in A1 signed in")));
  QVERIFY(!server_->log().contains(second));
}

void ServerSignInTest::badArgumentsPrintUsage_data() {
  QTest::addColumn<QStringList>("arguments");
  QTest::newRow("unknown command") << QStringList{"bogus"};
  QTest::newRow("unknown option") << QStringList{"serve", "--port", "1"};
  QTest::newRow("missing value") << QStringList{"--db"};
  QTest::newRow("bad listen") << QStringList{"--listen", "nowhere"};
  QTest::newRow("serve with extra") << QStringList{"serve", "extra"};
  QTest::newRow("add-account short") << QStringList{"add-account", "--db", "x.db", "ID", "NAME"};
  QTest::newRow("add-account bad role")
      << QStringList{"add-account", "--db", "x.db", "ID", "NAME", "7"};
  QTest::newRow("seed-demo not a number") << QStringList{"seed-demo", "--db", "x.db", "many"};
  QTest::newRow("plain TCP off loopback") << QStringList{"--listen", "0.0.0.0:0"};
  QTest::newRow("certificate without key") << QStringList{"--tls-cert", "server.crt"};
  QTest::newRow("timeout not a number") << QStringList{"--idle-timeout", "soon"};
  QTest::newRow("make-cert without files") << QStringList{"make-cert", "localhost"};
}

void ServerSignInTest::badArgumentsPrintUsage() {
  QFETCH(QStringList, arguments);
  QTemporaryDir dir;
  QProcess tool;
  tool.setWorkingDirectory(dir.path());
  tool.start(TestServer::binary(), arguments);
  QVERIFY(tool.waitForFinished(10000));
  QVERIFY(tool.exitCode() != 0);
  QVERIFY(tool.readAllStandardError().contains("usage:"));
  QVERIFY(QDir(dir.path()).isEmpty());
}

QTEST_GUILESS_MAIN(ServerSignInTest)
#include "tst_server_signin.moc"
