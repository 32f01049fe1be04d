#pragma once

#include "reports/record_report_form.h"

// The social relations report, form "shgx_report".
struct Tshgx_report : RecordReportForm {
  Tshgx_report() : RecordReportForm(QStringLiteral("shgx_report")) {}
};
