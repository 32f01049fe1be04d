// `staffinfo export`, `import` and `history` as an administrator's script runs them: the real
// client program against a real server, the password on standard input.
#include <QTemporaryDir>
#include <QtTest>

#include "query/spreadsheet.h"
#include "tests/support/client_command.h"
#include "tests/support/test_server.h"

namespace {

const QString kAdmin = QStringLiteral("110101199001011234");

using client_command::Run;

}  // namespace

class CommandsTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    QVERIFY2(server_.running(), qPrintable(server_.log()));
    QVERIFY(server_.addAccount(kAdmin, QStringLiteral("管理员"), 0, QStringLiteral("secret")));
    server_.sql(QStringLiteral(
                    "insert into grll(id_num, id, start_sj, dw) values (1, ?, '199009', '一中')"),
                {kAdmin});
    QVERIFY(dir_.isValid());
  }

  void exportWritesTheFormsWorkbook_data() {
    QTest::addColumn<QStringList>("choice");
    QTest::addColumn<QStringList>("header");
    QTest::addColumn<QStringList>("row");
    QTest::newRow("preset") << QStringList{"--preset", "个人履历"}
                            << QStringList{"序号",     "id_num",   "姓名",     "身份证号",
                                           "起始时间", "结束时间", "所在单位", "所在部门",
                                           "行政职务", "职务级别"}
                            << QStringList{"1", "1", "管理员", kAdmin, "199009", "", "一中"};
    QTest::newRow("columns by group and caption")
        << QStringList{"--columns", "个人履历/所在单位,个人履历/起始时间"}
        << QStringList{"序号", "id_num", "姓名", "身份证号", "起始时间", "所在单位"}
        << QStringList{"1", "1", "管理员", kAdmin, "199009", "一中"};
  }

  void exportWritesTheFormsWorkbook() {
    QFETCH(QStringList, choice);
    QFETCH(QStringList, header);
    QFETCH(QStringList, row);
    const QString out = dir_.filePath(QStringLiteral("export-%1").arg(QTest::currentDataTag()));
    const Run run = staffinfo(QStringList{"export", "--user", kAdmin, "--out", out} + choice);
    QVERIFY2(run.status == 0, qPrintable(run.err));
    QCOMPARE(spreadsheet::readFirstSheet(out + QStringLiteral(".xlsx")),
             (QList<QStringList>{header, row}));
  }

  void exportRefusesUnclearChoices_data() {
    QTest::addColumn<QStringList>("choice");
    QTest::newRow("caption in two groups") << QStringList{"--columns", "任职年月"};
    QTest::newRow("unknown column") << QStringList{"--columns", "基本信息表/工资"};
    QTest::newRow("unknown preset") << QStringList{"--preset", "全部"};
    QTest::newRow("both") << QStringList{"--preset", "个人履历", "--columns", "基本信息表/姓名"};
  }

  void exportRefusesUnclearChoices() {
    QFETCH(QStringList, choice);
    const QString out = dir_.filePath(QStringLiteral("unclear"));
    const Run run = staffinfo(QStringList{"export", "--user", kAdmin, "--out", out} + choice);
    QCOMPARE(run.status, 2);
    QVERIFY(!QFile::exists(out + QStringLiteral(".xlsx")));
  }

  void importChecksAsTheFormDoes() {
    const QString csv = dir_.filePath(QStringLiteral("accounts.csv"));
    QFile file(csv);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("姓名,身份证号,密码,权限\n甲,330101199001010001,p,2\n乙,330101199001010002,p,9\n");
    file.close();

    const Run dry = staffinfo({"import", "--user", kAdmin, "--dry-run", csv});
    QCOMPARE(dry.status, 1);
    QVERIFY2(
        dry.out.contains(QStringLiteral("3\t乙\t330101199001010002\t9\t拒绝：权限不是 0、1 或 2")),
        qPrintable(dry.out));
    QVERIFY(dry.out.contains(QStringLiteral("共 2 行：新增 1 个，覆盖 0 个，拒绝 1 个。")));
    QCOMPARE(server_.sql(QStringLiteral("select count(*) from user_name")).first().first(),
             QVariant(1));

    const Run real = staffinfo({"import", "--user", kAdmin, csv});
    QCOMPARE(real.status, 1);  // a row was refused
    QVERIFY(real.out.contains(QStringLiteral("批量导入成功!\n新增 1 个，覆盖 0 个，拒绝 1 个。")));
    QVERIFY(real.err.contains(QStringLiteral("已写入 1/1")));
    QCOMPARE(server_.sql(QStringLiteral("select name from info where id='330101199001010001'"))
                 .value(0)
                 .value(0),
             QVariant("甲"));
  }

  void historyListsThePersonsChangesSinceTheDay() {
    const QString person = QStringLiteral("220101199001011115");
    const QString insert = QStringLiteral(
        "insert into change_log(changed_at, changed_by, id, table_name, row_number, column_name,"
        " old_value, new_value, kind) values (?, ?, ?, ?, ?, ?, ?, ?, ?)");
    const QList<QVariantList> log = {
        {"2024-02-29 23:59:59", kAdmin, person, "info", {}, "mz", "无", "汉族", "修改"},
        {"2024-03-01 08:00:00", kAdmin, person, "grll", 7, "start_sj", {}, "199009", "新增"},
        {"2024-03-02 09:00:00", kAdmin, kAdmin, "info", {}, "name", "甲", "乙", "修改"},
        {"2024-03-03 10:00:00",
         person,
         person,
         "user_name",
         {},
         "password",
         {},
         "密码已修改",
         "修改"}};
    for (const QVariantList& change : log) server_.sql(insert, change);
    const QString out = dir_.filePath(QStringLiteral("history.xlsx"));
    const Run run = staffinfo(
        {"history", "--user", kAdmin, "--person", person, "--since", "2024-03-01", "--out", out});
    QVERIFY2(run.status == 0, qPrintable(run.err));
    QCOMPARE(
        spreadsheet::readFirstSheet(out),
        (QList<QStringList>{
            {"序号", "身份证号", "时间", "修改人", "表", "项目", "原值", "新值"},
            {"1", person, "2024-03-03 10:00:00", person, "账户", "密码", "", "密码已修改"},
            {"2", person, "2024-03-01 08:00:00", kAdmin, "个人履历", "起始时间", "", "199009"}}));
  }

  void historyAndCheckRefuseBadOptions_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("no such day") << QStringList{"history", "--since", "2024-02-30", "--out", "x"};
    QTest::newRow("day as digits") << QStringList{"history", "--since", "20240301", "--out", "x"};
    QTest::newRow("check: no file") << QStringList{"check"};
  }

  void historyAndCheckRefuseBadOptions() {
    QFETCH(QStringList, arguments);
    const Run run = staffinfo(arguments + QStringList{"--user", kAdmin});
    QCOMPARE(run.status, 2);
    QVERIFY(!run.err.isEmpty());
  }

  void wrongPasswordFails() {
    const Run run = staffinfo({"import", "--user", kAdmin, "--dry-run", "x.csv"}, "wrong");
    QCOMPARE(run.status, 1);
    QVERIFY(run.err.contains(QStringLiteral("密码不正确!")));
  }

 private:
  Run staffinfo(const QStringList& arguments, const QString& password = "secret") {
    return client_command::run(server_, arguments, password);
  }

  TestServer server_;
  QTemporaryDir dir_;
};

QTEST_MAIN(CommandsTest)
#include "commands_test.moc"
