#pragma once

#include <QString>

class Progress;
class RemoteDataset;

// The export of a result: one workbook, the same from the result window and the command line.
namespace query {

// Writes every row of `result` to an xlsx workbook at `path`, first sheet "sheet1": row 1 holds
// "序号" and the trimmed column names; each record k below it holds k as a number, then each
// value as trimmed text in the text format "@", so identity numbers, year-months and postcodes
// keep every character. `progress` hears how many records are written; when it asks to cancel,
// nothing is left at `path` and false is returned. Throws spreadsheet::Error.
bool exportResult(const RemoteDataset& result, const QString& path, Progress& progress);

// `path` with the workbook suffix ".xlsx" appended unless it already ends so.
QString withWorkbookSuffix(const QString& path);

}  // namespace query
