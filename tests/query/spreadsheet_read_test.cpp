// Reading spreadsheet files: the files LibreOffice Calc writes, read alike in all four formats,
// and files that are damaged, hostile or odd, each read or refused with a message that says
// where, never a crash of the program that reads them.
#include <zlib.h>

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include "query/spreadsheet.h"

namespace {

using Cells = QList<QStringList>;

// The sheet written with our own writer and converted by LibreOffice: identity numbers and a
// postcode as text, numbers whole and not, Chinese everywhere, an empty row between.
const Cells kSheet = {
    {"姓名", "身份证号", "密码", "权限", "邮编"},
    {"王五", "320101198001010033", "abc", "2", "010010"},
    {"赵六", "11010119900101123X", "p@ss word", "1"},
    {},
    {"钱七", "330101199001010001", "中文密码", "0.5", "100000"},
};

void writeSheet(const QString& path) {
  using Format = spreadsheet::Writer::Format;
  spreadsheet::Writer book(path, QStringLiteral("Sheet1"));
  for (int r = 0; r < kSheet.size(); ++r)
    for (int c = 0; c < kSheet[r].size(); ++c) {
      const QString& v = kSheet[r][c];
      if (r > 0 && (c == 3 || (c == 4 && v == u"100000")))
        book.number(r, c, v.toDouble());
      else
        book.text(r, c, v, Format::Text);
    }
  book.save();
}

// A zip archive part, deflated, and the size its directory entry claims.
struct Part {
  QString name;
  QByteArray deflated;
  quint32 crc = 0;
  quint32 size = 0;
};

// Deflates `size` bytes, `text` repeated (or the text once when size is 0), a piece at a time:
// a part of hundreds of MiB costs the test only its compressed bytes.
Part deflated(const QString& name, const QByteArray& text, qint64 size = 0) {
  Part part{name, {}, quint32(crc32(0, nullptr, 0)), 0};
  z_stream s{};
  deflateInit2(&s, Z_BEST_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
  QByteArray piece = text;
  if (size > 0)
    while (piece.size() < 1024 * 1024) piece += text;
  const qint64 total = size > 0 ? size : text.size();
  char out[64 * 1024];
  for (qint64 done = 0; done < total || s.avail_in > 0;) {
    if (s.avail_in == 0) {
      const qint64 take = qMin<qint64>(piece.size(), total - done);
      s.next_in = reinterpret_cast<Bytef*>(piece.data());
      s.avail_in = uInt(take);
      part.crc = quint32(crc32(part.crc, s.next_in, uInt(take)));
      done += take;
    }
    const int flush = done == total ? Z_FINISH : Z_NO_FLUSH;
    do {
      s.next_out = reinterpret_cast<Bytef*>(out);
      s.avail_out = sizeof out;
      deflate(&s, flush);
      part.deflated.append(out, qsizetype(sizeof out - s.avail_out));
    } while (s.avail_out == 0);
  }
  deflateEnd(&s);
  part.size = quint32(total);
  return part;
}

QByteArray littleEndian(quint32 value, int bytes) {
  QByteArray out;
  for (int i = 0; i < bytes; ++i) out.append(char(value >> (8 * i)));
  return out;
}

QByteArray zipOf(const QList<Part>& parts) {
  QByteArray file, directory;
  for (const Part& p : parts) {
    const QByteArray name = p.name.toUtf8();
    const QByteArray common =
        littleEndian(20, 2) + littleEndian(0, 2) + littleEndian(8, 2) + littleEndian(0, 4) +
        littleEndian(p.crc, 4) + littleEndian(quint32(p.deflated.size()), 4) +
        littleEndian(p.size, 4) + littleEndian(quint32(name.size()), 2) + littleEndian(0, 2);
    directory += littleEndian(0x02014b50, 4) + littleEndian(20, 2) + common +
                 littleEndian(0, 2 + 2 + 2 + 4) + littleEndian(quint32(file.size()), 4) + name;
    file += littleEndian(0x04034b50, 4) + common + name + p.deflated;
  }
  return file + directory + littleEndian(0x06054b50, 4) + littleEndian(0, 4) +
         littleEndian(quint32(parts.size()), 2) + littleEndian(quint32(parts.size()), 2) +
         littleEndian(quint32(directory.size()), 4) + littleEndian(quint32(file.size()), 4) +
         littleEndian(0, 2);
}

// An xlsx archive of the parts our reader needs, its first sheet "Sheet1" holding `rows`.
QList<Part> xlsxParts(const QByteArray& rows, const QByteArray& strings = {}) {
  QList<Part> parts = {
      deflated("xl/workbook.xml",
               R"(<workbook xmlns:r="r"><sheets><sheet name="Sheet1" r:id="rId1"/></sheets>)"
               R"(</workbook>)"),
      deflated("xl/_rels/workbook.xml.rels",
               R"(<Relationships><Relationship Id="rId1" Target="worksheets/sheet1.xml"/>)"
               R"(</Relationships>)"),
      deflated("xl/worksheets/sheet1.xml",
               "<worksheet><sheetData>" + rows + "</sheetData></worksheet>")};
  if (!strings.isEmpty()) parts << deflated("xl/sharedStrings.xml", "<sst>" + strings + "</sst>");
  return parts;
}

const QByteArray kHeading = R"(<row r="1"><c r="A1" t="inlineStr"><is><t>姓名</t></is></c></row>)";

}  // namespace

class SpreadsheetReadTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { QVERIFY(dir_.isValid()); }

  void writtenByLibreOffice_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("problem");
    const QString source = dir_.filePath(QStringLiteral("source.xlsx"));
    writeSheet(source);
    const QString soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    const QStringList formats = {"xlsx", "ods", "xls",
                                 "csv:Text - txt - csv (StarCalc):44,34,76"};  // UTF-8
    for (const QString& format : formats) {
      const QString suffix = format.section(u':', 0, 0);
      const QString folder = dir_.filePath(suffix);
      QString problem;
      if (soffice.isEmpty()) {
        problem = QStringLiteral(
            "soffice is not installed (scripts/deps installs "
            "libreoffice-calc-nogui): LibreOffice's files cannot be made");
      } else {
        QProcess convert;
        convert.start(soffice, {"--headless", "-env:UserInstallation=file://" + dir_.filePath("lo"),
                                "--convert-to", format, "--outdir", folder, source});
        if (!convert.waitForFinished(180000) || convert.exitCode() != 0)
          problem = "soffice failed: " + QString::fromUtf8(convert.readAllStandardError());
      }
      QTest::newRow(qPrintable(suffix))
          << QDir(folder).filePath(QStringLiteral("source.") + suffix) << problem;
    }
  }

  void writtenByLibreOffice() {
    QFETCH(QString, path);
    QFETCH(QString, problem);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    QVERIFY2(QFile::exists(path), "soffice wrote no file");
    QCOMPARE(spreadsheet::readFirstSheet(path), kSheet);
  }

  // Each file is read, its second row as given, or refused with a message holding `error`.
  void oddFiles_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("error");
    QTest::addColumn<QStringList>("row");
    const auto file = [this](const char* name, const QByteArray& bytes) {
      QFile out(dir_.filePath(QString::fromUtf8(name)));
      if (out.open(QIODevice::WriteOnly)) out.write(bytes);
      return out.fileName();
    };

    QTest::newRow("a number beyond any double; a formula's tiny cached value")
        << file("numbers.xlsx",
                zipOf(xlsxParts(kHeading + R"(<row r="2"><c r="A2"><v>1e999</v></c>)"
                                           R"(<c r="B2"><f>1E-300/1E10</f><v>1E-310</v></c>)"
                                           R"(</row>)")))
        << QString() << QStringList{"1e999", "1e-310"};
    QTest::newRow("a row beyond the sheet")
        << file("rows.xlsx", zipOf(xlsxParts(R"(<row><c r="A999999999"><v>1</v></c></row>)")))
        << "工作表“Sheet1”的单元格 A999999999 超出了表格的范围" << QStringList();
    QTest::newRow("a column beyond the sheet")
        << file("columns.xlsx", zipOf(xlsxParts(R"(<row><c r="ZZZZZZ1"><v>1</v></c></row>)")))
        << "单元格 ZZZZZZ1 超出了表格的范围" << QStringList();
    QTest::newRow("a shared text that is not there")
        << file("strings.xlsx",
                zipOf(xlsxParts(kHeading + R"(<row><c r="B2" t="s"><v>7</v></c></row>)",
                                "<si><t>一</t></si>")))
        << "工作表“Sheet1”第 2 行第 2 列（B2）：引用的共享文本“7”不存在" << QStringList();

    // 256 MiB of one byte, in a file of a few hundred KiB; once as it says, once hiding its size.
    QList<Part> bomb = xlsxParts(kHeading);
    bomb[2] = deflated("xl/worksheets/sheet1.xml", "<", 256 * 1024 * 1024);
    QTest::newRow("a zip bomb") << file("bomb.xlsx", zipOf(bomb))
                                << "xl/worksheets/sheet1.xml 解压后超过 64 MiB" << QStringList();
    bomb[2].size = 4096;
    QTest::newRow("a zip bomb that hides its size")
        << file("hidden.xlsx", zipOf(bomb)) << "xl/worksheets/sheet1.xml 已损坏" << QStringList();

    const QString whole = dir_.filePath(QStringLiteral("whole.xlsx"));
    writeSheet(whole);
    QFile book(whole);
    QVERIFY(book.open(QIODevice::ReadOnly));
    QTest::newRow("a truncated xlsx")
        << file("cut.xlsx", book.read(book.size() / 2)) << "它不是电子表格" << QStringList();
    QRandomGenerator random(14);
    QByteArray noise(4096, '\0');
    for (char& byte : noise) byte = char(random.generate());
    QTest::newRow("random bytes named .ods")
        << file("noise.ods", noise) << "它不是电子表格" << QStringList();
    // Two-character names: the UTF-8 text decodes cleanly as GB18030 but for the bad byte.
    QTest::newRow("UTF-8 with one bad byte")
        << file("damaged.csv", "姓名,身份证号,密码,权限\n王五,1,p,2\n赵六\xff,2,p,2\n钱七,3,p,2\n")
        << "第 3 行有无法识别的字符" << QStringList();
  }

  void oddFiles() {
    QFETCH(QString, path);
    QFETCH(QString, error);
    QFETCH(QStringList, row);
    try {
      const Cells cells = spreadsheet::readFirstSheet(path);
      QVERIFY2(error.isEmpty(), qPrintable(QStringLiteral("read, not refused: ") + error));
      QCOMPARE(cells.value(1), row);
    } catch (const spreadsheet::Error& e) {
      const QString text = QString::fromUtf8(e.what());
      QVERIFY2(!error.isEmpty() && text.contains(error) && text.contains(path), qPrintable(text));
    }
  }

  void aReaderThatCrashesIsAMessage() {
    const QString crash = dir_.filePath(QStringLiteral("crash.sh"));
    QFile script(crash);
    QVERIFY(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\nkill -SEGV $$\n");
    script.close();
    script.setPermissions(script.permissions() | QFileDevice::ExeOwner);
    const QByteArray reader = qgetenv("STAFFINFO_SHEET_READER");
    qputenv("STAFFINFO_SHEET_READER", QFile::encodeName(crash));
    QString text;
    try {
      spreadsheet::readFirstSheet(dir_.filePath(QStringLiteral("any.xlsx")));
    } catch (const spreadsheet::Error& e) {
      text = QString::fromUtf8(e.what());
    }
    qputenv("STAFFINFO_SHEET_READER", reader);
    QVERIFY2(text.contains(QStringLiteral("读取程序异常结束")), qPrintable(text));
  }

 private:
  QTemporaryDir dir_;
};

QTEST_GUILESS_MAIN(SpreadsheetReadTest)
#include "spreadsheet_read_test.moc"
