// The work information page against a real server: the seven rows a save writes, what a show
// loads, the year-month tests and their exemptions, and the way to and from the basic page.
#include "records/other_info.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

#include "records/info.h"
#include "tests/records/page_support.h"
#include "tests/support/client/client_fixture.h"

using page_test::activate;
using page_test::leave;
using page_test::open;
using page_test::rows;
using page_test::stored;

namespace {

const QString kAdmin = QStringLiteral("110101199001011234");
const QString kDone = QStringLiteral("修改成功!");
const QString kTail =
    QStringLiteral("格式不正确！格式是年月，如：198001。需要6位数字！请重新输入！");

struct DateBox {
  QString table, column, message;
};

// Each date box: where it is written and the message it gives.
const QHash<QString, DateBox> kDates = {
    {"Edit1", {"gzdd", "year", "输入的参加工作时间的" + kTail}},
    {"Edit2", {"gzdd", "cjny", "输入的从教年月时间的" + kTail}},
    {"Edit3", {"gzdd", "jxsj", "输入的进校时间的" + kTail}},
    {"Edit10",
     {"gwxx", "zszq",
      "输入的证书颁发日期的时间" + kTail + "如果不知道，随便填写6位数字，以后再修改！！"}},
    {"Edit16", {"xzzwqk", "rzny", "输入的任职年月的时间" + kTail}},
    {"Edit18", {"dnzwqk", "rzny_dn", "输入的党内任职年月的时间" + kTail}},
    {"Edit20", {"zyjs", "sj", "输入的专业技术职务的取得时间的" + kTail}},
    {"Edit22", {"grjs", "sj_gr", "输入的工人技术等级的取得时间的" + kTail}},
};

Tinfo_other* page() { return static_cast<Tinfo_other*>(forms::find(u"info_other")); }
Tinfo_basic* basicPage() { return static_cast<Tinfo_basic*>(forms::find(u"info_basic")); }

}  // namespace

class InfoOtherTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    fixture_.addAccount(kAdmin, QStringLiteral("管理员"), 0, QStringLiteral("secret"));
  }

  void init() {
    fixture_.restart();
    fixture_.signIn(kAdmin, QStringLiteral("secret"));
    fixture_.dialogs.clear();
  }

  void personWithoutRowsGetsOneRowPerTable() {
    const QString person = QStringLiteral("600101200001010001");
    open(u"info_other", person);
    QVERIFY(!page()->Edit1->isEnabled() && !page()->edit21->isEnabled());
    QVERIFY(!page()->BitBtn2->isEnabled());
    QCOMPARE(page()->BitBtn4->isEnabled(), forms::find(u"khjl") != nullptr);
    page()->BitBtn1->click();
    QVERIFY(page()->Edit1->isEnabled() && page()->edit21->isEnabled());
    page()->Edit5->setText(QStringLiteral(" 12 "));
    page()->Edit6->setText(QStringLiteral("abc"));  // years are typed, never computed
    page()->BitBtn2->click();
    QCOMPARE(fixture_.dialogs.errors, QStringList());
    QCOMPARE(fixture_.dialogs.messages, QStringList{kDone});
    const QString none = QStringLiteral("无");
    const struct {
      QString table;
      QStringList columns, values;
    } expected[] = {
        {"gzdd",
         {"year", "cjny", "jxsj", "ly_shen", "gn", "jn", "jxfs", "ly_lb", "ly_shi"},
         {none, none, none, none, "12", "abc", "录用师范类应届毕业生", "城市", none}},
        {"gwxx", {"gwzgzs", "zszq", "zsbh", "zgjg"}, {"高级中学教师资格", none, none, none}},
        {"rjxx", {"rjxk", "kss", "bzrgznx"}, {"高中信息技术", none, none}},
        {"xzzwqk", {"xzzw", "rzny"}, {none, none}},
        {"dnzwqk", {"dnzw", "rzny_dn"}, {none, none}},
        {"zyjs", {"zyjszc", "sj"}, {"未定职级", none}},
        {"grjs", {"grjsdj", "sj_gr"}, {none, none}},
    };
    for (const auto& [table, columns, values] : expected)
      QCOMPARE(rows(fixture_.server, table, columns, person), QList<QStringList>{values});
    QVERIFY(!page()->BitBtn2->isEnabled() && !page()->Edit1->isEnabled());
  }

  void nullShowsNoneAndTheRowIsEdited() {
    const QString person = QStringLiteral("600101200001010002");
    fixture_.server.sql(QStringLiteral("insert into gzdd(id,gn,jxfs) values(?,' 7 ',null)"),
                        {person});
    open(u"info_other", person);
    QCOMPARE(page()->Edit1->text(), QStringLiteral("无"));
    QCOMPARE(page()->Edit5->text(), QStringLiteral("7"));
    QCOMPARE(page()->edit7->currentText(), QStringLiteral("无"));
    QCOMPARE(page()->edit8->currentText(), QStringLiteral("无"));
    QCOMPARE(page()->edit9->currentText(), QStringLiteral("高级中学教师资格"));  // no gwxx row
    page()->BitBtn1->click();
    page()->BitBtn2->click();
    QCOMPARE(rows(fixture_.server, "gzdd", {"year", "gn", "jxfs"}, person),
             (QList<QStringList>{{"无", "7", "无"}}));
  }

  void yearMonthOnLeaving_data() {
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("governing");  // the drop-down beside it, if any
    QTest::addColumn<QString>("choice");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("written");  // empty: refused
    QTest::newRow("empty") << "Edit1"
                           << ""
                           << ""
                           << ""
                           << "";
    QTest::newRow("five digits") << "Edit2"
                                 << ""
                                 << ""
                                 << "19801"
                                 << "";
    QTest::newRow("seven digits") << "Edit3"
                                  << ""
                                  << ""
                                  << "1980011"
                                  << "";
    QTest::newRow("six letters") << "Edit1"
                                 << ""
                                 << ""
                                 << "abcdef"
                                 << "abcdef";
    QTest::newRow("six digits") << "Edit2"
                                << ""
                                << ""
                                << "198001"
                                << "198001";
    QTest::newRow("blanks around six digits") << "Edit3"
                                              << ""
                                              << ""
                                              << " 198001\t"
                                              << "198001";
    QTest::newRow("certificate date with no certificate") << "Edit10"
                                                          << "edit9"
                                                          << "无"
                                                          << ""
                                                          << "";
    QTest::newRow("post date, no post") << "Edit16"
                                        << "edit15"
                                        << "无"
                                        << ""
                                        << "无";
    QTest::newRow("post date, blanks around 无") << "Edit16"
                                                 << "edit15"
                                                 << " 无 "
                                                 << ""
                                                 << "无";
    QTest::newRow("post date, a post") << "Edit16"
                                       << "edit15"
                                       << "校长(园长)"
                                       << ""
                                       << "";
    QTest::newRow("party post date, none") << "Edit18"
                                           << "edit17"
                                           << "无"
                                           << "1"
                                           << "1";
    QTest::newRow("party post date, a post") << "Edit18"
                                             << "edit17"
                                             << "党委书记"
                                             << ""
                                             << "";
    QTest::newRow("title date, untitled") << "Edit20"
                                          << "edit19"
                                          << "未定职级"
                                          << ""
                                          << "无";
    QTest::newRow("title date, a title") << "Edit20"
                                         << "edit19"
                                         << "中小学一级教师"
                                         << ""
                                         << "";
    QTest::newRow("grade date, no grade") << "Edit22"
                                          << "edit21"
                                          << "无"
                                          << ""
                                          << "无";
    QTest::newRow("grade date, a grade") << "Edit22"
                                         << "edit21"
                                         << "职业资格二级（技师）"
                                         << "19801"
                                         << "";
  }

  void yearMonthOnLeaving() {
    QFETCH(QString, box);
    QFETCH(QString, governing);
    QFETCH(QString, choice);
    QFETCH(QString, typed);
    QFETCH(QString, written);
    const QString person = QStringLiteral("600101200001010003");
    open(u"info_other", person);
    QVERIFY(activate(page()));  // shown read-only: the focus is on no date box
    page()->BitBtn1->click();
    if (!governing.isEmpty()) page()->findChild<QComboBox*>(governing)->setEditText(choice);
    auto* date = page()->findChild<QLineEdit*>(box);
    date->setText(typed);
    leave(date, page()->Edit11);
    const DateBox where = kDates[box];
    if (written.isEmpty()) {
      QCOMPARE(fixture_.dialogs.messages, QStringList{where.message});
      QCOMPARE(date->text(), QString());
      QVERIFY(date->hasFocus());
      return;
    }
    QCOMPARE(fixture_.dialogs.messages, QStringList());
    page()->BitBtn2->click();
    QCOMPARE(stored(fixture_.server, where.table, where.column, person), written);
  }

  void pagesFollowTheCurrentPerson() {
    const QString person = QStringLiteral("600101200001010004");
    const QString moved = QStringLiteral("600101200001010005");
    fixture_.server.sql(QStringLiteral("insert into info(id,name) values(?,'壬')"), {person});
    open(u"info_basic", person);
    basicPage()->BitBtn1->click();
    basicPage()->Edit2->setText(moved);
    basicPage()->BitBtn2->click();
    basicPage()->BitBtn3->click();  // 下一页
    QVERIFY(page()->isVisible());
    QVERIFY(basicPage()->isVisible());
    page()->BitBtn1->click();
    page()->Edit11->setText(QStringLiteral("A-1"));
    page()->BitBtn2->click();
    QCOMPARE(stored(fixture_.server, "gwxx", "zsbh", person), QStringLiteral("A-1"));
    QCOMPARE(stored(fixture_.server, "gwxx", "zsbh", moved), QStringLiteral("<no row>"));

    // Closed while editing: emptied, lists kept, and read-only when shown again.
    page()->BitBtn1->click();
    page()->close();
    for (auto* edit : page()->findChildren<QLineEdit*>()) QCOMPARE(edit->text(), QString());
    QCOMPARE(page()->edit13->count(), 18);
    basicPage()->close();
    page()->show();
    QVERIFY(!page()->BitBtn2->isEnabled() && !page()->Edit11->isEnabled());
    QCOMPARE(page()->Edit11->text(), QStringLiteral("A-1"));
    page()->BitBtn3->click();  // 上一页
    QVERIFY(basicPage()->isVisible());
    QCOMPARE(basicPage()->Edit1->text(), QStringLiteral("壬"));
  }

  // Another person opened while the page is visible: the page keeps, shows and saves the
  // person it loaded, never writing its values over the other's rows.
  void aVisiblePageSavesOnlyItsOwnPerson() {
    const QString a = QStringLiteral("600101200001010011");
    const QString b = QStringLiteral("600101200001010012");
    for (const QString& id : {a, b}) sql("insert into gwxx(id,zsbh) values(?,?)", {id, id});
    open(u"info_other", a);
    QCOMPARE(page()->findChild<QLabel*>("personLine")->text(), "身份证号：" + a);
    open(u"info_other", b);  // brought to the front only
    page()->BitBtn1->click();
    page()->Edit11->setText(QStringLiteral("A-2"));
    page()->BitBtn2->click();
    QCOMPARE(fixture_.dialogs.messages, QStringList{kDone});
    QCOMPARE(stored(fixture_.server, "gwxx", "zsbh", a), QStringLiteral("A-2"));
    QCOMPARE(stored(fixture_.server, "gwxx", "zsbh", b), b);
    QCOMPARE(rows(fixture_.server, "gzdd", {"id"}, b).size(), 0);
  }

  // A load that fails leaves the page unable to edit, so no save can write presets or another
  // person's leftovers over the stored rows.
  void aFailedLoadDisarmsTheSave() {
    const QString person = QStringLiteral("600101200001010013");
    sql("insert into grjs(id,grjsdj) values(?,'高级工')", {person});
    sql("alter table zyjs rename to zyjs_away", {});
    open(u"info_other", person);
    sql("alter table zyjs_away rename to zyjs", {});
    QCOMPARE(fixture_.dialogs.errors.size(), 1);
    QVERIFY(!page()->BitBtn1->isEnabled() && !page()->BitBtn2->isEnabled());
    page()->BitBtn1->click();
    QVERIFY(!page()->BitBtn2->isEnabled() && !page()->Edit11->isEnabled());
    page()->close();
    open(u"info_other", person);  // loads again, now successfully
    QVERIFY(page()->BitBtn1->isEnabled());
    QCOMPARE(stored(fixture_.server, "grjs", "grjsdj", person), QStringLiteral("高级工"));
  }

  // What someone else wrote since the page loaded is not silently overwritten: the save is
  // refused whole (no table of it written) and the page stays editing.
  void aSaveAfterSomeoneElsesIsRefused_data() {
    QTest::addColumn<QString>("meanwhile");
    QTest::addColumn<QString>("error");
    const QString person = QStringLiteral("600101200001010014");
    QTest::newRow("row changed") << "update zyjs set zyjszc='教授' where id='" + person + "'"
                                 << "记录已被其他用户修改，请重新打开后再保存";
    QTest::newRow("row deleted") << "delete from zyjs where id='" + person + "'"
                                 << "要修改的记录已不存在";
    QTest::newRow("first row added") << "insert into grjs(id) values('" + person + "')"
                                     << "工人技术等级情况中已有身份证号 " + person +
                                            " 的记录（可能刚被其他用户添加），请重新打开后再保存";
  }

  void aSaveAfterSomeoneElsesIsRefused() {
    QFETCH(QString, meanwhile);
    QFETCH(QString, error);
    const QString person = QStringLiteral("600101200001010014");
    sql("delete from gzdd where id=?", {person});
    sql("delete from grjs where id=?", {person});
    sql("delete from zyjs where id=?", {person});
    sql("insert into zyjs(id,zyjszc) values(?,'讲师')", {person});
    open(u"info_other", person);
    page()->BitBtn1->click();
    page()->Edit5->setText(QStringLiteral("7"));
    sql(meanwhile.toUtf8().constData(), {});
    const QList<QVariantList> before = fixture_.server.sql("select * from zyjs order by rid");
    page()->BitBtn2->click();
    QCOMPARE(fixture_.dialogs.errors, QStringList{error});
    QVERIFY(fixture_.dialogs.messages.isEmpty());
    QVERIFY(page()->editing());
    QCOMPARE(rows(fixture_.server, "gzdd", {"gn"}, person).size(), 0);
    QCOMPARE(fixture_.server.sql("select * from zyjs order by rid"), before);
  }

 private:
  void sql(const char* statement, const QVariantList& params) {
    fixture_.server.sql(QString::fromUtf8(statement), params);
  }

  ClientFixture fixture_;
};

QTEST_MAIN(InfoOtherTest)
#include "other_info_test.moc"
