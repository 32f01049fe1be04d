// The result window against a real server: what its show step runs and when, and the workbook
// its export writes, read back by the spreadsheet module and once by an independent reader.
#include "query/report_data.h"

#include <QCheckBox>
#include <QDir>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

#include "query/date_select.h"
#include "query/filter_query.h"
#include "query/spreadsheet.h"
#include "schema/tables.h"
#include "shell/forms.h"
#include "shell/remote_dataset.h"
#include "tests/support/client/client_fixture.h"

namespace {

const QString kAdmin = QStringLiteral("110101199001011234");
const QString kPerson = QStringLiteral("110101198001010011");
const QString kDone = QStringLiteral("导出成功!");

Tdata_report* form() { return static_cast<Tdata_report*>(forms::find(u"data_report")); }

// Reads an xlsx file with Python's zip and XML modules alone: the first sheet's name, then one
// line per row with each cell as "n:" (a number) or "s:" (text), "@" after the letter when the
// cell's format is text, then the value.
const char* const kIndependentReader = R"(
import sys, zipfile, xml.etree.ElementTree as ET
ns = {'m': 'http://schemas.openxmlformats.org/spreadsheetml/2006/main'}
z = zipfile.ZipFile(sys.argv[1])
sheet = ET.fromstring(z.read('xl/workbook.xml')).find('m:sheets/m:sheet', ns).get('name')
styles = ET.fromstring(z.read('xl/styles.xml'))
codes = {'49': '@'}
codes.update({f.get('numFmtId'): f.get('formatCode') for f in styles.iter('{%s}numFmt' % ns['m'])})
xfs = styles.findall('m:cellXfs/m:xf', ns)
shared = []
if 'xl/sharedStrings.xml' in z.namelist():
    for si in ET.fromstring(z.read('xl/sharedStrings.xml')).findall('m:si', ns):
        shared.append(''.join(t.text or '' for t in si.iter('{%s}t' % ns['m'])))
print('sheet:' + sheet)
for row in ET.fromstring(z.read('xl/worksheets/sheet1.xml')).iter('{%s}row' % ns['m']):
    cells = []
    for c in row.findall('m:c', ns):
        kind = c.get('t')
        fmt = '@' if codes.get(xfs[int(c.get('s', '0'))].get('numFmtId')) == '@' else ''
        if kind == 'inlineStr':
            value = ''.join(t.text or '' for t in c.iter('{%s}t' % ns['m']))
        elif kind == 's':
            value = shared[int(c.find('m:v', ns).text)]
        else:
            v = c.find('m:v', ns)
            value = v.text if v is not None else ''
        cells.append(('s' if kind else 'n') + fmt + ':' + value)
    print('\t'.join(cells))
)";

QStringList independentRead(const QString& path) {
  QProcess python;
  python.start(QStringLiteral("python3"), {QStringLiteral("-c"), kIndependentReader, path});
  if (!python.waitForFinished(30000) || python.exitCode() != 0)
    return {python.readAllStandardError()};
  return QString::fromUtf8(python.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
}

}  // namespace

class ReportDataTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    fixture_.addAccount(kAdmin, QStringLiteral("管理员"), 0, QStringLiteral("secret"));
    fixture_.signIn(kAdmin, QStringLiteral("secret"));
    for (const schema::Table* t : schema::oneRowTables())
      fixture_.server.sql(QStringLiteral("insert into \"%1\"(id) values (?)").arg(t->name),
                          {kPerson});
    fixture_.server.sql(
        QStringLiteral("update info set name=' 张三 ', date='198001', mz=null where id=?"),
        {kPerson});
    fixture_.server.sql(QStringLiteral("update other_info set yb='010010' where id=?"), {kPerson});
    fixture_.server.sql(QStringLiteral("update xzzwqk set rzny='200101' where id=?"), {kPerson});
    fixture_.server.sql(QStringLiteral("update dnzwqk set rzny_dn='200202' where id=?"), {kPerson});
  }

  void init() {
    forms::close(u"data_report");
    fixture_.dialogs.clear();
    fixture_.dialogs.cancelAfter = -1;
    QVERIFY(dir_.isValid());
  }

  void exportsEveryValueAsText_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QList<QStringList>>("cells");
    QTest::newRow("identity number, year-month, postcode, trimmed, null, repeated titles")
        << filter::compose([](int box) { return QList<int>{1, 3, 4, 20, 43, 45}.contains(box); })
        << QList<QStringList>{
               {"序号", "身份证号", "姓名", "民族", "出生日期", "邮编", "任职年月", "任职年月_1"},
               {"1", kPerson, "张三", "", "198001", "010010", "200101", "200202"}};
    QTest::newRow("empty history result: the header only")
        << filter::compose([](int box) { return box == 84; })
        << QList<QStringList>{{"序号", "id_num", "姓名", "身份证号", "起始时间"}};
    QTest::newRow("titles and values trimmed")
        << QStringLiteral("select '  a b  ' as \" 甲 \", 7 as 乙, ' ' as 丙")
        << QList<QStringList>{{"序号", "甲", "乙", "丙"}, {"1", "a b", "7"}};
  }

  void exportsEveryValueAsText() {
    QFETCH(QString, text);
    QFETCH(QList<QStringList>, cells);
    filter::text() = text;
    forms::show(u"data_report");
    QCOMPARE(fixture_.dialogs.errors, QStringList());
    const QString path = dir_.filePath(QStringLiteral("export%1").arg(++exports_));
    fixture_.dialogs.fileNames << path;
    form()->BitBtn1->click();
    QCOMPARE(fixture_.dialogs.errors, QStringList());
    QCOMPARE(fixture_.dialogs.messages, QStringList{kDone});
    QCOMPARE(spreadsheet::readFirstSheet(path + QStringLiteral(".xlsx")), cells);
  }

  void anIndependentReaderAgrees() {
    if (QStandardPaths::findExecutable(QStringLiteral("python3")).isEmpty())
      QSKIP("python3 is not installed");
    filter::text() = filter::compose([](int box) {
      return QList<int>{1, 4, 20, 43, 45}.contains(box);
    });
    forms::show(u"data_report");
    const QString path = dir_.filePath(QStringLiteral("cross.xlsx"));
    fixture_.dialogs.fileNames << path;
    form()->BitBtn1->click();
    QCOMPARE(fixture_.dialogs.messages, QStringList{kDone});
    QCOMPARE(independentRead(path),
             (QStringList{
                 "sheet:sheet1",
                 "s:序号\ts:身份证号\ts:姓名\ts:出生日期\ts:邮编\ts:任职年月\ts:任职年月_1",
                 "n:1\ts@:" + kPerson + "\ts@:张三\ts@:198001\ts@:010010\ts@:200101\ts@:200202"}));
  }

  void cancelledExportLeavesNoFile() {
    filter::text() = filter::compose([](int) { return false; });
    forms::show(u"data_report");
    QDir folder(dir_.filePath(QStringLiteral("cancel")));
    QVERIFY(folder.mkpath(QStringLiteral(".")));
    fixture_.dialogs.fileNames << folder.filePath(QStringLiteral("out.xlsx"));
    fixture_.dialogs.cancelAfter = 1;
    form()->BitBtn1->click();
    QCOMPARE(fixture_.dialogs.advances.size(), 1);
    QCOMPARE(fixture_.dialogs.messages, QStringList());
    QCOMPARE(fixture_.dialogs.errors, QStringList());
    QCOMPARE(folder.entryList(QDir::Files | QDir::Hidden), QStringList());

    form()->BitBtn1->click();  // the save dialog cancelled: nothing at all
    QCOMPARE(fixture_.dialogs.advances.size(), 1);
    QCOMPARE(fixture_.dialogs.messages, QStringList());
  }

  void saveDialogOpensWhereTheLastExportWent() {
    filter::text() = filter::compose([](int box) { return box == 1; });
    forms::show(u"data_report");
    QDir folder(dir_.filePath(QStringLiteral("chosen")));
    QVERIFY(folder.mkpath(QStringLiteral(".")));
    fixture_.dialogs.fileNames << folder.filePath(QStringLiteral("list"));
    form()->BitBtn1->click();
    QCOMPARE(fixture_.dialogs.messages, QStringList{kDone});
    form()->BitBtn1->click();  // cancelled
    QCOMPARE(fixture_.dialogs.saveFolders.size(), 2);
    QCOMPARE(fixture_.dialogs.saveFolders.last(), folder.absolutePath());
  }

  void visibleWindowKeepsItsRows() {
    auto* filterForm = static_cast<Tselect*>(forms::find(u"select"));
    forms::show(u"select");
    filterForm->CheckBox(1)->setChecked(true);
    filterForm->BitBtn1->click();
    QCOMPARE(form()->seach->fieldNames(), (QStringList{"身份证号", "姓名"}));
    QCOMPARE(form()->seach->recordCount(), 1);

    // A new 确定 stores its text, but the visible window keeps what it ran.
    filterForm->CheckBox(3)->setChecked(true);
    filterForm->BitBtn1->click();
    QCOMPARE(form()->seach->fieldNames(), (QStringList{"身份证号", "姓名"}));
    QVERIFY(filter::text().contains(QStringLiteral("info.mz as 民族")));

    form()->BitBtn2->click();
    QVERIFY(!form()->seach->active());
    filterForm->BitBtn1->click();
    QCOMPARE(form()->seach->fieldNames(), (QStringList{"身份证号", "姓名", "民族"}));
    forms::close(u"select");
  }

  void aLongResultIsShownAtOnceAndExportedWhole() {
    const int many = 20000;
    filter::text() = QStringLiteral(
                         "with recursive n(i) as (select 1 union all select i+1 from n where i<%1) "
                         "select substr('%2', length(i) + 1) || i as 甲 from n")
                         .arg(many)
                         .arg(QString(200, u'0'));
    forms::show(u"data_report");
    QVERIFY(form()->seach->loading());  // the first rows are in the grid, the rest on the way
    const QString path = dir_.filePath(QStringLiteral("long.xlsx"));
    fixture_.dialogs.fileNames << path;
    form()->BitBtn1->click();
    QCOMPARE(fixture_.dialogs.errors, QStringList());
    QCOMPARE(fixture_.dialogs.messages, QStringList{kDone});
    const QList<QStringList> cells = spreadsheet::readFirstSheet(path);
    QCOMPARE(cells.size(), many + 1);
    QCOMPARE(cells.last(), (QStringList{QString::number(many),
                                        QStringLiteral("%1").arg(many, 200, 10, QChar(u'0'))}));
  }

  void refusedTextShowsEmptyWindow() {
    filter::text() = QStringLiteral("select nothing from nowhere");
    forms::show(u"data_report");
    QVERIFY(form()->isVisible());
    QCOMPARE(fixture_.dialogs.errors.size(), 1);
    QCOMPARE(form()->DBGrid1->model()->rowCount(), 0);
    form()->BitBtn1->click();  // nothing to export: an error before any file is asked for
    QCOMPARE(fixture_.dialogs.errors.size(), 2);
  }

 private:
  ClientFixture fixture_;
  QTemporaryDir dir_;
  int exports_ = 0;
};

QTEST_MAIN(ReportDataTest)
#include "report_data_test.moc"
