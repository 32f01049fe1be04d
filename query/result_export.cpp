#include "query/result_export.h"

#include "query/spreadsheet.h"
#include "schema/values.h"
#include "shell/dialogs.h"
#include "shell/remote_dataset.h"

namespace query {

namespace {

constexpr int kRecordsPerStep = 500;  // how often the progress hears of the export
const QString kSheet = QStringLiteral("sheet1");

}  // namespace

bool exportResult(const RemoteDataset& result, const QString& path, Progress& progress) {
  using Format = spreadsheet::Writer::Format;
  spreadsheet::Writer book(path, kSheet);
  const QStringList& titles = result.fieldNames();
  book.text(0, 0, QStringLiteral("序号"));
  for (int c = 0; c < titles.size(); ++c) book.text(0, c + 1, schema::trim(titles[c]));
  const int records = result.recordCount();
  QByteArray scratch;
  for (int k = 1; k <= records; ++k) {
    book.number(k, 0, k);
    for (int c = 0; c < titles.size(); ++c)
      book.text(k, c + 1, result.trimmedUtf8(k - 1, c, &scratch), Format::Text);
    if ((k % kRecordsPerStep == 0 || k == records) && !progress.advance(k)) return false;
  }
  book.save();
  return true;
}

QString withWorkbookSuffix(const QString& path) {
  const QString suffix = QStringLiteral(".xlsx");
  return path.endsWith(suffix, Qt::CaseInsensitive) ? path : path + suffix;
}

}  // namespace query
