#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <memory>

class QWidget;

// How far a long task has come, shown with a cancel button.
class Progress {
 public:
  virtual ~Progress() = default;
  // `done` steps of the task are finished; false once the user has asked to cancel.
  virtual bool advance(qint64 done) = 0;
};

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
  // File dialogs; an empty name when the user cancels. The save dialog opens in `folder`, or
  // where the platform chooses when it is empty.
  virtual QString openFileName(QWidget* parent, const QString& caption, const QString& filter) = 0;
  virtual QString saveFileName(QWidget* parent, const QString& caption, const QString& filter,
                               const QString& folder = {}) = 0;
  // What a task is about to do, row by row: `text` above a table of `rows` under `headings`,
  // with 确定 and 取消; true for 确定. A stand-in that does not script it agrees.
  virtual bool preview(QWidget* parent, const QString& text, const QStringList& headings,
                       const QList<QStringList>& rows);
  // A progress dialog for a task of `total` steps, with a cancel button; it appears only when
  // the task lasts, and goes when the returned object is destroyed. A stand-in that does not
  // script it never cancels.
  virtual std::unique_ptr<Progress> progress(QWidget* parent, const QString& text, qint64 total);

  // The service in use; real Qt dialogs unless a stand-in was installed.
  static Dialogs& current();
  // Installs a stand-in (not owned); nullptr restores the real dialogs.
  static void install(Dialogs* dialogs);
};

// The same as Dialogs::current().message(parent, text).
void showMessage(QWidget* parent, const QString& text);
