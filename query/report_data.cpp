#include "query/report_data.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTableView>

#include "query/filter_query.h"
#include "query/result_export.h"
#include "shell/dataset_model.h"
#include "shell/dialogs.h"
#include "shell/remote_dataset.h"
#include "shell/remote_error.h"
#include "shell/widgets.h"

Tdata_report::Tdata_report(QWidget* parent) : Form(QStringLiteral("data_report"), parent) {
  setWindowTitle(QStringLiteral("筛选数据表"));
  seach = new RemoteDataset(QStringLiteral("DataSetProvider_search"), this);
  seach->setObjectName(QStringLiteral("seach"));
  DataSource1 = new DatasetModel(*seach, this);
  DataSource1->setObjectName(QStringLiteral("DataSource1"));
  connect(seach, &RemoteDataset::loaded, this, [this](const QString& error) {
    if (!error.isEmpty()) Dialogs::current().error(this, error);
  });

  Panel1 = new QFrame(this);
  Panel1->setObjectName(QStringLiteral("Panel1"));
  DBGrid1 = new QTableView(Panel1);
  DBGrid1->setObjectName(QStringLiteral("DBGrid1"));
  DBGrid1->setAccessibleName(windowTitle());
  DBGrid1->setModel(DataSource1);
  DBGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
  DBGrid1->setSelectionBehavior(QAbstractItemView::SelectRows);
  DBGrid1->verticalHeader()->setDefaultSectionSize(22);
  DBGrid1->horizontalHeader()->setResizeContentsPrecision(200);  // sample, never scan every row
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
  resize(900, 600);

  onClick(BitBtn1, &Tdata_report::BitBtn1Click);
  onClick(BitBtn2, &Tdata_report::BitBtn2Click);
}

void Tdata_report::FormShow() {
  seach->close();
  seach->setCommandText(filter::text());
  // The first rows are shown while the rest of a long result arrives.
  seach->openInBatches();
  DBGrid1->resizeColumnsToContents();
}

void Tdata_report::FormClose() { seach->close(); }

void Tdata_report::BitBtn1Click() {
  if (!seach->active()) throw RemoteError(QStringLiteral("没有可导出的查询结果"));
  seach->finishLoading();
  query::exportFromWindow(this, query::resultRows(*seach), exportFolder_);
}

void Tdata_report::BitBtn2Click() { close(); }
