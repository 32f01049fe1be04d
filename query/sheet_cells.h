#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// What the spreadsheet readers share (query/spreadsheet_read.cpp, query/xlsx_read.cpp).
namespace spreadsheet::detail {

// The cells of one sheet as text, grown as they come; empty texts are not stored.
class Cells {
 public:
  void set(int row, int column, QString text);
  QList<QStringList> take() { return std::move(rows_); }

 private:
  QList<QStringList> rows_;
};

// The text a spreadsheet shows for a number in the general format: whole numbers without a
// fraction, others with up to 15 significant digits.
QString numberText(double value);

// The first worksheet of an xlsx file. Throws std::exception on a damaged file.
QList<QStringList> readXlsx(const QByteArray& file);

}  // namespace spreadsheet::detail
