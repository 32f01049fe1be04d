#pragma once

#include <QMap>

#include "shell/form.h"

class QCheckBox;
class QGroupBox;
class QPushButton;
class QRadioButton;

// 筛选数据: the column chooser. Boxes grouped by table; 确定 composes the filter query text
// from the ticked boxes and shows the result window. Controls are built from the tables of
// query/filter_query.h; the ticks survive hiding and showing.
class Tselect : public Form {
  Q_OBJECT

 public:
  explicit Tselect(QWidget* parent = nullptr);

  // The generic controls by number: GroupBox1..17, CheckBox1..89, RadioButton1..4, 6..8.
  QGroupBox* GroupBox(int number) const { return groupBoxes_.value(number); }
  QCheckBox* CheckBox(int number) const { return checkBoxes_.value(number); }
  QRadioButton* RadioButton(int number) const { return radioButtons_.value(number); }

  QPushButton* BitBtn1;  // 确定
  QPushButton* BitBtn2;  // 退出

  void BitBtn1Click();
  void BitBtn2Click();
  // A preset became selected: untick every box, then tick the boxes of its query.
  void RadioButtonClick(int number);

 private:
  QMap<int, QGroupBox*> groupBoxes_;
  QMap<int, QCheckBox*> checkBoxes_;
  QMap<int, QRadioButton*> radioButtons_;
};
