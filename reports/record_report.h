#pragma once

#include <QList>
#include <QObject>
#include <QString>

#include "reports/band_report.h"

class RemoteDataset;

// The six record-table reports: every row of one history table of a person, under a title and
// a row of column headings.
namespace reports {

struct RecordColumn {
  QString heading;
  double headingX;  // in the column-header band
  QString column;
  double valueX;  // in the detail band
};

struct RecordReportSpec {
  QString form;      // jzgjckh_report …
  QString table;     // the history table; its report query is schema::queries::history(table)
  QString provider;  // of the dataset <table>_search
  QString title;
  double titleX;
  double titleY;
  QList<RecordColumn> columns;
};

// In print order: jzgjckh, shgx, grll, jyqk, jnpx, jwpx.
const QList<RecordReportSpec>& recordReports();

// One record report and the dataset that drives it.
class RecordReport : public QObject {
  Q_OBJECT

 public:
  RecordReport(const RecordReportSpec& spec, QObject* parent = nullptr);

  // Reads the person's rows afresh: the report query with `personId` as its parameter.
  void load(const QString& personId);
  // Drops the rows: the report then prints its title and headings only.
  void close();

  const Report& report() const { return report_; }
  RemoteDataset& dataset() const { return *dataset_; }

 private:
  QString query_;
  RemoteDataset* dataset_;
  Report report_;
};

}  // namespace reports
