// The server's SQL pieces on their own: the SQLite schema, the indexed person-key condition,
// the reading of a text's leading keywords, marks and calls, packet column names, which
// locations name PostgreSQL, and the server's own text functions.
#include <QTemporaryDir>
#include <QtTest>

#include "storage/column_names.h"
#include "storage/open.h"
#include "storage/sql_text.h"
#include "storage/sqlite/db.h"
#include "storage/sqlite/schema.h"
#include "storage/storage.h"

using namespace storage;

class StorageSqlTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void schemaIsIdempotent();
  void personKeyUsesTheIdIndex_data();
  void personKeyUsesTheIdIndex();
  void resultColumnsStart_data();
  void resultColumnsStart();
  void groupsRows_data();
  void groupsRows();
  void uniqueColumnNames_data();
  void uniqueColumnNames();
  void marksAreNumbered_data();
  void marksAreNumbered();
  void calledFunctionsAreFound_data();
  void calledFunctionsAreFound();
  void callsWithSeveralArguments_data();
  void callsWithSeveralArguments();
  void locationsPickTheStorage_data();
  void locationsPickTheStorage();
  void textFunctionsAsSqlitesOwn_data();
  void textFunctionsAsSqlitesOwn();
  void textFunctionsTakeLinearTime();

 private:
  QTemporaryDir dir_;
  QString path_;
};

void StorageSqlTest::initTestCase() {
  path_ = dir_.filePath(QStringLiteral("unit.db"));
  Result<std::unique_ptr<Storage>> storage = openStorage(path_);
  QVERIFY2(storage.ok(), qPrintable(storage.error()));
  QVERIFY((*storage)->ensureSchema().ok());
}

void StorageSqlTest::schemaIsIdempotent() {
  Result<std::unique_ptr<Storage>> again = openStorage(path_);
  QVERIFY(again.ok());
  QVERIFY((*again)->ensureSchema().ok());
  PacketSink counter;
  QVERIFY((*again)->readTable(*schema::table(schema::kCounter), std::nullopt, counter).ok());
  QCOMPARE(counter.packet.rows, (QList<QVariantList>{QVariantList(6, qint64(0))}));
  Result<sqlite::Handle> db = sqlite::Handle::open(path_, sqlite::Handle::Mode::ReadOnly);
  QVERIFY(db.ok());
  for (const schema::Table& t : schema::tables()) {
    Result<sqlite::Statement> info = db->prepare(
        QStringLiteral("select name, type, pk from pragma_table_info('%1')").arg(t.name));
    QVERIFY(info.ok());
    QStringList columns;
    while (sqlite3_step(info->get()) == SQLITE_ROW) {
      const QString name = info->column(0).toString();
      const QString type = info->column(1).toString();
      columns << name;
      if (name == u"rid")
        QCOMPARE(info->column(2), QVariant(qint64(1)));
      else
        QCOMPARE(type, QLatin1StringView(t.column(name)->kind == schema::Kind::Integer ? "INTEGER"
                                                                                       : "TEXT"));
    }
    QCOMPARE(columns, QStringList{"rid"} + t.columnNames());
  }
}

void StorageSqlTest::personKeyUsesTheIdIndex_data() {
  QTest::addColumn<QString>("table");
  for (const schema::Table& t : schema::tables())
    if (t.column(u"id")) QTest::newRow(qPrintable(t.name)) << t.name;
}

void StorageSqlTest::personKeyUsesTheIdIndex() {
  QFETCH(QString, table);
  Result<sqlite::Handle> db = sqlite::Handle::open(path_, sqlite::Handle::Mode::ReadOnly);
  QVERIFY(db.ok());
  Result<sqlite::Statement> plan =
      db->prepare(QStringLiteral("explain query plan select rid from \"%1\" where %2")
                      .arg(table, sqlite::personKeyCondition(*schema::table(table))));
  QVERIFY2(plan.ok(), qPrintable(plan.error()));
  int searches = 0;
  while (sqlite3_step(plan->get()) == SQLITE_ROW) {
    const QString step = plan->column(3).toString();
    QVERIFY2(!step.startsWith(QStringLiteral("SCAN")), qPrintable(step));
    if (step.contains(QStringLiteral("INDEX %1_id").arg(table))) ++searches;
  }
  QCOMPARE(searches, 3);
}

void StorageSqlTest::resultColumnsStart_data() {
  QTest::addColumn<QString>("text");
  QTest::addColumn<int>("start");  // -1: none
  QTest::newRow("select") << "select a from t" << 6;
  QTest::newRow("distinct, upper case") << "SELECT DISTINCT a FROM t" << 15;
  QTest::newRow("all") << "select all a from t" << 10;
  QTest::newRow("comment between") << "select/*x*/distinct a" << 19;
  QTest::newRow("leading blanks and comment") << " -- note\n select a" << 16;
  QTest::newRow("column named distinctly") << "select distinctly from t" << 6;
  QTest::newRow("with") << "with x as (select 1) select * from x" << -1;
  QTest::newRow("quoted") << "'select' a" << -1;
  QTest::newRow("empty") << "" << -1;
}

void StorageSqlTest::resultColumnsStart() {
  QFETCH(QString, text);
  QFETCH(int, start);
  const std::optional<qsizetype> found = sqltext::resultColumnsStart(text);
  QCOMPARE(found ? int(*found) : -1, start);
}

void StorageSqlTest::groupsRows_data() {
  QTest::addColumn<QString>("text");
  QTest::addColumn<bool>("groups");
  QTest::newRow("group by") << "select a from t GROUP  BY a" << true;
  QTest::newRow("no grouping") << "select a from t where b=1" << false;
  QTest::newRow("in a string") << "select 'group by' from t" << false;
  QTest::newRow("quoted name") << "select \"group\" from t" << false;
  QTest::newRow("in a comment") << "select a from t -- group by a" << false;
  QTest::newRow("part of a name") << "select group_id from t" << false;
}

void StorageSqlTest::groupsRows() {
  QFETCH(QString, text);
  QFETCH(bool, groups);
  QCOMPARE(sqltext::groupsRows(text), groups);
}

void StorageSqlTest::uniqueColumnNames_data() {
  QTest::addColumn<QStringList>("names");
  QTest::addColumn<QStringList>("unique");
  QTest::newRow("no repeats") << QStringList{"a", "b"} << QStringList{"a", "b"};
  QTest::newRow("three times") << QStringList{"a", "a", "a"} << QStringList{"a", "a_1", "a_2"};
  QTest::newRow("two names repeated")
      << QStringList{"任职年月", "取得时间", "任职年月", "取得时间"}
      << QStringList{"任职年月", "取得时间", "任职年月_1", "取得时间_1"};
  QTest::newRow("suffix given later")
      << QStringList{"a", "a", "a_1"} << QStringList{"a", "a_2", "a_1"};
  QTest::newRow("case differs") << QStringList{"ID", "id"} << QStringList{"ID", "id"};
}

void StorageSqlTest::uniqueColumnNames() {
  QFETCH(QStringList, names);
  QFETCH(QStringList, unique);
  QCOMPARE(storage::uniqueColumnNames(names), unique);
}

void StorageSqlTest::marksAreNumbered_data() {
  QTest::addColumn<QString>("text");
  QTest::addColumn<QString>("numbered");
  QTest::addColumn<int>("count");
  QTest::newRow("bare marks in order") << "a=? and b=?"
                                       << "a=$1 and b=$2" << 2;
  QTest::newRow("numbered, repeated") << "?1||'!' or ?1"
                                      << "$1||'!' or $1" << 1;
  QTest::newRow("bare after a number") << "?3, ?"
                                       << "$3, $4" << 4;
  QTest::newRow("number then word") << "?2x"
                                    << "$2x" << 2;
  QTest::newRow("inside literals and names") << "'?', \"a?\", 'it''s ?', ?"
                                             << "'?', \"a?\", 'it''s ?', $1" << 1;
  QTest::newRow("inside comments") << "-- ?\n? /* ?1 */ ?"
                                   << "-- ?\n$1 /* ?1 */ $2" << 2;
  QTest::newRow("none") << "select 1"
                        << "select 1" << 0;
}

void StorageSqlTest::marksAreNumbered() {
  QFETCH(QString, text);
  QFETCH(QString, numbered);
  QFETCH(int, count);
  const sqltext::NumberedMarks marks = sqltext::numberMarks(text);
  QCOMPARE(marks.text, numbered);
  QCOMPARE(marks.count, count);
}

void StorageSqlTest::calledFunctionsAreFound_data() {
  QTest::addColumn<QString>("text");
  QTest::addColumn<QStringList>("calls");
  QTest::newRow("calls, any case")
      << "select Upper(id), count(*) from info" << QStringList{"upper", "count"};
  QTest::newRow("keywords with parentheses")
      << "select cast(a as varchar(9)) from t where a in (select b from u) and exists (select 1)"
      << QStringList{};
  QTest::newRow("quoted name keeps its case")
      << "select \"Pg_Read_File\"('x')" << QStringList{"Pg_Read_File"};
  QTest::newRow("qualified") << "select pg_catalog.pg_sleep(1)" << QStringList{"pg_sleep"};
  QTest::newRow("in a row source")
      << "select * from generate_series(1, 3)" << QStringList{"generate_series"};
  QTest::newRow("not inside literals or comments")
      << "select 'load_extension(1)' -- sleep(1)\n/* x(1) */" << QStringList{};
  QTest::newRow("nested") << "select substr(strim(id), 1) from info"
                          << QStringList{"substr", "strim"};
}

void StorageSqlTest::calledFunctionsAreFound() {
  QFETCH(QString, text);
  QFETCH(QStringList, calls);
  QCOMPARE(sqltext::calledFunctions(text), calls);
}

void StorageSqlTest::callsWithSeveralArguments_data() {
  QTest::addColumn<QString>("text");
  QTest::addColumn<QStringList>("calls");
  QTest::newRow("one argument") << "select trim(id) from info" << QStringList{};
  QTest::newRow("two") << "select btrim(id, 'x') from info" << QStringList{"btrim"};
  QTest::newRow("from form") << "select trim(both 'x' from id) from info" << QStringList{"trim"};
  QTest::newRow("comma one level down")
      << "select ltrim(coalesce(a, b)) from info" << QStringList{"coalesce"};
  QTest::newRow("comma in a literal") << "select trim(',') from info" << QStringList{};
}

void StorageSqlTest::callsWithSeveralArguments() {
  QFETCH(QString, text);
  QFETCH(QStringList, calls);
  QCOMPARE(sqltext::callsWithSeveralArguments(text), calls);
}

void StorageSqlTest::locationsPickTheStorage_data() {
  QTest::addColumn<QString>("location");
  QTest::addColumn<bool>("postgres");
  QTest::addColumn<QString>("described");
  QTest::newRow("file") << "staffinfo.db" << false << "staffinfo.db";
  QTest::newRow("path with blanks") << "/srv/学校 1/staff.db" << false << "/srv/学校 1/staff.db";
  QTest::newRow("URL") << "postgresql://u@db:5432/staff" << true << "";
  QTest::newRow("short URL") << "postgres://db/staff" << true << "";
  QTest::newRow("key words") << "host=/tmp/pg dbname=staff" << true << "";
  QTest::newRow("password hidden") << "postgresql://u:secret@db/staff" << true << "";
  QTest::newRow("password as a parameter")
      << "postgresql://u@db/staff?password=secret" << true << "";
  QTest::newRow("password as a key word") << "host=db password=secret dbname=x" << true << "";
}

void StorageSqlTest::locationsPickTheStorage() {
  QFETCH(QString, location);
  QFETCH(bool, postgres);
  QFETCH(QString, described);
  QCOMPARE(storage::isPostgres(location), postgres);
  const QString shown = storage::describeLocation(location);
  if (!described.isEmpty()) QCOMPARE(shown, described);
  QVERIFY2(!shown.contains(u"secret"), qPrintable(shown));
}

namespace {

// The value of `expression` as text (type and value), on `db`.
QString evaluate(sqlite3* db, const QString& expression) {
  sqlite3_stmt* statement = nullptr;
  const QByteArray sql = (QStringLiteral("select typeof(x) || ':' || quote(x) from (select ") +
                          expression + QStringLiteral(" as x)"))
                             .toUtf8();
  if (sqlite3_prepare_v2(db, sql.constData(), -1, &statement, nullptr) != SQLITE_OK)
    return QStringLiteral("error");
  QString out =
      sqlite3_step(statement) == SQLITE_ROW
          ? QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)))
          : QStringLiteral("error");
  sqlite3_finalize(statement);
  return out;
}

}  // namespace

void StorageSqlTest::textFunctionsAsSqlitesOwn_data() {
  QTest::addColumn<QString>("expression");
  for (const char* e :
       {"instr('abcabc', 'ca')",     "instr('甲乙丙乙', '乙')", "instr('abc', '')",
        "instr('abc', 'x')",         "instr(NULL, 'a')",        "instr('a', NULL)",
        "instr(12345, 34)",          "instr(x'010203', x'03')", "instr('ab', 'abc')",
        "replace('aaa', 'a', 'bb')", "replace('abc', '', 'x')", "replace(5, '', 'x')",
        "replace('abc', 'b', NULL)", "replace(NULL, 'b', 'c')", "replace('甲乙甲', '甲', '')",
        "replace(1212, 2, 3)",       "trim('xxhixx', 'x')",     "ltrim('xyhix', 'yx')",
        "rtrim('xhixy', 'yx')",      "trim('甲乙甲', '甲')",    "trim('aaa', 'a')",
        "trim('abc', '')",           "trim(NULL, 'a')",         "trim('a', NULL)",
        "ltrim(1200, '1')",          "rtrim(1200, '0')"})
    QTest::newRow(e) << QString::fromUtf8(e);
}

// Where the server replaces one of SQLite's functions, the results are SQLite's own.
void StorageSqlTest::textFunctionsAsSqlitesOwn() {
  QFETCH(QString, expression);
  Result<sqlite::Handle> ours = sqlite::Handle::open(path_, sqlite::Handle::Mode::ReadOnly);
  QVERIFY(ours.ok());
  sqlite3* plain = nullptr;
  QCOMPARE(sqlite3_open_v2(":memory:", &plain, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
  const QString expected = evaluate(plain, expression);
  sqlite3_close(plain);
  QCOMPARE(evaluate(ours->get(), expression), expected);
}

// Texts of megabytes whose naive search would take minutes: answered at once.
void StorageSqlTest::textFunctionsTakeLinearTime() {
  Result<sqlite::Handle> db = sqlite::Handle::open(path_, sqlite::Handle::Mode::ReadOnly);
  QVERIFY(db.ok());
  Result<sqlite::Statement> statement = db->prepare(
      QStringLiteral("select instr(?1, ?2), length(replace(?1, ?2, 'x')), length(trim(?1, ?2))"));
  QVERIFY(statement.ok());
  statement->bindAll({QString(2'000'000, u'a'), QString(1'000'000, u'a') + u'b'});
  QCOMPARE(sqlite3_step(statement->get()), SQLITE_ROW);
  QCOMPARE(statement->column(0), QVariant(qint64(0)));
  QCOMPARE(statement->column(1), QVariant(qint64(2'000'000)));
  QCOMPARE(statement->column(2), QVariant(qint64(0)));
}

QTEST_GUILESS_MAIN(StorageSqlTest)
#include "tst_storage_sql.moc"
