#include "query/data_check.h"

#include <QHeaderView>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QTableView>

#include "query/result_export.h"
#include "query/result_layout.h"
#include "schema/completeness.h"
#include "schema/values.h"
#include "shell/dataset_model.h"
#include "shell/dialogs.h"
#include "shell/forms.h"
#include "shell/remote_dataset.h"
#include "shell/remote_error.h"

namespace {

// Sorts by the values as read: counts as numbers, texts as texts, an absent value as empty.
// Rows are numbered as they stand, not as they came.
class SortedByValue : public QSortFilterProxyModel {
 public:
  SortedByValue(DatasetModel* rows, QObject* parent) : QSortFilterProxyModel(parent), rows_(rows) {
    setSourceModel(rows);
  }

  QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
    if (orientation == Qt::Vertical && role == Qt::DisplayRole) return section + 1;
    return QSortFilterProxyModel::headerData(section, orientation, role);
  }

 protected:
  bool lessThan(const QModelIndex& left, const QModelIndex& right) const override {
    return QVariant::compare(value(left), value(right)) == QPartialOrdering::Less;
  }

 private:
  QVariant value(const QModelIndex& index) const {
    const QVariant v = rows_->dataset().value(index.row(), rows_->datasetColumn(index.column()));
    return v.isNull() ? QVariant(QString()) : v;
  }

  DatasetModel* rows_;
};

}  // namespace

Tdata_check::Tdata_check(QWidget* parent) : Form(QStringLiteral("data_check"), parent) {
  setWindowTitle(QStringLiteral("完整性检查"));
  check = new RemoteDataset(QStringLiteral("DataSetProvider_search"), this);
  check->setObjectName(QStringLiteral("check"));
  DataSource1 = new DatasetModel(*check, this);
  DataSource1->setObjectName(QStringLiteral("DataSource1"));
  sorted_ = new SortedByValue(DataSource1, this);
  connect(check, &RemoteDataset::loaded, this, [this](const QString& error) {
    if (!error.isEmpty()) Dialogs::current().error(this, error);
  });

  const ResultControls c = layOutResult(this, sorted_, {1100, 640});
  Panel1 = c.Panel1;
  DBGrid1 = c.DBGrid1;
  Panel2 = c.Panel2;
  BitBtn1 = c.BitBtn1;
  BitBtn2 = c.BitBtn2;
  DBGrid1->setSortingEnabled(true);
  DBGrid1->sortByColumn(0, Qt::AscendingOrder);
  DBGrid1->horizontalHeader()->setStretchLastSection(true);

  onClick(BitBtn1, &Tdata_check::BitBtn1Click);
  onClick(BitBtn2, &Tdata_check::BitBtn2Click);
  connect(DBGrid1, &QAbstractItemView::doubleClicked, this,
          [this] { guarded(this, [this] { DBGrid1DblClick(); }); });
}

void Tdata_check::FormShow() {
  check->close();
  const schema::completeness::Select list = schema::completeness::select();
  check->setCommandText(list.text, list.params);
  // The first rows are shown while the rest of a long list arrives.
  check->openInBatches();
  DBGrid1->resizeColumnsToContents();
  // A person missing many tables has a long list: no column takes more than a third of the
  // window, so the findings after it stay in sight; a column can still be widened by hand.
  for (int c = 0; c < DBGrid1->model()->columnCount(); ++c)
    DBGrid1->setColumnWidth(c, std::min(DBGrid1->columnWidth(c), width() / 3));
}

void Tdata_check::FormClose() { check->close(); }

void Tdata_check::BitBtn1Click() {
  if (!check->active()) throw RemoteError(QStringLiteral("没有可导出的检查结果"));
  check->finishLoading();
  const QAbstractItemModel& shown = *sorted_;
  query::exportFromWindow(this,
                          {check->fieldNames(), shown.rowCount(),
                           [&shown](int record, int column, QByteArray& scratch) {
                             return query::ExportRows::utf8(
                                 shown.index(record, column).data().toString(), scratch);
                           }},
                          exportFolder_);
}

void Tdata_check::BitBtn2Click() { close(); }

void Tdata_check::DBGrid1DblClick() {
  const QModelIndex current = sorted_->mapToSource(DBGrid1->currentIndex());
  if (!current.isValid()) return;
  forms::openPerson(schema::trim(check->value(current.row(), 0).toString()));
}
