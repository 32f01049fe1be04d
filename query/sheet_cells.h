#pragma once

#include <QByteArray>
#include <QDataStream>
#include <QList>
#include <QString>
#include <QStringList>
#include <string_view>

// What the spreadsheet readers share (query/spreadsheet_read.cpp and the files it calls on).
// They run inside the reading process (query/sheet_reader_main.cpp); every failure is a
// spreadsheet::Error whose text says what is wrong and where.
namespace spreadsheet::detail {

// The limits of a sheet, as xlsx has them (ods and xls sheets are no larger).
inline constexpr int kMaxRows = 1048576;
inline constexpr int kMaxColumns = 16384;
// The most cells a sheet may take as it is returned (rows, and every row as long as its last
// value): far beyond an import's rows, small enough to keep the reading in memory.
inline constexpr qint64 kMaxCells = 4000000;
// The most bytes of any one part of a file: the file itself, or a part of a zip archive once
// inflated. A small archive may inflate to gigabytes (a zip bomb); its parts are refused first.
inline constexpr qint64 kMaxPartBytes = 64 * 1024 * 1024;

// "A", "B", … "XFD" for columns 0, 1, … 16383.
QString columnName(int column);

// "工作表“Sheet1”第 3 行第 2 列（B3）" for row 2, column 1; without a sheet name it starts at
// "第".
QString cellPlace(const QString& sheet, int row, int column);

// The cells of one sheet as text, grown as they come; empty texts are not stored.
class Cells {
 public:
  // The sheet's name, for messages.
  void setSheet(QString name) { sheet_ = std::move(name); }
  const QString& sheet() const { return sheet_; }

  // Throws Error when the cell lies beyond the sheet's limits or the sheet grows past kMaxCells.
  void set(int row, int column, QString text);
  QList<QStringList> take() { return std::move(rows_); }

 private:
  QString sheet_;
  QList<QStringList> rows_;
  qint64 cells_ = 0;  // rows, and the cells of every row
};

// The text a spreadsheet shows for a number in the general format: whole numbers without a
// fraction, others with up to 15 significant digits, fewer when fewer give the number back.
QString numberText(double value);

// The text of a number cell whose value is stored as `stored` ("2", "1E-310"): numberText of
// the number; the stored text itself when it is no finite number ("1e999"). Never throws.
QString numberCellText(std::string_view stored);

class ZipParts;

// The first worksheet of an xlsx archive. Throws Error.
QList<QStringList> readXlsx(const ZipParts& zip);

// The text of a CSV file: by its byte-order mark when it has one, else UTF-8, else GB18030
// (files saved on Chinese systems). A file whose lines are mostly valid UTF-8 is UTF-8 even
// when a line is not, so a damaged UTF-8 file is never read as GB18030. Throws Error naming
// the first line that no encoding reads, or a line holding a zero byte (not text at all).
QString csvText(const QByteArray& bytes);

// How the reading process hands the cells over (query/sheet_reader_main.cpp).
inline constexpr QDataStream::Version kCellStreamVersion = QDataStream::Qt_6_0;

// The first worksheet of the file at `path`, read in this process. Throws Error, whose text
// begins with the path.
QList<QStringList> readSheetFile(const QString& path);

}  // namespace spreadsheet::detail
