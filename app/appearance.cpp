#include "app/appearance.h"

#include <QApplication>
#include <QFont>
#include <QLibraryInfo>
#include <QLocale>
#include <QPalette>
#include <QTranslator>

namespace {

// The interface face; the Kai face the font configuration may find first is for the printed
// reports' headings only.
const QStringList kInterfaceFamilies = {QStringLiteral("Noto Sans CJK SC"),
                                        QStringLiteral("Noto Sans SC"),
                                        QStringLiteral("WenQuanYi Micro Hei")};

void installQtTranslations() {
  const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
  auto* translator = new QTranslator(qApp);
  if (translator->load(QLocale(), QStringLiteral("qtbase"), QStringLiteral("_"), folder) ||
      translator->load(QStringLiteral("qtbase_zh_CN"), folder))
    QCoreApplication::installTranslator(translator);
  else
    delete translator;
}

QColor blend(const QColor& a, const QColor& b, double share) {
  return QColor::fromRgbF(float(a.redF() * share + b.redF() * (1 - share)),
                          float(a.greenF() * share + b.greenF() * (1 - share)),
                          float(a.blueF() * share + b.blueF() * (1 - share)));
}

// Disabled text keeps a hint of grey but reads at well over 4.5:1 against its background, so
// a person can read their record on a read-only page.
void makeDisabledTextLegible() {
  QPalette palette = QApplication::palette();
  const struct {
    QPalette::ColorRole text, background;
  } pairs[] = {{QPalette::Text, QPalette::Base},
               {QPalette::WindowText, QPalette::Window},
               {QPalette::ButtonText, QPalette::Button}};
  for (const auto& pair : pairs)
    palette.setColor(QPalette::Disabled, pair.text,
                     blend(palette.color(QPalette::Active, pair.text),
                           palette.color(QPalette::Disabled, pair.background), 0.75));
  QApplication::setPalette(palette);
}

}  // namespace

void applyAppearance() {
  installQtTranslations();
  QFont font = QApplication::font();
  font.setFamilies(kInterfaceFamilies);
  QApplication::setFont(font);
  makeDisabledTextLegible();
}
