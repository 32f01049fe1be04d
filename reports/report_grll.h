#pragma once

#include "reports/record_report_form.h"

// The career history report, form "grll_report".
struct Tgrll_report : RecordReportForm {
  Tgrll_report() : RecordReportForm(QStringLiteral("grll_report")) {}
};
