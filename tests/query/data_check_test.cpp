// The completeness check on a small crafted database: the 完整性检查 window and the `check`
// command list the same findings for each person, computed by the server on its storage; the
// window sorts and opens a person's record.
#include "query/data_check.h"

#include <QSortFilterProxyModel>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

#include "query/spreadsheet.h"
#include "schema/tables.h"
#include "shell/forms.h"
#include "shell/remote_dataset.h"
#include "shell/signin.h"
#include "tests/support/client/client_fixture.h"
#include "tests/support/client_command.h"

namespace {

const QString kAdmin = QStringLiteral("110101199001011237");
// Complete records, born in January 1990, each with one fault.
const QString kComplete = QStringLiteral("320102199001010010");
const QString kMissing = QStringLiteral("320102199001010029");
const QString kCheckDigit = QStringLiteral("320102199001010030");  // 7 would be right
const QString kBirth = QStringLiteral("320102199001010045");
const QString kMonths = QStringLiteral("320102199001010053");
const QString kReversed = QStringLiteral("320102199001010061");

// A person's row of a list: column title → text.
using Row = QHash<QString, QString>;

Tdata_check* window() { return static_cast<Tdata_check*>(forms::find(u"data_check")); }

// The rows of a list whose first line holds the titles, by identity number; the first `skip`
// columns are left out (the workbook's 序号).
QHash<QString, Row> byPerson(const QList<QStringList>& lines, int skip) {
  QHash<QString, Row> rows;
  for (const QStringList& line : lines.mid(1)) {
    Row row;
    for (int c = skip; c < lines.first().size(); ++c) row.insert(lines.first()[c], line.value(c));
    rows.insert(row.value(QStringLiteral("身份证号")), row);
  }
  return rows;
}

}  // namespace

class DataCheckTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    QVERIFY(dir_.isValid());
    fixture_.addAccount(kAdmin, QStringLiteral("管理员"), 0, QStringLiteral("secret"));
    for (const QString& id : {kComplete, kMissing, kCheckDigit, kBirth, kMonths, kReversed})
      addCompletePerson(id);
    sql("delete from gwxx where id=?", {kMissing});
    sql("update info set date='198505' where id=?", {kBirth});
    sql("update info set dpsj='19x001' where id=?", {kBirth});
    // Last month: real, and left to the server's function to judge.
    sql("update gzdd set cjny=? where id=?",
        {QDate::currentDate().addMonths(-1).toString(QStringLiteral("yyyyMM")), kReversed});
    sql("update info set dpsj='199013' where id=?", {kMonths});
    sql("update gzdd set year='209912' where id=?", {kMonths});
    sql("insert into jnpx(id_num, id, start_sj, end_sj) values (1, ?, '201001', '209901')",
        {kMonths});
    sql("insert into grll(id_num, id, start_sj, end_sj) values (1, ?, '200009', '200001')",
        {kReversed});
    sql("insert into grll(id_num, id, start_sj, end_sj) values (2, ?, '200001', '200009')",
        {kReversed});

    fixture_.signIn(kAdmin, QStringLiteral("secret"));
    forms::show(u"data_check");
    window()->check->finishLoading();
    const QAbstractItemModel* model = window()->DBGrid1->model();
    QList<QStringList> lines(model->rowCount() + 1);
    for (int c = 0; c < model->columnCount(); ++c) {
      lines[0] << model->headerData(c, Qt::Horizontal).toString();
      for (int r = 0; r < model->rowCount(); ++r)
        lines[r + 1] << model->index(r, c).data().toString();
    }
    shown_ = byPerson(lines, 0);

    const QString out = dir_.filePath(QStringLiteral("check.xlsx"));
    const client_command::Run run =
        client_command::run(fixture_.server, {"check", "--user", kAdmin, "--out", out});
    QVERIFY2(run.status == 0, qPrintable(run.err));
    written_ = byPerson(spreadsheet::readFirstSheet(out), 1);
    QCOMPARE(written_.keys().size(), 7);
    QCOMPARE(written_.keys().size(), shown_.keys().size());
  }

  void findings_data() {
    QTest::addColumn<QString>("person");
    QTest::addColumn<QString>("column");
    QTest::addColumn<QString>("expected");
    const auto row = [](const char* tag, const QString& person, const char* column,
                        const char* expected) {
      QTest::newRow(tag) << person << QString::fromUtf8(column) << QString::fromUtf8(expected);
    };
    for (const char* column : {"缺少的表", "身份证号问题", "出生日期", "年月问题", "起止颠倒"})
      row(column, kComplete, column, "");
    row("complete: nothing empty", kComplete, "空项数", "0");
    row("missing table", kMissing, "缺少的表", "岗位信息");
    row("missing table: its fields empty", kMissing, "空项数", "4");
    row("wrong check digit", kCheckDigit, "身份证号问题", "校验位错误");
    row("birth month unlike the number", kBirth, "出生日期", "与身份证号中的199001不符");
    row("a letter among digits", kBirth, "年月问题", "基本信息表的参加党派时间不是真实的年月");
    row("bad and future year-months", kMonths, "年月问题",
        "基本信息表的参加党派时间不是真实的年月；工作调动情况的参加工作年月晚于本月；"
        "境内培训情况有1行的年月不是真实的年月或晚于本月");
    row("end before start", kReversed, "起止颠倒", "个人履历有1行的结束时间早于起始时间");
    row("end before start, last month: months real", kReversed, "年月问题", "");
    row("admin without most tables", kAdmin, "空项数", "52");
  }

  void findings() {
    QFETCH(QString, person);
    QFETCH(QString, column);
    QFETCH(QString, expected);
    QVERIFY2(shown_.contains(person), qPrintable(person));
    QCOMPARE(shown_.value(person).value(column), expected);
    QCOMPARE(written_.value(person).value(column), expected);
  }

  void sortsByCountAndOpensThePerson() {
    QTableView* grid = window()->DBGrid1;
    const QAbstractItemModel* model = grid->model();
    const int count = int(window()->check->fieldNames().indexOf(QStringLiteral("空项数")));
    grid->sortByColumn(count, Qt::DescendingOrder);  // 52 before 4 before 0
    QCOMPARE(model->index(0, 0).data().toString(), kAdmin);
    QCOMPARE(model->index(1, 0).data().toString(), kMissing);
    QCOMPARE(model->headerData(1, Qt::Vertical).toInt(), 2);  // numbered as sorted
    const QPoint second = grid->visualRect(model->index(1, 1)).center();
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, second);  // a double-click's first
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, second);
    QCOMPARE(SignIn::state().currentPersonId, kMissing);
    QVERIFY(forms::find(u"info_basic")->isVisible());
  }

 private:
  QList<QVariantList> sql(const QString& statement, const QVariantList& params = {}) {
    return fixture_.server.sql(statement, params);
  }

  // An account and a row in every one-row table, every field filled; year-months real and
  // the birth month the number's.
  void addCompletePerson(const QString& id) {
    sql("insert into user_name(id, qx) values(?, 2)", {id});
    for (const schema::Table* table : schema::oneRowTables()) {
      QStringList columns, marks;
      QVariantList values;
      for (const schema::Column& c : table->columns) {
        columns << c.name;
        marks << QStringLiteral("?");
        values << (c.name == u"id"                     ? id
                   : c.name == u"date"                 ? id.mid(6, 6)
                   : c.kind == schema::Kind::YearMonth ? QStringLiteral("201001")
                                                       : QStringLiteral("甲"));
      }
      sql(QStringLiteral("insert into %1(%2) values(%3)")
              .arg(table->name, columns.join(u','), marks.join(u',')),
          values);
    }
  }

  ClientFixture fixture_;
  QTemporaryDir dir_;
  QHash<QString, Row> shown_;    // the window's list
  QHash<QString, Row> written_;  // the check command's workbook
};

QTEST_MAIN(DataCheckTest)
#include "data_check_test.moc"
