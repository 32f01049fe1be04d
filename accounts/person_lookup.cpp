#include "accounts/person_lookup.h"

#include <QComboBox>
#include <QEvent>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>

#include "accounts/form_layout.h"
#include "schema/values.h"
#include "shell/dataset_model.h"
#include "shell/dialogs.h"
#include "shell/remote_dataset.h"
#include "shell/widgets.h"

namespace accounts {

namespace {

const QString kById = QStringLiteral("身份证号");
const QString kByName = QStringLiteral("姓名");
const QString kLookup = QStringLiteral("select id as 身份证号,name as 姓名 from info");
const QString kWhereId = QStringLiteral(" where id=?");
const QString kWhereName = QStringLiteral(" where name=?");

}  // namespace

PersonLookup::PersonLookup(const QString& name, const QString& caption, Rules rules,
                           const QString& datasetName, const QString& provider, QWidget* parent)
    : Form(name, parent), rules_(std::move(rules)) {
  setWindowTitle(caption);
  result_ = new RemoteDataset(provider, this);
  result_->setObjectName(datasetName);

  ComboBox1 = widgets::comboBox(QStringLiteral("ComboBox1"), {kById, kByName}, kById, this);
  Edit1 = widgets::lineEdit(QStringLiteral("Edit1"), this);
  Button1 = widgets::button(QStringLiteral("Button1"), QStringLiteral("确认"), this);
  Button2 = widgets::button(QStringLiteral("Button2"), QStringLiteral("退出"), this);
  DBGrid1 = new QTableView(this);
  DBGrid1->setObjectName(QStringLiteral("DBGrid1"));
  DBGrid1->setAccessibleName(caption);
  DBGrid1->setModel(new DatasetModel(*result_, this));
  DBGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
  DBGrid1->setSelectionBehavior(QAbstractItemView::SelectRows);
  DBGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
  DBGrid1->horizontalHeader()->setStretchLastSection(true);
  DBGrid1->setMinimumSize(400, 220);
  DBGrid1->viewport()->installEventFilter(this);
  connect(result_, &RemoteDataset::reset, DBGrid1, [this] { DBGrid1->resizeColumnToContents(0); });
  // The grid's current row is the result's current row.
  connect(DBGrid1->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this](const QModelIndex& current) { result_->moveTo(current.row()); });

  layOut(this, {{QStringLiteral("查询条件："), ComboBox1}, {QStringLiteral("查询内容："), Edit1}},
         {Button1, Button2}, DBGrid1);
  fixSizeAndCentre();

  onClick(Button1, &PersonLookup::Button1Click);
  connect(Edit1, &QLineEdit::returnPressed, this,
          [this] { guarded(this, [this] { Edit1KeyPress(); }); });
}

void PersonLookup::Button1Click() {
  const QString text = Edit1->text();
  if ((rules_.trimText ? schema::trim(text) : text).isEmpty()) {
    if (!rules_.emptyMessage.isEmpty()) showMessage(this, rules_.emptyMessage);
    return;
  }
  const QString by =
      rules_.trimSearchBy ? schema::trim(ComboBox1->currentText()) : ComboBox1->currentText();
  const QString* condition = by == kById                           ? &kWhereId
                             : by == kByName || rules_.otherByName ? &kWhereName
                                                                   : nullptr;
  result_->close();
  if (condition)
    result_->setCommandText(kLookup + *condition, {schema::trim(text)});
  else
    result_->setCommandText(kLookup);
  result_->open();
}

void PersonLookup::Edit1KeyPress() { Button1Click(); }

QString PersonLookup::currentId() const { return currentText(0); }

QString PersonLookup::currentText(int column) const {
  return schema::trim(result_->value(result_->recNo(), column).toString());
}

bool PersonLookup::eventFilter(QObject* watched, QEvent* event) {
  // A double-click anywhere on the grid acts on its current row, once a lookup has run.
  if (watched == DBGrid1->viewport() && event->type() == QEvent::MouseButtonDblClick) {
    if (result_->active()) guarded(this, [this] { DBGrid1DblClick(); });
    return true;
  }
  return Form::eventFilter(watched, event);
}

}  // namespace accounts
