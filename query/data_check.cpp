#include "query/data_check.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QTableView>

#include "query/result_export.h"
#include "schema/completeness.h"
#include "schema/values.h"
#include "shell/dataset_model.h"
#include "shell/dialogs.h"
#include "shell/forms.h"
#include "shell/remote_dataset.h"
#include "shell/remote_error.h"
#include "shell/widgets.h"

namespace {

// Sorts by the values as read: counts as numbers, texts as texts, an absent value as empty.
class SortedByValue : public QSortFilterProxyModel {
 public:
  SortedByValue(DatasetModel* rows, QObject* parent) : QSortFilterProxyModel(parent), rows_(rows) {
    setSourceModel(rows);
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

  Panel1 = new QFrame(this);
  Panel1->setObjectName(QStringLiteral("Panel1"));
  DBGrid1 = new QTableView(Panel1);
  DBGrid1->setObjectName(QStringLiteral("DBGrid1"));
  DBGrid1->setAccessibleName(windowTitle());
  DBGrid1->setModel(sorted_);
  DBGrid1->setSortingEnabled(true);
  DBGrid1->sortByColumn(0, Qt::AscendingOrder);
  DBGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
  DBGrid1->setSelectionBehavior(QAbstractItemView::SelectRows);
  DBGrid1->verticalHeader()->setDefaultSectionSize(22);
  DBGrid1->horizontalHeader()->setResizeContentsPrecision(200);  // sample, never scan every row
  DBGrid1->horizontalHeader()->setStretchLastSection(true);
  auto* grid = new QVBoxLayout(Panel1);
  grid->setContentsMargins(0, 0, 0, 0);
  grid->addWidget(DBGrid1);

  Panel2 = new QFrame(this);
  Panel2->setObjectName(QStringLiteral("Panel2"));
  BitBtn1 = widgets::button(QStringLiteral("BitBtn1"), QStringLiteral("导出EXCEL"), Panel2);
  BitBtn2 = widgets::button(QStringLiteral("BitBtn2"), QStringLiteral("退出"), Panel2);
  auto* buttons = new QHBoxLayout(Panel2);
  buttons->addStretch();
  buttons->addWidget(BitBtn1);
  buttons->addWidget(BitBtn2);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(Panel1, 1);
  layout->addWidget(Panel2);
  resize(1100, 640);

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
}

void Tdata_check::FormClose() { check->close(); }

void Tdata_check::BitBtn1Click() {
  if (!check->active()) throw RemoteError(QStringLiteral("没有可导出的检查结果"));
  check->finishLoading();
  const QAbstractItemModel& shown = *sorted_;
  query::exportFromWindow(
      this,
      {check->fieldNames(), shown.rowCount(),
       [&shown](int record, int column) { return shown.index(record, column).data().toString(); }},
      exportFolder_);
}

void Tdata_check::BitBtn2Click() { close(); }

void Tdata_check::DBGrid1DblClick() {
  const QModelIndex current = sorted_->mapToSource(DBGrid1->currentIndex());
  if (!current.isValid()) return;
  forms::openPerson(schema::trim(check->value(current.row(), 0).toString()));
}
