#include "shell/widgets.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace widgets {

QLineEdit* lineEdit(const QString& name, QWidget* parent) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(name);
  return edit;
}

QComboBox* comboBox(const QString& name, const QStringList& items, const QString& preset,
                    QWidget* parent) {
  auto* combo = new QComboBox(parent);
  combo->setObjectName(name);
  combo->setEditable(true);
  combo->setInsertPolicy(QComboBox::NoInsert);
  combo->addItems(items);
  combo->setEditText(preset);
  return combo;
}

QPushButton* button(const QString& name, const QString& caption, QWidget* parent) {
  auto* b = new QPushButton(caption, parent);
  b->setObjectName(name);
  b->setAutoDefault(false);
  return b;
}

QLabel* label(const QString& text, QWidget* input, QWidget* parent) {
  auto* l = new QLabel(text, parent);
  if (input) {
    l->setBuddy(input);
    input->setAccessibleName(text);
  }
  return l;
}

QGroupBox* group(const QString& caption, QGridLayout** layout, QWidget* parent) {
  auto* box = new QGroupBox(caption, parent);
  box->setAccessibleName(caption);
  *layout = new QGridLayout(box);
  return box;
}

}  // namespace widgets
