// Window titles as the window system has them (a real X server, read back with xprop): exactly
// the forms' captions, nothing appended.
#include <QProcess>
#include <QRegularExpression>
#include <QtTest>

#include "shell/form.h"
#include "shell/forms.h"
#include "tests/support/client/client_fixture.h"

namespace {

// The window's _NET_WM_NAME as the X server holds it.
QString titleOnTheServer(const QWidget* window) {
  QProcess xprop;
  xprop.start(QStringLiteral("xprop"), {QStringLiteral("-id"), QString::number(window->winId()),
                                        QStringLiteral("_NET_WM_NAME")});
  if (!xprop.waitForFinished(10000)) return QStringLiteral("<xprop failed>");
  const QString out = QString::fromUtf8(xprop.readAllStandardOutput());
  const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("= \"(.*)\"")).match(out);
  return m.hasMatch() ? m.captured(1) : out;
}

}  // namespace

class WindowTitlesTest : public QObject {
  Q_OBJECT

 private slots:
  void titlesAreTheCaptions() {
    QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
    for (Form* form : forms::all()) {
      form->show();
      QVERIFY(QTest::qWaitForWindowExposed(form));
      QCOMPARE(titleOnTheServer(form), form->windowTitle());
      QVERIFY(!form->windowTitle().isEmpty());
      form->hide();
    }
  }

 private:
  ClientFixture fixture_;
};

QTEST_MAIN(WindowTitlesTest)
#include "window_titles_test.moc"
