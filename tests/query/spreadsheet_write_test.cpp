// Workbooks as our writer makes them: every cell reads back where and as it was written (texts
// that XML must escape, spaces at the ends, gaps between cells, numbers, blank text cells, a
// sheet of many deflated pieces), and another program opens them alike: LibreOffice reads the
// same cells, Python's zip module finds every part whole.
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include "query/spreadsheet.h"

namespace {

using Cells = QList<QStringList>;
using Format = spreadsheet::Writer::Format;

// A cell to write: a text (QString) or a number (double).
struct Cell {
  int row;
  int column;
  QVariant value;
  Format format = Format::General;
};

void write(const QString& path, const QList<Cell>& cells) {
  spreadsheet::Writer book(path, QStringLiteral("sheet1"));
  for (const Cell& c : cells) {
    if (c.value.typeId() == QMetaType::Double)
      book.number(c.row, c.column, c.value.toDouble());
    else
      book.text(c.row, c.column, c.value.toString(), c.format);
  }
  book.save();
}

// Rows × columns of texts, enough to be deflated in many pieces.
QList<Cell> manyCells(int rows, int columns, Cells* expected) {
  QList<Cell> cells;
  for (int r = 0; r < rows; ++r) {
    QStringList row;
    for (int c = 0; c < columns; ++c) {
      const QString text = QStringLiteral("张%1·%2").arg(r).arg(c);
      cells << Cell{r, c, text, Format::Text};
      row << text;
    }
    *expected << row;
  }
  return cells;
}

const QList<Cell> kTricky = {
    {0, 0, QStringLiteral("序号")},
    {0, 1, QStringLiteral("a&b<c>d\"e'f")},
    {0, 2, QStringLiteral("  两端有空格 "), Format::Text},
    {0, 3, QStringLiteral("第一行\n第二行"), Format::Text},
    {1, 0, 1.0},
    {1, 1, QString(), Format::Text},
    {1, 2, 0.5},
    {1, 30, QStringLiteral("AE 列")},
    {3, 1, -2.25},
    {3, 2, 123456789012.0},
    {3, 3, QStringLiteral("010010"), Format::Text},
};
const Cells kTrickyRead = {
    {"序号", "a&b<c>d\"e'f", "  两端有空格 ", "第一行\n第二行"},
    {"1", "", "0.5", "", "", "", "", "", "", "", "", "", "", "", "",     "",
     "",  "", "",    "", "", "", "", "", "", "", "", "", "", "", "AE 列"},
    {},
    {"", "-2.25", "123456789012", "010010"},
};

}  // namespace

Q_DECLARE_METATYPE(Cell)

class SpreadsheetWriteTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { QVERIFY(dir_.isValid()); }

  void readsBackAsWritten_data() {
    QTest::addColumn<QList<Cell>>("cells");
    QTest::addColumn<Cells>("expected");
    QTest::newRow("escapes, spaces, gaps, numbers, a blank text cell") << kTricky << kTrickyRead;
    Cells many;
    const QList<Cell> cells = manyCells(3000, 40, &many);
    QTest::newRow("3,000 rows of 40 texts") << cells << many;
    QTest::newRow("nothing") << QList<Cell>() << Cells();
  }

  void readsBackAsWritten() {
    QFETCH(QList<Cell>, cells);
    QFETCH(Cells, expected);
    const QString path = dir_.filePath(QStringLiteral("book%1.xlsx").arg(++books_));
    write(path, cells);
    QCOMPARE(spreadsheet::readFirstSheet(path), expected);
    QCOMPARE(QDir(dir_.path()).entryList({QStringLiteral(".*.part")}, QDir::Files | QDir::Hidden),
             QStringList());
  }

  void libreOfficeReadsTheSame() {
    const QString soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    if (soffice.isEmpty()) QSKIP("soffice is not installed (scripts/deps installs it)");
    const QString path = dir_.filePath(QStringLiteral("tricky.xlsx"));
    write(path, kTricky);
    QProcess convert;
    convert.start(soffice, {"--headless", "-env:UserInstallation=file://" + dir_.filePath("lo"),
                            "--convert-to", "csv:Text - txt - csv (StarCalc):44,34,76", "--outdir",
                            dir_.filePath("csv"), path});
    QVERIFY(convert.waitForFinished(180000));
    QCOMPARE(convert.exitCode(), 0);
    Cells read = spreadsheet::readFirstSheet(dir_.filePath(QStringLiteral("csv/tricky.csv")));
    // CSV has no blank cells at the end of a row, nor rows without cells: trimmed alike.
    Cells expected = kTrickyRead;
    for (Cells* rows : {&read, &expected})
      for (QStringList& row : *rows)
        while (!row.isEmpty() && row.back().isEmpty()) row.removeLast();
    QCOMPARE(read, expected);
  }

  void zipPartsAreWhole() {
    if (QStandardPaths::findExecutable(QStringLiteral("python3")).isEmpty())
      QSKIP("python3 is not installed");
    Cells many;
    const QString path = dir_.filePath(QStringLiteral("whole.xlsx"));
    write(path, manyCells(2000, 30, &many));
    QProcess python;
    python.start(QStringLiteral("python3"),
                 {QStringLiteral("-c"),
                  QStringLiteral("import sys, zipfile\n"
                                 "z = zipfile.ZipFile(sys.argv[1])\n"
                                 "print(z.testzip(), len(z.namelist()))"),
                  path});
    QVERIFY(python.waitForFinished(30000));
    QCOMPARE(python.readAllStandardOutput().trimmed(), QByteArray("None 6"));
  }

 private:
  QTemporaryDir dir_;
  int books_ = 0;
};

QTEST_GUILESS_MAIN(SpreadsheetWriteTest)
#include "spreadsheet_write_test.moc"
