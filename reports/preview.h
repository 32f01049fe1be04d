#pragma once

#include <QList>

#include "reports/band_report.h"

class QWidget;

namespace reports {

// Shows the pages in a print preview window (zoomed to fit the page, with page navigation and
// printing) whose tool bar also saves them as a PDF file ("保存为PDF"). Returns when the
// window is closed.
void preview(QWidget* parent, const QString& title, const QList<Page>& pages);

}  // namespace reports
