#pragma once

#include "reports/band_report.h"
#include "shell/form.h"

namespace reports {
class Sheet;
}

// The personal report (form "report_basic"): the printed record of the current person, the
// personal information sheet followed by the reports of the six record report forms. Never
// visible. Its show step loads the current person's record afresh, with a message for each
// table that lacks the person's row; printPreview() loads a person's record so and opens the
// preview of the whole document.
class Treport_basic : public Form {
  Q_OBJECT

 public:
  explicit Treport_basic(QWidget* parent = nullptr);

  void printPreview(const QString& personId) override;

  reports::Sheet* QuickRep1;

 protected:
  void FormShow() override;
  void FormClose() override;

 private:
  void load(const QString& personId);

  QList<reports::Page> pages_;  // the document as last loaded
  bool fontsChecked_ = false;
};
