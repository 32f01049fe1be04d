#pragma once

#include <QWidget>

class QTableView;
class QToolButton;
class RemoteDataset;

// The navigator bar under a data grid: first, prior, next, last, insert, delete, edit, post,
// cancel and refresh, acting on the rows the dataset holds. Only refresh reaches the server (it
// reads the rows again, dropping local changes). The bar also keeps the grid's current row and
// the dataset's cursor together, and Down on the last row of an editable grid appends a row.
// The grid must already have its model.
class GridNavigator : public QWidget {
  Q_OBJECT

 public:
  enum Button { First, Prior, Next, Last, Insert, Delete, Edit, Post, Cancel, Refresh };

  GridNavigator(RemoteDataset& dataset, QTableView* grid, QWidget* parent = nullptr);

  QToolButton* button(Button which) const;
  // Writes a cell editor still open in the grid into its row, as leaving the cell would.
  void commitEditor();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 signals:
  // The rows were read again from the server.
  void refreshed();

 private:
  void act(Button which);
  void followCursor(int row);

  RemoteDataset& dataset_;
  QTableView* grid_;
  QList<QToolButton*> buttons_;
};
