// A bounded, seeded run of random and mutated frames: the server answers or closes the one
// connection, and keeps serving everyone. bench/fuzz_frames runs the same for longer.
#include <QtTest>

#include "tests/support/frame_fuzzer.h"
#include "tests/support/test_server.h"

class ServerFuzzTest : public QObject {
  Q_OBJECT

 private slots:
  void serverSurvivesFuzzedFrames_data() {
    QTest::addColumn<quint32>("seed");
    QTest::newRow("seed 1") << 1u;
    QTest::newRow("seed 2024") << 2024u;
  }

  void serverSurvivesFuzzedFrames() {
    QFETCH(quint32, seed);
    const QString admin = QStringLiteral("110000000000000000");
    TestServer server(
        QString(), {"--stall-timeout", "0.5", "--max-per-address", "1000", "--throttle", "0.01"});
    QVERIFY2(server.running(), qPrintable(server.log()));
    QVERIFY(server.addAccount(admin, QStringLiteral("管理员"), 0, QStringLiteral("admin")));
    const FuzzTally tally =
        fuzzServer(server.host(), server.port(), admin, QStringLiteral("admin"), 600, seed);
    QVERIFY2(tally.failure.isEmpty(), qPrintable(tally.failure + u'\n' + server.log().right(2000)));
    QCOMPARE(tally.frames, 600);
    QVERIFY(tally.answered > 0 && tally.closed > 0);
    QVERIFY(server.running());
  }
};

QTEST_GUILESS_MAIN(ServerFuzzTest)
#include "tst_server_fuzz.moc"
