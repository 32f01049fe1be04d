#include "reports/band_report.h"

#include "shell/remote_dataset.h"

namespace reports {

Text fixedText(double x, double y, const QString& text, Face face) {
  Text result;
  result.x = x;
  result.y = y;
  result.text = text;
  result.face = face;
  return result;
}

Text boundText(double x, double y, const RemoteDataset* dataset, const QString& column) {
  Text result = fixedText(x, y, {});
  result.dataset = dataset;
  result.column = column;
  return result;
}

namespace {

// Fills pages from the top down.
class Layout {
 public:
  Layout() : pages_(1) {}

  bool fits(double height) const { return top_ + height <= kPageHeight + 1e-6; }

  void newPage() {
    pages_.append(Page());
    top_ = 0;
  }

  // Places the band's texts at the current height, reading bound values from `row` of the
  // report's rows, and moves below the band.
  void place(const Band& band, const RemoteDataset* rows, int row) {
    for (const Text& text : band.texts) {
      const QString value = text.dataset ? valueOf(text, rows, row) : text.text;
      if (!value.isEmpty())
        pages_.last().append({text.x, top_ + text.y, value, text.face, text.centred});
    }
    top_ += band.height;
  }

  QList<Page> pages() && { return std::move(pages_); }

 private:
  static QString valueOf(const Text& text, const RemoteDataset* rows, int row) {
    const RemoteDataset& data = *text.dataset;
    return data.value(&data == rows ? row : data.recNo(), data.fieldIndex(text.column)).toString();
  }

  QList<Page> pages_;
  double top_ = 0;
};

}  // namespace

QList<Page> layOut(const QList<const Report*>& reports) {
  Layout layout;
  for (const Report* report : reports) {
    if (!layout.fits(report->title.height + report->columnHeader.height)) layout.newPage();
    layout.place(report->title, report->rows, -1);
    layout.place(report->columnHeader, report->rows, -1);
    const int rows = report->rows ? report->rows->recordCount() : 1;
    for (int row = 0; row < rows; ++row) {
      if (!layout.fits(report->detail.height)) {
        layout.newPage();
        layout.place(report->columnHeader, report->rows, -1);
      }
      layout.place(report->detail, report->rows, row);
    }
  }
  return std::move(layout).pages();
}

}  // namespace reports
