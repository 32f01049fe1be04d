#include "shell/form.h"

#include <QCloseEvent>
#include <QGuiApplication>
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
  adjustSize();
  setFixedSize(sizeHint());
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    move(area.center() - rect().center());
  }
}
