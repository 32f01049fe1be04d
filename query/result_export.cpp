#include "query/result_export.h"

#include <QFileInfo>

#include "query/spreadsheet.h"
#include "schema/values.h"
#include "shell/dialogs.h"
#include "shell/remote_dataset.h"

namespace query {

namespace {

constexpr int kRecordsPerStep = 500;  // how often the progress hears of the export
const QString kSheet = QStringLiteral("sheet1");

}  // namespace

bool exportRows(const ExportRows& rows, const QString& path, Progress& progress) {
  using Format = spreadsheet::Writer::Format;
  spreadsheet::Writer book(path, kSheet);
  book.text(0, 0, QStringLiteral("序号"));
  for (int c = 0; c < rows.titles.size(); ++c) book.text(0, c + 1, schema::trim(rows.titles[c]));
  QByteArray scratch;
  for (int k = 1; k <= rows.records; ++k) {
    book.number(k, 0, k);
    for (int c = 0; c < rows.titles.size(); ++c)
      book.text(k, c + 1, schema::trimUtf8(rows.cell(k - 1, c, scratch)), Format::Text);
    if ((k % kRecordsPerStep == 0 || k == rows.records) && !progress.advance(k)) return false;
  }
  book.save();
  return true;
}

QByteArrayView ExportRows::utf8(const QString& text, QByteArray& scratch) {
  scratch = text.toUtf8();
  return scratch;
}

ExportRows resultRows(const RemoteDataset& result) {
  return {result.fieldNames(), result.recordCount(),
          [&result](int record, int column, QByteArray& scratch) {
            return result.utf8(record, column, scratch);
          }};
}

bool exportResult(const RemoteDataset& result, const QString& path, Progress& progress) {
  return exportRows(resultRows(result), path, progress);
}

void exportFromWindow(QWidget* window, const ExportRows& rows, QString& folder) {
  const QString chosen = Dialogs::current().saveFileName(
      window, QStringLiteral("导出EXCEL"), QStringLiteral("电子表格 (*.xlsx)"), folder);
  if (chosen.isEmpty()) return;
  const std::unique_ptr<Progress> progress =
      Dialogs::current().progress(window, QStringLiteral("正在导出…"), rows.records);
  if (!exportRows(rows, withWorkbookSuffix(chosen), *progress)) return;
  folder = QFileInfo(chosen).absolutePath();
  showMessage(window, QStringLiteral("导出成功!"));
}

QString withWorkbookSuffix(const QString& path) {
  const QString suffix = QStringLiteral(".xlsx");
  return path.endsWith(suffix, Qt::CaseInsensitive) ? path : path + suffix;
}

}  // namespace query
