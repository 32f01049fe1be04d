#pragma once

#include <QHash>
#include <QStringList>
#include <QStyledItemDelegate>

// Cell editing of a data grid: a column with a pick list edits in an editable drop-down that
// proposes the list's values (any other text may be typed); other columns edit as plain text.
class PickListDelegate : public QStyledItemDelegate {
  Q_OBJECT

 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  // The pick list of a grid column.
  void setChoices(int column, const QStringList& items) { choices_.insert(column, items); }

  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                        const QModelIndex& index) const override;
  void setEditorData(QWidget* editor, const QModelIndex& index) const override;
  void setModelData(QWidget* editor, QAbstractItemModel* model,
                    const QModelIndex& index) const override;

 private:
  QHash<int, QStringList> choices_;
};
