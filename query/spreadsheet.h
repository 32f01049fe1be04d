#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>
#include <memory>
#include <stdexcept>

class QFile;

// Spreadsheet files, written and read by libraries inside the program: no spreadsheet
// application is ever started.
namespace spreadsheet {

namespace detail {
class PartPipe;
class ZipWriter;
}  // namespace detail

// A file that cannot be written or read; the text (UTF-8) is fit to show.
class Error : public std::runtime_error {
 public:
  explicit Error(const QString& text) : std::runtime_error(text.toUtf8().toStdString()) {}
};

// Writes an xlsx workbook of one sheet, row after row, in constant memory: the sheet's XML is
// deflated into the file as the cells come, on a thread of its own (at zlib's fastest level: an
// export is written far more often than it is stored), so a sheet of 100,000 rows needs little.
// Texts are inline strings. Rows and columns count from 0 and rows are written in ascending order,
// the cells of a row in ascending columns. Nothing appears at the target path until `save`
// succeeds: a writer destroyed before that leaves no file behind.
class Writer {
 public:
  enum class Format {
    General,  // the default: a numeric text may be taken for a number by a spreadsheet program
    Text,     // the text format "@": the value stays text exactly as written
  };

  // Throws Error when the workbook cannot be started beside `path`.
  Writer(const QString& path, const QString& sheetName);
  ~Writer();
  Writer(const Writer&) = delete;
  Writer& operator=(const Writer&) = delete;

  // An empty text leaves the cell blank (formatted as text with Format::Text). Throws Error.
  void text(int row, int column, const QString& value, Format format = Format::General);
  void text(int row, int column, QByteArrayView utf8, Format format = Format::General);
  void number(int row, int column, double value);
  // Writes the rest of the workbook and puts it at the path, replacing a file there. Throws
  // Error.
  void save();

 private:
  // Opens the cell's element, after its row's when the row is new.
  void startCell(int row, int column);
  // Hands the sheet's XML written so far to the archive once there is enough of it.
  void flushSheet(qsizetype atLeast);

  QString path_;
  QString partPath_;  // where the workbook is written before it takes its name
  std::unique_ptr<QFile> file_;
  std::unique_ptr<detail::ZipWriter> zip_;
  std::unique_ptr<detail::PartPipe> sheetPipe_;
  QByteArray sheet_;  // the sheet's XML not yet handed to the archive
  int row_ = -1;
  int column_ = -1;
  bool saved_ = false;
};

// The cells of the first worksheet of the workbook at `path`, as text: rows[r][c] is the cell in
// row r+1, column c+1. The list runs to the last row that holds a value; rows are as long as
// their last value, and an empty cell reads as the empty text. A number reads as the text of
// the number ("2", "0.5"). xlsx and ods are told by their content, legacy xls by its signature;
// a file named .xlsx, .xls or .ods that is none of them is refused, anything else is read as
// CSV (UTF-8, or GB18030 when it is not UTF-8).
//
// The file is read by a separate process, staffinfo-sheet-reader (beside this program, or
// $STAFFINFO_SHEET_READER), bounded in memory and time: a file that crashes or exhausts a
// reading library is refused like any other damaged file, and this program goes on. Throws
// Error, whose text names the file and, where the fault lies in a cell, the sheet, row and
// column.
QList<QStringList> readFirstSheet(const QString& path);

}  // namespace spreadsheet
