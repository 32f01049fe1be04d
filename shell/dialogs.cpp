#include "shell/dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

namespace {

class QtDialogs : public Dialogs {
 public:
  void message(QWidget* parent, const QString& text) override {
    QMessageBox::information(parent, QApplication::applicationDisplayName(), text);
  }
  void error(QWidget* parent, const QString& text) override {
    QMessageBox::critical(parent, QStringLiteral("错误"), text);
  }
  bool question(QWidget* parent, const QString& text) override {
    return QMessageBox::question(parent, QApplication::applicationDisplayName(), text,
                                 QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
  }
  QString openFileName(QWidget* parent, const QString& caption, const QString& filter) override {
    return QFileDialog::getOpenFileName(parent, caption, {}, filter);
  }
  QString saveFileName(QWidget* parent, const QString& caption, const QString& filter) override {
    return QFileDialog::getSaveFileName(parent, caption, {}, filter);
  }
};

Dialogs* installed = nullptr;

}  // namespace

Dialogs& Dialogs::current() {
  static QtDialogs real;
  return installed ? *installed : real;
}

void Dialogs::install(Dialogs* dialogs) { installed = dialogs; }

void showMessage(QWidget* parent, const QString& text) { Dialogs::current().message(parent, text); }
