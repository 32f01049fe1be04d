#pragma once

#include "shell/form.h"

class DatasetModel;
class QCheckBox;
class QLabel;
class QPushButton;
class QTableView;
class RemoteDataset;

// 变更记录: the changes to the current person's record, newest first, under 时间, 修改人, 表,
// 项目, 原值 and 新值, tables and columns under their labels. While CheckBox1 is ticked (as it is
// each time the window is shown) only the changes after the person's last review are listed.
// Administrators open it from the experience records page; an ordinary user opens it for their
// own record from the basic information page.
class Tchange_history : public Form {
  Q_OBJECT

 public:
  explicit Tchange_history(QWidget* parent = nullptr);

  QLabel* personLine;    // whose changes are listed
  QCheckBox* CheckBox1;  // 仅显示上次审核以后的变更
  QTableView* DBGrid1;
  QPushButton* BitBtn1;  // 退出
  RemoteDataset* changes;

  void CheckBox1Click();
  void BitBtn1Click();

 protected:
  void FormShow() override;
  void FormClose() override;

 private:
  // Reads the person's changes, all or since the last review as CheckBox1 says.
  void load();

  DatasetModel* model_;
  QString personId_;
};
