#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <stdexcept>

struct lxw_format;
struct lxw_workbook;
struct lxw_worksheet;

// Spreadsheet files, written and read by libraries inside the program: no spreadsheet
// application is ever started.
namespace spreadsheet {

// A file that cannot be written or read; the text (UTF-8) is fit to show.
class Error : public std::runtime_error {
 public:
  explicit Error(const QString& text) : std::runtime_error(text.toUtf8().toStdString()) {}
};

// Writes an xlsx workbook of one sheet, row after row, in constant memory: only the row being
// written is held, so a sheet of 100,000 rows needs little. Rows and columns count from 0 and
// rows are written in ascending order. Nothing appears at the target path until `save`
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

  void text(int row, int column, const QString& value, Format format = Format::General);
  void number(int row, int column, double value);
  // Writes the workbook and puts it at the path, replacing a file there. Throws Error.
  void save();

 private:
  void check(int error) const;

  QString path_;
  QString partPath_;  // where the workbook is written before it takes its name
  lxw_workbook* workbook_ = nullptr;
  lxw_worksheet* sheet_ = nullptr;
  lxw_format* textFormat_ = nullptr;
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
