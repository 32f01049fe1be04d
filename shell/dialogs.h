#pragma once

#include <QString>

class QWidget;

// Every message box, Yes/No question and file dialog of the client goes through this service:
// real Qt dialogs in the program, a recording stand-in in tests.
class Dialogs {
 public:
  virtual ~Dialogs() = default;

  // A message with one OK button.
  virtual void message(QWidget* parent, const QString& text) = 0;
  // The standard error box, for errors raised by the data service.
  virtual void error(QWidget* parent, const QString& text) = 0;
  // A Yes/No question; true for Yes.
  virtual bool question(QWidget* parent, const QString& text) = 0;
  // File dialogs; an empty name when the user cancels.
  virtual QString openFileName(QWidget* parent, const QString& caption, const QString& filter) = 0;
  virtual QString saveFileName(QWidget* parent, const QString& caption, const QString& filter) = 0;

  // The service in use; real Qt dialogs unless a stand-in was installed.
  static Dialogs& current();
  // Installs a stand-in (not owned); nullptr restores the real dialogs.
  static void install(Dialogs* dialogs);
};

// The same as Dialogs::current().message(parent, text).
void showMessage(QWidget* parent, const QString& text);
