#pragma once

#include <QAbstractButton>
#include <QWidget>

#include "shell/guard.h"

// The base of every form: created once at start, hidden, then only shown and closed.
// - show(): a hidden form becomes visible and runs its show step (FormShow); a visible form is
//   only brought to the front.
// - close() (or the window's close box): runs the close step (FormClose) and hides. Closing the
//   main form (the login form) ends the program.
// Handlers run through `guarded`, so a remote error ends them with the error box.
class Form : public QWidget {
  Q_OBJECT

 public:
  explicit Form(const QString& name, QWidget* parent = nullptr);

  void show();
  void close();
  void setMainForm(bool main) { mainForm_ = main; }
  bool isMainForm() const { return mainForm_; }

  // Loads what the form prints of the person with identity number `personId` and shows it in a
  // print preview; returns when the preview is closed. Only a form that prints overrides it: for
  // the others it does nothing. Errors are left to the caller's handler.
  virtual void printPreview(const QString& personId) { Q_UNUSED(personId); }

 protected:
  virtual void FormShow() {}
  virtual void FormClose() {}
  void closeEvent(QCloseEvent* event) override;

  // Keeps the window at its layout's size, whatever the font and DPI, and centres it on the
  // desktop each time it is shown.
  void fixSizeAndCentre();

  // Connects a button's click to a member handler, guarded.
  template <typename FormClass>
  void onClick(QAbstractButton* button, void (FormClass::*handler)()) {
    auto* self = static_cast<FormClass*>(this);
    connect(button, &QAbstractButton::clicked, this,
            [self, handler] { guarded(self, [self, handler] { (self->*handler)(); }); });
  }

 private:
  void runCloseStep();

  void centre();

  bool mainForm_ = false;
  bool centred_ = false;
};
