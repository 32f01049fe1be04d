#pragma once

#include <QString>
#include <QStringList>

class QComboBox;
class QGridLayout;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

// Small builders for the controls every form lays out in code. Each control gets its generic
// name as objectName; an input gets its label as buddy, so it is known by the label's text.
namespace widgets {

QLineEdit* lineEdit(const QString& name, QWidget* parent = nullptr);
// An editable drop-down: any text may be typed, the list only proposes values. `preset` is the
// text shown before anything is loaded.
QComboBox* comboBox(const QString& name, const QStringList& items, const QString& preset,
                    QWidget* parent = nullptr);
QPushButton* button(const QString& name, const QString& caption, QWidget* parent = nullptr);
// A label whose buddy is `input`.
QLabel* label(const QString& text, QWidget* input, QWidget* parent = nullptr);
// A group box with a grid layout, titled `caption`, named `caption` for accessibility.
QGroupBox* group(const QString& caption, QGridLayout** layout, QWidget* parent = nullptr);

}  // namespace widgets
