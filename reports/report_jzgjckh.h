#pragma once

#include "reports/record_report_form.h"

// The awards and appraisals report, form "jzgjckh_report".
struct Tjzgjckh_report : RecordReportForm {
  Tjzgjckh_report() : RecordReportForm(QStringLiteral("jzgjckh_report")) {}
};
