#pragma once

#include <QAbstractTableModel>
#include <QColor>
#include <QStringList>
#include <functional>

class RemoteDataset;

// A table model over a RemoteDataset, for the data grids. It shows the dataset's columns in
// their order, titled with their names, or only the columns named in `setVisibleColumns`.
// Editing a cell edits the dataset's row, which stays in edit until the grid moves to another
// row or the row is posted; the grid's current row follows the dataset's cursor.
class DatasetModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  explicit DatasetModel(RemoteDataset& dataset, QObject* parent = nullptr);

  // Only these columns, in this order (names absent from the dataset are skipped).
  void setVisibleColumns(const QStringList& names);
  void setEditable(bool editable);
  bool editable() const { return editable_; }
  RemoteDataset& dataset() const { return dataset_; }
  // The dataset column shown in a model column.
  int datasetColumn(int modelColumn) const;
  int modelColumn(const QString& name) const;
  // Rows for which `marked` holds are painted on `background` and carry `toolTip`; after what
  // `marked` says has changed, marksChanged() repaints them.
  void setRowMark(std::function<bool(int row)> marked, const QColor& background,
                  const QString& toolTip);
  void marksChanged();

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;

 private:
  void rebuildColumns();

  RemoteDataset& dataset_;
  QStringList wanted_;
  QList<int> columns_;  // dataset column of each model column
  bool editable_ = false;
  std::function<bool(int row)> marked_;
  QColor markBackground_;
  QString markToolTip_;
};
