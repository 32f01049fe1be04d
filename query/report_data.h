#pragma once

#include "shell/form.h"

class DatasetModel;
class QFrame;
class QPushButton;
class QTableView;
class RemoteDataset;

// 筛选数据表: the result window. Its show step runs the filter query text and lists every row;
// while it stays visible it keeps those rows, whatever the filter form stores meanwhile.
// 导出EXCEL writes the rows to an xlsx workbook.
class Tdata_report : public Form {
  Q_OBJECT

 public:
  explicit Tdata_report(QWidget* parent = nullptr);

  RemoteDataset* seach;
  DatasetModel* DataSource1;
  QFrame* Panel1;
  QTableView* DBGrid1;
  QFrame* Panel2;
  QPushButton* BitBtn1;  // 导出EXCEL
  QPushButton* BitBtn2;  // 退出

  void BitBtn1Click();
  void BitBtn2Click();

 protected:
  void FormShow() override;
  void FormClose() override;

 private:
  QString exportFolder_;  // where the last export was saved; the next save dialog opens there
};
