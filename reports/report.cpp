#include "reports/report.h"

#include <QApplication>

#include "reports/page_writer.h"
#include "reports/person_record.h"
#include "reports/preview.h"
#include "reports/record_report_form.h"
#include "reports/sheet.h"
#include "shell/dialogs.h"
#include "shell/forms.h"
#include "shell/signin.h"

namespace {

// The reports of the record report forms, in print order, through the forms registry.
QList<reports::RecordReport*> recordReportsOfForms() {
  QList<reports::RecordReport*> found;
  for (const reports::RecordReportSpec& spec : reports::recordReports())
    if (auto* form = dynamic_cast<RecordReportForm*>(forms::find(spec.form)))
      found.append(form->QuickRep1);
  return found;
}

// Messages and the preview stand over the window the user works in; this form is never visible.
QWidget* ownerFor(QWidget* form) {
  QWidget* active = QApplication::activeWindow();
  return active ? active : form;
}

}  // namespace

Treport_basic::Treport_basic(QWidget* parent)
    : Form(QStringLiteral("report_basic"), parent), QuickRep1(new reports::Sheet(this)) {
  setWindowTitle(QStringLiteral("基本信息报表"));
}

void Treport_basic::FormShow() { load(SignIn::state().currentPersonId); }

void Treport_basic::load(const QString& personId) {
  pages_ = reports::printRecord(*QuickRep1, recordReportsOfForms(), personId,
                                [this](const QString& text) { showMessage(ownerFor(this), text); });
}

void Treport_basic::printPreview(const QString& personId) {
  load(personId);
  // Missing fonts are told once a run: the document still prints, in the faces at hand.
  if (!fontsChecked_)
    for (const QString& warning : reports::fontWarnings()) showMessage(ownerFor(this), warning);
  fontsChecked_ = true;
  reports::preview(ownerFor(this), windowTitle(), pages_);
}

void Treport_basic::FormClose() { QuickRep1->close(); }
