// The remote dataset against a real server: cursor rules the forms rely on, local changes and
// their apply, a refused apply keeping the changes, and values that look like SQL.
#include "shell/remote_dataset.h"

#include <QtTest>

#include "shell/connection.h"
#include "shell/remote_error.h"
#include "tests/support/test_server.h"

namespace {

const QString kAdmin = QStringLiteral("110101199001011234");

RemoteDataset* table(const QString& provider, QObject* parent) {
  auto* dataset = new RemoteDataset(provider, parent);
  dataset->open();
  return dataset;
}

}  // namespace

class RemoteDatasetTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    server_.addAccount(kAdmin, QStringLiteral("管理员"), 0, QStringLiteral("secret"));
    Connection::shared().open(ServerAddress{server_.host(), server_.port()});
    QCOMPARE(Connection::shared().signIn(kAdmin, QStringLiteral("secret")).outcome,
             protocol::SignInOutcome::SignedIn);
  }

  void cleanupTestCase() { Connection::shared().close(); }

  void emptyResultIsAtEndAndReadsNull() {
    RemoteDataset gzdd(QStringLiteral("DataSetProvider_gzdd"), this);
    gzdd.open();
    QVERIFY(gzdd.eof());
    QVERIFY(gzdd.field(u"year").isNull());
    QCOMPARE(gzdd.fieldText(u"year"), QString());
    QVERIFY_THROWS_EXCEPTION(RemoteError, gzdd.field(u"no_such_column"));
  }

  void nextPastTheLastRowKeepsItCurrent() {
    server_.sql(QStringLiteral("insert into rjxx(id, rjxk) values('a', '1'), ('b', '2')"));
    RemoteDataset rjxx(QStringLiteral("DataSetProvider_rjxx"), this);
    rjxx.open();
    QCOMPARE(rjxx.recordCount(), 2);
    rjxx.first();
    rjxx.next();
    QVERIFY(!rjxx.eof());
    rjxx.next();
    QVERIFY(rjxx.eof());
    QCOMPARE(rjxx.fieldText(u"rjxk"), QStringLiteral("2"));
    server_.sql(QStringLiteral("delete from rjxx"));
  }

  void appendEditDeleteRoundTrip() {
    std::unique_ptr<RemoteDataset> grjs(table(QStringLiteral("DataSetProvider_grjs"), nullptr));
    grjs->append();
    grjs->setField(u"id", QStringLiteral("p1"));
    grjs->setField(u"grjsdj", QStringLiteral("无"));
    grjs->post();
    QCOMPARE(grjs->pendingChanges(), 1);
    grjs->applyUpdates();
    QCOMPARE(grjs->pendingChanges(), 0);

    // The applied row can be edited again without reopening: it got its identity back.
    grjs->edit();
    grjs->setField(u"sj_gr", QStringLiteral("199901"));
    grjs->post();
    grjs->applyUpdates();
    QCOMPARE(server_.sql(QStringLiteral("select grjsdj, sj_gr from grjs where id='p1'")),
             (QList<QVariantList>{{QStringLiteral("无"), QStringLiteral("199901")}}));

    grjs->refresh();
    QCOMPARE(grjs->recordCount(), 1);
    grjs->remove();
    grjs->applyUpdates();
    QCOMPARE(server_.sql(QStringLiteral("select count(*) from grjs")).first().first().toInt(), 0);
  }

  void cancelAndDeleteOfANewRowSendNothing() {
    std::unique_ptr<RemoteDataset> zyjs(table(QStringLiteral("DataSetProvider_zyjs"), nullptr));
    zyjs->append();
    zyjs->setField(u"id", QStringLiteral("x"));
    zyjs->cancel();
    QCOMPARE(zyjs->recordCount(), 0);
    zyjs->append();
    zyjs->setField(u"id", QStringLiteral("y"));
    zyjs->post();
    zyjs->remove();
    QCOMPARE(zyjs->pendingChanges(), 0);
  }

  void refusedApplyKeepsTheChangesAndSaysWhy() {
    server_.sql(QStringLiteral("insert into xzzwqk(id, xzzw) values('p2', '无')"));
    std::unique_ptr<RemoteDataset> first(table(QStringLiteral("DataSetProvider_xzzwqk"), nullptr));
    std::unique_ptr<RemoteDataset> second(table(QStringLiteral("DataSetProvider_xzzwqk"), nullptr));
    first->edit();
    first->setField(u"xzzw", QStringLiteral("校长(园长)"));
    first->applyUpdates();
    second->edit();
    second->setField(u"xzzw", QStringLiteral("其他"));
    second->post();
    try {
      second->applyUpdates();
      QFAIL("an apply over a row changed since it was read went through");
    } catch (const RemoteError& e) {
      QVERIFY(!e.reason().isEmpty());
    }
    QCOMPARE(second->pendingChanges(), 1);
    QCOMPARE(server_.sql(QStringLiteral("select xzzw from xzzwqk where id='p2'")).first().first(),
             QVariant(QStringLiteral("校长(园长)")));
  }

  void anUpdateLeavesUntouchedColumnsAlone() {
    // Changing the reviewer must not touch the password, which reads as null.
    std::unique_ptr<RemoteDataset> user(table(QStringLiteral("DataSetProvider_user"), nullptr));
    QVERIFY(user->field(u"password").isNull());
    user->edit();
    user->setField(u"shr", kAdmin);
    user->applyUpdates();
    Connection other;
    other.open(ServerAddress{server_.host(), server_.port()});
    QCOMPARE(other.signIn(kAdmin, QStringLiteral("secret")).outcome,
             protocol::SignInOutcome::SignedIn);
  }

  void refusedOpenSaysWhyAndKeepsTheConnection() {
    RemoteDataset unknown(QStringLiteral("DataSetProvider_nothing"), this);
    try {
      unknown.open();
      QFAIL("an unknown provider opened");
    } catch (const RemoteError& e) {
      QCOMPARE(e.reason(), QStringLiteral("未知的数据提供者：DataSetProvider_nothing"));
    }
    QVERIFY(Connection::shared().connected());
  }

  void valuesThatLookLikeSqlStayValues() {
    const QString tricky = QStringLiteral("O'Brien -- '; delete from info; --");
    server_.sql(QStringLiteral("insert into shgx(id_num, id, name) values(1, ?, 'x')"), {tricky});
    RemoteDataset shgx(QStringLiteral("DataSetProvider_temp2"), this);
    shgx.setCommandText(QStringLiteral("select name as 姓名 from shgx where id=?"), {tricky});
    shgx.open();
    QCOMPARE(shgx.recordCount(), 1);
    QVERIFY(server_.sql(QStringLiteral("select count(*) from info")).first().first().toInt() > 0);
  }

 private:
  TestServer server_;
};

QTEST_MAIN(RemoteDatasetTest)
#include "remote_dataset_test.moc"
