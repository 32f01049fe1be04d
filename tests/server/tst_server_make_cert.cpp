// `staffinfo-server make-cert`: each name becomes one entry of the certificate, and a name that
// is neither a host name nor an address is refused, named, before anything is written.
#include <QDir>
#include <QProcess>
#include <QSslCertificate>
#include <QTemporaryDir>
#include <QtTest>

#include "tests/support/test_server.h"

namespace {

struct Run {
  int exitCode = -1;
  QString errors;  // standard error
};

// Runs make-cert into `dir` (server.crt, server.key) for `names`.
Run makeCert(const QTemporaryDir& dir, const QStringList& names) {
  QProcess tool;
  tool.start(TestServer::binary(), QStringList{"make-cert", "--cert", dir.filePath("server.crt"),
                                               "--key", dir.filePath("server.key")} +
                                       names);
  if (!tool.waitForFinished(60000)) return {};
  return {tool.exitCode(), QString::fromUtf8(tool.readAllStandardError())};
}

}  // namespace

class ServerMakeCertTest : public QObject {
  Q_OBJECT

 private slots:
  void refusesWhatIsNoHostNameOrAddress_data() {
    QTest::addColumn<QString>("name");
    QTest::newRow("comma adds an entry") << QStringLiteral("a,IP:10.9.9.9");
    QTest::newRow("blank inside") << QStringLiteral("bad name");
    QTest::newRow("option-like") << QStringLiteral("-x");
    QTest::newRow("empty") << QString();
    QTest::newRow("wildcard") << QStringLiteral("*.staff.example");
  }
  void refusesWhatIsNoHostNameOrAddress() {
    QFETCH(QString, name);
    QTemporaryDir dir;
    const Run run = makeCert(dir, {QStringLiteral("staff.example"), name});
    QVERIFY(run.exitCode != 0);
    QVERIFY2(run.errors.contains(u'"' + name + u'"'), qPrintable(run.errors));
    QVERIFY(QDir(dir.path()).isEmpty());
  }

  void namesAndAddressesBecomeOneEntryEach() {
    QTemporaryDir dir;
    const Run run = makeCert(dir, {QStringLiteral("staff.example"), QStringLiteral("10.1.2.3")});
    QCOMPARE(run.exitCode, 0);
    const QList<QSslCertificate> certificates =
        QSslCertificate::fromPath(dir.filePath("server.crt"));
    QCOMPARE(certificates.size(), 1);
    const auto entries = certificates[0].subjectAlternativeNames();
    QCOMPARE(entries.values(QSsl::DnsEntry), QStringList{"staff.example"});
    QCOMPARE(entries.values(QSsl::IpAddressEntry), QStringList{"10.1.2.3"});
    QCOMPARE(entries.size(), 2);
  }
};

QTEST_GUILESS_MAIN(ServerMakeCertTest)
#include "tst_server_make_cert.moc"
