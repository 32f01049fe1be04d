#pragma once

#include "shell/form.h"

class DatasetModel;
class QFrame;
class QPushButton;
class QSortFilterProxyModel;
class QTableView;
class RemoteDataset;

// 完整性检查: every person with what their record lacks and what looks wrong in it, as the
// database computes it (schema/completeness.h), read each time the window is shown. A click on
// a column's heading sorts the list by it; a double-click opens the person's record as the main
// list does; 导出EXCEL writes the list in the order shown.
class Tdata_check : public Form {
  Q_OBJECT

 public:
  explicit Tdata_check(QWidget* parent = nullptr);

  RemoteDataset* check;
  DatasetModel* DataSource1;
  QFrame* Panel1;
  QTableView* DBGrid1;
  QFrame* Panel2;
  QPushButton* BitBtn1;  // 导出EXCEL
  QPushButton* BitBtn2;  // 退出

  void BitBtn1Click();
  void BitBtn2Click();
  void DBGrid1DblClick();

 protected:
  void FormShow() override;
  void FormClose() override;

 private:
  QSortFilterProxyModel* sorted_;
  QString exportFolder_;  // where the last export was saved; the next save dialog opens there
};
