#include "reports/person_record.h"

#include "reports/record_report.h"

namespace reports {

QList<Page> printRecord(Sheet& sheet, const QList<RecordReport*>& recordReports,
                        const QString& personId, const MessageSink& message) {
  const bool loaded = sheet.load(personId, message);
  QList<const Report*> document = {&sheet.report()};
  for (RecordReport* report : recordReports) {
    if (loaded)
      report->load(personId);
    else
      report->close();
    document.append(&report->report());
  }
  return layOut(document);
}

}  // namespace reports
