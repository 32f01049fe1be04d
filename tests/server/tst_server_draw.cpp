// History numbers: drawn above both the counter and every stored id_num, never twice, even for
// clients drawing and inserting at the same moment; a drawn number is the drawer's to save.
#include <QThread>
#include <QtTest>

#include "schema/queries.h"
#include "tests/server/requests.h"

using namespace requests;

namespace {

const QString kAdmin = QStringLiteral("110000000000000000");
constexpr int kClients = 2;
constexpr int kRowsPerClient = 25;

}  // namespace

class ServerDrawTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void drawPassesStoredNumbers();
  void drawOnlyForHistoryTables_data();
  void drawOnlyForHistoryTables();
  void concurrentClientsGetDistinctNumbers();
  void drawnNumberIsTheDrawers();

 private:
  std::unique_ptr<TestServer> server_;
  std::unique_ptr<WireClient> admin_;
};

void ServerDrawTest::initTestCase() {
  server_ = std::make_unique<TestServer>();
  QVERIFY2(server_->running(), qPrintable(server_->log()));
  QVERIFY(server_->addAccount(kAdmin, QStringLiteral("管理员"), 0, QStringLiteral("admin")));
  admin_ = signedIn(*server_, kAdmin, QStringLiteral("admin"));
  QVERIFY(admin_);
}

void ServerDrawTest::drawPassesStoredNumbers() {
  server_->sql(QStringLiteral("insert into grll(id_num, id) values (100, 'x')"));
  QCOMPARE(admin_->draw(QStringLiteral("grll")).value, std::optional<qint64>(101));
  server_->sql(QStringLiteral("update counter set grll = 200"));
  QCOMPARE(admin_->draw(QStringLiteral("grll")).value, std::optional<qint64>(201));
  QCOMPARE(server_->sql(QStringLiteral("select grll from counter")), (QList<QVariantList>{{201}}));

  // A number stored before numbers were checked cannot overflow the draw or stick in the
  // counter: the draw refuses, and once the row is gone numbers flow again.
  server_->sql(QStringLiteral("insert into grll(id_num, id) values (9223372036854775807, 'x')"));
  const Answer<qint64> exhausted = admin_->draw(QStringLiteral("grll"));
  QCOMPARE(exhausted.error, QStringLiteral("个人履历的序号已用尽，请联系管理员"));
  server_->sql(QStringLiteral("delete from grll where id_num=9223372036854775807"));
  QCOMPARE(admin_->draw(QStringLiteral("grll")).value, std::optional<qint64>(202));
}

void ServerDrawTest::drawOnlyForHistoryTables_data() {
  QTest::addColumn<QString>("table");
  for (const char* name : {"info", "counter", "user_name", "JZGJCKH", "nosuch", ""})
    QTest::newRow(name) << QString::fromLatin1(name);
}

void ServerDrawTest::drawOnlyForHistoryTables() {
  QFETCH(QString, table);
  const QList<QVariantList> counter = server_->sql(QStringLiteral("select * from counter"));
  const Answer<qint64> reply = admin_->draw(table);
  QVERIFY(!reply.ok());
  QVERIFY2(reply.error.contains(QStringLiteral("不是记录表")), qPrintable(reply.error));
  QCOMPARE(server_->sql(QStringLiteral("select * from counter")), counter);
}

void ServerDrawTest::concurrentClientsGetDistinctNumbers() {
  const schema::queries::HistoryQueries& q = schema::queries::history(u"jnpx");
  QList<qint64> drawn[kClients];
  QString failures[kClients];
  QList<QThread*> threads;
  for (int c = 0; c < kClients; ++c) {
    threads << QThread::create([&, c] {
      std::unique_ptr<WireClient> client = signedIn(*server_, kAdmin, QStringLiteral("admin"));
      if (!client) {
        failures[c] = QStringLiteral("sign-in failed");
        return;
      }
      const QString person = QStringLiteral("P%1").arg(c);
      const protocol::OpenRequest source =
          command(q.writeBack, {person}, QStringLiteral("DataSetProvider_search"));
      for (int i = 0; i < kRowsPerClient && failures[c].isEmpty(); ++i) {
        const Answer<qint64> number = client->draw(q.table);
        const Answer<protocol::ApplyReply> inserted =
            number.ok()
                ? client->apply(apply(source, {insert({{"id_num", *number}, {"id", person}})}))
                : Answer<protocol::ApplyReply>{std::nullopt, number.error};
        if (!inserted.ok())
          failures[c] = inserted.error;
        else
          drawn[c] << *number;
      }
    });
    threads.back()->start();
  }
  for (QThread* thread : threads) {
    QVERIFY(thread->wait(120000));
    delete thread;
  }
  for (const QString& failure : failures) QVERIFY2(failure.isEmpty(), qPrintable(failure));

  QList<qint64> all = drawn[0] + drawn[1];
  std::sort(all.begin(), all.end());
  QCOMPARE(all.size(), kClients * kRowsPerClient);
  QCOMPARE(std::adjacent_find(all.begin(), all.end()), all.end());
  QList<qint64> stored;
  for (const QVariantList& row :
       server_->sql(QStringLiteral("select id_num from jnpx order by id_num")))
    stored << row[0].toLongLong();
  QCOMPARE(stored, all);
  QCOMPARE(server_->sql(QStringLiteral("select jnpx from counter")).value(0).value(0).toLongLong(),
           all.last());
}

// An ordinary user watching the counter cannot take the number an administrator just drew: its
// insert is refused, the administrator's save goes through, and its own drawn number is its own.
void ServerDrawTest::drawnNumberIsTheDrawers() {
  const QString person = QStringLiteral("220000000000000002");
  QVERIFY(server_->addAccount(person, QStringLiteral("本人"), 2, QStringLiteral("p")));
  std::unique_ptr<WireClient> watcher = signedIn(*server_, person, QStringLiteral("p"));
  QVERIFY(watcher);
  const schema::queries::HistoryQueries& q = schema::queries::history(u"shgx");
  const protocol::OpenRequest own = command(q.writeBack, {person});

  const Answer<qint64> drawn = admin_->draw(q.table);
  QVERIFY2(drawn.ok(), qPrintable(drawn.error));
  const Answer<protocol::ApplyReply> stolen =
      watcher->apply(apply(own, {insert({{"id_num", *drawn}, {"id", person}})}));
  QVERIFY2(stolen.error.contains(QStringLiteral("已由其他用户取得")), qPrintable(stolen.error));
  QVERIFY(admin_->apply(apply(own, {insert({{"id_num", *drawn}, {"id", person}})})).ok());

  const Answer<qint64> mine = watcher->draw(q.table);
  QVERIFY2(mine.ok(), qPrintable(mine.error));
  QVERIFY(watcher->apply(apply(own, {insert({{"id_num", *mine}, {"id", person}})})).ok());
}

QTEST_GUILESS_MAIN(ServerDrawTest)
#include "tst_server_draw.moc"
