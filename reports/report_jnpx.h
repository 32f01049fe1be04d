#pragma once

#include "reports/record_report_form.h"

// The training at home report, form "jnpx_report".
struct Tjnpx_report : RecordReportForm {
  Tjnpx_report() : RecordReportForm(QStringLiteral("jnpx_report")) {}
};
