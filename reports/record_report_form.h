#pragma once

#include "reports/record_report.h"
#include "shell/form.h"

// The base of the six record report forms (jzgjckh_report … jwpx_report). They are never
// visible: the personal report loads and prints their reports. Showing one reads the current
// person's rows (FormShow); closing it drops them (FormClose).
class RecordReportForm : public Form {
  Q_OBJECT

 public:
  // `form` names its entry in reports::recordReports().
  explicit RecordReportForm(const QString& form, QWidget* parent = nullptr);

  reports::RecordReport* QuickRep1;

 protected:
  void FormShow() override;
  void FormClose() override;
};
