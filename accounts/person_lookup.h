#pragma once

#include "shell/form.h"

class QComboBox;
class QLineEdit;
class QPushButton;
class QTableView;
class RemoteDataset;

namespace accounts {

// What the three person lookups share (查询, 用户信息修改, 删除人员): the search-by drop-down
// "查询条件：", the text searched for "查询内容：" (Enter acts as 确认), 确认 and 退出, and a grid
// of "身份证号" and "姓名" over one result dataset. The lookup reads `info` by identity number or
// by name with the trimmed text bound as a parameter. A double-click acts only while the grid holds
// a result.
class PersonLookup : public Form {
  Q_OBJECT

 public:
  QComboBox* ComboBox1;
  QLineEdit* Edit1;
  QPushButton* Button1;  // 确认
  QPushButton* Button2;  // 退出
  QTableView* DBGrid1;

  // The lookup.
  void Button1Click();
  // A carriage return in Edit1: the same as 确认.
  void Edit1KeyPress();
  // A double-click on the grid while it holds a result.
  virtual void DBGrid1DblClick() = 0;

  // The lookup result the grid shows.
  RemoteDataset* result() const { return result_; }

 protected:
  // How a form reads its inputs.
  struct Rules {
    bool trimText;         // the emptiness test trims Edit1 first
    QString emptyMessage;  // shown for an empty text; nothing shown when empty
    bool trimSearchBy;     // the search-by text is trimmed before it is compared
    // A search-by text other than "身份证号" and "姓名" searches by name; else it lists everybody.
    bool otherByName;
  };

  // `datasetName` and `provider` name the result dataset.
  PersonLookup(const QString& name, const QString& caption, Rules rules, const QString& datasetName,
               const QString& provider, QWidget* parent);

  // The trimmed identity number (first column) of the grid's current row; empty when none.
  QString currentId() const;
  // The trimmed value of another column of the current row.
  QString currentText(int column) const;

  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  Rules rules_;
  RemoteDataset* result_;
};

}  // namespace accounts
