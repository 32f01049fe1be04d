// staffinfo-server copy: an SQLite file into PostgreSQL and back, every row and value kept,
// row identities and password hashes included; a target that already holds rows is refused.
#include <QProcess>
#include <QtTest>

#include "schema/tables.h"
#include "tests/server/requests.h"

namespace {

constexpr int kPersons = 20;
const QString kDemoAdmin = QStringLiteral("110101197001010011");
const QString kDemoPassword = QStringLiteral("admin123");

// Texts that a careless copy would change: tabs, line ends, backslashes, edge blanks, quotes.
const QStringList kAwkwardNames = {
    QStringLiteral("  甲\t乙\n丙\r\n"), QStringLiteral("back\\slash \\N \\t"),
    QStringLiteral("\x01 ctrl \x1f"), QStringLiteral("O'Brien \"x\" ；"), QString()};

struct Run {
  int exitCode = -1;
  QString output;
};

Run server(const QStringList& arguments) {
  QProcess tool;
  tool.setProcessChannelMode(QProcess::MergedChannels);
  tool.start(TestServer::binary(), arguments);
  if (!tool.waitForFinished(120000)) return {};
  return {tool.exitCode(), QString::fromUtf8(tool.readAll())};
}

Run copy(const QString& from, const QString& to) {
  return server(
      {QStringLiteral("copy"), QStringLiteral("--from"), from, QStringLiteral("--to"), to});
}

// Every stored row of `table`, identity first, in identity order.
QList<QVariantList> rowsOf(const QString& location, const schema::Table& table) {
  QStringList columns{QStringLiteral("rid")};
  for (const QString& name : table.columnNames()) columns << u'"' + name + u'"';
  return testdb::sql(
      location,
      QStringLiteral("select %1 from \"%2\" order by rid").arg(columns.join(u','), table.name));
}

// The names of the indexes of the database at `location`.
QStringList indexesOf(const QString& location, bool postgres) {
  QStringList names;
  for (const QVariantList& row :
       testdb::sql(location, postgres ? QStringLiteral("select indexname from pg_indexes where "
                                                       "schemaname = current_schema()")
                                      : QStringLiteral("select name from sqlite_master where "
                                                       "type = 'index' and sql is not null")))
    names << row.value(0).toString();
  return names;
}

}  // namespace

class ServerCopyTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void everyRowCopiedBothWays_data();
  void everyRowCopiedBothWays();
  void copiesServeAndGoOn_data();
  void copiesServeAndGoOn();
  void refusals_data();
  void refusals();

 private:
  QString location(const QString& name) const;

  QTemporaryDir dir_;
  testdb::PgDatabase pg_;
  QString source_;
  QString back_;
  qint64 lastIssued_ = 0;
};

QString ServerCopyTest::location(const QString& name) const {
  return name == u"postgres" ? pg_.location() : dir_.filePath(name);
}

void ServerCopyTest::initTestCase() {
  source_ = dir_.filePath(QStringLiteral("school.db"));
  back_ = dir_.filePath(QStringLiteral("back.db"));
  const Run seeded = server(
      {QStringLiteral("seed-demo"), QStringLiteral("--db"), source_, QString::number(kPersons)});
  QVERIFY2(seeded.exitCode == 0, qPrintable(seeded.output));
  for (const QString& name : kAwkwardNames)
    testdb::sql(source_, QStringLiteral("insert into info(id, name) values (?, ?)"),
                {QStringLiteral("A%1").arg(kAwkwardNames.indexOf(name)),
                 name.isNull() ? QVariant() : QVariant(name)});
  // A gap in the identities: copies keep them, they do not renumber. The last identity issued
  // belongs to a row deleted since: the copies never issue it again.
  testdb::sql(source_, QStringLiteral("delete from info where id='A1'"));
  testdb::sql(source_, QStringLiteral("insert into info(id) values ('Z')"));
  lastIssued_ = testdb::sql(source_, QStringLiteral("select max(rid) from info"))
                    .value(0)
                    .value(0)
                    .toLongLong();
  testdb::sql(source_, QStringLiteral("delete from info where id='Z'"));

  const Run there = copy(source_, pg_.location());
  QVERIFY2(there.exitCode == 0, qPrintable(there.output));
  QVERIFY2(there.output.contains(QStringLiteral("info: %1").arg(kPersons + 2 + 4)),
           qPrintable(there.output));
  const Run back = copy(pg_.location(), back_);
  QVERIFY2(back.exitCode == 0, qPrintable(back.output));
  // A copy loads its tables without their indexes and makes every one again.
  const QStringList indexes = indexesOf(source_, false);
  QVERIFY(!indexes.isEmpty());
  QCOMPARE(indexesOf(back_, false), indexes);
  for (const QString& index : indexes)
    QVERIFY2(indexesOf(pg_.location(), true).contains(index), qPrintable(index));
}

void ServerCopyTest::everyRowCopiedBothWays_data() {
  QTest::addColumn<QString>("table");
  for (const schema::Table& t : schema::tables()) QTest::newRow(qPrintable(t.name)) << t.name;
}

void ServerCopyTest::everyRowCopiedBothWays() {
  QFETCH(QString, table);
  const QList<QVariantList> rows = rowsOf(source_, *schema::table(table));
  QVERIFY(!rows.isEmpty());
  QCOMPARE(rowsOf(pg_.location(), *schema::table(table)), rows);
  QCOMPARE(rowsOf(back_, *schema::table(table)), rows);
}

void ServerCopyTest::copiesServeAndGoOn_data() {
  QTest::addColumn<QString>("copy");
  QTest::newRow("PostgreSQL") << "postgres";
  QTest::newRow("SQLite") << "back.db";
}

// A server on a copy signs in with the copied hashes, finds the awkward texts by their exact
// values, and gives new rows identities above every one the source issued.
void ServerCopyTest::copiesServeAndGoOn() {
  QFETCH(QString, copy);
  TestServer server(location(copy));
  QVERIFY2(server.running(), qPrintable(server.log()));
  const std::unique_ptr<WireClient> admin = requests::signedIn(server, kDemoAdmin, kDemoPassword);
  QVERIFY(admin);
  for (const QString& name : kAwkwardNames) {
    if (name.isNull()) continue;
    const Answer<protocol::Packet> found =
        admin->select(QStringLiteral("select id from info where name=?"), {name});
    QVERIFY2(found.ok(), qPrintable(found.error));
    QCOMPARE(found->rows.size(), name == kAwkwardNames[1] ? 0 : 1);
  }
  const Answer<protocol::ApplyReply> added =
      admin->apply(requests::apply(requests::provider(QStringLiteral("DataSetProvider_info")),
                                   {requests::insert({{"id", QStringLiteral("N-%1").arg(copy)}})}));
  QVERIFY2(added.ok(), qPrintable(added.error));
  QVERIFY(added->insertedRids.value(0) > lastIssued_);
}

void ServerCopyTest::refusals_data() {
  QTest::addColumn<QString>("from");
  QTest::addColumn<QString>("to");
  QTest::addColumn<QString>("error");
  const QString filled = QStringLiteral("目标数据库已有数据");
  QTest::newRow("into a filled PostgreSQL") << "school.db"
                                            << "postgres" << filled;
  QTest::newRow("into a filled SQLite file") << "postgres"
                                             << "back.db" << filled;
  QTest::newRow("from a missing file") << "missing.db"
                                       << "fresh.db" << QStringLiteral("数据库文件不存在");
}

void ServerCopyTest::refusals() {
  QFETCH(QString, from);
  QFETCH(QString, to);
  QFETCH(QString, error);
  const QString target = location(to);
  const bool existed = to == u"postgres" || QFileInfo::exists(target);
  const QString count = QStringLiteral("select count(*) from info");
  const QList<QVariantList> before = existed ? testdb::sql(target, count) : QList<QVariantList>();
  const Run refused = copy(location(from), target);
  QVERIFY(refused.exitCode != 0);
  QVERIFY2(refused.output.contains(error), qPrintable(refused.output));
  if (existed) QCOMPARE(testdb::sql(target, count), before);
}

QTEST_GUILESS_MAIN(ServerCopyTest)
#include "tst_server_copy.moc"
