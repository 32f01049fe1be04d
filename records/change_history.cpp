#include "records/change_history.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIdentityProxyModel>
#include <QLabel>
#include <QPushButton>
#include <QTableView>

#include "schema/changes.h"
#include "schema/queries.h"
#include "schema/values.h"
#include "shell/dataset_model.h"
#include "shell/remote_dataset.h"
#include "shell/signin.h"
#include "shell/widgets.h"

namespace {

namespace changes = schema::changes;

// The columns shown; the kind of each change (类型) is read but not shown.
const QStringList kShown = {"时间", "修改人", changes::kTableTitle, changes::kColumnTitle,
                            "原值", "新值"};

// The grid's rows with stored table and column names shown under their labels.
class LabelledChanges : public QIdentityProxyModel {
 public:
  LabelledChanges(DatasetModel* rows, QObject* parent) : QIdentityProxyModel(parent), rows_(rows) {
    setSourceModel(rows);
  }

  QVariant data(const QModelIndex& index, int role) const override {
    const QVariant value = QIdentityProxyModel::data(index, role);
    if (role != Qt::DisplayRole) return value;
    const RemoteDataset& dataset = rows_->dataset();
    const QString table =
        dataset.value(index.row(), dataset.fieldIndex(changes::kTableTitle)).toString();
    const QString title = headerData(index.column(), Qt::Horizontal, Qt::DisplayRole).toString();
    return changes::shown(title, table, value.toString());
  }

 private:
  DatasetModel* rows_;
};

}  // namespace

Tchange_history::Tchange_history(QWidget* parent) : Form(QStringLiteral("change_history"), parent) {
  setWindowTitle(QStringLiteral("变更记录"));
  changes = new RemoteDataset(QStringLiteral("DataSetProvider_search"), this);
  changes->setObjectName(QStringLiteral("changes"));
  model_ = new DatasetModel(*changes, this);
  model_->setVisibleColumns(kShown);

  personLine = new QLabel(this);
  personLine->setObjectName(QStringLiteral("personLine"));
  CheckBox1 = new QCheckBox(QStringLiteral("仅显示上次审核以后的变更"), this);
  CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
  DBGrid1 = new QTableView(this);
  DBGrid1->setObjectName(QStringLiteral("DBGrid1"));
  DBGrid1->setAccessibleName(windowTitle());
  DBGrid1->setModel(new LabelledChanges(model_, this));
  DBGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
  DBGrid1->setSelectionBehavior(QAbstractItemView::SelectRows);
  DBGrid1->verticalHeader()->setDefaultSectionSize(22);
  DBGrid1->horizontalHeader()->setStretchLastSection(true);
  BitBtn1 = widgets::button(QStringLiteral("BitBtn1"), QStringLiteral("退出"), this);

  auto* top = new QHBoxLayout;
  top->addWidget(personLine);
  top->addStretch();
  top->addWidget(CheckBox1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(BitBtn1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(DBGrid1, 1);
  layout->addLayout(buttons);
  resize(900, 520);

  onClick(CheckBox1, &Tchange_history::CheckBox1Click);
  onClick(BitBtn1, &Tchange_history::BitBtn1Click);
}

void Tchange_history::FormShow() {
  personId_ = schema::trim(SignIn::state().currentPersonId);
  personLine->setText(QStringLiteral("身份证号：%1").arg(personId_));
  CheckBox1->setChecked(true);
  load();
}

void Tchange_history::FormClose() { changes->close(); }

void Tchange_history::load() {
  changes->close();
  // An ordinary user may run exactly these two texts, with their own number.
  if (CheckBox1->isChecked())
    changes->setCommandText(schema::queries::kPersonChangesSinceReview, {personId_, personId_});
  else
    changes->setCommandText(schema::queries::kPersonChanges, {personId_});
  changes->open();
  DBGrid1->resizeColumnsToContents();
}

void Tchange_history::CheckBox1Click() { load(); }

void Tchange_history::BitBtn1Click() { close(); }
