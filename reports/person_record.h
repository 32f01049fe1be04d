#pragma once

#include <QList>

#include "reports/band_report.h"
#include "reports/sheet.h"

namespace reports {

class RecordReport;

// Loads one person's printed record afresh and lays it out: the sheet, then the six record
// reports in order. The record reports are loaded only when the sheet's loading ran to its
// end; otherwise they are emptied and print their titles and headings alone, so a print never
// shows rows left from an earlier one. The sheet's messages go to `message`.
QList<Page> printRecord(Sheet& sheet, const QList<RecordReport*>& recordReports,
                        const QString& personId, const MessageSink& message);

}  // namespace reports
