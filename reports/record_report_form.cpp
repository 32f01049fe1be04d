#include "reports/record_report_form.h"

#include "shell/signin.h"

namespace {

const reports::RecordReportSpec& specOf(const QString& form) {
  for (const reports::RecordReportSpec& spec : reports::recordReports())
    if (spec.form == form) return spec;
  Q_ASSERT_X(false, "RecordReportForm", "not a record report form");
  return reports::recordReports().front();
}

}  // namespace

RecordReportForm::RecordReportForm(const QString& form, QWidget* parent)
    : Form(form, parent), QuickRep1(new reports::RecordReport(specOf(form), this)) {
  setWindowTitle(specOf(form).title);
}

void RecordReportForm::FormShow() { QuickRep1->load(SignIn::state().currentPersonId); }

void RecordReportForm::FormClose() { QuickRep1->close(); }
