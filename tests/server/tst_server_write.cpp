// Writing through the server: round trips through table providers and select texts, rows
// addressed by identity, stale rows refused with nothing written, bound values, hashed
// passwords.
#include <QtTest>
#include <thread>

#include "schema/queries.h"
#include "tests/server/requests.h"

using namespace requests;

namespace {

const QString kAdmin = QStringLiteral("110000000000000000");
const QString kPerson = QStringLiteral("330106198001011234");

qint64 count(TestServer& server, const QString& table) {
  return server.sql(QStringLiteral("select count(*) from \"%1\"").arg(table))
      .value(0)
      .value(0)
      .toLongLong();
}

}  // namespace

class ServerWriteTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void providerRoundTrip();
  void commandTextRoundTrip();
  void updateAddressesTheRowRead();
  void staleChangesWriteNothing_data();
  void staleChangesWriteNothing();
  void refusedApplies_data();
  void refusedApplies();
  void quotesAndCommentsStayValues();
  void oneApplySpansTables();
  void unknownChangeKindIsRefused();
  void passwordsAreStoredHashed();
  void concurrentWritersWaitTheirTurn();

 private:
  std::unique_ptr<TestServer> server_;
  std::unique_ptr<WireClient> admin_;
};

void ServerWriteTest::initTestCase() {
  server_ = std::make_unique<TestServer>();
  QVERIFY2(server_->running(), qPrintable(server_->log()));
  QVERIFY(server_->addAccount(kAdmin, QStringLiteral("管理员"), 0, QStringLiteral("admin")));
  admin_ = signedIn(*server_, kAdmin, QStringLiteral("admin"));
  QVERIFY(admin_);
  // History numbers up to 100 count as issued, so the tests may choose their own.
  server_->sql(QStringLiteral("update counter set jzgjckh=100, shgx=100"));
}

void ServerWriteTest::providerRoundTrip() {
  const protocol::OpenRequest wycd = provider(QStringLiteral("DataSetProvider_wycd"));
  const Answer<protocol::ApplyReply> inserted =
      admin_->apply(apply(wycd, {insert({{"id", kPerson}, {"zgxl", "大学本科毕业"}}),
                                 insert({{"id", "other"}, {"zgxl", "其他"}})}));
  QVERIFY2(inserted.ok(), qPrintable(inserted.error));
  QCOMPARE(inserted->insertedRids.size(), 2);

  Answer<protocol::Packet> read =
      admin_->open(provider(QStringLiteral("DataSetProvider_wycd"), kPerson));
  QVERIFY2(read.ok(), qPrintable(read.error));
  QCOMPARE(read->rids, QList<qint64>{inserted->insertedRids[0]});
  QCOMPARE(row(*read, 0).value("zgxl"), QVariant("大学本科毕业"));

  const Answer<protocol::ApplyReply> updated = admin_->apply(apply(
      wycd,
      {update(read->rids[0], row(*read, 0), {{"zgxl", "硕士研究生毕业"}, {"pthdj", "二级甲等"}})}));
  QVERIFY2(updated.ok(), qPrintable(updated.error));
  QCOMPARE(
      server_->sql(QStringLiteral("select zgxl, pthdj from wycd where rid=?"), {read->rids[0]}),
      (QList<QVariantList>{{"硕士研究生毕业", "二级甲等"}}));

  read = admin_->open(provider(QStringLiteral("DataSetProvider_wycd"), kPerson));
  const Answer<protocol::ApplyReply> deleted =
      admin_->apply(apply(wycd, {remove(read->rids[0], row(*read, 0))}));
  QVERIFY2(deleted.ok(), qPrintable(deleted.error));
  QCOMPARE(server_->sql(QStringLiteral("select id from wycd")), (QList<QVariantList>{{"other"}}));
}

void ServerWriteTest::commandTextRoundTrip() {
  const schema::queries::HistoryQueries& q = schema::queries::history(u"jzgjckh");
  const protocol::OpenRequest writeBack =
      command(q.writeBack, {kPerson}, QStringLiteral("DataSetProvider_temp1"));
  const Answer<protocol::ApplyReply> inserted = admin_->apply(apply(
      writeBack, {insert({{"id_num", 7}, {"id", kPerson}, {"ch", "优秀教师"}, {"sj", "201009"}})}));
  QVERIFY2(inserted.ok(), qPrintable(inserted.error));

  // The display text names its columns in Chinese; they still map to the stored columns.
  const protocol::OpenRequest display =
      command(q.display, {kPerson}, QStringLiteral("datasetprovider_temp4"));
  Answer<protocol::Packet> read = admin_->open(display);
  QVERIFY2(read.ok(), qPrintable(read.error));
  QCOMPARE(read->rids, inserted->insertedRids);
  QCOMPARE(row(*read, 0).value("称号"), QVariant("优秀教师"));
  QCOMPARE(row(*read, 0).value("序号"), QVariant(qint64(7)));

  const Answer<protocol::ApplyReply> updated =
      admin_->apply(apply(display, {update(read->rids[0], row(*read, 0), {{"称号", "骨干教师"}})}));
  QVERIFY2(updated.ok(), qPrintable(updated.error));
  QCOMPARE(server_->sql(QStringLiteral("select ch from jzgjckh where id_num=7")).value(0).value(0),
           QVariant("骨干教师"));

  read = admin_->open(writeBack);
  const Answer<protocol::ApplyReply> deleted =
      admin_->apply(apply(writeBack, {remove(read->rids[0], row(*read, 0))}));
  QVERIFY2(deleted.ok(), qPrintable(deleted.error));
  QCOMPARE(count(*server_, QStringLiteral("jzgjckh")), 0);
}

void ServerWriteTest::updateAddressesTheRowRead() {
  server_->sql(
      QStringLiteral("insert into other_info(id, tel) values ('D1', 'first'), ('D1 ', 'second')"));
  const protocol::OpenRequest source =
      provider(QStringLiteral("DataSetProvider_other_info"), QStringLiteral("D1"));
  const Answer<protocol::Packet> read = admin_->open(source);
  QVERIFY2(read.ok(), qPrintable(read.error));
  QCOMPARE(read->rows.size(), 2);
  QVariantMap second = row(*read, 1);
  QCOMPARE(second.value("tel"), QVariant("second"));

  const Answer<protocol::ApplyReply> updated =
      admin_->apply(apply(source, {update(read->rids[1], second, {{"tel", "changed"}})}));
  QVERIFY2(updated.ok(), qPrintable(updated.error));
  QCOMPARE(
      server_->sql(QStringLiteral("select tel from other_info where id like 'D1%' order by rid")),
      (QList<QVariantList>{{"first"}, {"changed"}}));
}

void ServerWriteTest::staleChangesWriteNothing_data() {
  QTest::addColumn<bool>("rowDeleted");  // else: changed by the other client
  QTest::addColumn<QString>("error");
  QTest::newRow("changed meanwhile") << false << "记录已被其他用户修改，请重新打开后再保存";
  QTest::newRow("deleted meanwhile") << true << "要修改的记录已不存在";
}

void ServerWriteTest::staleChangesWriteNothing() {
  QFETCH(bool, rowDeleted);
  QFETCH(QString, error);
  server_->sql(QStringLiteral("delete from rjxx"));
  server_->sql(QStringLiteral("insert into rjxx(id, kss) values ('S1', '10'), ('S2', '12')"));
  const protocol::OpenRequest source = provider(QStringLiteral("DataSetProvider_rjxx"));
  const Answer<protocol::Packet> mine = admin_->open(source);
  QVERIFY2(mine.ok(), qPrintable(mine.error));

  std::unique_ptr<WireClient> other = signedIn(*server_, kAdmin, QStringLiteral("admin"));
  QVERIFY(other);
  const Answer<protocol::Packet> theirs = other->open(source);
  const protocol::Change change = rowDeleted
                                      ? remove(theirs->rids[1], row(*theirs, 1))
                                      : update(theirs->rids[1], row(*theirs, 1), {{"kss", "30"}});
  QVERIFY(other->apply(apply(source, {change})).ok());
  const QList<QVariantList> before =
      server_->sql(QStringLiteral("select * from rjxx order by rid"));

  // One call: a good insert, a good update, then the stale row. None of it may stay.
  const Answer<protocol::ApplyReply> stale = admin_->apply(
      apply(source, {insert({{"id", "S3"}}), update(mine->rids[0], row(*mine, 0), {{"kss", "11"}}),
                     update(mine->rids[1], row(*mine, 1), {{"kss", "99"}})}));
  QVERIFY(!stale.ok());
  QCOMPARE(stale.error, error);
  QCOMPARE(server_->sql(QStringLiteral("select * from rjxx order by rid")), before);
}

void ServerWriteTest::refusedApplies_data() {
  QTest::addColumn<protocol::OpenRequest>("source");
  QTest::addColumn<QList<protocol::Change>>("changes");
  QTest::addColumn<QString>("error");
  const protocol::OpenRequest info = provider(QStringLiteral("DataSetProvider_info"));
  QTest::newRow("join") << command(schema::queries::kPersonList)
                        << QList<protocol::Change>{insert({{"姓名", "x"}})}
                        << "该查询涉及多个表，不能保存修改";
  QTest::newRow("unknown column") << info
                                  << QList<protocol::Change>{insert(
                                         {{"id", "U1"}, {"nosuch", "x"}})}
                                  << "列 nosuch 不能保存修改";
  QTest::newRow("row identity as a column")
      << info << QList<protocol::Change>{insert({{"id", "U1"}, {"rid", 5}})}
      << "列 rid 不能保存修改";
  QTest::newRow("computed column")
      << command(QStringLiteral("select id, upper(name) as u from info"))
      << QList<protocol::Change>{insert({{"id", "U1"}, {"u", "X"}})} << "列 u 不能保存修改";
  QTest::newRow("counter row deleted")
      << provider(QStringLiteral("DataSetProvider_count")) << QList<protocol::Change>{remove(1, {})}
      << "计数器只能由系统取号修改";
  QTest::newRow("counter row updated")
      << provider(QStringLiteral("DataSetProvider_count"))
      << QList<protocol::Change>{update(1, {}, {{"shgx", 5}})} << "计数器只能由系统取号修改";
  QTest::newRow("name longer than its column")
      << info << QList<protocol::Change>{insert({{"id", "U1"}, {"name", QString(67, u'名')}})}
      << "姓名超过 200 字节";
  QTest::newRow("a history row's content longer than its column")
      << command(schema::queries::history(u"jnpx").writeBack, {QStringLiteral("U1")})
      << QList<protocol::Change>{insert({{"id_num", 1}, {"id", "U1"}, {"nr", QString(4001, u'x')}})}
      << "内容超过 4000 字节";
  QTest::newRow("second row of a person")
      << info << QList<protocol::Change>{insert({{"id", kAdmin + u' '}})}
      << "基本信息表中已有身份证号 110000000000000000 的记录（可能刚被其他用户添加），"
         "请重新打开后再保存";
  const protocol::OpenRequest history =
      command(schema::queries::history(u"shgx").writeBack, {"U1"});
  QTest::newRow("duplicate id_num")
      << history
      << QList<protocol::Change>{insert({{"id_num", 1}, {"id", "U1"}}),
                                 insert({{"id_num", 1}, {"id", "U1"}})}
      << "保存失败：与已有记录重复（UNIQUE constraint failed: shgx.id_num）";
  for (const QVariant& number : {QVariant(Q_INT64_C(9223372036854775807)), QVariant(101),
                                 QVariant(0), QVariant("-5"), QVariant()})
    QTest::addRow("id_num %s not issued", qPrintable(number.toString()))
        << history << QList<protocol::Change>{insert({{"id_num", number}, {"id", "U1"}})}
        << "社会关系的序号必须是系统分配的号码";
}

void ServerWriteTest::refusedApplies() {
  QFETCH(protocol::OpenRequest, source);
  QFETCH(QList<protocol::Change>, changes);
  QFETCH(QString, error);
  const qint64 infoRows = count(*server_, QStringLiteral("info"));
  const qint64 shgxRows = count(*server_, QStringLiteral("shgx"));
  const Answer<protocol::ApplyReply> reply = admin_->apply(apply(source, changes));
  QVERIFY(!reply.ok());
  QCOMPARE(reply.error, error);
  QCOMPARE(count(*server_, QStringLiteral("info")), infoRows);
  QCOMPARE(count(*server_, QStringLiteral("shgx")), shgxRows);
  QCOMPARE(count(*server_, QStringLiteral("counter")), 1);
}

// One apply writes several tables of a person in one transaction: a refusal in the last part
// leaves the earlier parts unwritten.
void ServerWriteTest::oneApplySpansTables() {
  const QString id = QStringLiteral("440000000000000044");
  const protocol::OpenRequest info = provider(QStringLiteral("DataSetProvider_info"), id);
  const protocol::OpenRequest wycd = provider(QStringLiteral("DataSetProvider_wycd"), id);
  protocol::ApplyRequest request{{{info, {insert({{"id", id}, {"name", "甲"}})}},
                                  {wycd, {insert({{"id", id}, {"nosuch", "x"}})}}}};
  const Answer<protocol::ApplyReply> refused = admin_->apply(request);
  QCOMPARE(refused.error, QStringLiteral("列 nosuch 不能保存修改"));
  QCOMPARE(server_->sql(QStringLiteral("select count(*) from info where id=?"), {id}).value(0),
           QVariantList{0});

  request.parts[1].changes = {insert({{"id", id}, {"zgxl", "博士"}})};
  const Answer<protocol::ApplyReply> written = admin_->apply(request);
  QVERIFY2(written.ok(), qPrintable(written.error));
  QCOMPARE(written->insertedRids.size(), 2);
  QCOMPARE(server_->sql(QStringLiteral("select info.name, wycd.zgxl from info join wycd using(id)"
                                       " where id=?"),
                        {id}),
           (QList<QVariantList>{{"甲", "博士"}}));
}

void ServerWriteTest::unknownChangeKindIsRefused() {
  QCborMap part = provider(QStringLiteral("DataSetProvider_info")).toCbor();
  part.remove(QStringLiteral("op"));
  part[QStringLiteral("changes")] = QCborArray{QCborMap{{"kind", "DELETE"}, {"rid", 1}}};
  const qint64 rows = count(*server_, QStringLiteral("info"));
  const std::optional<QCborMap> reply =
      admin_->call(QCborMap{{"op", "apply"}, {"parts", QCborArray{part}}});
  QVERIFY(reply);
  QCOMPARE(protocol::replyError(*reply), std::optional<QString>(QStringLiteral("未知的修改类型")));
  QCOMPARE(count(*server_, QStringLiteral("info")), rows);
}

void ServerWriteTest::quotesAndCommentsStayValues() {
  const QString tricky = QStringLiteral("O'Brien'); drop table info; -- \"x\" /*");
  const protocol::OpenRequest source = provider(QStringLiteral("DataSetProvider_info"));
  const Answer<protocol::ApplyReply> inserted =
      admin_->apply(apply(source, {insert({{"id", tricky}, {"name", tricky}})}));
  QVERIFY2(inserted.ok(), qPrintable(inserted.error));
  const Answer<protocol::Packet> read =
      admin_->select(QStringLiteral("select id, name from info where name=?"), {tricky});
  QVERIFY2(read.ok(), qPrintable(read.error));
  QCOMPARE(read->rows, (QList<QVariantList>{{tricky, tricky}}));
  const Answer<protocol::ApplyReply> updated =
      admin_->apply(apply(source, {update(read->rids[0], {{"name", tricky}}, {{"mz", tricky}})}));
  QVERIFY2(updated.ok(), qPrintable(updated.error));
  QCOMPARE(
      server_->sql(QStringLiteral("select mz from info where id=?"), {tricky}).value(0).value(0),
      QVariant(tricky));
}

void ServerWriteTest::passwordsAreStoredHashed() {
  const protocol::OpenRequest accounts = provider(QStringLiteral("DataSetProvider_user"));
  const Answer<protocol::ApplyReply> inserted =
      admin_->apply(apply(accounts, {insert({{"id", "P1"}, {"password", " first "}, {"qx", 2}})}));
  QVERIFY2(inserted.ok(), qPrintable(inserted.error));
  const QString stored =
      server_->sql(QStringLiteral("select password from user_name where id='P1'"))
          .value(0)
          .value(0)
          .toString();
  QVERIFY2(stored.startsWith(QStringLiteral("$argon2id$")), qPrintable(stored));
  QVERIFY(signedIn(*server_, QStringLiteral("P1"), QStringLiteral("first")));

  // Through a select text, with the (null) password as read in the original row.
  const protocol::OpenRequest text =
      command(QStringLiteral("select id, password, qx from user_name where id=?"), {"P1"});
  const Answer<protocol::Packet> read = admin_->open(text);
  QVERIFY2(read.ok(), qPrintable(read.error));
  QVERIFY(row(*read, 0).value("password").isNull());
  const Answer<protocol::ApplyReply> changed =
      admin_->apply(apply(text, {update(read->rids[0], row(*read, 0), {{"password", "second"}})}));
  QVERIFY2(changed.ok(), qPrintable(changed.error));
  const QString rehashed =
      server_->sql(QStringLiteral("select password from user_name where id='P1'"))
          .value(0)
          .value(0)
          .toString();
  QVERIFY(rehashed.startsWith(QStringLiteral("$argon2id$")) && rehashed != stored);
  QVERIFY(!signedIn(*server_, QStringLiteral("P1"), QStringLiteral("first")));
  QVERIFY(signedIn(*server_, QStringLiteral("P1"), QStringLiteral("second")));
}

// Twenty administrators saving at once, each save a draw and a few hundred rows: every one of
// them waits its turn and succeeds, none is told the database is busy.
void ServerWriteTest::concurrentWritersWaitTheirTurn() {
  constexpr int kWriters = 20;
  constexpr int kSaves = 8;
  constexpr int kRows = 300;
  QMutex mutex;
  QStringList failures;
  std::vector<std::thread> writers;
  const quint16 port = server_->port();
  for (int w = 0; w < kWriters; ++w)
    writers.emplace_back([&, w] {
      auto fail = [&](const QString& why) {
        QMutexLocker lock(&mutex);
        failures << QStringLiteral("writer %1: %2").arg(w).arg(why);
      };
      WireClient client;
      if (!client.connectTo(QStringLiteral("127.0.0.1"), port) ||
          !client.signIn(kAdmin, QStringLiteral("admin")).ok())
        return fail(client.error());
      for (int save = 0; save < kSaves; ++save) {
        const Answer<qint64> number = client.draw(QStringLiteral("shgx"));
        if (!number.ok()) return fail(number.error);
        QList<protocol::Change> rows;
        for (int r = 0; r < kRows; ++r)
          rows << insert({{"id", QStringLiteral("W%1-%2-%3").arg(w).arg(save).arg(r)}});
        const Answer<protocol::ApplyReply> applied =
            client.apply({{{provider(QStringLiteral("DataSetProvider_gzdd")), rows},
                           {command(QStringLiteral("select id_num, id from shgx where id=?"),
                                    {QStringLiteral("W")}, QStringLiteral("DataSetProvider_temp1")),
                            {insert({{"id_num", *number}, {"id", "W"}})}}}});
        if (!applied.ok()) return fail(applied.error);
      }
    });
  for (std::thread& writer : writers) writer.join();
  QVERIFY2(failures.isEmpty(), qPrintable(failures.join(u'\n')));
  QCOMPARE(server_->sql(QStringLiteral("select count(*) from gzdd where id like 'W%'"))
               .value(0)
               .value(0)
               .toLongLong(),
           qint64(kWriters * kSaves * kRows));
  QVERIFY(!server_->log().contains(QStringLiteral("数据库正忙")));
}

QTEST_GUILESS_MAIN(ServerWriteTest)
#include "tst_server_write.moc"
