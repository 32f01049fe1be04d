#include "shell/dataset_model.h"

#include "shell/guard.h"
#include "shell/remote_dataset.h"

DatasetModel::DatasetModel(RemoteDataset& dataset, QObject* parent)
    : QAbstractTableModel(parent), dataset_(dataset) {
  connect(&dataset_, &RemoteDataset::reset, this, [this] {
    beginResetModel();
    rebuildColumns();
    endResetModel();
  });
  connect(&dataset_, &RemoteDataset::rowChanged, this, [this](int row) {
    if (!columns_.isEmpty()) emit dataChanged(index(row, 0), index(row, int(columns_.size()) - 1));
  });
  connect(&dataset_, &RemoteDataset::rowInserted, this, [this](int row) {
    beginInsertRows({}, row, row);
    endInsertRows();
  });
  connect(&dataset_, &RemoteDataset::rowsAppended, this, [this](int first, int last) {
    beginInsertRows({}, first, last);
    endInsertRows();
  });
  connect(&dataset_, &RemoteDataset::rowRemoved, this, [this](int row) {
    beginRemoveRows({}, row, row);
    endRemoveRows();
  });
  rebuildColumns();
}

void DatasetModel::setVisibleColumns(const QStringList& names) {
  beginResetModel();
  wanted_ = names;
  rebuildColumns();
  endResetModel();
}

void DatasetModel::setEditable(bool editable) { editable_ = editable; }

void DatasetModel::rebuildColumns() {
  columns_.clear();
  const QStringList& fields = dataset_.fieldNames();
  if (wanted_.isEmpty()) {
    for (int i = 0; i < fields.size(); ++i) columns_ << i;
    return;
  }
  for (const QString& name : wanted_)
    if (const int i = dataset_.fieldIndex(name); i >= 0) columns_ << i;
}

int DatasetModel::datasetColumn(int modelColumn) const {
  return modelColumn >= 0 && modelColumn < columns_.size() ? columns_[modelColumn] : -1;
}

int DatasetModel::modelColumn(const QString& name) const {
  return int(columns_.indexOf(dataset_.fieldIndex(name)));
}

int DatasetModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : dataset_.recordCount();
}

int DatasetModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : int(columns_.size());
}

void DatasetModel::setRowMark(std::function<bool(int row)> marked, const QColor& background,
                              const QString& toolTip) {
  marked_ = std::move(marked);
  markBackground_ = background;
  markToolTip_ = toolTip;
  marksChanged();
}

void DatasetModel::marksChanged() {
  if (rowCount() > 0 && columnCount() > 0)
    emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1),
                     {Qt::BackgroundRole, Qt::ToolTipRole});
}

QVariant DatasetModel::data(const QModelIndex& index, int role) const {
  if (role == Qt::BackgroundRole || role == Qt::ToolTipRole) {
    if (!marked_ || !marked_(index.row())) return {};
    return role == Qt::BackgroundRole ? QVariant(markBackground_) : QVariant(markToolTip_);
  }
  if (role != Qt::DisplayRole && role != Qt::EditRole) return {};
  return dataset_.value(index.row(), datasetColumn(index.column())).toString();
}

QVariant DatasetModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole) return {};
  if (orientation == Qt::Vertical) return section + 1;
  const int column = datasetColumn(section);
  return column < 0 ? QVariant() : QVariant(dataset_.fieldNames()[column]);
}

Qt::ItemFlags DatasetModel::flags(const QModelIndex& index) const {
  Qt::ItemFlags f = QAbstractTableModel::flags(index);
  if (editable_) f |= Qt::ItemIsEditable;
  return f;
}

bool DatasetModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (!editable_ || role != Qt::EditRole || !index.isValid()) return false;
  bool done = false;
  guarded(nullptr, [&] {
    dataset_.moveTo(index.row());
    dataset_.edit();
    dataset_.setValue(datasetColumn(index.column()), value.toString());
    done = true;
  });
  return done;
}
