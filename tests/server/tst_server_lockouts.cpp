// Nobody keeps the others out: one ordinary user's idle connections, connections churned before
// sign-in, frames fed a byte at a time and large frames sent together each leave room for an
// administrator to sign in at once; a thousand idle signed-in connections cost no thread each.
#include <sodium.h>
#include <sys/resource.h>

#include <QCborStreamWriter>
#include <QElapsedTimer>
#include <QThread>
#include <QtEndian>
#include <QtTest>

#include "protocol/frame.h"
#include "tests/server/requests.h"

using namespace requests;

namespace {

const QString kAdmin = QStringLiteral("110000000000000000");
const QString kPassword = QStringLiteral("pw");

// A password hash that takes no time to check: these tests sign in by the hundred.
QString cheapHash(const QString& password) {
  char out[crypto_pwhash_STRBYTES];
  const QByteArray plain = password.toUtf8();
  if (sodium_init() < 0 ||
      crypto_pwhash_str(out, plain.constData(), quint64(plain.size()), crypto_pwhash_OPSLIMIT_MIN,
                        crypto_pwhash_MEMLIMIT_MIN) != 0)
    return QString();
  return QString::fromLatin1(out);
}

// Ordinary accounts P0000…, all with kPassword.
QStringList addPersons(TestServer& server, int count) {
  const QString hash = cheapHash(kPassword);
  QStringList ids;
  for (int i = 0; i < count; ++i) ids << QStringLiteral("P%1").arg(i, 4, 10, QLatin1Char('0'));
  server.sql(QStringLiteral("insert into user_name(id, password, qx) with recursive n(i) as "
                            "(select 0 union all select i + 1 from n where i + 1 < ?) "
                            "select 'P' || substr('000' || i, -4), ?, 2 from n"),
             {count, hash});
  return ids;
}

// An administrator signs in from a machine of its own and reads, within `withinMs`.
bool administratorGetsIn(const TestServer& server, int withinMs = 3000) {
  QElapsedTimer clock;
  clock.start();
  WireClient admin;
  if (!admin.connectTo(server.host(), server.port(), true, QStringLiteral("127.0.0.99"))) {
    qWarning() << admin.error();
    return false;
  }
  const Answer<protocol::SignInReply> signedIn = admin.signIn(kAdmin, kPassword);
  if (!signedIn.ok() || signedIn->outcome != protocol::SignInOutcome::SignedIn) {
    qWarning() << signedIn.error;
    return false;
  }
  const bool read = admin.open(provider(QStringLiteral("DataSetProvider_count"))).ok();
  return read && clock.elapsed() < withinMs;
}

QByteArray header(quint32 length) {
  QByteArray bytes(4, Qt::Uninitialized);
  qToBigEndian(length, bytes.data());
  return bytes;
}

}  // namespace

class ServerLockoutsTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void oneUsersIdleConnections();
  void churnBeforeSignIn();
  void frameFedAByteAtATime();
  void largeFramesTogether();
  void thousandIdleConnections();

 private:
  std::unique_ptr<TestServer> start(const QStringList& options);
};

void ServerLockoutsTest::initTestCase() {
  // The test holds over a thousand sockets.
  rlimit limit;
  QVERIFY(getrlimit(RLIMIT_NOFILE, &limit) == 0);
  limit.rlim_cur = limit.rlim_max;
  QVERIFY(setrlimit(RLIMIT_NOFILE, &limit) == 0);
}

std::unique_ptr<TestServer> ServerLockoutsTest::start(const QStringList& options) {
  auto server = std::make_unique<TestServer>(QString(), options);
  if (!server->running()) return nullptr;
  server->sql(QStringLiteral("insert into user_name(id, password, qx) values (?, ?, 0)"),
              {kAdmin, cheapHash(kPassword)});
  return server;
}

// An ordinary user signs in 64 times and leaves every connection idle: the account keeps only
// its newest few, and the server has room.
void ServerLockoutsTest::oneUsersIdleConnections() {
  const std::unique_ptr<TestServer> server = start({"--max-connections", "40"});
  QVERIFY(server);
  const QString person = addPersons(*server, 1).front();
  std::vector<std::unique_ptr<WireClient>> idle;
  for (int i = 0; i < 64; ++i) {
    idle.push_back(signedIn(*server, person, kPassword));
    QVERIFY(idle.back());
  }
  int open = 0;
  for (const auto& client : idle)
    if (!client->waitForClosed(0) &&
        client->open(provider(QStringLiteral("DataSetProvider_count"))).ok())
      ++open;
  QVERIFY2(open <= 4, qPrintable(QString::number(open)));
  QVERIFY(administratorGetsIn(*server));
}

// Eight machines open connections that never sign in, again and again as they are closed: an
// honest client signs in every time.
void ServerLockoutsTest::churnBeforeSignIn() {
  const std::unique_ptr<TestServer> server =
      start({"--max-connections", "60", "--max-unsigned", "24", "--signin-timeout", "2"});
  QVERIFY(server);
  std::vector<std::unique_ptr<WireClient>> churn;
  for (int round = 0; round < 10; ++round) {
    for (int machine = 0; machine < 8; ++machine)
      for (int i = 0; i < 5; ++i) {
        churn.push_back(std::make_unique<WireClient>());
        churn.back()->connectTo(server->host(), server->port(), true,
                                QStringLiteral("127.0.0.%1").arg(10 + machine));
      }
    QVERIFY2(administratorGetsIn(*server), qPrintable(QStringLiteral("round %1").arg(round)));
  }
}

// A signed-in connection sends a frame's bytes one at a time: it is closed once the frame has
// taken longer than the stall limit, however often a byte comes.
void ServerLockoutsTest::frameFedAByteAtATime() {
  const std::unique_ptr<TestServer> server = start({"--stall-timeout", "1"});
  QVERIFY(server);
  std::unique_ptr<WireClient> dripping = signedIn(*server, kAdmin, kPassword);
  QVERIFY(dripping);
  const QByteArray frame = header(200) + QByteArray(200, 'x');
  QElapsedTimer clock;
  clock.start();
  for (qsizetype i = 0; i < frame.size() && clock.elapsed() < 5000; ++i) {
    if (!dripping->sendRaw(frame.mid(i, 1))) break;
    if (dripping->waitForClosed(300)) break;
  }
  QVERIFY(dripping->waitForClosed(2000));
  QVERIFY2(clock.elapsed() < 3000, qPrintable(QString::number(clock.elapsed())));
  QTRY_VERIFY_WITH_TIMEOUT(server->log().contains(QStringLiteral("报文传送中断")), 3000);
}

// Thirty-two connections send a 15 MiB frame each at the same moment: the server holds no
// more than its flight budget of them at once, and answers them all.
void ServerLockoutsTest::largeFramesTogether() {
  const std::unique_ptr<TestServer> server = start({"--max-per-address", "100"});
  QVERIFY(server);
  const QString second = QStringLiteral("120000000000000000");
  server->sql(QStringLiteral("insert into user_name(id, password, qx) values (?, ?, 1)"),
              {second, cheapHash(kPassword)});
  // An open of the counter row, with fifteen values of 1 MiB beside it that it does not need.
  QByteArray body;
  {
    QCborStreamWriter w(&body);
    w.startMap(3);
    w.append(QLatin1StringView("op"));
    w.append(QLatin1StringView("open"));
    w.append(QLatin1StringView("provider"));
    w.append(QLatin1StringView("DataSetProvider_count"));
    w.append(QLatin1StringView("pad"));
    w.startArray(15);
    for (int i = 0; i < 15; ++i) w.append(QByteArray(1024 * 1024 - 16, 'p'));
    w.endArray();
    w.endMap();
  }
  const QByteArray frame = header(quint32(body.size())) + body;
  const qint64 baselineKb = server->status("VmRSS");
  QString failures[32];
  QList<QThread*> senders;
  for (int i = 0; i < 32; ++i) {
    senders << QThread::create([&, i] {
      std::unique_ptr<WireClient> client = signedIn(*server, i % 2 ? kAdmin : second, kPassword);
      if (!client || !client->sendRaw(frame)) {
        failures[i] = client ? client->error() : QStringLiteral("not signed in");
        return;
      }
      const std::optional<QCborMap> reply = client->readReply();
      if (!reply || protocol::replyError(*reply))
        failures[i] = reply ? *protocol::replyError(*reply) : client->error();
    });
    senders.back()->start();
  }
  for (QThread* sender : senders) {
    QVERIFY(sender->wait(60000));
    delete sender;
  }
  for (const QString& failure : failures) QVERIFY2(failure.isEmpty(), qPrintable(failure));
  const qint64 grownKb = server->peakMemoryKb() - baselineKb;
  // Thirty-two frames at once would take 960 MiB; the flight budget is 256 MiB.
  QVERIFY2(grownKb < 300 * 1024, qPrintable(QStringLiteral("%1 MiB").arg(grownKb / 1024)));
}

// A thousand signed-in connections sit idle: a new client signs in and reads at once, and the
// server runs on a few threads.
void ServerLockoutsTest::thousandIdleConnections() {
  const std::unique_ptr<TestServer> server = start({});
  QVERIFY(server);
  std::vector<std::unique_ptr<WireClient>> idle;
  for (const QString& person : addPersons(*server, 1000)) {
    idle.push_back(signedIn(*server, person, kPassword));
    QVERIFY(idle.back());
  }
  QVERIFY(administratorGetsIn(*server, 1000));
  const qint64 threads = server->status("Threads");
  QVERIFY2(threads > 0 && threads < 64, qPrintable(QString::number(threads)));
}

QTEST_GUILESS_MAIN(ServerLockoutsTest)
#include "tst_server_lockouts.moc"
