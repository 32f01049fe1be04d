#include "records/jlkh.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QTableView>
#include <utility>

#include "records/grid_navigator.h"
#include "records/history_grids.h"
#include "records/pick_list_delegate.h"
#include "schema/queries.h"
#include "schema/values.h"
#include "shell/connection.h"
#include "shell/dataset_model.h"
#include "shell/dialogs.h"
#include "shell/forms.h"
#include "shell/notifier.h"
#include "shell/person_row.h"
#include "shell/remote_dataset.h"
#include "shell/remote_error.h"
#include "shell/signin.h"
#include "shell/widgets.h"

using records::GridColumn;
using records::HistoryGrid;
using records::historyGrids;

namespace {
const QString kHistoryForm = QStringLiteral("change_history");
}

Tkhjl::Tkhjl(QWidget* parent) : Form(QStringLiteral("khjl"), parent) {
  setWindowTitle(QStringLiteral("奖惩考核&社会关系&个人履历&受教育情况&境内业务培训&境外业务培训"));

  auto* content = new QWidget;
  auto* column = new QVBoxLayout(content);
  personLine = new QLabel(content);
  personLine->setObjectName(QStringLiteral("personLine"));
  column->addWidget(personLine);
  parts_.resize(historyGrids().size());
  for (int i = 0; i < parts_.size(); ++i) {
    build(i);
    QGridLayout* layout = nullptr;
    QGroupBox* box = widgets::group(historyGrids()[i].caption, &layout, content);
    box->setObjectName(QStringLiteral("GroupBox%1").arg(i + 1));
    layout->addWidget(parts_[i].grid, 0, 0);
    layout->addWidget(parts_[i].navigator, 1, 0);
    column->addWidget(box);
  }

  BitBtn4 = widgets::button(QStringLiteral("BitBtn4"), QStringLiteral("审核通过"), content);
  BitBtn6 = widgets::button(QStringLiteral("BitBtn6"), QStringLiteral("变更记录"), content);
  BitBtn1 = widgets::button(QStringLiteral("BitBtn1"), QStringLiteral("编辑"), content);
  BitBtn2 = widgets::button(QStringLiteral("BitBtn2"), QStringLiteral("保存"), content);
  BitBtn3 = widgets::button(QStringLiteral("BitBtn3"), QStringLiteral("打印"), content);
  BitBtn5 = widgets::button(QStringLiteral("BitBtn5"), QStringLiteral("上一页"), content);
  BitBtn1->setEnabled(false);
  BitBtn2->setEnabled(false);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  for (QPushButton* b : {BitBtn4, BitBtn6, BitBtn1, BitBtn2, BitBtn3, BitBtn5})
    buttons->addWidget(b);
  buttons->addStretch();
  column->addLayout(buttons);

  ScrollBox1 = new QScrollArea(this);
  ScrollBox1->setObjectName(QStringLiteral("ScrollBox1"));
  ScrollBox1->setWidgetResizable(true);
  ScrollBox1->setWidget(content);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(ScrollBox1);

  resize(1000, 720);
  if (const QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - rect().center());

  onClick(BitBtn1, &Tkhjl::BitBtn1Click);
  onClick(BitBtn2, &Tkhjl::BitBtn2Click);
  onClick(BitBtn3, &Tkhjl::BitBtn3Click);
  onClick(BitBtn4, &Tkhjl::BitBtn4Click);
  onClick(BitBtn5, &Tkhjl::BitBtn5Click);
  onClick(BitBtn6, &Tkhjl::BitBtn6Click);
}

void Tkhjl::build(int index) {
  const HistoryGrid& spec = historyGrids()[index];
  Part& part = parts_[index];
  part.dataset = new RemoteDataset(spec.provider, this);
  part.dataset->setObjectName(spec.table);
  // The write-back text reads the same rows in the same order, with `id` for new rows.
  part.stored = new RemoteDataset(QStringLiteral("DataSetProvider_search"), this);
  part.stored->setObjectName(spec.table + QStringLiteral("_stored"));
  part.model = new DatasetModel(*part.dataset, this);

  QStringList titles;
  auto* delegate = new PickListDelegate(this);
  for (const GridColumn& column : spec.columns) {
    if (column.choices) delegate->setChoices(int(titles.size()), column.choices());
    titles << column.title;
  }
  part.model->setVisibleColumns(titles);  // 序号 is read but not shown

  part.grid = new QTableView;
  part.grid->setObjectName(spec.gridName);
  part.grid->setAccessibleName(spec.caption);
  part.grid->setModel(part.model);
  part.grid->setItemDelegate(delegate);
  part.grid->setMinimumHeight(160);
  part.grid->verticalHeader()->setDefaultSectionSize(22);
  part.navigator = new GridNavigator(*part.dataset, part.grid);
  part.navigator->setObjectName(QStringLiteral("DBNavigator%1").arg(index + 1));
  // Re-read rows all stand for stored rows again, read afresh beside them. Until that read
  // succeeds the page does not save.
  connect(part.navigator, &GridNavigator::refreshed, this, [this, index] {
    guarded(this, [this, index] {
      Part& part = parts_[index];
      const bool wasLoaded = std::exchange(loaded_, false);
      part.stored->refresh();
      part.loaded = part.dataset->recordCount();
      loaded_ = wasLoaded;
    });
  });
}

void Tkhjl::setEditing(bool editing) {
  editing = editing && loaded_;
  for (Part& part : parts_) part.model->setEditable(editing);
  BitBtn2->setEnabled(editing);
}

void Tkhjl::reload() {
  loaded_ = false;
  BitBtn1->setEnabled(false);
  for (int i = 0; i < parts_.size(); ++i) {
    Part& part = parts_[i];
    const schema::queries::HistoryQueries& q = schema::queries::history(historyGrids()[i].table);
    part.dataset->close();
    part.stored->close();
    part.loaded = 0;
    part.dataset->setCommandText(q.display, {personId_});
    part.dataset->open();
    part.stored->setCommandText(q.writeBack, {personId_});
    part.stored->open();
    part.loaded = part.dataset->recordCount();
  }
  loaded_ = true;
  BitBtn1->setEnabled(true);
}

void Tkhjl::FormShow() {
  setEditing(false);
  // The change history form is built by program start after this one.
  BitBtn6->setEnabled(forms::find(kHistoryForm) != nullptr);
  personId_ = schema::trim(SignIn::state().currentPersonId);
  personLine->setText(QStringLiteral("身份证号：%1").arg(personId_));
  reload();
}

void Tkhjl::FormClose() {
  for (Part& part : parts_) {
    part.dataset->close();
    part.stored->close();
  }
}

void Tkhjl::BitBtn1Click() {
  setEditing(false);
  reload();
  setEditing(true);
}

void Tkhjl::BitBtn2Click() {
  if (!loaded_) throw RemoteError(QStringLiteral("记录未能读取，不能保存，请关闭后重新打开"));
  for (Part& part : parts_) {
    part.navigator->commitEditor();
    part.dataset->post();
  }
  // Nothing is written unless every grid passes: a failure leaves the form editing, edits kept.
  if (!testYearMonths()) return;
  // One apply for all six tables. A refusal (a row changed or deleted by someone else since
  // the load) writes nothing and leaves the form editing with its edits.
  QList<RemoteDataset*> stored;
  try {
    for (int index : records::saveOrder()) {
      writeBack(index);
      stored << parts_[index].stored;
    }
    applyTogether(stored);
  } catch (...) {
    for (Part& part : parts_)
      if (part.stored->active()) part.stored->cancelUpdates();
    throw;
  }
  for (Part& part : parts_) part.loaded = part.dataset->recordCount();
  setEditing(false);
  showMessage(this, QStringLiteral("修改完成!"));
}

bool Tkhjl::testYearMonths() {
  for (int index : records::saveOrder()) {
    const HistoryGrid& spec = historyGrids()[index];
    Part& part = parts_[index];
    for (int row = 0; row < part.dataset->recordCount(); ++row) {
      for (const GridColumn& column : spec.columns) {
        if (column.yearMonthMessage.isEmpty()) continue;
        const QVariant value = part.dataset->value(row, part.dataset->fieldIndex(column.title));
        if (schema::isYearMonth(value.toString())) continue;
        part.dataset->moveTo(row);
        part.grid->setCurrentIndex(part.model->index(row, part.model->modelColumn(column.title)));
        ScrollBox1->ensureWidgetVisible(part.grid);
        showMessage(this, column.yearMonthMessage);
        return false;
      }
    }
  }
  return true;
}

void Tkhjl::writeBack(int index) {
  const HistoryGrid& spec = historyGrids()[index];
  Part& part = parts_[index];
  RemoteDataset& stored = *part.stored;

  // Grid rows pair with stored rows by position. Rows past the loaded count are new, and so is
  // any row whose stored partner was not read: it never overwrites another row.
  const int rows = part.dataset->recordCount();
  const int paired = std::min(part.loaded, stored.recordCount());
  for (int row = 0; row < rows; ++row) {
    if (row < paired) {
      stored.moveTo(row);
      stored.edit();
    } else {
      stored.append();
      stored.setField(u"id_num", Connection::shared().draw(spec.table));
      stored.setField(u"id", personId_);
    }
    for (const GridColumn& column : spec.columns) {
      const QString text =
          schema::trim(part.dataset->value(row, part.dataset->fieldIndex(column.title)).toString());
      // An empty cell over a null leaves the null: blank either way, no needless write.
      if (text.isEmpty() && stored.field(column.column).isNull()) continue;
      stored.setField(column.column, text);
    }
    stored.post();
  }
  // Loaded rows the grid no longer holds are deleted, from the last one back.
  for (int row = paired - 1; row >= rows; --row) {
    stored.moveTo(row);
    stored.remove();
  }
}

// The server marks the account and records the review as an event of the person's history;
// a person without an account is not reviewed, and nothing is said.
void Tkhjl::BitBtn4Click() {
  if (!Connection::shared().review(personId_)) return;
  if (!SignIn::state().isOrdinaryUser()) notifier::personChanged(personId_);
  showMessage(this, QStringLiteral("审核成功！"));
}

// The printed record of the person the page shows, through the personal report form.
void Tkhjl::BitBtn3Click() { forms::printPreview(u"report_basic", personId_); }

void Tkhjl::BitBtn5Click() { forms::show(u"info_other"); }

// The changes to the record of the person the page shows, read afresh.
void Tkhjl::BitBtn6Click() {
  SignIn::state().currentPersonId = personId_;
  forms::showAfresh(kHistoryForm);
}
