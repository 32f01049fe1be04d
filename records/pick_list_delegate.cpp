#include "records/pick_list_delegate.h"

#include <QComboBox>

#include "shell/widgets.h"

QWidget* PickListDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                        const QModelIndex& index) const {
  const auto found = choices_.constFind(index.column());
  if (found == choices_.cend()) return QStyledItemDelegate::createEditor(parent, option, index);
  QComboBox* combo = widgets::comboBox(QStringLiteral("PickList"), *found, QString(), parent);
  combo->setMaxVisibleItems(20);
  return combo;
}

void PickListDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const {
  if (auto* combo = qobject_cast<QComboBox*>(editor))
    combo->setEditText(index.data(Qt::EditRole).toString());
  else
    QStyledItemDelegate::setEditorData(editor, index);
}

void PickListDelegate::setModelData(QWidget* editor, QAbstractItemModel* model,
                                    const QModelIndex& index) const {
  if (auto* combo = qobject_cast<QComboBox*>(editor))
    model->setData(index, combo->currentText(), Qt::EditRole);
  else
    QStyledItemDelegate::setModelData(editor, model, index);
}
