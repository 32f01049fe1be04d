#include "shell/dialogs.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

class NeverCancelled : public Progress {
 public:
  bool advance(qint64) override { return true; }
};

class ProgressBox : public Progress {
 public:
  ProgressBox(QWidget* parent, const QString& text, qint64 total)
      : dialog_(text, QStringLiteral("取消"), 0, int(qMin<qint64>(total, INT_MAX)), parent) {
    dialog_.setWindowTitle(QApplication::applicationDisplayName());
    dialog_.setWindowModality(Qt::WindowModal);
    dialog_.setMinimumDuration(500);
    dialog_.setValue(0);
  }
  bool advance(qint64 done) override {
    dialog_.setValue(int(qMin<qint64>(done, dialog_.maximum())));  // lets the cancel through
    return !dialog_.wasCanceled();
  }

 private:
  QProgressDialog dialog_;
};

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
  QString saveFileName(QWidget* parent, const QString& caption, const QString& filter,
                       const QString& folder) override {
    return QFileDialog::getSaveFileName(parent, caption, folder, filter);
  }
  bool preview(QWidget* parent, const QString& text, const QStringList& headings,
               const QList<QStringList>& rows) override {
    QDialog dialog(parent);
    dialog.setWindowTitle(QApplication::applicationDisplayName());
    auto* table = new QTableWidget(int(rows.size()), int(headings.size()), &dialog);
    table->setHorizontalHeaderLabels(headings);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->verticalHeader()->hide();
    table->horizontalHeader()->setStretchLastSection(true);
    for (int r = 0; r < rows.size(); ++r)
      for (int c = 0; c < rows[r].size() && c < headings.size(); ++c)
        table->setItem(r, c, new QTableWidgetItem(rows[r][c]));
    table->resizeColumnsToContents();
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("确定"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("取消"));
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(new QLabel(text, &dialog));
    layout->addWidget(table);
    layout->addWidget(buttons);
    dialog.resize(760, 480);
    return dialog.exec() == QDialog::Accepted;
  }
  std::unique_ptr<Progress> progress(QWidget* parent, const QString& text, qint64 total) override {
    return std::make_unique<ProgressBox>(parent, text, total);
  }
};

Dialogs* installed = nullptr;

}  // namespace

Dialogs& Dialogs::current() {
  static QtDialogs real;
  return installed ? *installed : real;
}

void Dialogs::install(Dialogs* dialogs) { installed = dialogs; }

bool Dialogs::preview(QWidget*, const QString&, const QStringList&, const QList<QStringList>&) {
  return true;
}

std::unique_ptr<Progress> Dialogs::progress(QWidget*, const QString&, qint64) {
  return std::make_unique<NeverCancelled>();
}

void showMessage(QWidget* parent, const QString& text) { Dialogs::current().message(parent, text); }
