#pragma once

#include <QSize>

class QAbstractItemModel;
class QFrame;
class QPushButton;
class QTableView;
class QWidget;

// The layout the result windows share: a read-only grid of whole rows over `model` filling the
// window (Panel1, DBGrid1), and 导出EXCEL and 退出 at the bottom right (Panel2, BitBtn1,
// BitBtn2).
struct ResultControls {
  QFrame* Panel1;
  QTableView* DBGrid1;
  QFrame* Panel2;
  QPushButton* BitBtn1;  // 导出EXCEL
  QPushButton* BitBtn2;  // 退出
};

ResultControls layOutResult(QWidget* form, QAbstractItemModel* model, QSize size);
