// The account forms against a real server: adding and overwriting accounts, the three person
// lookups, the account view's save, deleting a person, and what an administrator of role 1 is
// refused.
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QtTest>

#include "accounts/add_single.h"
#include "accounts/delete.h"
#include "accounts/info_single.h"
#include "schema/tables.h"
#include "shell/forms.h"
#include "shell/remote_dataset.h"
#include "shell/signin.h"
#include "tests/server/requests.h"
#include "tests/support/client/client_fixture.h"

namespace {

const QString kAdmin = QStringLiteral("110101199001011234");
const QString kManager = QStringLiteral("120101199001011234");
const QString kNew = QStringLiteral("500101200001010001");
const QString kTwin1 = QStringLiteral("510101200001010001");
const QString kTwin2 = QStringLiteral("510101200001010002");
const QString kQuote = QStringLiteral("520101200001010003");
const QString kAdded = QStringLiteral("该用户已添加成功!");
const QString kSaved = QStringLiteral("修改成功!");
const QString kNotEmpty = QStringLiteral("请输入要查询的内容，不能为空!");

template <class F>
F* form(QStringView name) {
  return static_cast<F*>(forms::find(name));
}

QStringList ids(const RemoteDataset& rows) {
  QStringList list;
  for (int row = 0; row < rows.recordCount(); ++row) list << rows.value(row, 0).toString();
  list.sort();
  return list;
}

// A double-click on a row of the grid, or on the empty grid when there is no such row.
void doubleClick(accounts::PersonLookup* lookup, int row) {
  const QModelIndex index = lookup->DBGrid1->model()->index(row, 0);
  if (index.isValid()) lookup->DBGrid1->setCurrentIndex(index);
  const QPoint at = index.isValid() ? lookup->DBGrid1->visualRect(index).center() : QPoint(5, 5);
  QTest::mouseDClick(lookup->DBGrid1->viewport(), Qt::LeftButton, {}, at);
}

int rowOf(const RemoteDataset& rows, const QString& id) {
  for (int row = 0; row < rows.recordCount(); ++row)
    if (rows.value(row, 0).toString() == id) return row;
  return -1;
}

// The fifteen staff tables beside `info` and the accounts.
QStringList otherTables() {
  QStringList names;
  for (const schema::Table& table : schema::tables())
    if (table.name != u"info" && table.column(u"id") && table.kind != schema::TableKind::Accounts)
      names << table.name;
  return names;
}

}  // namespace

class AccountsTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    fixture_.addAccount(kAdmin, QStringLiteral("超管"), 0, QStringLiteral("secret"));
    fixture_.addAccount(kManager, QStringLiteral("管理"), 1, QStringLiteral("m"));
    for (const QString& id : {kTwin1, kTwin2}) fixture_.addAccount(id, QStringLiteral("同名"), 2);
    fixture_.addAccount(kQuote, QStringLiteral("O'Brien"), 2);
    sql("insert into info(id,name) values('530101200001010004','O')");
  }

  void init() {
    fixture_.restart();
    fixture_.signIn(kAdmin, QStringLiteral("secret"));
  }

  void addRefusesEmptyFields_data() {
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("password");
    for (const auto& [tag, id, name, password] :
         QList<std::tuple<const char*, QString, QString, QString>>{
             {"empty number", "", "甲", "p"},
             {"blank number", " \t", "甲", "p"},
             {"blank name", kNew, "  ", "p"},
             {"blank password", kNew, "甲", " "}})
      QTest::newRow(tag) << id << name << password;
  }
  void addRefusesEmptyFields() {
    QFETCH(QString, id);
    QFETCH(QString, name);
    QFETCH(QString, password);
    const qint64 accounts = count("user_name"), persons = count("info");
    add(id, name, password, QStringLiteral("普通用户"));
    QCOMPARE(fixture_.dialogs.messages, QStringList{"身份证和密码、姓名不能为空!"});
    QCOMPARE(count("user_name"), accounts);
    QCOMPARE(count("info"), persons);
  }

  // An existing number is overwritten: its password, role and name; the main list follows.
  // A hand-typed role with a trailing blank keeps an existing account's role and refuses a new
  // account.
  void addOverwritesAndKeepsRoleOnlyForExisting() {
    const QString id = QStringLiteral("540101200001010005");
    fixture_.addAccount(id, QStringLiteral("旧名"), 2, QStringLiteral("old"));
    add(u' ' + id + u' ', QStringLiteral("新名"), QStringLiteral("new"), QStringLiteral("管理员"));
    add(id, QStringLiteral("新名"), QStringLiteral("newer"), QStringLiteral("超级管理员 "));
    add(kNew, QStringLiteral("新人"), QStringLiteral("p"), QStringLiteral("超级管理员 "));
    QCOMPARE(fixture_.dialogs.messages, (QStringList{kAdded, kAdded, "请选择正确的权限!"}));
    QCOMPARE(sql("select qx from user_name where id=?", {id}), (QList<QVariantList>{{1}}));
    QCOMPARE(sql("select name from info where id=?", {id}), (QList<QVariantList>{{"新名"}}));
    QVERIFY(requests::signedIn(fixture_.server, id, QStringLiteral("newer")));
    QVERIFY(!requests::signedIn(fixture_.server, id, QStringLiteral("old")));
    QCOMPARE(count("user_name", kNew) + count("info", kNew), 0);
    QVERIFY(mainList().contains(id));
  }

  void addShowStepClearsOnlyNumberAndPassword() {
    auto* page = form<Tsingle_add>(u"single_add");
    forms::show(u"single_add");
    for (QLineEdit* edit : {page->edit1, page->edit2, page->Edit3}) edit->setText("x");
    page->ComboBox1->setEditText(QStringLiteral("管理员"));
    page->close();
    forms::show(u"single_add");
    QCOMPARE(page->edit1->text() + page->edit2->text(), QString());
    QCOMPARE(page->Edit3->text() + page->ComboBox1->currentText(), QStringLiteral("x管理员"));
  }

  // "*": every person in `info`; "-": no lookup ran.
  void lookups_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("by");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("found");
    QTest::addColumn<QString>("message");
    const QString twins = kTwin1 + u',' + kTwin2;
    using Row = std::tuple<const char*, QString, QString, QString, QString, QString>;
    for (const auto& [tag, name, by, text, found, message] :
         QList<Row>{{"namesakes", "search", "姓名", " 同名 ", twins, ""},
                    {"number", "adjust_info", "身份证号", kTwin1, kTwin1, ""},
                    {"quote in a name", "search", "姓名", "O'Brien", kQuote, ""},
                    {"misspelled search-by is by name", "search", "身份证", kTwin1, "", ""},
                    {"padded search-by is by name", "adjust_info", "身份证号 ", kTwin1, "", ""},
                    {"blank text searches", "search", "姓名", "  ", "", ""},
                    {"empty text", "adjust_info", "姓名", "", "-", kNotEmpty},
                    {"delete: blank text", "delete_single", "姓名", "  ", "-", ""},
                    {"delete: padded search-by", "delete_single", " 身份证号 ", kTwin2, kTwin2, ""},
                    {"delete: other search-by", "delete_single", "其他", "x", "*", ""}})
      QTest::newRow(tag) << name << by << text << found << message;
  }
  void lookups() {
    QFETCH(QString, name);
    QFETCH(QString, by);
    QFETCH(QString, text);
    QFETCH(QString, found);
    QFETCH(QString, message);
    const RemoteDataset& result = *lookUp(name, by, text)->result();
    if (found == u"*") {
      QStringList all;
      for (const QVariantList& row : sql("select id from info")) all << row[0].toString();
      found = (all.sort(), all.join(u','));
    }
    QCOMPARE(result.active() ? ids(result).join(u',') : QStringLiteral("-"), found);
    QCOMPARE(fixture_.dialogs.messages, message.isEmpty() ? QStringList() : QStringList{message});
  }

  // Before a lookup, and after 退出, a double-click does nothing.
  void doubleClickWithoutResultDoesNothing() {
    for (const char* name : {"search", "adjust_info", "delete_single"}) {
      auto* lookup = form<accounts::PersonLookup>(QString::fromLatin1(name));
      forms::show(lookup->objectName());
      doubleClick(lookup, 0);
    }
    lookUp(u"search", "姓名", "同名");
    form<accounts::PersonLookup>(u"search")->Button2->click();
    forms::show(u"search");
    doubleClick(form<accounts::PersonLookup>(u"search"), 0);
    QVERIFY(!forms::find(u"info_basic")->isVisible() && !forms::find(u"sigle_info")->isVisible());
    QCOMPARE(fixture_.dialogs.questions + fixture_.dialogs.messages, QStringList());
  }

  void searchOpensThePerson() {
    accounts::PersonLookup* lookup = lookUp(u"search", "姓名", "同名");
    const QString second = lookup->result()->value(1, 0).toString();
    doubleClick(lookup, 1);
    QCOMPARE(SignIn::state().currentPersonId, second);
    QVERIFY(forms::find(u"info_basic")->isVisible());
  }

  // The account view: a new name is saved first; then the password limit of 10 GB2312 bytes;
  // an empty password box keeps the password; a role text that names no role keeps the role.
  void accountViewSave_data() {
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("role");
    QTest::addColumn<int>("storedRole");  // before and after, unless `role` names one
    QTest::addColumn<bool>("saved");
    using Row = std::tuple<const char*, QString, QString, int, bool>;
    for (const auto& [tag, password, role, storedRole, saved] :
         QList<Row>{{"10 ASCII", "abcdefghij", "管理员", 2, true},
                    {"11 ASCII", "abcdefghijk", "管理员", 2, false},
                    {"5 Chinese", "一二三四五", "普通用户", 1, true},
                    {"6 Chinese", "一二三四五六", "普通用户", 1, false},
                    {"role only", "", " 管理员 ", 2, true},
                    {"stored role outside 0-2", "", "", 7, true}})
      QTest::newRow(tag) << password << role << storedRole << saved;
  }
  void accountViewSave() {
    QFETCH(QString, password);
    QFETCH(QString, role);
    QFETCH(int, storedRole);
    QFETCH(bool, saved);
    const QString id = QStringLiteral("550101200001010006");
    sql("delete from user_name where id=?", {id});
    fixture_.addAccount(id, QStringLiteral("旧名"), 2, QStringLiteral("old"));
    sql("update user_name set qx=? where id=?", {storedRole, id});
    const QList<QVariantList> oldHash = sql("select password from user_name where id=?", {id});
    Tsigle_info* view = openAccountView(id);
    QCOMPARE(view->Edit1->text() + view->Edit2->text() + view->Edit3->text(), id + "旧名");
    QCOMPARE(view->edit4->currentText(),
             QStringList({"", "管理员", "普通用户", ""}).value(storedRole));
    view->Button1->click();
    view->Edit2->setText(QStringLiteral("新名"));
    view->Edit3->setText(password);
    view->edit4->setEditText(role);
    view->Button2->click();
    QCOMPARE(fixture_.dialogs.messages,
             QStringList{saved ? kSaved : QStringLiteral("密码长度不能大于10位")});
    QCOMPARE(sql("select name from info where id=?", {id}), (QList<QVariantList>{{"新名"}}));
    if (saved && !password.isEmpty())
      QVERIFY(requests::signedIn(fixture_.server, id, password));
    else
      QCOMPARE(sql("select password from user_name where id=?", {id}), oldHash);
    const int expectedRole = saved && !role.isEmpty() ? (role.contains(u'普') ? 2 : 1) : storedRole;
    QCOMPARE(sql("select qx from user_name where id=?", {id}),
             (QList<QVariantList>{{expectedRole}}));
    QCOMPARE(view->Button2->isEnabled(), !saved);  // a refused save stays editing
    if (!saved) QCOMPARE(view->Edit3->text(), QString());
  }

  // The account or the info row is missing by the time of the save: the name goes where there
  // is a row (no row without an identity number appears), and the account only to an account.
  // The message says what was not saved and what was.
  void accountViewWithOneRowMissing_data() {
    QTest::addColumn<QString>("missing");
    QTest::addColumn<QString>("message");
    QTest::newRow("account") << QStringLiteral("user_name")
                             << QStringLiteral("该人员没有登录账户，密码和权限未修改!");
    QTest::newRow("info row") << QStringLiteral("info")
                              << QStringLiteral(
                                     "该人员没有基本信息记录，姓名未保存；密码和权限已保存!");
  }
  void accountViewWithOneRowMissing() {
    QFETCH(QString, missing);
    QFETCH(QString, message);
    const QString id = QStringLiteral("560101200001010007");
    fixture_.addAccount(id, QStringLiteral("旧名"), 2, QStringLiteral("old"));
    Tsigle_info* view = openAccountView(id);
    sql(QStringLiteral("delete from %1 where id=?").arg(missing), {id});
    const qint64 persons = count("info");
    view->Button1->click();
    view->Edit2->setText(QStringLiteral("改名"));
    view->Edit3->setText(QStringLiteral("new"));
    view->Button2->click();
    QCOMPARE(fixture_.dialogs.messages, QStringList{message});
    QCOMPARE(count("info"), persons);
    if (missing == u"user_name")
      QCOMPARE(sql("select name from info where id=?", {id}), (QList<QVariantList>{{"改名"}}));
    else
      QVERIFY(requests::signedIn(fixture_.server, id, QStringLiteral("new")));
    sql(QStringLiteral("delete from %1 where id=?").arg(missing == u"info" ? "user_name" : "info"),
        {id});
  }

  // One of two namesakes goes, after a question naming it; No deletes nothing. The person's
  // rows in the other fifteen tables stay.
  void deleteOneOfTwoNamesakes() {
    for (const QString& table : otherTables())
      sql(QStringLiteral("insert into %1(id) values(?)").arg(table), {kTwin2});
    accounts::PersonLookup* lookup = lookUp(u"delete_single", "姓名", "同名");
    const int row = rowOf(*lookup->result(), kTwin2);
    fixture_.dialogs.answers << false << true;
    doubleClick(lookup, row);
    QCOMPARE(count("info", kTwin2), 1);
    doubleClick(lookup, row);
    const QString question = "是否真的要删除同名（" + kTwin2 + "）的记录!";
    QCOMPARE(fixture_.dialogs.questions, (QStringList{question, question}));
    QCOMPARE(fixture_.dialogs.messages, QStringList{"删除成功!"});
    QCOMPARE(count("info", kTwin2) + count("user_name", kTwin2), 0);
    QCOMPARE(count("info", kTwin1) + count("user_name", kTwin1), 2);
    QCOMPARE(ids(*lookup->result()), QStringList{kTwin1});
    QVERIFY(!mainList().contains(kTwin2));
    int kept = 0;
    for (const QString& table : otherTables()) kept += count(table, kTwin2);
    QCOMPARE(kept, 15);
  }

  // The account or the info row is missing by the time of the double-click.
  void deleteWithOneRowMissing_data() {
    QTest::addColumn<QString>("missing");
    QTest::newRow("account") << QStringLiteral("user_name");
    QTest::newRow("info row") << QStringLiteral("info");
  }
  void deleteWithOneRowMissing() {
    QFETCH(QString, missing);
    const QString id = QStringLiteral("570101200001010008");
    fixture_.addAccount(id, QStringLiteral("缺行"), 2);
    accounts::PersonLookup* lookup = lookUp(u"delete_single", "姓名", "缺行");
    sql(QStringLiteral("delete from %1 where id=?").arg(missing), {id});
    doubleClick(lookup, 0);
    QCOMPARE(fixture_.dialogs.messages, QStringList{"删除成功!"});
    QCOMPARE(count("info", id) + count("user_name", id), 0);
  }

  // Role 1 is refused by the server; the reason shows and no success message follows.
  void managerRefused() {
    fixture_.restart();
    fixture_.signIn(kManager, QStringLiteral("m"));
    fixture_.dialogs.clear();
    add(kNew, QStringLiteral("新人"), QStringLiteral("p"), QStringLiteral("超级管理员"));
    add(kAdmin, QStringLiteral("超管"), QStringLiteral("p"), QStringLiteral("普通用户"));
    Tsigle_info* view = openAccountView(kAdmin);
    view->Button1->click();
    view->Edit3->setText(QStringLiteral("p"));
    view->Button2->click();
    QCOMPARE(fixture_.dialogs.errors,
             (QStringList{"没有权限授予超级管理员权限", "没有权限修改超级管理员的账户",
                          "没有权限修改超级管理员的账户"}));
    QCOMPARE(fixture_.dialogs.messages, QStringList());
    QCOMPARE(count("info", kNew) + count("user_name", kNew), 0);
    QVERIFY(requests::signedIn(fixture_.server, kAdmin, QStringLiteral("secret")));
  }

 private:
  QList<QVariantList> sql(const QString& statement, const QVariantList& params = {}) {
    return fixture_.server.sql(statement, params);
  }
  qint64 count(const QString& table, const QString& id = QString()) {
    const QString where = id.isNull() ? QString() : QStringLiteral(" where id=?");
    return fixture_.server
        .sql(QStringLiteral("select count(*) from %1%2").arg(table, where),
             id.isNull() ? QVariantList() : QVariantList{id})
        .value(0)
        .value(0)
        .toLongLong();
  }
  QStringList mainList() {
    return ids(*forms::find(u"main_manage")->findChild<RemoteDataset*>("search"));
  }

  void add(const QString& id, const QString& name, const QString& password, const QString& role) {
    auto* page = form<Tsingle_add>(u"single_add");
    forms::show(u"single_add");
    page->edit1->setText(id);
    page->Edit3->setText(name);
    page->edit2->setText(password);
    page->ComboBox1->setEditText(role);
    page->Button1->click();
  }

  // Shows a lookup form and runs a lookup by pressing Enter in its text.
  accounts::PersonLookup* lookUp(QStringView name, const QString& by, const QString& text) {
    auto* lookup = form<accounts::PersonLookup>(name);
    forms::show(name);
    lookup->ComboBox1->setEditText(by);
    lookup->Edit1->setText(text);
    QTest::keyClick(lookup->Edit1, Qt::Key_Return);
    return lookup;
  }

  Tsigle_info* openAccountView(const QString& id) {
    doubleClick(lookUp(u"adjust_info", "身份证号", id), 0);
    return form<Tsigle_info>(u"sigle_info");
  }

  ClientFixture fixture_;
};

QTEST_MAIN(AccountsTest)
#include "accounts_test.moc"
