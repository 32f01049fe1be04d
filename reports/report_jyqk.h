#pragma once

#include "reports/record_report_form.h"

// The education report, form "jyqk_report".
struct Tjyqk_report : RecordReportForm {
  Tjyqk_report() : RecordReportForm(QStringLiteral("jyqk_report")) {}
};
