// Reading through the server: table providers, person keys, select texts through the gate,
// column naming, row identities, and password hashes that never leave the server.
#include <QDir>
#include <QtTest>

#include "schema/queries.h"
#include "schema/tables.h"
#include "tests/server/requests.h"

using namespace requests;

namespace {

const QString kAdmin = QStringLiteral("110000000000000000");

QString providerOf(const schema::Table& table) {
  if (table.name == schema::kAccounts) return QStringLiteral("DataSetProvider_user");
  if (table.name == schema::kCounter) return QStringLiteral("DataSetProvider_count");
  return QStringLiteral("DataSetProvider_") + table.name;
}

QVariantList column(const QList<QVariantList>& rows, int index = 0) {
  QVariantList values;
  for (const QVariantList& row : rows) values << row.value(index);
  return values;
}

QList<qint64> rids(const QList<QVariantList>& rows) {
  QList<qint64> out;
  for (const QVariantList& row : rows) out << row.value(0).toLongLong();
  return out;
}

}  // namespace

class ServerReadTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void providersServeWholeTables_data();
  void providersServeWholeTables();
  void unknownProvidersAreRefused_data();
  void unknownProvidersAreRefused();
  void personKeyMatchesTrimmedIds_data();
  void personKeyMatchesTrimmedIds();
  void repeatedTitlesAreNumbered_data();
  void repeatedTitlesAreNumbered();
  void rowIdentitiesOnlyForOneTable_data();
  void rowIdentitiesOnlyForOneTable();
  void distinctRowsAreTheEngines_data();
  void distinctRowsAreTheEngines();
  void passwordHashesNeverLeave_data();
  void passwordHashesNeverLeave();
  void onlyOneSelectRuns_data();
  void onlyOneSelectRuns();
  void valuesAreBoundNotSpliced_data();
  void valuesAreBoundNotSpliced();
  void onlyNamedFunctionsAndTables_data();
  void onlyNamedFunctionsAndTables();
  void personLinesMatchTrimmedIds_data();
  void personLinesMatchTrimmedIds();

 private:
  QString snapshot();

  std::unique_ptr<TestServer> server_;
  std::unique_ptr<WireClient> admin_;
};

void ServerReadTest::initTestCase() {
  server_ = std::make_unique<TestServer>();
  QVERIFY2(server_->running(), qPrintable(server_->log()));
  QVERIFY(server_->addAccount(kAdmin, QStringLiteral("管理员"), 0, QStringLiteral("admin")));
  for (const schema::Table* t : schema::oneRowTables())
    for (const char* id : {"R1", "R2"})
      server_->sql(QStringLiteral("insert into \"%1\"(id) values (?)").arg(t->name), {id});
  server_->sql(QStringLiteral("update info set name='张三', mz='汉族' where id='R1'"));
  server_->sql(QStringLiteral("update xzzwqk set rzny='200101' where id='R1'"));
  server_->sql(QStringLiteral("update dnzwqk set rzny_dn='200202' where id='R1'"));
  admin_ = signedIn(*server_, kAdmin, QStringLiteral("admin"));
  QVERIFY(admin_);
}

void ServerReadTest::providersServeWholeTables_data() {
  QTest::addColumn<QString>("table");
  for (const schema::Table& t : schema::tables())
    if (!t.isHistory()) QTest::newRow(qPrintable(providerOf(t))) << t.name;
}

void ServerReadTest::providersServeWholeTables() {
  QFETCH(QString, table);
  const schema::Table& t = *schema::table(table);
  const Answer<protocol::Packet> packet = admin_->open(provider(providerOf(t)));
  QVERIFY2(packet.ok(), qPrintable(packet.error));
  QCOMPARE(packet->columns, t.columnNames());
  const QList<QVariantList> stored = server_->sql(
      QStringLiteral("select rid, \"%1\" from \"%2\" order by rid").arg(t.columns[0].name, t.name));
  QVERIFY(!stored.isEmpty());
  QCOMPARE(packet->rids, rids(stored));
  QVariantList firstColumn;
  for (const QVariantList& row : packet->rows) firstColumn << row.value(0);
  QCOMPARE(firstColumn, column(stored, 1));
}

void ServerReadTest::unknownProvidersAreRefused_data() {
  QTest::addColumn<QString>("name");
  for (const char* name :
       {"DataSetProvider_INFO", "dataSetProvider_info", "DataSetProvider_jzgjckh",
        "DataSetProvider_counter", "DataSetProvider_user_name", "DataSetProvider_Search",
        "DataSetProvider_temp4", "nonsense", ""})
    QTest::newRow(name) << QString::fromLatin1(name);
}

void ServerReadTest::unknownProvidersAreRefused() {
  QFETCH(QString, name);
  protocol::OpenRequest request = provider(name);
  request.text = QStringLiteral("select 1");
  const Answer<protocol::Packet> packet = admin_->open(request);
  QVERIFY(!packet.ok());
  QCOMPARE(packet.error, QStringLiteral("未知的数据提供者：%1").arg(name));
}

void ServerReadTest::personKeyMatchesTrimmedIds_data() {
  const QStringList stored = {"K1", " K1", "K10",       "K1  ", "K",  "K1\t",
                              "k1", "K1x", "\tK1 \r\n", "K1 x", "!K1"};
  for (const QString& id : stored)
    server_->sql(QStringLiteral("insert into gwxx(id) values (?)"), {id});
  server_->sql(QStringLiteral("insert into gwxx(id) values (null)"));

  QTest::addColumn<QString>("key");
  QTest::addColumn<QStringList>("expected");
  const QStringList k1 = {"K1", " K1", "K1  ", "K1\t", "\tK1 \r\n"};
  QTest::newRow("exact and blank-padded") << "K1" << k1;
  QTest::newRow("key itself trimmed") << " K1\t" << k1;
  QTest::newRow("shorter key") << "K" << QStringList{"K"};
  QTest::newRow("case counts") << "k1" << QStringList{"k1"};
  QTest::newRow("inner blank") << "K1 x" << QStringList{"K1 x"};
  QTest::newRow("no match") << "K2" << QStringList{};
}

void ServerReadTest::personKeyMatchesTrimmedIds() {
  QFETCH(QString, key);
  QFETCH(QStringList, expected);
  const Answer<protocol::Packet> packet =
      admin_->open(provider(QStringLiteral("DataSetProvider_gwxx"), key));
  QVERIFY2(packet.ok(), qPrintable(packet.error));
  QStringList ids;
  for (const QVariantList& row : packet->rows) ids << row.value(0).toString();
  QCOMPARE(ids, expected);
  QList<qint64> wanted;
  for (const QString& id : expected)
    wanted << server_->sql(QStringLiteral("select rid from gwxx where id=?"), {id})
                  .value(0)
                  .value(0)
                  .toLongLong();
  QCOMPARE(packet->rids, wanted);
}

void ServerReadTest::repeatedTitlesAreNumbered_data() {
  QTest::addColumn<QString>("text");
  QTest::addColumn<QStringList>("columns");
  QTest::newRow("aliases over a join")
      << "select xzzwqk.rzny as 任职年月,dnzwqk.rzny_dn as 任职年月,info.name as 姓名,"
         "info.mz as 姓名 from info,xzzwqk,dnzwqk where info.id=xzzwqk.id and info.id=dnzwqk.id"
      << QStringList{"任职年月", "任职年月_1", "姓名", "姓名_1"};
  QTest::newRow("three times") << "select id as a, name as a, mz as a from info"
                               << QStringList{"a", "a_1", "a_2"};
  QTest::newRow("suffix already taken")
      << "select id as x, name as x_1, mz as x from info" << QStringList{"x", "x_1", "x_2"};
}

void ServerReadTest::repeatedTitlesAreNumbered() {
  QFETCH(QString, text);
  QFETCH(QStringList, columns);
  const Answer<protocol::Packet> packet = admin_->select(text);
  QVERIFY2(packet.ok(), qPrintable(packet.error));
  QCOMPARE(packet->columns, columns);
  QVERIFY(!packet->rows.isEmpty());
}

void ServerReadTest::rowIdentitiesOnlyForOneTable_data() {
  QTest::addColumn<QString>("text");
  QTest::addColumn<bool>("identified");
  QTest::newRow("select *") << "select * from info" << true;
  QTest::newRow("distinct, upper case") << "SELECT DISTINCT id, name FROM info" << false;
  QTest::newRow("rid asked for") << "select rid, id from info" << true;
  QTest::newRow("join") << schema::queries::kPersonList << false;
  QTest::newRow("group by") << "select id, max(name) as n from info group by id" << false;
  QTest::newRow("aggregate") << "select count(*) as n from info" << false;
  QTest::newRow("table alias") << "select i.id from info i" << false;
  QTest::newRow("common table") << "with x as (select id from info) select id from x" << false;
  QTest::newRow("no table") << "select 1 as one" << false;
}

void ServerReadTest::rowIdentitiesOnlyForOneTable() {
  QFETCH(QString, text);
  QFETCH(bool, identified);
  const Answer<protocol::Packet> packet = admin_->select(text);
  QVERIFY2(packet.ok(), qPrintable(packet.error));
  QVERIFY(!packet->columns.contains(QStringLiteral("rid")));
  QVERIFY(!packet->rows.isEmpty());
  if (!identified) {
    QVERIFY(packet->rids.isEmpty());
    return;
  }
  const QList<QVariantList> stored = server_->sql(QStringLiteral("select rid, id from info"));
  QHash<qint64, QVariant> idOf;
  for (const QVariantList& row : stored) idOf.insert(row[0].toLongLong(), row[1]);
  QCOMPARE(packet->rids.size(), packet->rows.size());
  const qsizetype idColumn = packet->columns.indexOf(QStringLiteral("id"));
  for (int i = 0; i < packet->rows.size(); ++i)
    QCOMPARE(packet->rows[i][idColumn], idOf.value(packet->rids[i]));
}

// Rows as sorted lines, so that two results compare as sets of rows with their repeats.
QStringList lines(const QList<QVariantList>& rows) {
  QStringList out;
  for (const QVariantList& row : rows) {
    QStringList values;
    for (const QVariant& v : row) values << (v.isNull() ? QStringLiteral("<null>") : v.toString());
    out << values.join(u'|');
  }
  out.sort();
  return out;
}

void ServerReadTest::distinctRowsAreTheEngines_data() {
  // Two stored rows that differ only by identity, and null numbers that repeat.
  const char* const rows[][3] = {{"1", "D1", "x"},     {"2", "D1", "x"},     {nullptr, "D1", "x"},
                                 {nullptr, "D1", "x"}, {nullptr, "D2", "x"}, {"3", "D2", "y"}};
  for (const auto& [number, id, nr] : rows)
    server_->sql(QStringLiteral("insert into jnpx(id_num, id, nr) values (?, ?, ?)"),
                 {number ? QVariant(QString::fromLatin1(number)) : QVariant(),
                  QString::fromLatin1(id), QString::fromLatin1(nr)});

  QTest::addColumn<QString>("text");
  QTest::addColumn<QVariantList>("params");
  QTest::addColumn<bool>("identified");
  QTest::newRow("repeats without the unique column")
      << "select distinct id, nr from jnpx" << QVariantList{} << false;
  QTest::newRow("one column") << "select distinct nr from jnpx" << QVariantList{} << false;
  QTest::newRow("with the unique column, null numbers repeat")
      << "select distinct id_num, id, nr from jnpx" << QVariantList{} << true;
  QTest::newRow("a record page's history read")
      << schema::queries::history(u"jnpx").writeBack << QVariantList{"D1"} << true;
  QTest::newRow("an expression over the unique column")
      << "select distinct coalesce(id_num, 0) as n, id from jnpx" << QVariantList{} << false;
  // 1,500 rows, each stored twice: more than PostgreSQL reads in a first step.
  server_->sql(QStringLiteral(
      "with recursive n(k) as (select 1 union all select k + 1 from n where k < 3000)"
      " insert into shgx(id, name) select 'S' || (k % 1500), 'n' || (k % 1500) from n"));
  QTest::newRow("more rows than a first step")
      << "select distinct shgx.id, shgx.name, info.name from shgx left join info on"
         " info.id = shgx.id"
      << QVariantList{} << false;
}

void ServerReadTest::distinctRowsAreTheEngines() {
  QFETCH(QString, text);
  QFETCH(QVariantList, params);
  QFETCH(bool, identified);
  const Answer<protocol::Packet> packet = admin_->select(text, params);
  QVERIFY2(packet.ok(), qPrintable(packet.error));
  QCOMPARE(lines(packet->rows), lines(server_->sql(text, params)));
  QCOMPARE(!packet->rids.isEmpty(), identified);
  if (!identified) return;
  // Each identity names a stored row holding the values delivered for it.
  const qsizetype idColumn = packet->columns.indexOf(QStringLiteral("id"));
  for (int i = 0; i < packet->rows.size(); ++i)
    QCOMPARE(server_->sql(QStringLiteral("select id from jnpx where rid=?"), {packet->rids[i]})
                 .value(0)
                 .value(0),
             packet->rows[i][idColumn]);
}

void ServerReadTest::passwordHashesNeverLeave_data() {
  QTest::addColumn<QString>("text");  // empty: the provider's own query
  QTest::addColumn<int>("rows");      // -1: any number
  QTest::newRow("provider") << QString() << -1;
  QTest::newRow("column") << "select password from user_name" << -1;
  QTest::newRow("star") << "select * from user_name" << -1;
  QTest::newRow("aliased") << "select id, password as p from user_name" << -1;
  QTest::newRow("expression") << "select substr(password, 1, 9) as p from user_name" << -1;
  QTest::newRow("subquery") << "select (select password from user_name) as p" << -1;
  QTest::newRow("aggregate") << (testdb::onPostgres()
                                     ? "select string_agg(password, ',') as p from user_name"
                                     : "select group_concat(password) as p from user_name")
                             << -1;
  QTest::newRow("common table") << "with w as (select password from user_name) select * from w"
                                << -1;
  QTest::newRow("probe by like") << "select id from user_name where password like '$argon2%'" << 0;
  QTest::newRow("probe by null") << "select id from user_name where password is not null" << 0;
}

void ServerReadTest::passwordHashesNeverLeave() {
  QFETCH(QString, text);
  QFETCH(int, rows);
  const Answer<protocol::Packet> packet =
      text.isEmpty() ? admin_->open(provider(QStringLiteral("DataSetProvider_user")))
                     : admin_->select(text);
  QVERIFY2(packet.ok(), qPrintable(packet.error));
  if (rows >= 0) QCOMPARE(packet->rows.size(), rows);
  for (const QVariantList& row : packet->rows)
    for (int c = 0; c < row.size(); ++c) {
      QVERIFY(!row[c].toString().contains(QStringLiteral("$argon2")));
      if (packet->columns[c] == u"password" || packet->columns[c] == u"p")
        QVERIFY2(row[c].isNull(), qPrintable(row[c].toString()));
    }
  QVERIFY(server_->sql(QStringLiteral("select password from user_name"))
              .value(0)
              .value(0)
              .toString()
              .startsWith(QStringLiteral("$argon2id$")));
}

QString ServerReadTest::snapshot() {
  const QString objects = testdb::onPostgres()
                              ? QStringLiteral(
                                    "select relkind::text || relname from pg_class join "
                                    "pg_namespace n on n.oid = relnamespace where "
                                    "nspname = 'public'")
                              : QStringLiteral("select type || name from sqlite_master");
  QStringList parts;
  for (const QVariantList& row : server_->sql(
           objects + QStringLiteral(" union all select id || coalesce(name,'') from info")))
    parts << row.value(0).toString();
  return parts.join(u'|');
}

void ServerReadTest::onlyOneSelectRuns_data() {
  QTest::addColumn<QString>("text");
  QTest::addColumn<QString>("error");  // empty: the text runs
  const QString readOnly = QStringLiteral("只允许查询，不能修改数据");
  const QString oneStatement = QStringLiteral("只允许执行一条查询语句");
  QTest::newRow("delete") << "delete from info" << readOnly;
  QTest::newRow("select then delete") << "select 1; delete from info" << oneStatement;
  QTest::newRow("select then delete;") << "select 1;delete from info;" << oneStatement;
  QTest::newRow("two selects") << "select 1; select 2" << oneStatement;
  QTest::newRow("update") << "update info set name='x'" << readOnly;
  QTest::newRow("insert") << "insert into info(id) values('x')" << readOnly;
  QTest::newRow("pragma") << "pragma journal_mode=delete" << readOnly;
  QTest::newRow("attach") << "attach database 'evil.db' as evil" << readOnly;
  QTest::newRow("drop") << "drop table info" << readOnly;
  QTest::newRow("create") << "create table evil(a)" << readOnly;
  QTest::newRow("with delete") << "with d as (select 1) delete from info" << readOnly;
  QTest::newRow("explain") << "explain select 1" << readOnly;
  QTest::newRow("values") << "values (1)" << readOnly;
  QTest::newRow("leading comment hides delete") << "/* select */ delete from info" << readOnly;
  QTest::newRow("trailing blanks, semicolons, comment")
      << "select id from info ; ;\n-- done" << QString();
  QTest::newRow("comment holding a delete")
      << "select id from info -- ; delete from info" << QString();
}

void ServerReadTest::onlyOneSelectRuns() {
  QFETCH(QString, text);
  QFETCH(QString, error);
  const QString before = snapshot();
  const Answer<protocol::Packet> packet = admin_->select(text);
  if (error.isEmpty()) {
    QVERIFY2(packet.ok(), qPrintable(packet.error));
  } else {
    QVERIFY(!packet.ok());
    QCOMPARE(packet.error, error);
  }
  QCOMPARE(snapshot(), before);
  QVERIFY(
      !QFileInfo::exists(QFileInfo(server_->dbPath()).dir().filePath(QStringLiteral("evil.db"))));
}

void ServerReadTest::valuesAreBoundNotSpliced_data() {
  QTest::addColumn<QVariantList>("params");
  QTest::addColumn<int>("rows");  // -1: refused
  QTest::newRow("plain") << QVariantList{"R1"} << 1;
  QTest::newRow("quote trick") << QVariantList{"R1' or '1'='1"} << 0;
  QTest::newRow("statement trick") << QVariantList{"x'; delete from info; --"} << 0;
  QTest::newRow("too few") << QVariantList{} << -1;
  QTest::newRow("too many") << QVariantList{"R1", "R2"} << -1;
}

void ServerReadTest::valuesAreBoundNotSpliced() {
  QFETCH(QVariantList, params);
  QFETCH(int, rows);
  const QString before = snapshot();
  const Answer<protocol::Packet> packet =
      admin_->select(QStringLiteral("select name from info where id=?"), params);
  if (rows < 0) {
    QVERIFY(packet.error.startsWith(QStringLiteral("查询参数个数不符")));
  } else {
    QVERIFY2(packet.ok(), qPrintable(packet.error));
    QCOMPARE(packet->rows.size(), rows);
  }
  QCOMPARE(snapshot(), before);
}

void ServerReadTest::onlyNamedFunctionsAndTables_data() {
  QTest::addColumn<QString>("text");
  QTest::addColumn<QString>("error");  // empty: the text runs; else the reply begins with it
  const QString function = QStringLiteral("不允许使用函数 ");
  QTest::newRow("text functions")
      << "select strim(name) as a, substr(id, 1, 1) as b, upper(id) as c, length(name) as d, "
         "replace(id, 'R', 'S') as e, coalesce(mz, '无') as g from info"
      << QString();
  QTest::newRow("like, case, cast, coalesce")
      << "select case when id like 'R%' then cast(1 as text) else coalesce(null, '2') end as x "
         "from info"
      << QString();
  QTest::newRow("inside a subquery")
      << "select id from info where id in (select upper(load_extension('/tmp/x.so')))" << function;
  if (testdb::onPostgres()) {
    QTest::newRow("aggregates and grouping")
        << "select count(*) as n, max(id) as m, string_agg(name, ',') as g, sum(length(id)) as s "
           "from info group by mz"
        << QString();
    QTest::newRow("dates and windows")
        << "select now() as d, to_char(now(), 'YYYY') as y, row_number() over (order by id) "
           "as r from info"
        << QString();
    QTest::newRow("set_config") << "select set_config('role', 'postgres', true) as r" << function;
    QTest::newRow("query_to_xml")
        << "select query_to_xml('select password from public.user_name', true, true, '') as x"
        << function;
    QTest::newRow("quoted name") << "select \"pg_read_file\"('/etc/passwd') as f" << function;
    QTest::newRow("qualified name") << "select pg_catalog.pg_sleep(1) as s" << function;
    QTest::newRow("large value") << "select repeat('x', 100000000) as x" << function;
    QTest::newRow("row source") << "select * from generate_series(1, 10)" << function;
    QTest::newRow("trim with a set") << "select trim(both name from id) as t from info"
                                     << "不允许使用带字符集的 trim";
    QTest::newRow("btrim with a set") << "select btrim(id, name) as t from info"
                                      << "不允许使用带字符集的 btrim";
    QTest::newRow("translate") << "select translate(id, name, '') as t from info" << function;
    QTest::newRow("escape string hides a call")
        << "select E'\\'', pg_sleep(1) --' as x" << QStringLiteral("查询语句有误");
    QTest::newRow("dollar quoting") << "select $$x$$ as x" << QStringLiteral("查询语句有误");
    QTest::newRow("catalog table") << "select rolname from pg_roles"
                                   << "不允许读取 pg_authid";
    QTest::newRow("catalog view") << "select * from information_schema.tables"
                                  << QStringLiteral("不允许读取 ");
    QTest::newRow("accounts behind the view")
        << "select password from public.user_name" << QStringLiteral("没有权限");
    return;
  }
  QTest::newRow("aggregates and grouping")
      << "select count(*) as n, max(id) as m, group_concat(name) as g, sum(length(id)) as s "
         "from info group by mz"
      << QString();
  QTest::newRow("dates and windows")
      << "select date('now') as d, strftime('%Y', 'now') as y, row_number() over (order by id) "
         "as r from info"
      << QString();
  QTest::newRow("engine functions")
      << "select ifnull(mz, '无') as g, instr(id, '1') as f from info where id glob 'R*'"
      << QString();
  QTest::newRow("fts3_tokenizer") << "select fts3_tokenizer('simple') as p" << function;
  QTest::newRow("load_extension") << "select load_extension('/tmp/x.so') as p" << function;
  QTest::newRow("zeroblob") << "select zeroblob(10) as z" << function;
  QTest::newRow("randomblob") << "select hex(randomblob(16)) as r" << function;
  QTest::newRow("sqlite_version") << "select sqlite_version() as v" << function;
  QTest::newRow("json") << "select json('{}') as j" << function;
  QTest::newRow("schema table") << "select sql from sqlite_master"
                                << "不允许读取 sqlite_master";
  const QString virtualTable = QStringLiteral("不允许读取系统表或虚拟表");
  QTest::newRow("pragma table") << "select * from pragma_table_info('info')" << virtualTable;
  QTest::newRow("json table") << "select * from json_each('[1]')" << virtualTable;
  QTest::newRow("dbstat") << "select * from dbstat" << virtualTable;
}

void ServerReadTest::onlyNamedFunctionsAndTables() {
  QFETCH(QString, text);
  QFETCH(QString, error);
  const Answer<protocol::Packet> packet = admin_->select(text);
  if (error.isEmpty()) {
    QVERIFY2(packet.ok(), qPrintable(packet.error));
  } else {
    QVERIFY(!packet.ok());
    QVERIFY2(packet.error.startsWith(error), qPrintable(packet.error));
  }
}

// The main list's lines of one person, as the main window reads them after a change.
void ServerReadTest::personLinesMatchTrimmedIds_data() {
  for (const char* id : {"L1", " L1", "L10", "L1  ", "L", "l1", "L1x", "\tL1 \r\n", "!L1"}) {
    server_->sql(QStringLiteral("insert into info(id, name) values (?, ?)"), {id, id});
    server_->sql(QStringLiteral("insert into user_name(id, qx) values (?, 2)"), {id});
  }
  QTest::addColumn<QString>("key");
  QTest::addColumn<QStringList>("expected");
  QTest::newRow("exact and blank-padded") << "L1" << QStringList{"\tL1 \r\n", " L1", "L1", "L1  "};
  QTest::newRow("shorter key") << "L" << QStringList{"L"};
  QTest::newRow("case counts") << "l1" << QStringList{"l1"};
  QTest::newRow("no match") << "L2" << QStringList{};
}

void ServerReadTest::personLinesMatchTrimmedIds() {
  QFETCH(QString, key);
  QFETCH(QStringList, expected);
  const Answer<protocol::Packet> packet = admin_->select(schema::queries::kPersonLines, {key});
  QVERIFY2(packet.ok(), qPrintable(packet.error));
  QStringList ids;
  for (const QVariantList& row : packet->rows) ids << row.value(0).toString();
  ids.sort();
  QCOMPARE(ids, expected);
}

QTEST_GUILESS_MAIN(ServerReadTest)
#include "tst_server_read.moc"
