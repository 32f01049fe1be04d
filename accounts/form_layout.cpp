#include "accounts/form_layout.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "shell/widgets.h"

namespace accounts {

void layOut(QWidget* form, const QList<Labelled>& inputs, const QList<QPushButton*>& buttons,
            QWidget* below) {
  auto* fields = new QGridLayout;
  for (int row = 0; row < inputs.size(); ++row) {
    fields->addWidget(widgets::label(inputs[row].label, inputs[row].input, form), row, 0);
    fields->addWidget(inputs[row].input, row, 1);
    inputs[row].input->setMinimumWidth(200);
  }
  auto* bar = new QHBoxLayout;
  bar->addStretch();
  for (QPushButton* button : buttons) bar->addWidget(button);
  bar->addStretch();
  auto* layout = new QVBoxLayout(form);
  layout->addLayout(fields);
  layout->addLayout(bar);
  if (below) layout->addWidget(below);
}

}  // namespace accounts
