#pragma once

#include <QList>

#include "shell/form.h"

class DatasetModel;
class GridNavigator;
class QLabel;
class QPushButton;
class QScrollArea;
class QTableView;
class RemoteDataset;

// The experience records page (form "khjl"): the six history tables of one person in six
// grids, each with a navigator bar. 编辑 reloads and unlocks the grids; 保存 tests every
// year-month cell of all six grids and only then writes the tables back by position, in one
// all-or-nothing apply checked against the rows as loaded; 审核通过 marks the person reviewed;
// 变更记录 lists the changes to the person's record; 打印 opens the preview of the current
// person's printed record. Only administrators see 审核通过 and 变更记录.
// The page keeps the person it loaded until it is shown again.
class Tkhjl : public Form {
  Q_OBJECT

 public:
  explicit Tkhjl(QWidget* parent = nullptr);

  QScrollArea* ScrollBox1;
  QLabel* personLine;    // whose records the page shows
  QPushButton* BitBtn4;  // 审核通过
  QPushButton* BitBtn6;  // 变更记录
  QPushButton* BitBtn1;  // 编辑
  QPushButton* BitBtn2;  // 保存
  QPushButton* BitBtn3;  // 打印
  QPushButton* BitBtn5;  // 上一页

  // The grids top to bottom (DBGrid1 … DBGrid6), in the order of records::historyGrids().
  QTableView* grid(int index) const { return parts_[index].grid; }
  GridNavigator* navigator(int index) const { return parts_[index].navigator; }
  RemoteDataset& dataset(int index) const { return *parts_[index].dataset; }
  // Rows of the grid that stand for stored rows; rows after them are new.
  int loadedCount(int index) const { return parts_[index].loaded; }
  const QString& personId() const { return personId_; }

  void BitBtn1Click();
  void BitBtn2Click();
  void BitBtn3Click();
  void BitBtn4Click();
  void BitBtn5Click();
  void BitBtn6Click();

 protected:
  void FormShow() override;
  void FormClose() override;

 private:
  struct Part {
    QTableView* grid = nullptr;
    GridNavigator* navigator = nullptr;
    RemoteDataset* dataset = nullptr;  // the grid's rows, as shown and edited
    RemoteDataset* stored = nullptr;   // the stored rows as loaded, written back by a save
    DatasetModel* model = nullptr;
    int loaded = 0;
  };

  void build(int index);
  // Editing needs a successful load.
  void setEditing(bool editing);
  // Reads the six tables of personId_ into the grids and their stored rows. The page cannot
  // edit or save until a load succeeds.
  void reload();
  // Tests every year-month cell; on the first failure shows its message, makes its cell
  // current and returns false.
  bool testYearMonths();
  // Pairs one grid's rows with the stored rows as loaded, by position, as changes to apply.
  void writeBack(int index);

  QList<Part> parts_;
  QString personId_;
  bool loaded_ = false;
};
