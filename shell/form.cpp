#include "shell/form.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QLayout>
#include <QScreen>

#include "shell/program.h"

Form::Form(const QString& name, QWidget* parent) : QWidget(parent) {
  setObjectName(name);
  setAttribute(Qt::WA_QuitOnClose, false);
}

void Form::show() {
  if (isVisible()) {
    raise();
    activateWindow();
    return;
  }
  if (centred_) centre();
  QWidget::show();
  guarded(this, [this] { FormShow(); });
}

void Form::close() {
  runCloseStep();
  hide();
}

void Form::closeEvent(QCloseEvent* event) {
  runCloseStep();
  event->accept();
}

void Form::runCloseStep() {
  guarded(this, [this] { FormClose(); });
  if (mainForm_) endProgram();
}

void Form::fixSizeAndCentre() {
  layout()->setSizeConstraint(QLayout::SetFixedSize);
  centred_ = true;
  centre();
}

void Form::centre() {
  ensurePolished();
  adjustSize();
  if (const QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - rect().center());
}
