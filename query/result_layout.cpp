#include "query/result_layout.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTableView>

#include "shell/widgets.h"

ResultControls layOutResult(QWidget* form, QAbstractItemModel* model, QSize size) {
  ResultControls c{};
  c.Panel1 = new QFrame(form);
  c.Panel1->setObjectName(QStringLiteral("Panel1"));
  c.DBGrid1 = new QTableView(c.Panel1);
  c.DBGrid1->setObjectName(QStringLiteral("DBGrid1"));
  c.DBGrid1->setAccessibleName(form->windowTitle());
  c.DBGrid1->setModel(model);
  c.DBGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
  c.DBGrid1->setSelectionBehavior(QAbstractItemView::SelectRows);
  c.DBGrid1->verticalHeader()->setDefaultSectionSize(22);
  c.DBGrid1->horizontalHeader()->setResizeContentsPrecision(200);  // sample, never scan every row
  auto* grid = new QVBoxLayout(c.Panel1);
  grid->setContentsMargins(0, 0, 0, 0);
  grid->addWidget(c.DBGrid1);

  c.Panel2 = new QFrame(form);
  c.Panel2->setObjectName(QStringLiteral("Panel2"));
  c.BitBtn1 = widgets::button(QStringLiteral("BitBtn1"), QStringLiteral("导出EXCEL"), c.Panel2);
  c.BitBtn2 = widgets::button(QStringLiteral("BitBtn2"), QStringLiteral("退出"), c.Panel2);
  auto* buttons = new QHBoxLayout(c.Panel2);
  buttons->addStretch();
  buttons->addWidget(c.BitBtn1);
  buttons->addWidget(c.BitBtn2);

  auto* layout = new QVBoxLayout(form);
  layout->addWidget(c.Panel1, 1);
  layout->addWidget(c.Panel2);
  form->resize(size);
  return c;
}
