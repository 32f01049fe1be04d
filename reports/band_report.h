#pragma once

#include <QList>
#include <QString>

class RemoteDataset;

// A small banded-report layer. A report is a title band, a column-header band and a detail
// band, each holding fixed and data-bound texts at positions in px at 96 px to the inch. A list
// of reports is laid out into one document of A4 portrait pages with 10 mm margins; one
// renderer (reports/page_writer.h) then paints those pages onto the preview, a printer or PDF.
namespace reports {

// The printable area of every page (A4 portrait less 10 mm on each side), in px.
inline constexpr double kPxPerInch = 96;
inline constexpr double kPxPerMm = kPxPerInch / 25.4;
inline constexpr double kPageWidth = (210 - 2 * 10) * kPxPerMm;
inline constexpr double kPageHeight = (297 - 2 * 10) * kPxPerMm;

enum class Face {
  Report,   // the report font, Arial 10 pt
  Heading,  // headings and sub-titles, 楷体_GB2312 14 pt bold
};

// One text of a band. Its box is as wide as its text; (x, y) is the box's top-left corner in px
// from the band's top-left. A bound text (with a dataset) prints `column` of a row: the band's
// row in a detail band driven by that dataset, else the dataset's current row; nothing when
// there is no such row or column.
struct Text {
  double x = 0;
  double y = 0;
  QString text;  // printed as it is when no dataset is given
  const RemoteDataset* dataset = nullptr;
  QString column;
  Face face = Face::Report;
  bool centred = false;  // centred across the page; x is not used
};

// A fixed text, and a text bound to a column.
Text fixedText(double x, double y, const QString& text, Face face = Face::Report);
Text boundText(double x, double y, const RemoteDataset* dataset, const QString& column);

struct Band {
  double height = 0;
  QList<Text> texts;
};

// The title band once, the column-header band under it and again at the top of every further
// page the report runs over, and the detail band once for each row of `rows` (once when `rows`
// is null).
struct Report {
  Band title;
  Band columnHeader;
  Band detail;
  const RemoteDataset* rows = nullptr;
};

// A text on a page with its value resolved; (x, y) in px from the printable area's top-left.
struct Placed {
  double x = 0;
  double y = 0;
  QString text;
  Face face = Face::Report;
  bool centred = false;
};
using Page = QList<Placed>;

// Lays the reports out, in order, as one document. Each report starts right below the end of
// the one before; a band that does not fit in the rest of the page starts a new page. A title
// stays on the page of its column headings. Empty values are left out.
QList<Page> layOut(const QList<const Report*>& reports);

}  // namespace reports
