// The client's connection against a real server: it comes back after the server restarts or
// closes an idle connection, signing in again by itself; a save whose reply was lost is
// reported, never sent twice; over TLS it talks only to a server it can verify.
#include "shell/connection.h"

#include <signal.h>

#include <QtTest>
#include <thread>

#include "shell/remote_dataset.h"
#include "shell/remote_error.h"
#include "tests/support/test_server.h"

namespace {

const QString kAdmin = QStringLiteral("110101199001011234");
const QString kPassword = QStringLiteral("secret");

// A self-signed pair from `staffinfo-server make-cert`, valid for `names`.
bool makeCertificate(const QString& dir, const QString& stem, const QStringList& names) {
  QProcess tool;
  tool.start(TestServer::binary(), QStringList{"make-cert", "--cert", dir + u'/' + stem + ".crt",
                                               "--key", dir + u'/' + stem + ".key"}
                                       << names);
  return tool.waitForFinished(60000) && tool.exitCode() == 0;
}

QString reasonOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const RemoteError& e) {
    return e.reason();
  }
  return QString();
}

}  // namespace

class ConnectionTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    QVERIFY(server_.running());
    QVERIFY(server_.addAccount(kAdmin, QStringLiteral("管理员"), 0, kPassword));
    QVERIFY(makeCertificate(dir_.path(), QStringLiteral("server"),
                            {QStringLiteral("localhost"), QStringLiteral("127.0.0.1")}));
    QVERIFY(
        makeCertificate(dir_.path(), QStringLiteral("stranger"), {QStringLiteral("127.0.0.1")}));
    QVERIFY(makeCertificate(dir_.path(), QStringLiteral("elsewhere"),
                            {QStringLiteral("staff.example")}));
    // An existing pair is never overwritten.
    QVERIFY(!makeCertificate(dir_.path(), QStringLiteral("server"), {}));
  }

  void reconnectsAndSignsInAfterRestart() {
    Connection connection;
    connection.open(ServerAddress(server_.host(), server_.port()));
    QCOMPARE(connection.signIn(kAdmin, kPassword).outcome, protocol::SignInOutcome::SignedIn);
    RemoteDataset count(QStringLiteral("DataSetProvider_count"), connection);
    count.open();

    QVERIFY(server_.restart());
    count.refresh();  // only a signed-in session may read: it signed in again
    QCOMPARE(count.recordCount(), 1);

    server_.kill();
    QVERIFY(reasonOf([&] {
              count.refresh();
            }).startsWith(QStringLiteral("与应用服务器的连接已断开，重新连接失败")));
    QVERIFY(server_.restart());
    count.refresh();
    QCOMPARE(count.recordCount(), 1);
  }

  void idleConnectionIsReopened() {
    TestServer strict(QString(), {"--idle-timeout", "0.3"});
    QVERIFY(strict.addAccount(kAdmin, QStringLiteral("管理员"), 0, kPassword));
    Connection connection;
    connection.open(ServerAddress(strict.host(), strict.port()));
    connection.signIn(kAdmin, kPassword);
    QTest::qWait(800);
    RemoteDataset count(QStringLiteral("DataSetProvider_count"), connection);
    count.open();
    QCOMPARE(count.recordCount(), 1);
    QVERIFY(strict.log().contains(QStringLiteral("连接空闲时间过长")));
  }

  // The server stops with the save unread and then dies: whether it was written cannot be
  // known, so the client says so and does not send it again on the new connection.
  void unansweredSaveIsReportedNotRepeated() {
    Connection connection;
    connection.open(ServerAddress(server_.host(), server_.port()));
    connection.signIn(kAdmin, kPassword);
    RemoteDataset grjs(QStringLiteral("DataSetProvider_grjs"), connection);
    grjs.open();
    grjs.append();
    grjs.setField(u"id", QStringLiteral("lost"));
    grjs.post();

    const qint64 pid = server_.processId();
    ::kill(pid_t(pid), SIGSTOP);
    std::thread crash([pid] {
      QThread::msleep(300);
      ::kill(pid_t(pid), SIGKILL);
    });
    const QString reason = reasonOf([&] { grjs.applyUpdates(); });
    crash.join();
    QVERIFY2(reason.contains(QStringLiteral("无法确定这次修改是否已保存")), qPrintable(reason));
    QCOMPARE(grjs.pendingChanges(), 1);

    QVERIFY(server_.restart());
    RemoteDataset again(QStringLiteral("DataSetProvider_grjs"), connection);
    again.open();
    QCOMPARE(again.recordCount(), 0);
  }

  void tlsRoundTrip() {
    TestServer secure(QString(), tlsOptions(QStringLiteral("server")));
    QVERIFY2(secure.running(), qPrintable(secure.log()));
    QVERIFY(secure.addAccount(kAdmin, QStringLiteral("管理员"), 0, kPassword));
    Connection connection;
    ServerAddress address(secure.host(), secure.port());
    address.tls = true;
    address.caFile = dir_.filePath(QStringLiteral("server.crt"));
    connection.open(address);
    QCOMPARE(connection.signIn(kAdmin, kPassword).outcome, protocol::SignInOutcome::SignedIn);
    RemoteDataset count(QStringLiteral("DataSetProvider_count"), connection);
    count.open();
    QCOMPARE(count.recordCount(), 1);
    QVERIFY(secure.log().contains(QStringLiteral("(TLS)")));
  }

  void unverifiedServerIsRefused_data() {
    QTest::addColumn<QString>("serverPair");
    QTest::addColumn<QString>("ca");  // empty: the system's store
    QTest::newRow("self-signed, system store") << "server" << QString();
    QTest::newRow("signed by another") << "stranger"
                                       << "server.crt";
    QTest::newRow("made for another name") << "elsewhere"
                                           << "elsewhere.crt";
  }

  void unverifiedServerIsRefused() {
    QFETCH(QString, serverPair);
    QFETCH(QString, ca);
    TestServer secure(QString(), tlsOptions(serverPair));
    QVERIFY2(secure.running(), qPrintable(secure.log()));
    const std::optional<ServerAddress> address =
        ServerAddress::fromOptions(QStringLiteral("tls://127.0.0.1:%1").arg(secure.port()),
                                   ca.isEmpty() ? QString() : dir_.filePath(ca));
    QVERIFY(address && address->tls);
    Connection connection;
    const QString reason = reasonOf([&] { connection.open(*address); });
    QVERIFY2(reason.startsWith(QStringLiteral("无法验证应用服务器")), qPrintable(reason));
    QVERIFY(!connection.connected());
  }

  void addressesChooseTls_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("port");
    QTest::addColumn<bool>("tls");
    QTest::newRow("loopback") << "127.0.0.1"
                              << "127.0.0.1" << 7070 << false;
    QTest::newRow("localhost with port") << "localhost:7071"
                                         << "localhost" << 7071 << false;
    QTest::newRow("IPv6 loopback") << "[::1]:7072"
                                   << "::1" << 7072 << false;
    QTest::newRow("school server") << "staff.example:7070"
                                   << "staff.example" << 7070 << true;
    QTest::newRow("asked for TLS") << "tls://127.0.0.1"
                                   << "127.0.0.1" << 7070 << true;
    QTest::newRow("asked for plain") << "tcp://10.0.0.5:7070"
                                     << "10.0.0.5" << 7070 << false;
  }

  void addressesChooseTls() {
    QFETCH(QString, text);
    QFETCH(QString, host);
    QFETCH(int, port);
    QFETCH(bool, tls);
    const std::optional<ServerAddress> address = ServerAddress::parse(text);
    QVERIFY(address);
    QCOMPARE(address->host, host);
    QCOMPARE(int(address->port), port);
    QCOMPARE(address->tls, tls);
  }

 private:
  QStringList tlsOptions(const QString& pair) const {
    return {"--tls-cert", dir_.filePath(pair + ".crt"), "--tls-key", dir_.filePath(pair + ".key")};
  }

  QTemporaryDir dir_;
  TestServer server_;
};

QTEST_MAIN(ConnectionTest)
#include "connection_test.moc"
