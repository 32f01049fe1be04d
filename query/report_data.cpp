#include "query/report_data.h"

#include <QHeaderView>
#include <QPushButton>
#include <QTableView>

#include "query/filter_query.h"
#include "query/result_export.h"
#include "query/result_layout.h"
#include "shell/dataset_model.h"
#include "shell/dialogs.h"
#include "shell/remote_dataset.h"
#include "shell/remote_error.h"

Tdata_report::Tdata_report(QWidget* parent) : Form(QStringLiteral("data_report"), parent) {
  setWindowTitle(QStringLiteral("筛选数据表"));
  seach = new RemoteDataset(QStringLiteral("DataSetProvider_search"), this);
  seach->setObjectName(QStringLiteral("seach"));
  DataSource1 = new DatasetModel(*seach, this);
  DataSource1->setObjectName(QStringLiteral("DataSource1"));
  connect(seach, &RemoteDataset::loaded, this, [this](const QString& error) {
    if (!error.isEmpty()) Dialogs::current().error(this, error);
  });

  const ResultControls c = layOutResult(this, DataSource1, {900, 600});
  Panel1 = c.Panel1;
  DBGrid1 = c.DBGrid1;
  Panel2 = c.Panel2;
  BitBtn1 = c.BitBtn1;
  BitBtn2 = c.BitBtn2;

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
