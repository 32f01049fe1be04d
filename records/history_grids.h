#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// The six history grids of the experience records page, as data: one loop builds, loads, tests
// and saves them.
namespace records {

// One shown column of a grid.
struct GridColumn {
  QString title;   // the alias in the display query, shown as the column title
  QString column;  // the stored column the value is written to
  const QStringList& (*choices)() = nullptr;  // the cell's pick list, or none
  QString yearMonthMessage;  // shown when the cell fails the year-month test; empty: untested
};

struct HistoryGrid {
  QString table;     // history table, as in schema::queries::history()
  QString caption;   // group caption, also the grid's accessible name
  QString gridName;  // DBGrid1 … DBGrid6
  QString provider;  // provider of the display dataset
  QList<GridColumn> columns;
};

// Top to bottom: jzgjckh, shgx, grll, jyqk, jnpx, jwpx.
const QList<HistoryGrid>& historyGrids();

// The order in which a save writes the tables, as indices into historyGrids():
// jzgjckh, grll, shgx, jyqk, jnpx, jwpx.
const QList<int>& saveOrder();

}  // namespace records
