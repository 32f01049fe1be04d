// The basic information page against a real server: what a show loads, what a save writes
// and under which number, the year-month tests on leaving a date box, the marital-status
// reaction, the special sign-in, closing by role, and a refused save.
#include "records/info.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QPushButton>
#include <QTableView>
#include <QtTest>

#include "shell/connection.h"
#include "shell/main.h"
#include "shell/program.h"
#include "shell/remote_dataset.h"
#include "tests/records/page_support.h"
#include "tests/support/client/client_fixture.h"

using page_test::activate;
using page_test::leave;
using page_test::open;
using page_test::rows;
using page_test::stored;

namespace {

const QString kAdmin = QStringLiteral("110101199001011234");
const QString kStaff = QStringLiteral("220101199001011111");
const QString kSpecial = QStringLiteral("990000190001010000");
const QString kDone = QStringLiteral("修改成功!");
const QString kPartyDate =
    QStringLiteral("输入的党派时间的格式不正确！格式是年月，如：198001。需要6位数字！请重新输入！");
const QString kBirthDate = QStringLiteral(
    "输入的出生日期时间的格式不正确！格式是年月，如：198001。需要6位数字！请重新输入！");
const QStringList kInfo = {"name",  "id",    "mz",    "zzmm", "tel_mob", "zym", "sex",
                           "jg_se", "jg_si", "jg_xa", "yyzk", "dpsj",    "date"};
const QStringList kWycd = {"zgxl", "xljg", "xwjg", "zgxw", "dyxlzy", "zgxlzy", "dyxl", "pthdj"};
const QStringList kOther = {"tel", "zjxy",  "address", "pedw", "xsttjz",
                            "yb",  "email", "pexm",    "shjz"};

Tinfo_basic* page() { return static_cast<Tinfo_basic*>(forms::find(u"info_basic")); }
Tmain_manage* mainWindow() { return static_cast<Tmain_manage*>(forms::find(u"main_manage")); }

QStringList items(const QComboBox* combo) {
  QStringList list;
  for (int i = 0; i < combo->count(); ++i) list << combo->itemText(i);
  return list;
}

}  // namespace

class InfoBasicTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    fixture_.addAccount(kAdmin, QStringLiteral("管理员"), 0, QStringLiteral("secret"));
    fixture_.addAccount(kStaff, QStringLiteral("教师"), 2, QStringLiteral("staff"));
    fixture_.addAccount(kSpecial, QStringLiteral("特别"), 0, QStringLiteral("magic"));
    sql("update info set zym=?, yyzk='已婚' where id=?", {QStringLiteral("  旧名\t"), kAdmin});
    sql("update info set yyzk='已婚' where id=?", {kSpecial});
  }

  void init() { fixture_.restart(); }

  void personWithoutRowsGetsOneRowPerTable() {
    const QString person = QStringLiteral("500101200001010001");
    signIn(kAdmin, "secret");
    open(u"info_basic", person);
    QVERIFY(page()->isVisible());
    QVERIFY(!page()->Edit1->isEnabled());
    QVERIFY(!page()->BitBtn2->isEnabled());
    QCOMPARE(page()->edit4->currentText(), QStringLiteral("中共党员"));  // presets untouched
    page()->BitBtn1->click();
    QVERIFY(page()->Edit1->isEnabled() && page()->edit20->isEnabled() &&
            page()->BitBtn2->isEnabled());
    page()->Edit1->setText(QStringLiteral(" 新人 "));
    page()->Edit2->setText(person);
    page()->Edit29->setText(QStringLiteral("   "));  // blanks only: the empty text
    page()->BitBtn2->click();
    QCOMPARE(fixture_.dialogs.errors, QStringList());
    QCOMPARE(fixture_.dialogs.messages, QStringList{kDone});
    const QString none = QStringLiteral("无");
    QCOMPARE(rows(fixture_.server, "info", kInfo, person),
             (QList<QStringList>{{"新人", person, none, "中共党员", none, none, "男", none, none,
                                  none, "已婚", none, none}}));
    QCOMPARE(rows(fixture_.server, "wycd", kWycd, person),
             (QList<QStringList>{{"大学本科毕业", none, none, "工学学士学位", "计算机科学教育",
                                  "计算机科学教育", "大学本科毕业", "二级乙等"}}));
    QStringList others(kOther.size() - 1, none);
    others << "";
    QCOMPARE(rows(fixture_.server, "other_info", kOther, person), QList<QStringList>{others});
    QVERIFY(!page()->BitBtn2->isEnabled());
    QVERIFY(!page()->Edit1->isEnabled());
  }

  void nullShowsNoneAndSavesNoneAndTheMainListFollows() {
    signIn(kAdmin, "secret");
    open(u"info_basic", kAdmin);
    QCOMPARE(page()->Edit1->text(), QStringLiteral("管理员"));
    QCOMPARE(page()->Edit3->text(), QStringLiteral("无"));    // null
    QCOMPARE(page()->Edit6->text(), QStringLiteral("旧名"));  // trimmed
    QCOMPARE(page()->edit4->currentText(), QStringLiteral("无"));
    QCOMPARE(page()->edit13->currentText(), QStringLiteral("大学本科毕业"));  // no wycd row
    page()->BitBtn1->click();
    page()->Edit1->setText(QStringLiteral("管理员乙"));
    page()->BitBtn2->click();
    QCOMPARE(fixture_.dialogs.messages, QStringList{kDone});
    QCOMPARE(stored(fixture_.server, "info", "mz", kAdmin), QStringLiteral("无"));
    QCOMPARE(stored(fixture_.server, "info", "zym", kAdmin), QStringLiteral("旧名"));
    RemoteDataset& list = *mainWindow()->search;
    QStringList names;
    for (int row = 0; row < list.recordCount(); ++row) names << list.value(row, 1).toString();
    QVERIFY2(names.contains(QStringLiteral("管理员乙")), qPrintable(names.join(',')));
  }

  void changedIdentityNumberSavesUnderTheNewNumber() {
    const QString before = QStringLiteral("500101200001010002");
    const QString after = QStringLiteral("500101200001010003");
    sql("insert into info(id,name,mz) values(?,'甲','汉')", {before});
    sql("insert into wycd(id,zgxl) values(?,'初中毕业')", {before});
    sql("insert into other_info(id,tel) values(?,'123')", {before});
    signIn(kAdmin, "secret");
    open(u"info_basic", before);
    page()->BitBtn1->click();
    page()->Edit2->setText(QStringLiteral("  %1 ").arg(after));
    page()->Edit3->setText(QStringLiteral("回"));
    page()->BitBtn2->click();
    QCOMPARE(fixture_.dialogs.messages, QStringList{kDone});
    QCOMPARE(rows(fixture_.server, "info", {"id", "name", "mz"}, after),
             (QList<QStringList>{{after, "甲", "回"}}));
    QCOMPARE(stored(fixture_.server, "wycd", "zgxl", after), QStringLiteral("初中毕业"));
    QCOMPARE(stored(fixture_.server, "other_info", "tel", after), QStringLiteral("123"));
    QCOMPARE(stored(fixture_.server, "info", "mz", before), QStringLiteral("汉"));
    QCOMPARE(rows(fixture_.server, "wycd", {"xljg"}, before), (QList<QStringList>{{"<null>"}}));
    QCOMPARE(SignIn::state().currentPersonId, before);
  }

  void nameAndNumberAreRequired_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("number");
    QTest::addColumn<QString>("message");
    QTest::newRow("empty name") << ""
                                << "500101200001010004"
                                << "姓名不能为空";
    QTest::newRow("blank name") << " \t"
                                << "500101200001010004"
                                << "姓名不能为空";
    QTest::newRow("blank number") << "乙"
                                  << "  "
                                  << "身份证号不能为空";
  }

  void nameAndNumberAreRequired() {
    QFETCH(QString, name);
    QFETCH(QString, number);
    QFETCH(QString, message);
    signIn(kAdmin, "secret");
    open(u"info_basic", QStringLiteral("500101200001010004"));
    page()->BitBtn1->click();
    page()->Edit1->setText(name);
    page()->Edit2->setText(number);
    page()->BitBtn2->click();
    QCOMPARE(fixture_.dialogs.messages, QStringList{message});
    QVERIFY(page()->BitBtn2->isEnabled());
    QCOMPARE(stored(fixture_.server, "info", "name", "500101200001010004"),
             QStringLiteral("<no row>"));
  }

  void yearMonthOnLeaving_data() {
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("politics");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("written");  // empty: refused
    const QString party = QStringLiteral("中共党员");
    const QString masses = QStringLiteral("群众");
    QTest::newRow("empty") << "Edit30" << party << ""
                           << "";
    QTest::newRow("six digits") << "Edit30" << party << "198001"
                                << "198001";
    QTest::newRow("six letters") << "Edit30" << party << "abcdef"
                                 << "abcdef";
    QTest::newRow("blanks around six digits") << "Edit30" << party << "  198001\t "
                                              << "198001";
    QTest::newRow("five digits") << "Edit30" << party << "19801"
                                 << "";
    QTest::newRow("seven digits") << "Edit30" << party << "1980011"
                                  << "";
    QTest::newRow("four digits and a Chinese character") << "Edit30" << party << "1980年"
                                                         << "1980年";
    QTest::newRow("party date empty") << "Edit12" << party << ""
                                      << "";
    QTest::newRow("party date empty, 群众") << "Edit12" << masses << ""
                                            << "无";
    QTest::newRow("party date anything, 群众") << "Edit12" << masses << "1"
                                               << "1";
    QTest::newRow("birth date empty, 群众") << "Edit30" << masses << ""
                                            << "";
  }

  void yearMonthOnLeaving() {
    QFETCH(QString, box);
    QFETCH(QString, politics);
    QFETCH(QString, typed);
    QFETCH(QString, written);
    const QString person = QStringLiteral("500101200001010005");
    if (stored(fixture_.server, "info", "id", person) == u"<no row>")
      sql("insert into info(id,name) values(?,'丙')", {person});
    signIn(kAdmin, "secret");
    open(u"info_basic", person);
    QVERIFY(activate(page()));  // shown read-only: the focus is on no date box
    page()->BitBtn1->click();
    auto* date = page()->findChild<QLineEdit*>(box);
    page()->edit4->setEditText(politics);
    date->setText(typed);
    leave(date, page()->Edit14);
    if (written.isEmpty()) {
      QCOMPARE(fixture_.dialogs.messages, QStringList{box == u"Edit12" ? kPartyDate : kBirthDate});
      QCOMPARE(date->text(), QString());
      QVERIFY(date->hasFocus());
      return;
    }
    QCOMPARE(fixture_.dialogs.messages, QStringList());
    QVERIFY(page()->Edit14->hasFocus());
    page()->BitBtn2->click();
    QCOMPARE(stored(fixture_.server, "info", box == u"Edit12" ? "dpsj" : "date", person), written);
  }

  void aFailedTestRunsOnce() {
    const QString person = QStringLiteral("500101200001010006");
    sql("insert into info(id,name) values(?,'丁')", {person});
    signIn(kAdmin, "secret");
    open(u"info_basic", person);
    QVERIFY(activate(page()));  // shown read-only: the focus is on no date box
    page()->BitBtn1->click();
    page()->Edit12->clear();
    page()->Edit30->clear();
    // Leaving one empty date box for the other: only the first is tested, and once.
    leave(page()->Edit12, page()->Edit30);
    QCOMPARE(fixture_.dialogs.messages, QStringList{kPartyDate});
    QVERIFY(page()->Edit12->hasFocus());
    // Other windows taking and giving back the focus are not exits.
    QVERIFY(activate(mainWindow()));
    QVERIFY(activate(page()));
    QCOMPARE(fixture_.dialogs.messages, QStringList{kPartyDate});
    QVERIFY(page()->Edit12->hasFocus());
    page()->Edit14->setFocus();
    QCOMPARE(fixture_.dialogs.messages, (QStringList{kPartyDate, kPartyDate}));
    // Read-only, disabling the focused box is no exit either.
    page()->Edit1->setText(QStringLiteral("丁"));
    page()->Edit2->setText(person);
    page()->BitBtn2->click();
    QCOMPARE(fixture_.dialogs.messages.last(), kDone);
    QCOMPARE(fixture_.dialogs.messages.size(), 3);
  }

  void aClickThatLeftARefusedBoxDoesNotAct() {
    const QString person = QStringLiteral("500101200001010007");
    sql("insert into info(id,name,date) values(?,'戊','197001')", {person});
    signIn(kAdmin, "secret");
    open(u"info_basic", person);
    QVERIFY(activate(page()));  // shown read-only: the focus is on no date box
    page()->BitBtn1->click();
    page()->Edit30->setText(QStringLiteral("1980"));
    page()->Edit30->setFocus();
    QTest::mouseClick(page()->BitBtn2, Qt::LeftButton);
    QCOMPARE(fixture_.dialogs.messages, QStringList{kBirthDate});
    QVERIFY(page()->Edit30->hasFocus());
    QVERIFY(page()->BitBtn2->isEnabled());
    QCOMPARE(stored(fixture_.server, "info", "date", person), QStringLiteral("197001"));
    page()->Edit30->setText(QStringLiteral("198002"));
    QTest::mouseClick(page()->BitBtn2, Qt::LeftButton);
    QCOMPARE(fixture_.dialogs.messages, (QStringList{kBirthDate, kDone}));
    QCOMPARE(stored(fixture_.server, "info", "date", person), QStringLiteral("198002"));
  }

  void maritalStatusOther() {
    const QString person = QStringLiteral("500101200001010008");
    sql("insert into info(id,name,yyzk) values(?,'己','其他')", {person});
    signIn(kAdmin, "secret");
    open(u"info_basic", person);
    QCOMPARE(page()->edit11->currentText(), QStringLiteral("其他"));  // loaded: no reaction
    QCOMPARE(page()->edit11->count(), 5);
    QVERIFY(activate(page()));  // shown read-only: the focus is on no date box
    page()->BitBtn1->click();
    page()->edit11->setFocus();
    page()->edit11->setEditText(QStringLiteral("已婚"));
    for (int i = 0; i < 4; ++i) QTest::keyClick(page()->edit11, Qt::Key_Down);  // to 其他
    QCOMPARE(fixture_.dialogs.messages,
             QStringList{QStringLiteral("想干什么，想干什么，没得选了!给你机会了!")});
    QCOMPARE(page()->edit11->currentText(), QStringLiteral("其他"));
    QCOMPARE(items(page()->edit11), QStringList{QStringLiteral("必须和Mirel结")});
    page()->BitBtn2->click();
    QCOMPARE(stored(fixture_.server, "info", "yyzk", person), QStringLiteral("其他"));
    QCOMPARE(page()->edit11->count(), 1);  // the list is not restored

    page()->BitBtn1->click();
    page()->edit11->showPopup();
    QTest::keyClick(page()->edit11->view(), Qt::Key_Return);
    QCOMPARE(page()->edit11->currentText(), QStringLiteral("必须和Mirel结"));
    page()->BitBtn2->click();
    QCOMPARE(stored(fixture_.server, "info", "yyzk", person), QStringLiteral("必须和Mirel结"));

    // Typing the word (committed by the input method) is a change as well.
    page()->BitBtn1->click();
    fixture_.dialogs.clear();
    page()->edit11->lineEdit()->clear();
    QInputMethodEvent typing;
    typing.setCommitString(QStringLiteral("其他"));
    QApplication::sendEvent(page()->edit11->lineEdit(), &typing);
    QCOMPARE(fixture_.dialogs.messages.size(), 1);
  }

  // "其" typed, "他" completed inline by the box: the text reads 其他, so the reaction runs.
  void inlineCompletionIsAChange() {
    signIn(kAdmin, "secret");
    open(u"info_basic", kAdmin);
    QVERIFY(activate(page()));
    page()->BitBtn1->click();
    page()->edit11->lineEdit()->clear();
    page()->edit11->setFocus();
    QInputMethodEvent typing;
    typing.setCommitString(QStringLiteral("其"));
    QApplication::sendEvent(page()->edit11->lineEdit(), &typing);
    QCOMPARE(page()->edit11->currentText(), QStringLiteral("其他"));
    QCOMPARE(fixture_.dialogs.messages,
             QStringList{QStringLiteral("想干什么，想干什么，没得选了!给你机会了!")});
    QCOMPARE(items(page()->edit11), QStringList{QStringLiteral("必须和Mirel结")});
  }

  void specialSignInMarriesOnlyExistingRows() {
    const QString existing = QStringLiteral("500101200001010009");
    const QString appended = QStringLiteral("500101200001010010");
    sql("insert into info(id,name,yyzk) values(?,'庚','已婚')", {existing});
    signIn(kSpecial, "magic");
    open(u"info_basic", existing);
    QCOMPARE(page()->edit11->currentText(), QStringLiteral("未婚"));
    QCOMPARE(items(page()->edit11), (QStringList{"未婚", "和Mirel结婚", "其他"}));
    page()->BitBtn1->click();
    page()->edit11->setEditText(QStringLiteral("离婚"));
    page()->BitBtn2->click();
    QCOMPARE(stored(fixture_.server, "info", "yyzk", existing), QStringLiteral("未婚"));

    page()->close();
    open(u"info_basic", appended);
    page()->BitBtn1->click();
    page()->Edit1->setText(QStringLiteral("辛"));
    page()->Edit2->setText(appended);
    page()->edit11->setEditText(QStringLiteral("离婚"));
    page()->BitBtn2->click();
    QCOMPARE(stored(fixture_.server, "info", "yyzk", appended), QStringLiteral("离婚"));
  }

  void closing_data() {
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("ends");
    QTest::newRow("role 0") << kAdmin << "secret" << false;
    QTest::newRow("role 2") << kStaff << "staff" << true;
  }

  void closing() {
    QFETCH(QString, id);
    QFETCH(QString, password);
    QFETCH(bool, ends);
    signIn(id, password);
    if (!ends) open(u"info_basic", kStaff);  // role 2 is shown its own record by the login
    QVERIFY(page()->isVisible());
    QCOMPARE(page()->Edit1->text(), QStringLiteral("教师"));
    page()->BitBtn1->click();
    page()->close();
    QVERIFY(!page()->isVisible());
    QCOMPARE(programEnded(), ends);
    QCOMPARE(Connection::shared().connected(), !ends);
    QCOMPARE(mainWindow()->isVisible(), !ends);
    for (auto* edit : page()->findChildren<QLineEdit*>()) QCOMPARE(edit->text(), QString());
    QCOMPARE(page()->edit4->count(), 13);
    if (ends) return;
    open(u"info_basic", kStaff);
    QVERIFY(!page()->BitBtn2->isEnabled());
    QVERIFY(!page()->Edit1->isEnabled());
    QCOMPARE(page()->Edit1->text(), QStringLiteral("教师"));
  }

  void aVisiblePageIsNotReloaded() {
    signIn(kAdmin, "secret");
    doubleClickOn(kStaff);
    QVERIFY(page()->isVisible());
    QCOMPARE(page()->Edit1->text(), QStringLiteral("教师"));
    doubleClickOn(kSpecial);
    QCOMPARE(SignIn::state().currentPersonId, kSpecial);
    QCOMPARE(page()->Edit1->text(), QStringLiteral("教师"));
    page()->close();
    doubleClickOn(kSpecial);
    QCOMPARE(page()->Edit1->text(), QStringLiteral("特别"));
    // The special rule follows who signed in, not whose record is open.
    QCOMPARE(page()->edit11->currentText(), QStringLiteral("已婚"));
    QCOMPARE(page()->edit11->count(), 5);
  }

  void ordinaryUserRefusedUnderAnotherNumber() {
    signIn(kStaff, "staff");
    QVERIFY(page()->isVisible());
    page()->BitBtn1->click();
    page()->Edit1->setText(QStringLiteral("冒名"));
    page()->Edit2->setText(kAdmin);
    page()->BitBtn2->click();
    QCOMPARE(fixture_.dialogs.errors.size(), 1);
    QVERIFY(!fixture_.dialogs.messages.contains(kDone));
    QVERIFY(page()->BitBtn2->isEnabled());
    QVERIFY(page()->Edit1->isEnabled());
    QCOMPARE(page()->Edit1->text(), QStringLiteral("冒名"));
    QCOMPARE(page()->Edit2->text(), kAdmin);
    QVERIFY(stored(fixture_.server, "info", "name", kAdmin) != u"冒名");
    // Its own number still saves.
    page()->Edit2->setText(kStaff);
    page()->Edit1->setText(QStringLiteral("教师"));
    page()->BitBtn2->click();
    QCOMPARE(fixture_.dialogs.messages, QStringList{kDone});
  }

 private:
  void sql(const char* statement, const QVariantList& params) {
    fixture_.server.sql(QString::fromUtf8(statement), params);
  }

  void signIn(const QString& id, const QString& password) {
    fixture_.signIn(id, password);
    QVERIFY(SignIn::state().role.has_value());
    fixture_.dialogs.clear();
  }

  void doubleClickOn(const QString& id) {
    Tmain_manage* main = mainWindow();
    int row = 0;
    while (row < main->search->recordCount() && main->search->value(row, 0).toString() != id) ++row;
    QVERIFY(row < main->search->recordCount());
    const QModelIndex index = main->DBGrid1->model()->index(row, 0);
    main->DBGrid1->setCurrentIndex(index);
    QTest::mouseDClick(main->DBGrid1->viewport(), Qt::LeftButton, {},
                       main->DBGrid1->visualRect(index).center());
  }

  ClientFixture fixture_;
};

QTEST_MAIN(InfoBasicTest)
#include "info_test.moc"
