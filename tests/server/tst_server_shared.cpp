// Several servers on one PostgreSQL database: a client may use any of them, and what one server
// writes, issues or changes in the accounts, the others see and respect.
#include <QThread>
#include <QtTest>
#include <functional>
#include <thread>

#include "tests/server/requests.h"

using namespace requests;

namespace {

const QString kAdmin = QStringLiteral("110000000000000000");
const QString kPassword = QStringLiteral("admin");
constexpr int kServers = 2;
constexpr int kClientsPerServer = 2;
constexpr int kDraws = 25;
constexpr int kRaces = 8;
// How long a server may take to hear of another's account change: tries, and the wait between.
constexpr int kNoticeTries = 100;
constexpr int kNoticeWaitMs = 50;

// Runs `body(i)` for i in [0, count) on as many threads at once, and waits for them all.
void together(int count, const std::function<void(int)>& body) {
  std::vector<std::thread> threads;
  for (int i = 0; i < count; ++i) threads.emplace_back(body, i);
  for (std::thread& thread : threads) thread.join();
}

const protocol::OpenRequest kInfo = provider(QStringLiteral("DataSetProvider_info"));

protocol::OpenRequest nameOf(const QString& id) {
  return command(QStringLiteral("select id, name from info where id=?"), {id});
}

}  // namespace

class ServerSharedTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void writeThroughOneReadThroughTheOther_data();
  void writeThroughOneReadThroughTheOther();
  void drawsAreUniqueAcrossServers();
  void concurrentSavesOfOnePerson_data();
  void concurrentSavesOfOnePerson();
  void accountChangesReachEveryServer_data();
  void accountChangesReachEveryServer();

 private:
  testdb::PgDatabase db_;
  std::unique_ptr<TestServer> servers_[kServers];
  std::unique_ptr<WireClient> admins_[kServers];
};

void ServerSharedTest::initTestCase() {
  for (int s = 0; s < kServers; ++s) {
    servers_[s] = std::make_unique<TestServer>(db_.location());
    QVERIFY2(servers_[s]->running(), qPrintable(servers_[s]->log()));
  }
  QVERIFY(servers_[0]->addAccount(kAdmin, QStringLiteral("管理员"), 0, kPassword));
  for (int s = 0; s < kServers; ++s) {
    admins_[s] = signedIn(*servers_[s], kAdmin, kPassword);
    QVERIFY(admins_[s]);
  }
}

void ServerSharedTest::writeThroughOneReadThroughTheOther_data() {
  QTest::addColumn<int>("first");
  QTest::newRow("first server writes") << 0;
  QTest::newRow("second server writes") << 1;
}

// Insert through one, read and update through the other, read and delete through the first.
void ServerSharedTest::writeThroughOneReadThroughTheOther() {
  QFETCH(int, first);
  WireClient& one = *admins_[first];
  WireClient& other = *admins_[1 - first];
  const QString id = QStringLiteral("S%1").arg(first);
  QVERIFY(one.apply(apply(kInfo, {insert({{"id", id}, {"name", "甲"}})})).ok());

  const Answer<protocol::Packet> read = other.open(nameOf(id));
  QVERIFY2(read.ok(), qPrintable(read.error));
  QCOMPARE(read->rows, (QList<QVariantList>{{id, "甲"}}));
  const Answer<protocol::ApplyReply> updated =
      other.apply(apply(nameOf(id), {update(read->rids[0], row(*read, 0), {{"name", "乙"}})}));
  QVERIFY2(updated.ok(), qPrintable(updated.error));

  const Answer<protocol::Packet> again = one.open(nameOf(id));
  QVERIFY2(again.ok(), qPrintable(again.error));
  QCOMPARE(again->rows, (QList<QVariantList>{{id, "乙"}}));
  QVERIFY(one.apply(apply(nameOf(id), {remove(again->rids[0], row(*again, 0))})).ok());
  QCOMPARE(other.open(nameOf(id))->rows.size(), 0);
}

void ServerSharedTest::drawsAreUniqueAcrossServers() {
  constexpr int kClients = kServers * kClientsPerServer;
  QList<qint64> drawn[kClients];
  QString failures[kClients];
  together(kClients, [&](int c) {
    const std::unique_ptr<WireClient> client = signedIn(*servers_[c % kServers], kAdmin, kPassword);
    if (!client) {
      failures[c] = QStringLiteral("sign-in failed");
      return;
    }
    for (int i = 0; i < kDraws && failures[c].isEmpty(); ++i) {
      const Answer<qint64> number = client->draw(QStringLiteral("grll"));
      if (number.ok())
        drawn[c] << *number;
      else
        failures[c] = number.error;
    }
  });
  for (const QString& failure : failures) QVERIFY2(failure.isEmpty(), qPrintable(failure));
  QList<qint64> all;
  for (const QList<qint64>& numbers : drawn) all << numbers;
  std::sort(all.begin(), all.end());
  QCOMPARE(std::adjacent_find(all.begin(), all.end()), all.end());
  QCOMPARE(all.size(), kClients * kDraws);
  QCOMPARE(servers_[1]->sql(QStringLiteral("select grll from counter")),
           (QList<QVariantList>{{all.last()}}));
}

void ServerSharedTest::concurrentSavesOfOnePerson_data() {
  QTest::addColumn<bool>("update");
  QTest::addColumn<QString>("error");
  QTest::newRow("both add the person")
      << false << "基本信息表中已有身份证号 %1 的记录（可能刚被其他用户添加），请重新打开后再保存";
  QTest::newRow("both change the row read") << true << "记录已被其他用户修改，请重新打开后再保存";
}

// Two administrators on different servers save one person at the same moment: one save is
// written, the other refused with the reason, as when both use one server.
void ServerSharedTest::concurrentSavesOfOnePerson() {
  QFETCH(bool, update);
  QFETCH(QString, error);
  for (int race = 0; race < kRaces; ++race) {
    const QString id = QStringLiteral("R%1%2").arg(update).arg(race);
    std::optional<Answer<protocol::Packet>> read;
    if (update) {
      QVERIFY(admins_[0]->apply(apply(kInfo, {insert({{"id", id}, {"name", "甲"}})})).ok());
      read = admins_[0]->open(nameOf(id));
      QVERIFY(read->ok());
    }
    Answer<protocol::ApplyReply> replies[kServers];
    together(kServers, [&](int s) {
      const std::unique_ptr<WireClient> admin = signedIn(*servers_[s], kAdmin, kPassword);
      if (!admin) return;
      const QString name = QStringLiteral("名%1").arg(s);
      replies[s] = admin->apply(
          update ? apply(nameOf(id),
                         {requests::update((*read)->rids[0], row(**read, 0), {{"name", name}})})
                 : apply(kInfo, {insert({{"id", id}, {"name", name}})}));
    });
    const int written = int(replies[0].ok()) + int(replies[1].ok());
    QCOMPARE(written, 1);
    const int refused = replies[0].ok() ? 1 : 0;
    QCOMPARE(replies[refused].error, QString(error).replace(QStringLiteral("%1"), id));
    QCOMPARE(servers_[0]->sql(QStringLiteral("select name from info where id=?"), {id}),
             (QList<QVariantList>{{QStringLiteral("名%1").arg(1 - refused)}}));
  }
}

void ServerSharedTest::accountChangesReachEveryServer_data() {
  QTest::addColumn<bool>("deleted");
  QTest::newRow("identity number changed") << false;
  QTest::newRow("account deleted") << true;
}

// A person signed in on one server loses their account through the other: their next requests
// are refused once the other server has heard of the change (it is told at the commit).
void ServerSharedTest::accountChangesReachEveryServer() {
  QFETCH(bool, deleted);
  const QString id = QStringLiteral("220000000000000022");
  QVERIFY(servers_[0]->addAccount(id, QStringLiteral("丙"), 2, QStringLiteral("secret")));
  const std::unique_ptr<WireClient> person = signedIn(*servers_[1], id, QStringLiteral("secret"));
  QVERIFY(person);
  const protocol::OpenRequest own = provider(QStringLiteral("DataSetProvider_info"), id);
  QVERIFY2(person->open(own).ok(), qPrintable(person->error()));

  const Answer<protocol::Packet> account =
      admins_[0]->open(command(QStringLiteral("select id, qx from user_name where id=?"), {id}));
  QVERIFY(account.ok());
  const Answer<protocol::ApplyReply> changed = admins_[0]->apply(
      apply(command(QStringLiteral("select id, qx from user_name where id=?"), {id}),
            {deleted ? remove(account->rids[0], row(*account, 0))
                     : update(account->rids[0], row(*account, 0), {{"id", id + u'0'}})}));
  QVERIFY2(changed.ok(), qPrintable(changed.error));
  Answer<protocol::Packet> read = person->open(own);
  for (int tries = 0; read.ok() && tries < kNoticeTries; ++tries) {
    QThread::msleep(kNoticeWaitMs);
    read = person->open(own);
  }
  QCOMPARE(read.error, QStringLiteral("该账户已被删除或权限已失效，请重新登录"));
  QVERIFY(!signedIn(*servers_[1], id, QStringLiteral("secret")));
}

QTEST_GUILESS_MAIN(ServerSharedTest)
#include "tst_server_shared.moc"
