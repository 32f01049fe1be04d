#include "records/grid_navigator.h"

#include <QAbstractItemDelegate>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QTableView>
#include <QToolButton>

#include "shell/guard.h"
#include "shell/remote_dataset.h"

namespace {

struct ButtonText {
  const char* name;
  const char* caption;
};

// In the order of GridNavigator::Button.
constexpr ButtonText kButtons[] = {
    {"nbFirst", "第一条"}, {"nbPrior", "上一条"}, {"nbNext", "下一条"}, {"nbLast", "最后一条"},
    {"nbInsert", "插入"},  {"nbDelete", "删除"},  {"nbEdit", "编辑"},   {"nbPost", "提交"},
    {"nbCancel", "取消"},  {"nbRefresh", "刷新"},
};

}  // namespace

GridNavigator::GridNavigator(RemoteDataset& dataset, QTableView* grid, QWidget* parent)
    : QWidget(parent), dataset_(dataset), grid_(grid) {
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(2);
  int which = First;
  for (const ButtonText& text : kButtons) {
    auto* b = new QToolButton(this);
    b->setObjectName(QString::fromLatin1(text.name));
    b->setText(QString::fromUtf8(text.caption));
    b->setAccessibleName(b->text());
    b->setToolTip(b->text());
    connect(b, &QToolButton::clicked, this,
            [this, which] { guarded(this, [this, which] { act(Button(which)); }); });
    layout->addWidget(b);
    buttons_ << b;
    ++which;
  }
  layout->addStretch();

  // The grid's current row is the dataset's current row, whichever of the two moves.
  connect(grid_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this](const QModelIndex& current) {
            if (current.isValid()) guarded(this, [&] { dataset_.moveTo(current.row()); });
          });
  connect(&dataset_, &RemoteDataset::currentChanged, this, &GridNavigator::followCursor);
  grid_->installEventFilter(this);
}

bool GridNavigator::eventFilter(QObject* watched, QEvent* event) {
  if (watched == grid_ && event->type() == QEvent::KeyPress &&
      static_cast<QKeyEvent*>(event)->key() == Qt::Key_Down && dataset_.active() &&
      dataset_.recNo() == dataset_.recordCount() - 1) {
    const QModelIndex index = grid_->model()->index(std::max(dataset_.recNo(), 0), 0);
    if (grid_->model()->flags(index) & Qt::ItemIsEditable) {
      guarded(this, [this] {
        commitEditor();
        dataset_.append();
      });
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

QToolButton* GridNavigator::button(Button which) const { return buttons_[which]; }

void GridNavigator::followCursor(int row) {
  if (row < 0) {
    grid_->selectionModel()->clearCurrentIndex();
    return;
  }
  const int column = std::max(grid_->currentIndex().column(), 0);
  const QModelIndex index = grid_->model()->index(row, column);
  if (index.isValid() && index != grid_->currentIndex())
    grid_->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
}

void GridNavigator::commitEditor() {
  const QModelIndex index = grid_->currentIndex();
  QWidget* editor = index.isValid() ? grid_->indexWidget(index) : nullptr;
  if (!editor) return;
  QAbstractItemDelegate* delegate = grid_->itemDelegateForIndex(index);
  emit delegate->commitData(editor);
  emit delegate->closeEditor(editor);
}

void GridNavigator::act(Button which) {
  if (!dataset_.active()) return;
  commitEditor();
  switch (which) {
    case First:
      dataset_.first();
      break;
    case Prior:
      dataset_.prior();
      break;
    case Next:
      dataset_.next();
      break;
    case Last:
      dataset_.last();
      break;
    case Insert:
      dataset_.insert();
      break;
    case Delete:
      if (dataset_.recNo() >= 0) dataset_.remove();
      break;
    case Edit: {
      dataset_.edit();
      const QModelIndex index = grid_->currentIndex();
      if (index.isValid() && (grid_->model()->flags(index) & Qt::ItemIsEditable))
        grid_->edit(index);
      break;
    }
    case Post:
      dataset_.post();
      break;
    case Cancel:
      dataset_.cancel();
      break;
    case Refresh:
      dataset_.refresh();
      emit refreshed();
      break;
  }
}
