#pragma once

#include <QFont>
#include <QPageLayout>
#include <QPainter>
#include <QSaveFile>
#include <QStringList>
#include <memory>

#include "reports/band_report.h"

class QPagedPaintDevice;
class QPdfWriter;

// The one renderer of laid-out pages: the preview, the printer and PDF files all get their
// pages from here.
namespace reports {

// A4 portrait with 10 mm margins on all four sides.
QPageLayout pageLayout();

// The font of a face. "Arial" is served by a metric-compatible face where Arial itself is
// missing, and its Chinese by a CJK sans; "楷体_GB2312" by AR PL UKai where it is missing.
QFont font(Face face);

// What is wrong with the fonts at hand, one sentence each: no Kai face for the headings (they
// then print in another Chinese face), or no face at all for Chinese text. Empty when all is well.
QStringList fontWarnings();

// Paints pages onto a paged device whose page layout is pageLayout(), one device page per
// page, from the device's current page on. Throws std::runtime_error when painting cannot begin.
class PageWriter {
 public:
  explicit PageWriter(QPagedPaintDevice& device);

  void write(const QList<Page>& pages);
  // Ends painting; false when the device reported a failure.
  bool finish();

 private:
  QPagedPaintDevice& device_;
  QPainter painter_;
  double scaleX_;  // device units per px
  double scaleY_;
  bool started_ = false;
};

// A PDF file written page by page. Nothing appears at `path` until finish() succeeds; an
// unfinished file is dropped. Throws std::runtime_error with the reason when the file cannot be
// written.
class PdfFile {
 public:
  explicit PdfFile(const QString& path);
  ~PdfFile();

  void write(const QList<Page>& pages);
  void finish();

 private:
  QSaveFile file_;
  std::unique_ptr<QPdfWriter> pdf_;
  std::unique_ptr<PageWriter> writer_;
};

// Writes the pages to a PDF file at `path`; throws as PdfFile does.
void writePdf(const QString& path, const QList<Page>& pages);

}  // namespace reports
