#pragma once

#include "reports/record_report_form.h"

// The training abroad report, form "jwpx_report".
struct Tjwpx_report : RecordReportForm {
  Tjwpx_report() : RecordReportForm(QStringLiteral("jwpx_report")) {}
};
