// What a new user meets before anything is loaded: standard buttons in Chinese, the interface
// in a CJK sans face, legible read-only inputs, and a login window that fits its texts.
#include "app/appearance.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QtTest>

#include "shell/login.h"

namespace {

// Contrast ratio of two colours as WCAG defines it.
double contrast(const QColor& a, const QColor& b) {
  auto luminance = [](const QColor& c) {
    auto channel = [](double v) {
      return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
  };
  const double la = luminance(a), lb = luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

}  // namespace

class AppearanceTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { applyAppearance(); }

  void standardButtonsSpeakChinese() {
    QMessageBox box;
    box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
    QCOMPARE(box.button(QMessageBox::Ok)->text(), QStringLiteral("确定"));
    QCOMPARE(box.button(QMessageBox::Cancel)->text(), QStringLiteral("取消"));
  }

  void interfaceUsesTheSansFace() {
    QCOMPARE(QFontInfo(QApplication::font()).family(), QStringLiteral("Noto Sans CJK SC"));
  }

  void disabledTextIsLegible() {
    const QPalette palette = QApplication::palette();
    for (auto [text, background] : {std::pair{QPalette::Text, QPalette::Base},
                                    std::pair{QPalette::WindowText, QPalette::Window},
                                    std::pair{QPalette::ButtonText, QPalette::Button}}) {
      const double ratio = contrast(palette.color(QPalette::Disabled, text),
                                    palette.color(QPalette::Disabled, background));
      QVERIFY2(ratio >= 4.5, qPrintable(QString::number(ratio)));
    }
  }

  void loginWindowFitsItsTexts_data() {
    QTest::addColumn<int>("pointSize");
    for (int size : {9, 16, 26}) QTest::addRow("%d pt", size) << size;
  }

  // The font changes after the window is laid out (a new DPI, a larger system font): the
  // window follows, and no label or button is cut.
  void loginWindowFitsItsTexts() {
    QFETCH(int, pointSize);
    const QFont before = QApplication::font();
    Tuser_login login;
    login.show();
    QVERIFY(QTest::qWaitForWindowExposed(&login));
    QFont font = before;
    font.setPointSize(pointSize);
    QApplication::setFont(font);
    // The first label or button narrower or lower than its text needs, if any.
    auto cut = [&login]() -> QString {
      for (QWidget* child : login.findChildren<QWidget*>())
        if ((qobject_cast<QLabel*>(child) || qobject_cast<QPushButton*>(child)) &&
            (child->width() < child->sizeHint().width() ||
             child->height() < child->sizeHint().height()))
          return child->property("text").toString();
      return {};
    };
    QTRY_COMPARE(cut(), QString());
    QApplication::setFont(before);
  }
};

QTEST_MAIN(AppearanceTest)
#include "appearance_test.moc"
