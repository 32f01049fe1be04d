// Signing in through the login form against a real server: the messages, the trimming and case
// rules, the role routing and what is (not) stored in the sign-in state.
#include "shell/login.h"

#include <QAction>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include "shell/connection.h"
#include "shell/forms.h"
#include "shell/program.h"
#include "shell/signin.h"
#include "tests/support/client/client_fixture.h"

namespace {

const QString kAdmin = QStringLiteral("110101199001011234");
const QString kManager = QStringLiteral("11010119900101123X");
const QString kSpecial = QStringLiteral("990000190001010000");
const QString kStaff = QStringLiteral("220101199001011111");
const QString kNoRole = QStringLiteral("330101199001011111");
const QString kBadRole = QStringLiteral("440101199001011111");

Tuser_login* login() { return static_cast<Tuser_login*>(forms::find(u"user_login")); }
bool visible(QStringView form) { return forms::find(form) && forms::find(form)->isVisible(); }

}  // namespace

class LoginTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    fixture_.addAccount(kAdmin, QStringLiteral("管理员甲"), 0, QStringLiteral("secret"));
    fixture_.addAccount(kManager, QStringLiteral("管理员乙"), 1, QStringLiteral("bpass"));
    fixture_.addAccount(kSpecial, QStringLiteral("特别"), 0, QStringLiteral("magic"));
    fixture_.addAccount(kStaff, QStringLiteral("教师丙"), 2, QStringLiteral("dpass"));
    fixture_.addAccount(kNoRole, QStringLiteral("无权限"), 2, QStringLiteral("npass"));
    fixture_.addAccount(kBadRole, QStringLiteral("错权限"), 2, QStringLiteral("epass"));
    // A stored identity number with blanks around it, a null role and an unknown role.
    fixture_.server.sql(QStringLiteral("update user_name set id=? where id=?"),
                        {QStringLiteral(" %1\t ").arg(kStaff), kStaff});
    fixture_.server.sql(QStringLiteral("update user_name set qx=null where id=?"), {kNoRole});
    fixture_.server.sql(QStringLiteral("update user_name set qx=5 where id=?"), {kBadRole});
  }

  void init() { fixture_.restart(); }

  void outcomes_data() {
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("message");  // empty: signed in
    QTest::addColumn<int>("role");
    const QString noUser = QStringLiteral("用户名不正确!");
    const QString badRole = QStringLiteral("该账户权限设置有误，请联系管理员!");
    QTest::newRow("blanks around both") << "  " + kAdmin + " \t"
                                        << " secret "
                                        << "" << 0;
    QTest::newRow("trailing X matches X") << kManager << "bpass"
                                          << "" << 1;
    QTest::newRow("trailing x does not match X") << kManager.toLower() << "bpass" << noUser << -1;
    QTest::newRow("unknown id with another's password") << "999999999999999999"
                                                        << "secret" << noUser << -1;
    QTest::newRow("wrong password") << kAdmin << "Secret"
                                    << "密码不正确!" << -1;
    QTest::newRow("special id, right password") << kSpecial << "magic"
                                                << "" << 0;
    QTest::newRow("special id, wrong password") << kSpecial << "nope"
                                                << "密码不对？？你是知道的！想想，呵呵！" << -1;
    QTest::newRow("stored id with blanks") << kStaff << "dpass"
                                           << "" << 2;
    QTest::newRow("null role") << kNoRole << "npass" << badRole << -1;
    QTest::newRow("unknown role") << kBadRole << "epass" << badRole << -1;
    QTest::newRow("empty fields") << ""
                                  << "" << noUser << -1;
  }

  void outcomes() {
    QFETCH(QString, id);
    QFETCH(QString, password);
    QFETCH(QString, message);
    QFETCH(int, role);
    fixture_.signIn(id, password);
    QVERIFY2(fixture_.dialogs.errors.isEmpty(), qPrintable(fixture_.dialogs.errors.join('\n')));
    const SignIn& state = SignIn::state();
    if (message.isEmpty()) {
      QVERIFY(fixture_.dialogs.messages.isEmpty());
      QCOMPARE(state.role, std::optional<int>(role));
      QCOMPARE(state.identityNumber, id.trimmed());
      QCOMPARE(state.password, password.trimmed());
      QVERIFY(!login()->isVisible());
      // The login edits are not cleared.
      QCOMPARE(login()->edit1->text(), id);
    } else {
      QCOMPARE(fixture_.dialogs.messages, QStringList{message});
      QVERIFY(!state.role.has_value());
      QVERIFY(state.identityNumber.isEmpty());
      QVERIFY(login()->isVisible());
      QVERIFY(!visible(u"main_manage"));
    }
  }

  void administratorsGetTheMainWindow() {
    fixture_.signIn(kAdmin, QStringLiteral("secret"));
    auto* main = forms::find(u"main_manage");
    QVERIFY(main->isVisible());
    QVERIFY(main->findChild<QAction*>(QStringLiteral("N4"))->isVisible());
    QVERIFY(main->findChild<QAction*>(QStringLiteral("N9"))->isVisible());
    QVERIFY(!visible(u"info_basic"));
  }

  void managersLoseBothDeleteItems() {
    fixture_.signIn(kManager, QStringLiteral("bpass"));
    auto* main = forms::find(u"main_manage");
    QVERIFY(main->isVisible());
    QVERIFY(!main->findChild<QAction*>(QStringLiteral("N4"))->isVisible());
    QVERIFY(!main->findChild<QAction*>(QStringLiteral("N9"))->isVisible());
    QVERIFY(main->findChild<QAction*>(QStringLiteral("N5"))->isVisible());
  }

  void ordinaryUsersGetTheirOwnRecord() {
    fixture_.signIn(kStaff, QStringLiteral("dpass"));
    QCOMPARE(SignIn::state().currentPersonId, kStaff);
    QVERIFY(!visible(u"main_manage"));
    QVERIFY(!login()->isVisible());
    if (forms::find(u"info_basic")) QVERIFY(visible(u"info_basic"));
    if (Form* records = forms::find(u"khjl"))
      QVERIFY(records->findChild<QWidget*>(QStringLiteral("BitBtn4"))->isHidden());
  }

  void enterSignsInOnlyFromThePasswordEdit() {
    login()->show();
    login()->edit1->setText(kAdmin);
    login()->Edit2->setText(QStringLiteral("secret"));
    QTest::keyClick(login()->edit1, Qt::Key_Return);
    QVERIFY(!SignIn::state().role.has_value());
    QVERIFY(login()->isVisible());
    QTest::keyClick(login()->Edit2, Qt::Key_Return);
    QCOMPARE(SignIn::state().role, std::optional<int>(0));
    QVERIFY(visible(u"main_manage"));
  }

  void anEmptyAccountsTableKnowsNobody() {
    const auto saved = fixture_.server.sql(QStringLiteral("select count(*) from user_name"));
    QVERIFY(saved.first().first().toInt() > 0);
    fixture_.server.sql(QStringLiteral("create table keep as select * from user_name"));
    fixture_.server.sql(QStringLiteral("delete from user_name"));
    fixture_.signIn(kAdmin, QStringLiteral("secret"));
    fixture_.server.sql(QStringLiteral("insert into user_name select * from keep"));
    fixture_.server.sql(QStringLiteral("drop table keep"));
    QCOMPARE(fixture_.dialogs.messages, QStringList{QStringLiteral("用户名不正确!")});
  }

  void closingTheLoginFormEndsTheProgram() {
    login()->show();
    login()->Button2->click();
    QVERIFY(programEnded());
    QVERIFY(!login()->isVisible());
    QVERIFY(!Connection::shared().connected());
  }

 private:
  ClientFixture fixture_;
};

QTEST_MAIN(LoginTest)
#include "login_test.moc"
