// The experience records page against a real server: the grids it shows, the save's year-month
// tests over all six grids, the positional write-back with numbers drawn on the server, a
// refused apply, and the review.
#include "records/jlkh.h"

#include <QComboBox>
#include <QPushButton>
#include <QTableView>
#include <QToolButton>
#include <QtTest>
#include <future>
#include <thread>

#include "records/grid_navigator.h"
#include "schema/queries.h"
#include "shell/connection.h"
#include "shell/forms.h"
#include "shell/remote_dataset.h"
#include "shell/signin.h"
#include "tests/support/client/client_fixture.h"

namespace {

const QString kAdmin = QStringLiteral("110101199001011234");
const QString kPerson = QStringLiteral("220101199001011111");
const QString kNoAccount = QStringLiteral("330101199001011111");
const QString kOther = QStringLiteral("440101199001011111");
const QString kMonth = QStringLiteral("198001");
const QString kDone = QStringLiteral("修改完成!");
const QStringList kTables = {"jzgjckh", "shgx", "grll", "jyqk", "jnpx", "jwpx"};

enum Grid { Jzgjckh, Shgx, Grll, Jyqk, Jnpx, Jwpx };

// The year-month columns of each grid, by title, in column order.
const QList<QStringList> kTested = {{"授予时间"},
                                    {},
                                    {"起始时间"},
                                    {"入学年月", "毕业年月", "学位时间"},
                                    {"起始时间", "结束时间"},
                                    {"起始时间", "结束时间"}};

Tkhjl* form() { return static_cast<Tkhjl*>(forms::find(u"khjl")); }

QStringList titles(const QTableView* grid) {
  QStringList list;
  for (int c = 0; c < grid->model()->columnCount(); ++c)
    list << grid->model()->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
  return list;
}

QModelIndex cellIndex(Grid g, int row, const QString& title) {
  return form()->grid(g)->model()->index(row, int(titles(form()->grid(g)).indexOf(title)));
}

QString cell(Grid g, int row, const QString& title) {
  return cellIndex(g, row, title).data().toString();
}

bool editable(Grid g) {
  return form()->grid(g)->model()->flags(cellIndex(g, 0, titles(form()->grid(g)).first())) &
         Qt::ItemIsEditable;
}

void set(Grid g, int row, const QString& title, const QString& text) {
  QVERIFY2(form()->grid(g)->model()->setData(cellIndex(g, row, title), text), qPrintable(title));
}

// Appends a row as a user does: to the last row, then Down.
void addRow(Grid g) {
  form()->navigator(g)->button(GridNavigator::Last)->click();
  QTest::keyClick(form()->grid(g), Qt::Key_Down);
}

// Appends a row whose year-month cells all pass.
void addGoodRow(Grid g) {
  addRow(g);
  const int row = form()->dataset(g).recordCount() - 1;
  for (const QString& title : kTested[g]) set(g, row, title, kMonth);
}

}  // namespace

class JlkhTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    fixture_.addAccount(kAdmin, QStringLiteral("管理员"), 0, QStringLiteral("secret"));
    fixture_.addAccount(kPerson, QStringLiteral("教师"), 2);
    fixture_.signIn(kAdmin, QStringLiteral("secret"));
    QVERIFY(form());
  }

  void init() {
    for (const QString& table : kTables) sql("delete from " + table);
    sql("update counter set jzgjckh=0, shgx=0, grll=0, jyqk=0, jnpx=0, jwpx=0");
    open(kPerson, false);
  }

  void showsTheSixGridsReadOnly() {
    open(QStringLiteral(" %1\t").arg(kPerson), false);
    QCOMPARE(form()->personId(), kPerson);
    QCOMPARE(form()->windowTitle(),
             QStringLiteral("奖惩考核&社会关系&个人履历&受教育情况&境内业务培训&境外业务培训"));
    const QList<QStringList> shown = {
        {"称号", "等级", "任教学科", "授予时间", "授予单位"},
        {"姓名", "称谓", "职务", "工作单位", "地址", "电话"},
        {"起始时间", "结束时间", "所在单位", "所在部门", "行政职务", "职务级别"},
        {"入学年月", "毕业年月", "毕业学校", "学历", "学历说明", "专业", "学习方式", "学位",
         "学位时间", "学位授予国家", "学位授予单位"},
        {"起始时间", "结束时间", "学时数", "培训级别", "形式", "内容", "培训单位"},
        {"起始时间", "结束时间", "内容", "培训单位", "培训国家地区"}};
    for (int g = 0; g < 6; ++g) {
      auto* grid = form()->findChild<QTableView*>(QStringLiteral("DBGrid%1").arg(g + 1));
      QCOMPARE(grid, form()->grid(g));
      QCOMPARE(titles(grid), shown[g]);
      QVERIFY(!editable(Grid(g)));
    }
    QVERIFY(!form()->BitBtn2->isEnabled());
    QVERIFY(form()->BitBtn3->isEnabled());
  }

  void anEmptyTableGetsDrawnNumbers() {
    sql("update counter set jzgjckh=41");
    edit();
    for (int i = 0; i < 3; ++i) {
      addGoodRow(Jzgjckh);
      set(Jzgjckh, i, "称号", QStringLiteral("称号%1").arg(i));
    }
    save();
    QCOMPARE(fixture_.dialogs.messages, QStringList{kDone});
    QCOMPARE(stored("jzgjckh", "ch"),
             (QList<QVariantList>{{42, "称号0"}, {43, "称号1"}, {44, "称号2"}}));
    QCOMPARE(counter("jzgjckh"), 44);
    QVERIFY(!form()->BitBtn2->isEnabled());
    QVERIFY(!editable(Jzgjckh));
    // 编辑 and 保存 again without a change: nothing is added.
    edit();
    save();
    QCOMPARE(stored("jzgjckh", "ch").size(), 3);
    QCOMPARE(counter("jzgjckh"), 44);
  }

  void deletingTwoOfFourKeepsTheFirstTwoNumbers() {
    for (int i = 0; i < 4; ++i)
      sql("insert into shgx(id_num, id, name) values(?, ?, ?)",
          {10 + i, kPerson, QStringList{"a", "b", "c", "d"}[i]});
    edit();
    for (int row : {1, 2}) {  // b, then d (which moved up)
      form()->grid(Shgx)->setCurrentIndex(cellIndex(Shgx, row, "姓名"));
      form()->navigator(Shgx)->button(GridNavigator::Delete)->click();
    }
    save();
    QCOMPARE(stored("shgx", "name"), (QList<QVariantList>{{10, "a"}, {11, "c"}}));
  }

  void addingOneRowToThreeRaisesTheCounterByOne() {
    for (int i = 0; i < 3; ++i)
      sql("insert into grll(id_num, id, start_sj) values(?, ?, ?)", {5 + i, kPerson, kMonth});
    sql("update counter set grll=20");
    edit();
    addGoodRow(Grll);
    set(Grll, 3, "所在单位", QStringLiteral("四中"));
    save();
    QCOMPARE(stored("grll", "coalesce(dw, '')"),
             (QList<QVariantList>{{5, ""}, {6, ""}, {7, ""}, {21, "四中"}}));
    QCOMPARE(counter("grll"), 21);
  }

  void valuesAreStoredTrimmedAndABlankSocialRowIsStored() {
    edit();
    addRow(Jyqk);
    set(Jyqk, 0, "入学年月", " 198001 ");
    set(Jyqk, 0, "毕业年月", "\t198507 ");
    set(Jyqk, 0, "学位时间", QStringLiteral("一九八"));  // six GBK bytes
    set(Jyqk, 0, "毕业学校", QStringLiteral("  北京师范大学 "));
    addRow(Grll);  // 结束时间 is not tested
    set(Grll, 0, "起始时间", kMonth);
    addRow(Shgx);  // left blank
    save();
    QCOMPARE(fixture_.dialogs.messages, QStringList{kDone});
    QCOMPARE(stored("jyqk", "rxny, byny, xwsj, byxx"),
             (QList<QVariantList>{{1, "198001", "198507", "一九八", "北京师范大学"}}));
    QCOMPARE(stored("grll", "start_sj").size(), 1);
    QCOMPARE(stored("shgx", "coalesce(name||cw||zw||gzdw||address||tel, '')"),
             (QList<QVariantList>{{1, ""}}));
  }

  void aFailedTestWritesNothing_data() {
    QTest::addColumn<int>("grid");
    QTest::addColumn<QString>("title");  // empty: a blank row
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("message");
    const auto row = [](const char* name, Grid g, const char* title, const char* value,
                        const char* message) {
      QTest::newRow(name) << int(g) << QString::fromUtf8(title) << QString::fromUtf8(value)
                          << QString::fromUtf8(message) + "格式：年月，如：198001，需要6位数字！";
    };
    row("授予时间 five digits", Jzgjckh, "授予时间", "19801",
        "教职工奖惩考核表中的授予时间格式不正确！");
    row("起始时间 empty", Grll, "起始时间", "", "个人履历中的起始时间的格式不正确！");
    row("入学年月 seven bytes", Jyqk, "入学年月", "1980011", "入学年月的时间格式不正确！");
    row("毕业年月 four Chinese", Jyqk, "毕业年月", "一九八〇", "毕业年月的时间格式不正确！");
    row("学位时间 empty, 学位 无", Jyqk, "学位时间", "", "学位时间格式不正确！");
    row("境内 结束时间 empty", Jnpx, "结束时间", "", "境内培训的结束时间格式不正确！");
    row("境外 结束时间 inner blank", Jwpx, "结束时间", "1980 01 ",
        "境外培训的结束时间格式不正确！");
    row("blank award row", Jzgjckh, "", "", "教职工奖惩考核表中的授予时间格式不正确！");
    row("blank home training row", Jnpx, "", "", "境内培训的起始时间格式不正确！");
    row("blank abroad training row", Jwpx, "", "", "境外培训的起始时间格式不正确！");
  }

  void aFailedTestWritesNothing() {
    QFETCH(int, grid);
    QFETCH(QString, title);
    QFETCH(QString, value);
    QFETCH(QString, message);
    const Grid g = Grid(grid);
    edit();
    addGoodRow(Jzgjckh);  // good rows in grids written before the failing one
    addRow(Shgx);
    set(Shgx, 0, "姓名", QStringLiteral("张三"));
    if (g != Jzgjckh) addGoodRow(g);
    if (title.isEmpty()) {
      addRow(g);
    } else {
      addGoodRow(g);
      if (g == Jyqk) set(g, 1, "学位", QStringLiteral("无"));
      set(g, 1, title, value);
    }
    save();
    QCOMPARE(fixture_.dialogs.messages, QStringList{message});
    QVERIFY(fixture_.dialogs.errors.isEmpty());
    for (const QString& table : kTables)
      QCOMPARE(one(sql("select count(*) from " + table)).toInt(), 0);
    QCOMPARE(one(sql("select jzgjckh+shgx+grll+jyqk+jnpx+jwpx from counter")).toInt(), 0);
    QVERIFY(form()->BitBtn2->isEnabled());
    QVERIFY(editable(g));
    QCOMPARE(cell(Shgx, 0, "姓名"), QStringLiteral("张三"));
    const QString failing = title.isEmpty() ? kTested[g].first() : title;
    QCOMPARE(cell(g, 1, failing), value);
    QCOMPARE(form()->grid(g)->currentIndex(), cellIndex(g, 1, failing));
    QCOMPARE(form()->dataset(g).recNo(), 1);
  }

  void aRefusedApplyStopsTheSaveEditing() {
    sql("create trigger refuse_jnpx before insert on jnpx begin select raise(abort, 'no'); end");
    edit();
    for (Grid g : {Jzgjckh, Jnpx, Jwpx}) addGoodRow(g);
    save();
    QVERIFY(fixture_.dialogs.messages.isEmpty());
    QCOMPARE(fixture_.dialogs.errors.size(), 1);
    QVERIFY(form()->BitBtn2->isEnabled());
    QCOMPARE(stored("jzgjckh", "sj").size(), 0);  // one apply: nothing of the save written
    QCOMPARE(stored("jnpx", "start_sj").size(), 0);
    QCOMPARE(stored("jwpx", "start_sj").size(), 0);
    // Saved again once the server takes it: every row is written once.
    sql("drop trigger refuse_jnpx");
    fixture_.dialogs.clear();
    save();
    QCOMPARE(fixture_.dialogs.messages, QStringList{kDone});
    for (const char* table : {"jzgjckh", "jnpx", "jwpx"}) QCOMPARE(stored(table, "id").size(), 1);
  }

  void aDropDownEditorOpenAtSaveIsCommitted() {
    edit();
    addGoodRow(Jzgjckh);
    const QModelIndex index = cellIndex(Jzgjckh, 0, "称号");
    form()->grid(Jzgjckh)->setCurrentIndex(index);
    form()->grid(Jzgjckh)->edit(index);
    auto* combo = qobject_cast<QComboBox*>(form()->grid(Jzgjckh)->indexWidget(index));
    QVERIFY(combo && combo->isEditable());
    QCOMPARE(combo->count(), 15);
    QCOMPARE(combo->itemText(0), QStringLiteral("特级教师"));
    combo->setEditText(QStringLiteral("自拟称号"));  // not in the list
    save();
    QCOMPARE(stored("jzgjckh", "ch"), (QList<QVariantList>{{1, "自拟称号"}}));
  }

  void refreshedRowsAreNotAddedTwice() {
    sql("insert into jwpx(id_num, id, start_sj, end_sj) values(3, ?, ?, ?)",
        {kPerson, kMonth, kMonth});
    edit();
    sql("insert into jwpx(id_num, id, start_sj, end_sj) values(4, ?, ?, ?)",
        {kPerson, kMonth, kMonth});
    form()->navigator(Jwpx)->button(GridNavigator::Refresh)->click();
    QCOMPARE(form()->dataset(Jwpx).recordCount(), 2);
    save();
    QCOMPARE(stored("jwpx", "start_sj"), (QList<QVariantList>{{3, kMonth}, {4, kMonth}}));
  }

  void reviewWritesTheReviewer() {
    form()->BitBtn4->click();
    QCOMPARE(fixture_.dialogs.messages, QStringList{QStringLiteral("审核成功！")});
    QCOMPARE(one(sql("select shr from user_name where id=?", {kPerson})).toString(), kAdmin);
    // The main window's list was read again and shows the reviewer.
    auto* list = forms::find(u"main_manage")->findChild<RemoteDataset*>(QStringLiteral("search"));
    bool seen = false;
    for (int row = 0; row < list->recordCount(); ++row)
      if (list->value(row, 0).toString() == kPerson)
        seen = list->value(row, list->fieldIndex(u"审核人")).toString() == kAdmin;
    QVERIFY(seen);
  }

  void reviewWithoutAnAccountDoesNothing() {
    const auto before = sql("select id, shr from user_name order by id");
    open(kNoAccount, false);
    form()->BitBtn4->click();
    QVERIFY(fixture_.dialogs.messages.isEmpty());
    QVERIFY(fixture_.dialogs.errors.isEmpty());
    QCOMPARE(sql("select id, shr from user_name order by id"), before);
  }

  void previousPageShowsTheWorkPage() {
    form()->BitBtn5->click();
    QVERIFY(forms::find(u"info_other")->isVisible());
    QVERIFY(form()->isVisible());
    forms::close(u"info_other");
  }

  void twoClientsAddingRowsAtOnceGetDistinctNumbers() {
    const int mine = 25, theirs = 200;
    edit();
    for (int i = 0; i < mine; ++i) addGoodRow(Jzgjckh);
    QString failure;
    std::promise<void> drawing;  // the save starts while the other client is adding rows
    std::future<void> started = drawing.get_future();
    std::thread other([&] {
      bool told = false;
      try {
        Connection connection;
        connection.open({fixture_.server.host(), fixture_.server.port()});
        connection.signIn(kAdmin, QStringLiteral("secret"));
        RemoteDataset rows(QStringLiteral("DataSetProvider_search"), connection);
        rows.setCommandText(schema::queries::history(u"jzgjckh").writeBack, {kOther});
        rows.open();
        for (int i = 0; i < theirs; ++i) {  // as a save does: every number drawn, one apply
          rows.append();
          rows.setField(u"id_num", connection.draw(QStringLiteral("jzgjckh")));
          rows.setField(u"id", kOther);
          if (i == 4) {
            drawing.set_value();
            told = true;
          }
        }
        rows.applyUpdates();
        connection.close();
      } catch (const std::exception& e) {
        failure = QString::fromUtf8(e.what());
      }
      if (!told) drawing.set_value();
    });
    started.wait();
    save();
    other.join();
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    QVERIFY2(fixture_.dialogs.errors.isEmpty(), qPrintable(fixture_.dialogs.errors.join('\n')));
    QCOMPARE(fixture_.dialogs.messages, QStringList{kDone});
    const QVariantList counts =
        sql("select count(*), count(distinct id_num), max(id_num) from jzgjckh").first();
    QCOMPARE(counts, (QVariantList{mine + theirs, mine + theirs, mine + theirs}));
    QCOMPARE(counter("jzgjckh"), mine + theirs);
  }

  // What someone else did to the person's rows since the page loaded is not overwritten or
  // undone: the save is refused whole and the page stays editing.
  void aSaveAfterSomeoneElsesIsRefused_data() {
    QTest::addColumn<QString>("meanwhile");
    QTest::addColumn<QString>("error");
    QTest::newRow("row changed") << "update jzgjckh set ch='他改' where id=?"
                                 << "记录已被其他用户修改，请重新打开后再保存";
    QTest::newRow("row deleted") << "delete from grll where id=?"
                                 << "要修改的记录已不存在";
  }

  void aSaveAfterSomeoneElsesIsRefused() {
    QFETCH(QString, meanwhile);
    QFETCH(QString, error);
    sql("update counter set jzgjckh=1, grll=2");
    sql("insert into jzgjckh(id_num,id,ch,sj) values(1,?,'原','198001')", {kPerson});
    sql("insert into grll(id_num,id,start_sj) values(2,?,'198001')", {kPerson});
    open(kPerson, true);
    set(Jzgjckh, 0, "称号", QStringLiteral("我改"));
    set(Grll, 0, "所在单位", QStringLiteral("我校"));
    addGoodRow(Jnpx);
    sql(meanwhile, {kPerson});
    const QList<QVariantList> before = sql("select * from jzgjckh") + sql("select * from grll");
    save();
    QCOMPARE(fixture_.dialogs.errors, QStringList{error});
    QVERIFY(fixture_.dialogs.messages.isEmpty());
    QVERIFY(form()->BitBtn2->isEnabled() && editable(Jzgjckh));
    QCOMPARE(sql("select * from jzgjckh") + sql("select * from grll"), before);
    QCOMPARE(stored("jnpx", "id").size(), 0);
  }

  // A reload that fails leaves the page unable to save, so a grid left empty by the failure
  // never counts as rows deleted.
  void aFailedReloadDisarmsTheSave() {
    sql("update counter set jwpx=1");
    sql("insert into jwpx(id_num,id,nr) values(1,?,'访学')", {kPerson});
    open(kPerson, false);
    sql("alter table jwpx rename to jwpx_away");
    edit();
    sql("alter table jwpx_away rename to jwpx");
    QCOMPARE(fixture_.dialogs.errors.size(), 1);
    QVERIFY(!form()->BitBtn1->isEnabled() && !form()->BitBtn2->isEnabled());
    QVERIFY(!editable(Jzgjckh));
    save();
    QCOMPARE(stored("jwpx", "nr"), (QList<QVariantList>{{1, QStringLiteral("访学")}}));
    open(kPerson, true);  // shown again: loads, and edits
    QVERIFY(form()->BitBtn2->isEnabled());
  }

  // Last: signs in again as the ordinary user, who saves their own page.
  void anOrdinaryUserSavesTheirOwnRows() {
    fixture_.restart();
    fixture_.signIn(kPerson, QStringLiteral("pw"));
    QCOMPARE(SignIn::state().role, std::optional<int>(2));
    open(kPerson, true);
    QVERIFY(form()->BitBtn4->isHidden());
    addGoodRow(Jnpx);
    save();
    QVERIFY2(fixture_.dialogs.errors.isEmpty(), qPrintable(fixture_.dialogs.errors.join('\n')));
    QCOMPARE(fixture_.dialogs.messages, QStringList{kDone});
    QCOMPARE(stored("jnpx", "end_sj"), (QList<QVariantList>{{1, kMonth}}));
  }

 private:
  QList<QVariantList> sql(const QString& statement, const QVariantList& params = {}) {
    return fixture_.server.sql(statement, params);
  }
  static QVariant one(const QList<QVariantList>& rows) { return rows.value(0).value(0); }
  // The person's stored rows: id_num, then `columns`, in id_num order.
  QList<QVariantList> stored(const QString& table, const QString& columns) {
    return sql("select id_num, " + columns + " from " + table + " where id=? order by id_num",
               {kPerson});
  }
  int counter(const QString& table) {
    return one(sql("select " + table + " from counter")).toInt();
  }

  // Shows the form afresh for `person`, read-only or after 编辑.
  void open(const QString& person, bool editing) {
    form()->close();
    SignIn::state().currentPersonId = person;
    form()->show();
    if (editing) edit();
    fixture_.dialogs.clear();
  }
  void edit() { form()->BitBtn1->click(); }
  void save() { form()->BitBtn2->click(); }

  ClientFixture fixture_;
};

QTEST_MAIN(JlkhTest)
#include "jlkh_test.moc"
