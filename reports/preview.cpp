#include "reports/preview.h"

#include <QAction>
#include <QGuiApplication>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QScreen>
#include <QToolBar>

#include "reports/page_writer.h"
#include "shell/dialogs.h"
#include "shell/guard.h"

namespace reports {

void preview(QWidget* parent, const QString& title, const QList<Page>& pages) {
  QPrinter printer(QPrinter::HighResolution);
  printer.setPageLayout(pageLayout());
  printer.setDocName(title);
  QPrintPreviewDialog dialog(&printer, parent);
  dialog.setObjectName(QStringLiteral("preview"));
  dialog.setWindowTitle(title);
  QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested, &dialog, [&](QPrinter* device) {
    guarded(&dialog, [&] {
      PageWriter writer(*device);
      writer.write(pages);
      writer.finish();
    });
  });
  // A normal window as tall as most of the screen, the page zoomed to fit it.
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    dialog.resize(std::min(area.width(), area.height() * 3 / 4), area.height() * 9 / 10);
  }
  if (auto* view = dialog.findChild<QPrintPreviewWidget*>()) view->fitInView();

  auto* save = new QAction(QStringLiteral("保存为PDF"), &dialog);
  save->setObjectName(QStringLiteral("savePdf"));
  QObject::connect(save, &QAction::triggered, &dialog, [&] {
    QString path = Dialogs::current().saveFileName(&dialog, QStringLiteral("保存为PDF"),
                                                   QStringLiteral("PDF 文件 (*.pdf)"));
    if (path.isEmpty()) return;
    if (!path.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive)) path += QStringLiteral(".pdf");
    guarded(&dialog, [&] { writePdf(path, pages); });
  });
  if (auto* bar = dialog.findChild<QToolBar*>()) {
    bar->addSeparator();
    bar->addAction(save);
  }
  dialog.exec();
}

}  // namespace reports
