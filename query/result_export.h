#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <functional>

class Progress;
class QWidget;
class RemoteDataset;

// The export of a result: one workbook, the same from the result windows and the command line.
namespace query {

// Rows to export: the column titles, and each cell's text by record and column (from 0) as
// UTF-8: a view of bytes kept elsewhere, or of `scratch`, which `cell` may fill (see utf8()).
struct ExportRows {
  QStringList titles;
  int records = 0;
  std::function<QByteArrayView(int record, int column, QByteArray& scratch)> cell;

  // `text` as a cell: its UTF-8, made in `scratch`.
  static QByteArrayView utf8(const QString& text, QByteArray& scratch);
};

// Writes `rows` to an xlsx workbook at `path`, first sheet "sheet1": row 1 holds "序号" and the
// trimmed titles; each record k below it holds k as a number, then each cell as trimmed text in
// the text format "@", so identity numbers, year-months and postcodes keep every character.
// `progress` hears how many records are written; when it asks to cancel, nothing is left at
// `path` and false is returned. Throws spreadsheet::Error.
bool exportRows(const ExportRows& rows, const QString& path, Progress& progress);

// Every row of `result` (which must outlive them), its column names as titles.
ExportRows resultRows(const RemoteDataset& result);
// exportRows of resultRows(result).
bool exportResult(const RemoteDataset& result, const QString& path, Progress& progress);

// A window's 导出EXCEL: asks where to save (the dialog opening in `folder`, the folder of the
// window's last export, which then follows the file chosen), writes `rows` with a progress
// dialog, and says "导出成功!". Nothing is written when the user cancels either dialog.
// Throws spreadsheet::Error.
void exportFromWindow(QWidget* window, const ExportRows& rows, QString& folder);

// `path` with the workbook suffix ".xlsx" appended unless it already ends so.
QString withWorkbookSuffix(const QString& path);

}  // namespace query
